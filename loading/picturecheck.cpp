#include "picturecheck.h"

#include "codecs.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>

namespace picturecheck {

namespace {

using Offset = std::int64_t;

std::uint32_t U16(Bytes d, Offset at) {
    if (at < 0 || at + 2 > Offset(d.size())) return 0;
    return std::uint32_t(d[std::size_t(at)]) | std::uint32_t(d[std::size_t(at) + 1]) << 8;
}

std::uint32_t U32(Bytes d, Offset at) {
    if (at < 0 || at + 4 > Offset(d.size())) return 0;
    return U16(d, at) | U16(d, at + 2) << 16;
}

std::uint8_t Byte(Bytes d, Offset at) {
    return at >= 0 && at < Offset(d.size()) ? d[std::size_t(at)] : 0;
}

bool StartsWith(Bytes d, std::string_view text) {
    return d.size() >= text.size() && std::memcmp(d.data(), text.data(), text.size()) == 0;
}

} // namespace

Kind Sniff(Bytes data) {
    if (U32(data, 0) == 0x9AC6CDD7u) return Kind::Wmf; // placeable metafile
    const std::uint32_t type = U16(data, 0), headerWords = U16(data, 2), version = U16(data, 4);
    if ((type == 1 || type == 2) && headerWords == 9 && (version == 0x0100 || version == 0x0300))
        return Kind::Wmf;
    if (U32(data, 0) == 1 && U32(data, 40) == 0x464D4520u) // EMR_HEADER, " EMF"
        return Kind::Emf;
    if (!StartsWith(data, "BM") && codecs::KnownBitmapHeaderSize(U32(data, 0)))
        return Kind::PackedDib;
    return Kind::Other;
}

bool BitmapComplete(Bytes data, bool hasFileHeader) {
    return codecs::BitmapComplete(data, hasFileHeader);
}

bool JpegComplete(Bytes data) {
    if (Byte(data, 0) != 0xFF || Byte(data, 1) != 0xD8) return true; // not a JPEG
    Offset at = 2;
    const Offset n = Offset(data.size());
    while (at + 1 < n) {
        if (Byte(data, at) != 0xFF) return false;
        const std::uint8_t marker = Byte(data, at + 1);
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0xD9) return true; // end of image
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
            continue;
        }
        const Offset length = (Byte(data, at + 2) << 8) | Byte(data, at + 3);
        if (length < 2 || at + 2 + length > n) return false;
        at += 2 + length;
        if (marker == 0xDA) {
            // Entropy-coded data runs to the next marker that is neither a
            // stuffed zero nor a restart marker.
            while (at + 1 < n) {
                if (Byte(data, at) == 0xFF) {
                    const std::uint8_t next = Byte(data, at + 1);
                    if (next != 0x00 && next != 0xFF && !(next >= 0xD0 && next <= 0xD7)) break;
                }
                ++at;
            }
        }
    }
    return false;
}

bool GifComplete(Bytes data) {
    if (!StartsWith(data, "GIF87a") && !StartsWith(data, "GIF89a")) return true;
    const Offset n = Offset(data.size());
    Offset at = 13;
    const std::uint8_t flags = Byte(data, 10);
    if (flags & 0x80) at += 3 * (Offset{1} << ((flags & 7) + 1));
    auto skipSubBlocks = [&]() {
        while (at < n) {
            const std::uint8_t size = Byte(data, at);
            ++at;
            if (size == 0) return true;
            at += size;
        }
        return false;
    };
    while (at < n) {
        const std::uint8_t block = Byte(data, at);
        if (block == 0x21) { // extension
            at += 2;
            if (!skipSubBlocks()) return false;
        } else if (block == 0x2C) { // image
            const std::uint8_t local = Byte(data, at + 9);
            at += 10;
            if (local & 0x80) at += 3 * (Offset{1} << ((local & 7) + 1));
            at += 1; // LZW minimum code size
            return skipSubBlocks();
        } else {
            return false; // trailer or rubbish before any image
        }
    }
    return false;
}

namespace {

// The number after "#define NAME_width" (or _height) in the text, or -1.
std::int64_t Defined(std::string_view text, std::string_view suffix) {
    for (std::size_t at = text.find("#define"); at != std::string_view::npos;
         at = text.find("#define", at + 1)) {
        std::size_t p = at + 7;
        auto skipSpace = [&] {
            const std::size_t start = p;
            while (p < text.size() && (text[p] == ' ' || text[p] == '\t'))
                ++p;
            return p > start;
        };
        if (!skipSpace()) continue;
        const std::size_t name = p;
        while (p < text.size() && text[p] > ' ')
            ++p;
        const std::string_view word = text.substr(name, p - name);
        if (word.size() < suffix.size() + 1 || word.substr(word.size() - suffix.size()) != suffix ||
            word[word.size() - suffix.size() - 1] != '_')
            continue;
        if (!skipSpace() || p >= text.size() || text[p] < '0' || text[p] > '9') continue;
        std::int64_t value = 0;
        for (; p < text.size() && text[p] >= '0' && text[p] <= '9'; ++p)
            value = std::min<std::int64_t>(value * 10 + (text[p] - '0'), std::int64_t(1) << 40);
        return value;
    }
    return -1;
}

} // namespace

bool XbmComplete(Bytes data) {
    const std::string_view text(reinterpret_cast<const char*>(data.data()),
                                std::min<std::size_t>(data.size(), 4096));
    const std::int64_t width = Defined(text, "width"), height = Defined(text, "height");
    if (width < 0 || height < 0) return true; // not an X bitmap
    const std::string_view all(reinterpret_cast<const char*>(data.data()), data.size());
    const std::size_t open = all.find('{');
    if (open == std::string_view::npos) return false;
    const std::size_t close = all.find('}', open);
    if (close == std::string_view::npos) return false;
    // Count the numbers between the braces.
    std::int64_t count = 0;
    bool inNumber = false;
    for (std::size_t i = open + 1; i < close; ++i) {
        const char c = all[i];
        const bool part = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
                          (c >= 'A' && c <= 'F') || c == 'x' || c == 'X';
        if (part && !inNumber) ++count;
        inNumber = part;
    }
    return count >= (width + 7) / 8 * height;
}

namespace {

struct Candidate {
    int index;
    std::int64_t area;
    int bits;
};

} // namespace

int BestIconEntry(Bytes data) {
    const int count = int(U16(data, 4));
    Candidate best{0, -1, -1};
    for (int i = 0; i < count && 6 + 16 * (Offset(i) + 1) <= Offset(data.size()); ++i) {
        const Offset entry = 6 + 16 * Offset(i);
        const int w = Byte(data, entry) ? Byte(data, entry) : 256;
        const int h = Byte(data, entry + 1) ? Byte(data, entry + 1) : 256;
        int bits = int(U16(data, entry + 6));
        const std::uint32_t offset = U32(data, entry + 12);
        if (Offset(offset) + 8 <= Offset(data.size())) {
            if (StartsWith(data.subspan(offset), "\x89PNG\r\n\x1a\n"))
                bits = 32;
            else if (!bits)
                bits = int(U16(data, Offset(offset) + 14));
        }
        const std::int64_t area = std::int64_t(w) * h;
        if (area > best.area || (area == best.area && bits > best.bits)) best = {i, area, bits};
    }
    return best.index;
}

} // namespace picturecheck

namespace picturecheck {

namespace {

// Sizes beyond any limit are all refused alike: they are held to a bound
// that stays far from overflowing.
constexpr std::int64_t kFarBeyond = std::int64_t(1) << 40;

std::int64_t Pixels(double length) {
    return std::int64_t(std::min(std::round(length), double(kFarBeyond)));
}

std::int32_t I32(Bytes d, Offset at) {
    return std::int32_t(U32(d, at));
}

std::uint32_t BigU32(Bytes d, Offset at) {
    if (at < 0 || at + 4 > Offset(d.size())) return 0;
    const std::size_t i = std::size_t(at);
    return std::uint32_t(d[i]) << 24 | std::uint32_t(d[i + 1]) << 16 |
           std::uint32_t(d[i + 2]) << 8 | d[i + 3];
}

} // namespace

std::optional<Size> WmfSize(Bytes data) {
    if (data.size() < 22 || U32(data, 0) != 0x9AC6CDD7u) return std::nullopt;
    const std::uint32_t inch = U16(data, 14);
    const std::int64_t wide =
        std::int64_t(std::int16_t(U16(data, 10))) - std::int16_t(U16(data, 6));
    const std::int64_t high =
        std::int64_t(std::int16_t(U16(data, 12))) - std::int16_t(U16(data, 8));
    if (inch == 0 || wide == 0 || high == 0) return std::nullopt;
    return Size{Pixels(double(std::abs(wide)) * 96.0 / inch),
                Pixels(double(std::abs(high)) * 96.0 / inch)};
}

std::optional<Size> EmfSize(Bytes data) {
    if (data.size() < 88 || Sniff(data) != Kind::Emf) return std::nullopt;
    // The frame, inclusive, in hundredths of a millimetre, at 24.
    const double wide = double(I32(data, 32)) - I32(data, 24);
    const double high = double(I32(data, 36)) - I32(data, 28);
    if (wide <= 0 || high <= 0) return std::nullopt;
    return Size{Pixels(wide * 96.0 / 2540.0), Pixels(high * 96.0 / 2540.0)};
}

std::optional<Size> IconSize(Bytes data) {
    const Offset n = Offset(data.size());
    const Offset count = U16(data, 4);
    const Offset entry = 6 + 16 * Offset(BestIconEntry(data));
    if (count == 0 || entry + 16 > n) return std::nullopt;
    const Offset at = U32(data, entry + 12);
    if (at + 24 <= n && StartsWith(data.subspan(std::size_t(at)), "\x89PNG\r\n\x1a\n")) {
        const Size size{BigU32(data, at + 16), BigU32(data, at + 20)};
        if (BigU32(data, at + 12) != 0x49484452u || size.width == 0 || size.height == 0)
            return std::nullopt; // no IHDR, or an empty one
        return size;
    }
    // A bitmap: its header's width and height (which counts the mask too).
    if (at + 40 > n) return std::nullopt;
    const std::int64_t width = Byte(data, entry) ? Byte(data, entry) : I32(data, at + 4);
    const std::int64_t height =
        Byte(data, entry + 1) ? Byte(data, entry + 1) : I32(data, at + 8) / 2;
    if (width <= 0 || height <= 0 || width > 256 || height > 256) return std::nullopt;
    return Size{width, height};
}

std::optional<std::vector<TiffPage>> TiffPages(Bytes data) {
    const bool little = StartsWith(data, std::string_view("II*\0", 4));
    if (!little && !StartsWith(data, std::string_view("MM\0*", 4))) return std::nullopt;
    const Offset n = Offset(data.size());
    auto u16 = [&](Offset at) -> std::uint32_t {
        if (at + 2 > n) return 0;
        const std::uint32_t a = data[std::size_t(at)], b = data[std::size_t(at) + 1];
        return little ? a | b << 8 : a << 8 | b;
    };
    auto u32 = [&](Offset at) -> std::uint32_t {
        return little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2);
    };
    // An entry's one value, when it is a whole number that fits within it.
    auto value = [&](Offset entry) -> std::int64_t {
        switch (u16(entry + 2)) {
        case 1: // BYTE
            return data[std::size_t(entry) + 8];
        case 3: // SHORT
            return u16(entry + 8);
        case 4: // LONG
            return u32(entry + 8);
        case 8: // SSHORT
            return std::int16_t(u16(entry + 8));
        case 9: // SLONG
            return std::int32_t(u32(entry + 8));
        default:
            return 0;
        }
    };
    std::vector<TiffPage> pages;
    std::vector<Offset> seen;
    std::int64_t entries = 0;
    for (Offset at = u32(4); at != 0;) {
        const Offset count = u16(at);
        const Offset link = at + 2 + 12 * count;
        if (at + 2 > n || link + 4 > n || std::find(seen.begin(), seen.end(), at) != seen.end())
            break;
        entries += count;
        if (int(pages.size()) == kMaxTiffPages || entries > kMaxTiffEntries) return std::nullopt;
        seen.push_back(at);
        TiffPage page;
        for (Offset entry = at + 2; entry < link; entry += 12) {
            const std::uint32_t tag = u16(entry);
            if (tag == 256) page.size.width = std::max<std::int64_t>(value(entry), 0);
            if (tag == 257) page.size.height = std::max<std::int64_t>(value(entry), 0);
            if (tag == 274) page.orientation = int(value(entry));
        }
        if (page.orientation < 1 || page.orientation > 8) page.orientation = 1;
        pages.push_back(page);
        at = u32(link);
    }
    if (pages.empty()) return std::nullopt;
    return pages;
}

} // namespace picturecheck
