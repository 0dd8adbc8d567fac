// The kind of a picture, and its size as stored from its header alone:
// plain byte parsing, no decoder library, so that the web page's
// WebAssembly refuses a picture too large with the program's words before
// the browser's decoder is given its bytes. (The program itself reads the
// header with PeekHeader, which also tells the orientation and the memory.)
#include "codecs.h"

#include <cstring>

namespace codecs {

namespace {

using Bytes = std::span<const std::uint8_t>;

std::uint32_t Le16(Bytes b, std::size_t at) {
    return b[at] | std::uint32_t(b[at + 1]) << 8;
}

std::uint32_t Le32(Bytes b, std::size_t at) {
    return Le16(b, at) | Le16(b, at + 2) << 16;
}

std::uint32_t Be16(Bytes b, std::size_t at) {
    return std::uint32_t(b[at]) << 8 | b[at + 1];
}

std::uint32_t Be32(Bytes b, std::size_t at) {
    return Be16(b, at) << 16 | Be16(b, at + 2);
}

bool StartsWith(Bytes b, const char* text, std::size_t n) {
    return b.size() >= n && std::memcmp(b.data(), text, n) == 0;
}

std::optional<Size> PeekPng(Bytes bytes) {
    // The signature, then IHDR: length 13, "IHDR", width, height.
    if (bytes.size() < 24 || !StartsWith(bytes, "\x89PNG\r\n\x1a\n", 8) ||
        std::memcmp(bytes.data() + 12, "IHDR", 4) != 0)
        return std::nullopt;
    const std::uint32_t w = Be32(bytes, 16), h = Be32(bytes, 20);
    if (w == 0 || h == 0 || w > 0x7fffffffu || h > 0x7fffffffu) return std::nullopt;
    return Size{int(w), int(h)};
}

// The frame header's size, read as libjpeg reads the markers up to the
// first scan: bytes before a marker and fill bytes skipped, a stuffed zero
// passed over; the frame kinds libjpeg-turbo decodes (baseline, extended,
// progressive, arithmetic) with 8-bit samples, nothing for the others, for
// a second frame header or for a scan before any.
std::optional<Size> PeekJpeg(Bytes b) {
    if (b.size() < 3 || b[0] != 0xFF || b[1] != 0xD8) return std::nullopt;
    std::optional<Size> size;
    std::size_t at = 2;
    for (;;) {
        while (at < b.size() && b[at] != 0xFF)
            ++at;
        while (at < b.size() && b[at] == 0xFF)
            ++at;
        if (at >= b.size()) return std::nullopt;
        const std::uint8_t marker = b[at++];
        if (marker == 0x00 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) continue;
        if (marker == 0xD8 || marker == 0xD9) return std::nullopt; // a second start, or the end
        if (marker == 0xDA) return size;                           // the first scan
        if (at + 2 > b.size()) return std::nullopt;
        const std::size_t length = Be16(b, at);
        if (length < 2 || at + length > b.size()) return std::nullopt;
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xCC;
        if (frame) {
            const bool decoded = marker == 0xC0 || marker == 0xC1 || marker == 0xC2 ||
                                 marker == 0xC9 || marker == 0xCA;
            if (!decoded || size || length < 8) return std::nullopt;
            const std::uint32_t precision = b[at + 2], components = b[at + 7];
            const std::uint32_t height = Be16(b, at + 3), width = Be16(b, at + 5);
            if (precision != 8 || components == 0 || components > 10 ||
                length != 8 + 3 * components || width == 0 || height == 0)
                return std::nullopt;
            size = Size{int(width), int(height)};
        } else if (!(marker >= 0xE0 && marker <= 0xFE) && marker != 0xC4 && marker != 0xCC &&
                   !(marker >= 0xDB && marker <= 0xDD)) {
            return std::nullopt; // a marker libjpeg does not know
        }
        at += length;
    }
}

std::optional<Size> PeekGif(Bytes bytes) {
    if (bytes.size() < 13 || !(StartsWith(bytes, "GIF87a", 6) || StartsWith(bytes, "GIF89a", 6)))
        return std::nullopt;
    int width = int(Le16(bytes, 6)), height = int(Le16(bytes, 8));
    if (width > 0 && height > 0) return Size{width, height};
    // A screen side of 0: the first frame's end decides, so find it.
    std::size_t at = 13;
    if (bytes[10] & 0x80) at += 3 * (std::size_t(2) << (bytes[10] & 7));
    while (at < bytes.size()) {
        if (bytes[at] == 0x2C) {
            if (at + 9 > bytes.size()) return std::nullopt;
            if (width <= 0) width = int(Le16(bytes, at + 1) + Le16(bytes, at + 5));
            if (height <= 0) height = int(Le16(bytes, at + 3) + Le16(bytes, at + 7));
            if (width <= 0 || height <= 0) return std::nullopt;
            return Size{width, height};
        }
        if (bytes[at] != 0x21) return std::nullopt;
        at += 2;
        while (at < bytes.size() && bytes[at] != 0)
            at += std::size_t(bytes[at]) + 1;
        ++at;
    }
    return std::nullopt;
}

// The info header as the bitmap decoder reads it, refused where Qt's reader
// refuses it: 1 to 32 bits of a known compression, one plane, a width and
// height that are not 0, at most 16384 x 16384 pixels in all. Any header
// size but the Windows ones is read as the OS/2 1.x header of 12 bytes.
std::optional<Size> PeekBmp(Bytes bytes, bool fileHeader) {
    const std::size_t base = fileHeader ? 14 : 0;
    if (bytes.size() < base + 12 || (fileHeader && !StartsWith(bytes, "BM", 2)))
        return std::nullopt;
    const std::uint32_t headerSize = Le32(bytes, base);
    std::int64_t width = 0, height = 0;
    std::uint32_t planes = 0, bits = 0, compression = 0;
    if (headerSize == 40 || headerSize == 64 || headerSize == 108 || headerSize == 124) {
        // The fields of 40 bytes; the masks and the rest of the longer ones.
        if (bytes.size() < base + (headerSize >= 108 ? headerSize : 40)) return std::nullopt;
        width = std::int32_t(Le32(bytes, base + 4));
        height = std::int32_t(Le32(bytes, base + 8));
        planes = Le16(bytes, base + 12);
        bits = Le16(bytes, base + 14);
        compression = Le32(bytes, base + 16);
    } else {
        width = std::int16_t(Le16(bytes, base + 4));
        height = std::int16_t(Le16(bytes, base + 6));
        planes = Le16(bytes, base + 8);
        bits = Le16(bytes, base + 10);
    }
    const bool depth =
        bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    const bool packing = compression == 0 || (bits == 8 && compression == 1) ||
                         (bits == 4 && compression == 2) ||
                         ((bits == 16 || bits == 32) && compression == 3);
    if (!depth || planes != 1 || !packing) return std::nullopt;
    if (height < 0) height = -height;
    if (width <= 0 || height == 0 || height > INT32_MAX || width * height > 16384LL * 16384)
        return std::nullopt;
    return Size{int(width), int(height)};
}

} // namespace

Format Sniff(std::span<const std::uint8_t> bytes) {
    if (StartsWith(bytes, "\x89PNG\r\n\x1a\n", 8)) return Format::Png;
    if (StartsWith(bytes, "\xFF\xD8\xFF", 3)) return Format::Jpeg;
    if (StartsWith(bytes, "GIF87a", 6) || StartsWith(bytes, "GIF89a", 6)) return Format::Gif;
    if (StartsWith(bytes, "BM", 2)) return Format::Bmp;
    return bytes.size() >= 4 && KnownBitmapHeaderSize(Le32(bytes, 0)) ? Format::Dib : Format::Other;
}

bool KnownBitmapHeaderSize(std::uint32_t size) {
    switch (size) {
    case 12:
    case 40:
    case 52:
    case 56:
    case 64:
    case 108:
    case 124:
        return true;
    default:
        return false;
    }
}

std::optional<Size> PeekStoredSize(std::span<const std::uint8_t> bytes, Format format) {
    switch (format) {
    case Format::Png:
        return PeekPng(bytes);
    case Format::Jpeg:
        return PeekJpeg(bytes);
    case Format::Gif:
        return PeekGif(bytes);
    case Format::Bmp:
    case Format::Dib:
        return PeekBmp(bytes, format == Format::Bmp);
    case Format::Other:
        break;
    }
    return std::nullopt;
}

} // namespace codecs
