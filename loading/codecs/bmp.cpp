// BMP and packed DIB, read by hand (no Debian library reads them on its
// own), following what Qt's BMP reader reads and refuses: 1, 4, 8, 16, 24
// and 32 bits, uncompressed, RLE8, RLE4 and bit fields, bottom-up and
// top-down, Windows headers of 40, 64, 108 and 124 bytes and the OS/2 1.x
// header of 12 (any other header size is read as the latter, as Qt does).
// Every offset and size is checked before use.
#include "internal.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <new>

namespace codecs::detail {

namespace {

constexpr int kFileHeader = 14;

// The bytes read like Qt's QBuffer: a position that a seek outside the data
// leaves alone, reads that stop at the end.
class Stream {
  public:
    explicit Stream(Bytes bytes) : bytes_(bytes) {}
    std::int64_t pos() const { return pos_; }
    std::int64_t size() const { return std::int64_t(bytes_.size()); }
    bool atEnd() const { return pos_ >= size(); }
    void seek(std::int64_t to) {
        if (to >= 0 && to <= size()) pos_ = to;
    }
    std::int64_t read(std::uint8_t* out, std::int64_t n) {
        const std::int64_t count = std::max<std::int64_t>(0, std::min(n, size() - pos_));
        if (count) std::memcpy(out, bytes_.data() + pos_, std::size_t(count));
        pos_ += count;
        return count;
    }
    bool get(std::uint8_t& c) {
        if (atEnd()) return false;
        c = bytes_[std::size_t(pos_++)];
        return true;
    }
    void skip() {
        if (!atEnd()) ++pos_;
    }
    bool u16(std::uint32_t& v) {
        std::uint8_t b[2];
        if (read(b, 2) != 2) return false;
        v = b[0] | b[1] << 8;
        return true;
    }
    bool u32(std::uint32_t& v) {
        std::uint8_t b[4];
        if (read(b, 4) != 4) return false;
        v = b[0] | b[1] << 8 | b[2] << 16 | std::uint32_t(b[3]) << 24;
        return true;
    }
    bool i32(std::int32_t& v) {
        std::uint32_t u = 0;
        if (!u32(u)) return false;
        v = std::int32_t(u);
        return true;
    }

  private:
    Bytes bytes_;
    std::int64_t pos_ = 0;
};

struct Header {
    std::int32_t offBits = 0; // from the file header
    std::int32_t size = 0, width = 0, height = 0, compression = 0, imageSize = 0, used = 0;
    std::uint32_t planes = 0, bits = 0;
    std::uint32_t masks[4] = {}; // red, green, blue, alpha (108- and 124-byte headers)
};

enum Compression { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3 };

// The file and info headers, refused where Qt's reader refuses them.
bool ReadHeader(Stream& s, bool fileHeader, Header& h) {
    if (fileHeader) {
        std::uint8_t magic[2];
        std::uint32_t skip = 0;
        if (s.read(magic, 2) != 2 || !s.u32(skip) || !s.u32(skip) || !s.i32(h.offBits))
            return false;
        if (magic[0] != 'B' || magic[1] != 'M') return false;
    }
    if (!s.i32(h.size)) return false;
    if (h.size == 40 || h.size == 64 || h.size == 108 || h.size == 124) {
        std::int32_t ignored = 0;
        if (!s.i32(h.width) || !s.i32(h.height) || !s.u16(h.planes) || !s.u16(h.bits) ||
            !s.i32(h.compression) || !s.i32(h.imageSize) || !s.i32(ignored) || !s.i32(ignored) ||
            !s.i32(h.used) || !s.i32(ignored))
            return false;
        if (h.size >= 108) {
            for (std::uint32_t& mask : h.masks)
                if (!s.u32(mask)) return false;
            for (int i = 0; i < 13 + (h.size == 124 ? 4 : 0); ++i)
                if (!s.i32(ignored)) return false;
        }
    } else {
        std::uint32_t w = 0, hh = 0;
        if (!s.u16(w) || !s.u16(hh) || !s.u16(h.planes) || !s.u16(h.bits)) return false;
        h.width = std::int16_t(w);
        h.height = std::int16_t(hh);
    }
    const std::uint32_t n = h.bits;
    const std::int32_t c = h.compression;
    if (!(n == 1 || n == 4 || n == 8 || n == 16 || n == 24 || n == 32) || h.planes != 1 ||
        c > kBitFields)
        return false;
    if (!(c == kRgb || (n == 4 && c == kRle4) || (n == 8 && c == kRle8) ||
          ((n == 16 || n == 32) && c == kBitFields)))
        return false;
    if (h.height == INT_MIN || h.width <= 0 || h.height == 0) return false;
    return std::uint64_t(h.width) * std::uint64_t(std::abs(h.height)) <= 16384ull * 16384ull;
}

std::uint32_t U16(Bytes d, std::int64_t at) {
    if (at < 0 || at + 2 > std::int64_t(d.size())) return 0;
    return d[std::size_t(at)] | d[std::size_t(at) + 1] << 8;
}

std::uint32_t U32(Bytes d, std::int64_t at) {
    return U16(d, at) | U16(d, at + 2) << 16;
}

} // namespace
} // namespace codecs::detail

namespace codecs {

bool BitmapComplete(std::span<const std::uint8_t> data, bool fileHeader) {
    using namespace detail;
    const std::int64_t base = fileHeader ? kFileHeader : 0;
    const std::uint32_t headerSize = U32(data, base);
    if (!KnownBitmapHeaderSize(headerSize)) return true; // not a layout the check knows
    std::int64_t width = 0, height = 0, bits = 0, compression = 0, imageSize = 0, colours = 0;
    if (headerSize == 12) {
        width = U16(data, base + 4);
        height = U16(data, base + 6);
        bits = U16(data, base + 10);
    } else {
        width = std::int32_t(U32(data, base + 4));
        height = std::int32_t(U32(data, base + 8));
        bits = U16(data, base + 14);
        compression = U32(data, base + 16);
        imageSize = U32(data, base + 20);
        colours = U32(data, base + 32);
    }
    if (height < 0) height = -height;
    std::int64_t pixelStart = 0;
    if (fileHeader) {
        pixelStart = U32(data, 10);
    } else {
        const std::int64_t entry = headerSize == 12 ? 3 : 4;
        std::int64_t table = 0;
        if (bits <= 8)
            table = (colours ? colours : (std::int64_t{1} << bits)) * entry;
        else if (headerSize == 40 && (compression == 3 || compression == 6))
            table = (compression == 3 ? 12 : 16) + colours * entry;
        else
            table = colours * entry;
        pixelStart = headerSize + table;
    }
    std::int64_t needed = 0;
    if (compression == 0 || compression == 3 || compression == 6) {
        if (width < 0) return true;
        const std::int64_t stride = ((width * bits + 31) / 32) * 4;
        if (__builtin_mul_overflow(stride, height, &needed)) return false;
    } else {
        needed = imageSize;
    }
    return needed <= INT64_MAX - pixelStart && pixelStart + needed <= std::int64_t(data.size());
}

} // namespace codecs

namespace codecs::detail {
namespace {

int Shift(std::uint32_t mask) {
    int shift = 0;
    while (mask && !(mask & 1)) {
        ++shift;
        mask >>= 1;
    }
    return shift;
}

struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t scale = 0;
    // Qt's scaling: the field times 256 / (its largest value + 1), kept to 8 bits.
    bool set(std::uint32_t m) {
        mask = m;
        shift = Shift(m);
        if ((m >> shift) + 1 == 0) return false;
        scale = 256 / ((m >> shift) + 1);
        return true;
    }
    std::uint32_t of(std::uint32_t c) const { return (((c & mask) >> shift) * scale) & 0xFF; }
};

// Run-length data decoded into one index per pixel, rows bottom-up as the
// file stores them, the way Qt's reader writes its 8-bit image: runs are
// only clipped at the end of the first row stored, so a long run goes on
// into the row stored before. Pixels no run reaches keep index 0. False
// when the data stops inside a run (Qt would show undefined pixels).
bool DecodeRle(Stream& s, bool four, int w, int h, std::int64_t bpl, std::uint8_t* data) {
    int x = 0, y = 0;
    std::int64_t p = (h - 1) * bpl;
    const std::int64_t end = p + w;
    std::uint8_t b = 0;
    while (y < h) {
        if (!s.get(b)) break;
        if (b == 0) {
            if (!s.get(b) || b == 1) break; // end of the picture
            if (b == 0) {                   // end of the line
                x = 0;
                ++y;
                p = (h - y - 1) * bpl;
            } else if (b == 2) { // move right and down
                std::uint8_t dx = 0, dy = 0;
                if (!s.get(dx) || !s.get(dy)) return false;
                x += dx;
                y += dy;
                if (unsigned(x) >= unsigned(w)) x = w - 1;
                if (unsigned(y) >= unsigned(h)) y = h - 1;
                p = (h - y - 1) * bpl + x;
            } else { // a run of literal pixels
                if (p + b > end) b = std::uint8_t(end - p);
                const int count = b;
                if (four) {
                    for (int i = count / 2; i > 0; --i) {
                        s.get(b); // at the end Qt reuses the byte before
                        data[p++] = b >> 4;
                        data[p++] = b & 0x0f;
                    }
                    if (count & 1) {
                        std::uint8_t last = 0;
                        if (!s.get(last)) return false;
                        data[p++] = last >> 4;
                    }
                    if ((((count & 3) + 1) & 2) == 2) s.skip();
                } else {
                    if (s.read(data + p, count) != count) return false;
                    if (count & 1) s.skip();
                    p += count;
                }
                x += count;
            }
        } else { // one pixel (or pair) repeated
            if (p + b > end) b = std::uint8_t(end - p);
            const int count = b;
            std::uint8_t pixel = b;
            if (!s.get(pixel) && !four) return false;
            if (four) {
                for (int i = 0; i < count; ++i)
                    data[p++] = (i & 1) ? pixel & 0x0f : pixel >> 4;
            } else {
                std::memset(data + p, pixel, std::size_t(count));
                p += count;
            }
            x += count;
        }
    }
    return true;
}

struct BmpResult {
    Decoded decoded;
    bool fail(const std::string& why) {
        decoded.error = why;
        decoded.image = {};
        return false;
    }
};

bool ReadBody(Stream& s, const Header& h, std::int64_t dataPos, std::int64_t start,
              const DecodeOptions& options, BmpResult& r) {
    const char* damaged = "the bitmap is damaged or of a kind this program does not read";
    if (s.atEnd()) return r.fail("the bitmap's pixel data is cut short");
    const int w = h.width, nbits = int(h.bits), comp = h.compression;
    const int height = h.height < 0 ? -h.height : h.height;
    if (!CheckSize(w, height, options, r.decoded)) return false;
    s.seek(start + h.size);
    std::uint32_t masks[4] = {};
    const bool bitFields = comp == kBitFields;
    if (h.size >= 108) {
        std::copy(h.masks, h.masks + 4, masks);
    } else if (bitFields) {
        if (!s.u32(masks[0]) || !s.u32(masks[1]) || !s.u32(masks[2]))
            return r.fail("the bitmap's colour masks are cut short");
    }
    const bool transparent =
        (bitFields || (comp == kRgb && nbits == 32 && masks[3] == 0xff000000u)) && masks[3];

    std::array<std::uint32_t, 256> table;
    table.fill(0); // indices past the table are black
    int colours = 0;
    Channel red, green, blue, alpha;
    if (nbits <= 8) {
        colours = h.used ? h.used : 1 << nbits;
        if (colours < 1 || colours > 256) return r.fail(damaged);
        const int entry = h.size == 12 ? 3 : 4;
        for (int i = 0; i < colours; ++i) {
            std::uint8_t rgb[4];
            if (s.read(rgb, entry) != entry || s.atEnd())
                return r.fail("the bitmap's colour table is cut short");
            table[std::size_t(i)] = Pack(rgb[2], rgb[1], rgb[0]);
        }
        if (nbits == 1 && colours < 2) table[1] = 0x00FFFFFF; // Qt's default second colour
    } else if (bitFields) {
        if (!red.set(masks[0]) || !green.set(masks[1]) || !blue.set(masks[2]) ||
            !alpha.set(masks[3]))
            return r.fail(damaged);
    } else if (nbits == 16) {
        red = {0x7c00, 7, 1};
        green = {0x03e0, 2, 1};
        blue = {0x001f, 0, 8};
    } else {
        red = {0x00ff0000, 16, 1};
        green = {0x0000ff00, 8, 1};
        blue = {0x000000ff, 0, 1};
        if (transparent && !alpha.set(masks[3])) return r.fail(damaged);
    }
    if (dataPos >= 0 && dataPos > s.pos()) s.seek(dataPos);

    if (!Allocate(r.decoded.image, w, height, r.decoded)) return false;
    std::uint32_t* out = r.decoded.image.pixels.data();
    // Row `stored` of the file (bottom-up unless the height is negative) as a picture row.
    auto rowOf = [&](int stored) {
        const int y = h.height < 0 ? stored : height - 1 - stored;
        return out + std::size_t(y) * std::size_t(w);
    };
    const char* cut = "the bitmap's pixel data is cut short";
    try {
        if (nbits == 1) {
            const std::int64_t bpl = ((std::int64_t(w) + 31) / 32) * 4;
            std::vector<std::uint8_t> row(std::size_t(bpl), 0);
            for (int stored = 0; stored < height; ++stored) {
                if (s.read(row.data(), bpl) != bpl) return r.fail(cut);
                std::uint32_t* o = rowOf(stored);
                for (int x = 0; x < w; ++x)
                    o[x] = table[(row[std::size_t(x >> 3)] >> (7 - (x & 7))) & 1];
            }
        } else if (nbits <= 8) {
            const std::int64_t bpl = (std::int64_t(w) + 3) & ~std::int64_t(3);
            std::vector<std::uint8_t> indices(std::size_t(bpl) * std::size_t(height), 0);
            if (comp == kRle8 || comp == kRle4) {
                if (!DecodeRle(s, comp == kRle4, w, height, bpl, indices.data()))
                    return r.fail(cut);
            } else if (nbits == 4) {
                // Qt clears the picture first: rows missing at the end stay index 0.
                const std::int64_t length = ((std::int64_t(w) + 7) / 8) * 4;
                std::vector<std::uint8_t> row(static_cast<std::size_t>(length));
                for (int line = height - 1; line >= 0; --line) {
                    if (s.read(row.data(), length) != length) break;
                    std::uint8_t* p = indices.data() + line * bpl;
                    for (int x = 0; x < w; ++x)
                        p[x] =
                            (x & 1) ? row[std::size_t(x / 2)] & 0x0f : row[std::size_t(x / 2)] >> 4;
                }
            } else {
                for (int line = height - 1; line >= 0; --line)
                    if (s.read(indices.data() + line * bpl, bpl) != bpl) return r.fail(cut);
            }
            // The 8-bit image is stored top row first in memory; Qt turns a
            // negative height's rows over afterwards.
            for (int line = 0; line < height; ++line) {
                const int y = h.height < 0 ? height - 1 - line : line;
                const std::uint8_t* p = indices.data() + line * bpl;
                std::uint32_t* o = out + std::size_t(y) * std::size_t(w);
                for (int x = 0; x < w; ++x)
                    o[x] = table[p[x]];
            }
        } else {
            const std::int64_t length = ((std::int64_t(w) * nbits + 31) / 32) * 4;
            std::vector<std::uint8_t> row(static_cast<std::size_t>(length));
            const int step = nbits / 8;
            for (int stored = 0; stored < height; ++stored) {
                if (s.read(row.data(), length) != length) return r.fail(cut);
                const std::uint8_t* b = row.data();
                std::uint32_t* o = rowOf(stored);
                for (int x = 0; x < w; ++x, b += step) {
                    std::uint32_t c = b[0] | b[1] << 8;
                    if (nbits > 16) c |= std::uint32_t(b[2]) << 16;
                    if (nbits > 24) c |= std::uint32_t(b[3]) << 24;
                    if (transparent)
                        o[x] = OverWhite(red.of(c), green.of(c), blue.of(c), alpha.of(c));
                    else
                        o[x] = Pack(red.of(c), green.of(c), blue.of(c));
                }
            }
        }
    } catch (const std::bad_alloc&) {
        return r.fail("there is not enough memory for the picture");
    }
    return true;
}

} // namespace

std::optional<Size> PeekBmp(Bytes bytes, bool fileHeader) {
    Stream s(bytes);
    Header h;
    if (!ReadHeader(s, fileHeader, h)) return std::nullopt;
    return Size{h.width, h.height < 0 ? -h.height : h.height};
}

Decoded DecodeBmp(Bytes bytes, bool fileHeader, const DecodeOptions& options) {
    Stream s(bytes);
    Header h;
    if (!ReadHeader(s, fileHeader, h))
        return {{}, "not a bitmap of a kind this program reads (or its header is cut short)"};
    const int height = h.height < 0 ? -h.height : h.height;
    if (TooLarge(h.width, height, options)) return {{}, TooLargeText(h.width, height, options)};
    if (!BitmapComplete(bytes, fileHeader)) return {{}, "the bitmap's pixel data is cut short"};
    // Where the pixels start: the file header says; a packed DIB has none,
    // so Qt takes the image size from the end, or else what follows the
    // header (and the bit-field masks).
    std::int64_t dataPos = 0;
    const std::int64_t start = fileHeader ? kFileHeader : 0;
    if (fileHeader) {
        dataPos = h.offBits;
    } else if (h.imageSize > 0 && h.imageSize < s.size()) {
        dataPos = s.size() - h.imageSize;
    } else {
        dataPos = h.size;
        if ((h.bits == 16 || h.bits == 32) && h.compression == kBitFields) dataPos += 12;
    }
    BmpResult r;
    ReadBody(s, h, dataPos, start, options, r);
    return std::move(r.decoded);
}

} // namespace codecs::detail
