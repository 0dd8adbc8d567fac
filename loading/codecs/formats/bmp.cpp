// BMP and packed DIB, read by hand (no Debian library reads them on its
// own), following what Qt's BMP reader reads and refuses: 1, 4, 8, 16, 24
// and 32 bits, uncompressed, RLE8, RLE4 and bit fields, bottom-up and
// top-down, the Windows headers (40 bytes, the 52- and 56-byte ones with
// their masks, 108 and 124), OS/2 2.x (64) and the OS/2 1.x header of 12
// (any other size is read as the latter, as Qt does). Unlike Qt, every
// bit-field channel is scaled to the full 0..255 range as browsers scale it
// (value * 255 / largest, rounded), so 5-, 4- and 10-bit channels reach
// white. Every offset and size is checked before use; the pixels are read
// in the order they are shown, top row first, from the caller's bytes or
// from the file where it lies (a bottom-up file read backwards, a piece at
// a time), so nothing but the picture (or, under a fit, the fitted picture)
// is held, and for run-length data the 8-bit picture it is decoded into.
#include "internal.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace codecs {

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

} // namespace codecs

namespace codecs::detail {

namespace {

constexpr int kFileHeader = 14;

// The bytes read like Qt's QBuffer: a position that a seek outside the data
// leaves alone, reads that stop at the end (or where the file cannot be
// read further). Read through the reader's piece at hand, so that the
// stream must be the reader's only user while it reads.
class Stream {
  public:
    explicit Stream(Reader& reader) : reader_(reader), size_(std::int64_t(reader.size())) {}
    std::int64_t pos() const { return pos_; }
    std::int64_t size() const { return size_; }
    bool atEnd() const { return pos_ >= size(); }
    void seek(std::int64_t to) {
        if (to >= 0 && to <= size()) pos_ = to;
    }
    std::int64_t read(std::uint8_t* out, std::int64_t n) {
        const std::int64_t count = std::max<std::int64_t>(0, std::min(n, size() - pos_));
        std::int64_t got = 0;
        while (got < count && hold()) {
            const std::int64_t from = pos_ - pieceAt_;
            const std::int64_t k = std::min(count - got, std::int64_t(piece_.size()) - from);
            std::memcpy(out + got, piece_.data() + from, std::size_t(k));
            got += k;
            pos_ += k;
        }
        return got;
    }
    // Up to `n` bytes at `at`, the position left as it was.
    std::int64_t peek(std::int64_t at, std::uint8_t* out, std::int64_t n) {
        const std::int64_t was = pos_;
        pos_ = at;
        const std::int64_t got = read(out, n);
        pos_ = was;
        return got;
    }
    bool get(std::uint8_t& c) {
        if (atEnd() || !hold()) return false;
        c = piece_[std::size_t(pos_++ - pieceAt_)];
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
    // Whether the piece at hand holds the position, reading on from there
    // when it does not.
    bool hold() {
        if (pos_ >= pieceAt_ && pos_ - pieceAt_ < std::int64_t(piece_.size())) return true;
        pieceAt_ = pos_;
        piece_ = reader_.rest(std::uint64_t(pos_));
        return !piece_.empty();
    }
    Reader& reader_;
    std::int64_t size_ = 0;
    std::int64_t pos_ = 0;
    Bytes piece_;
    std::int64_t pieceAt_ = 0;
};

// The Windows headers from 52 bytes on hold the colour masks (the 56-byte
// one and later the alpha mask too); OS/2 2.x's 64 bytes hold other fields.
bool MasksInHeader(std::uint32_t size) {
    return size >= 52 && size != 64;
}

struct BitmapHeader {
    std::int64_t start = 0;   // where the info header starts
    std::int32_t offBits = 0; // from the file header
    std::int32_t size = 0, width = 0, height = 0, compression = 0, imageSize = 0, used = 0;
    std::uint32_t planes = 0, bits = 0;
    std::uint32_t masks[4] = {}; // red, green, blue, alpha (headers with masks)
    // The picture's rows, and whether they are stored top first (under a
    // negative height) rather than bottom first.
    std::int32_t rows = 0;
    bool topDown = false;
};

enum Compression { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3 };

// The file and info headers, refused where Qt's reader refuses them: the
// header reader, the decoder's too.
bool ReadBitmapHeader(Stream& s, bool fileHeader, BitmapHeader& h) {
    h.start = fileHeader ? kFileHeader : 0;
    if (fileHeader) {
        std::uint8_t magic[2];
        std::uint32_t skip = 0;
        if (s.read(magic, 2) != 2 || !s.u32(skip) || !s.u32(skip) || !s.i32(h.offBits))
            return false;
        if (magic[0] != 'B' || magic[1] != 'M') return false;
    }
    if (!s.i32(h.size)) return false;
    if (h.size != 12 && KnownBitmapHeaderSize(std::uint32_t(h.size))) {
        std::int32_t ignored = 0;
        if (!s.i32(h.width) || !s.i32(h.height) || !s.u16(h.planes) || !s.u16(h.bits) ||
            !s.i32(h.compression) || !s.i32(h.imageSize) || !s.i32(ignored) || !s.i32(ignored) ||
            !s.i32(h.used) || !s.i32(ignored))
            return false;
        if (MasksInHeader(std::uint32_t(h.size)))
            for (int i = 0; i < (h.size == 52 ? 3 : 4); ++i)
                if (!s.u32(h.masks[i])) return false;
        if (s.size() < h.start + h.size) return false; // the rest of the header is not there
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
    h.topDown = h.height < 0;
    h.rows = h.topDown ? -h.height : h.height;
    return std::uint64_t(h.width) * std::uint64_t(h.rows) <= 16384ull * 16384ull;
}

// A row of the 8-bit picture that run-length data is decoded into: whole
// 4-byte words.
std::int64_t RowBytes(std::int64_t width) {
    return (width + 3) & ~std::int64_t(3);
}

std::optional<Header> PeekBmp(Reader&& reader, bool fileHeader) {
    Stream s(reader);
    BitmapHeader h;
    if (!ReadBitmapHeader(s, fileHeader, h)) return std::nullopt;
    Header header;
    header.width = h.width;
    header.height = h.rows;
    if (h.compression == kRle8 || h.compression == kRle4) // IndexRows: each row, and its vector
        header.held = std::uint64_t(header.height) * std::uint64_t(RowBytes(h.width) + 48);
    return header;
}

bool CanReadBmp(Bytes bytes) {
    return bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
}

// A packed DIB is told by its info header's size, one that no metafile
// starts with.
bool CanReadDib(Bytes bytes) {
    return bytes.size() >= 4 && KnownBitmapHeaderSize(bytes[0] | bytes[1] << 8 | bytes[2] << 16 |
                                                      std::uint32_t(bytes[3]) << 24);
}

std::optional<Header> ReadBmpHeader(Bytes bytes) {
    return PeekBmp(Reader(bytes), true);
}

std::optional<Header> ReadDibHeader(Bytes bytes) {
    return PeekBmp(Reader(bytes), false);
}

std::optional<Header> ReadBmpFileHeader(const File& file) {
    return PeekBmp(Reader(file), true);
}

std::optional<Header> ReadDibFileHeader(const File& file) {
    return PeekBmp(Reader(file), false);
}

std::size_t Memory(const Header& header, const DecodeOptions& options, bool) {
    const std::uint64_t w = std::uint64_t(header.width), h = std::uint64_t(header.height);
    // The row being converted, a blank one and one read from a file, the
    // colour table and the channels' tables, the buffer a file is read
    // through; then the picture, or the fitter.
    const std::uint64_t rows = 12 * w + (64u << 10) + Reader::kPiece;
    const std::uint64_t out = options.fitted && options.fits()
                                  ? FitMemory(header.width, header.height, options)
                                  : 4 * w * h;
    return std::size_t(header.held + rows + out);
}

} // namespace

} // namespace codecs::detail

namespace codecs::detail {

namespace {

std::uint32_t U16(Bytes d, std::int64_t at) {
    if (at < 0 || at + 2 > std::int64_t(d.size())) return 0;
    return d[std::size_t(at)] | d[std::size_t(at) + 1] << 8;
}

std::uint32_t U32(Bytes d, std::int64_t at) {
    return U16(d, at) | U16(d, at + 2) << 16;
}

// What lies between a packed DIB's info header and its pixels: the masks
// that follow a header without room for them (12 bytes, 16 with alpha for
// compression 6), and the colour table (3-byte entries after the OS/2 1.x
// header, else 4).
std::int64_t AfterHeader(std::uint32_t headerSize, std::int64_t bits, std::int64_t compression,
                         std::int64_t colours) {
    std::int64_t masks = 0;
    if (headerSize != 12 && !MasksInHeader(headerSize))
        masks = compression == kBitFields ? 12 : compression == 6 ? 16 : 0;
    const std::int64_t entries =
        bits <= 8 ? (colours ? colours : std::int64_t{1} << bits) : colours;
    return masks + entries * (headerSize == 12 ? 3 : 4);
}

// The check on the file's first bytes (its headers) and its size.
bool Complete(Bytes data, std::int64_t size, bool fileHeader) {
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
    const std::int64_t pixelStart =
        fileHeader ? U32(data, 10)
                   : headerSize + AfterHeader(headerSize, bits, compression, colours);
    std::int64_t needed = 0;
    if (compression == kRgb || compression == kBitFields || compression == 6) {
        if (width < 0) return true;
        const std::int64_t stride = ((width * bits + 31) / 32) * 4;
        if (__builtin_mul_overflow(stride, height, &needed)) return false;
    } else {
        needed = imageSize;
    }
    return needed <= INT64_MAX - pixelStart && pixelStart + needed <= size;
}

// As far as Complete reads: past both headers' fields it looks at.
constexpr std::int64_t kCompleteReads = 64;

} // namespace

} // namespace codecs::detail

namespace codecs {

bool BitmapComplete(std::span<const std::uint8_t> data, bool fileHeader) {
    return detail::Complete(data, std::int64_t(data.size()), fileHeader);
}

} // namespace codecs

namespace codecs::detail {

namespace {

// A bit-field channel: the field's value scaled to 0..255, rounded.
class Channel {
  public:
    // False for a mask of all 32 bits (Qt refuses it).
    bool set(std::uint32_t mask) {
        mask_ = mask;
        shift_ = mask ? __builtin_ctz(mask) : 0;
        largest_ = mask >> shift_;
        if (largest_ == 0xFFFFFFFFu) return false;
        scaled_.clear();
        if (largest_ != 255 && largest_ < 4096) // a table for the usual widths
            for (std::uint32_t v = 0; v <= largest_; ++v)
                scaled_.push_back(std::uint8_t(Scale(v)));
        return true;
    }
    std::uint32_t of(std::uint32_t c) const {
        const std::uint32_t v = (c & mask_) >> shift_;
        if (largest_ == 255) return v;
        return scaled_.empty() ? Scale(v) : scaled_[v];
    }

  private:
    std::uint32_t Scale(std::uint32_t v) const {
        return largest_ ? std::uint32_t((std::uint64_t(v) * 255 + largest_ / 2) / largest_) : 0;
    }
    std::uint32_t mask_ = 0;
    int shift_ = 0;
    std::uint32_t largest_ = 0;
    std::vector<std::uint8_t> scaled_;
};

// The 8-bit picture that Qt's reader decodes run-length data into: rows
// bottom-up as the file stores them, `bpl` bytes each, addressed as one run
// of bytes; a row is only set aside once a pixel is written into it, so data
// that reaches few rows costs few (the others keep index 0).
class IndexRows {
  public:
    IndexRows(int height, std::int64_t bpl) : rows_(std::size_t(height)), bpl_(bpl) {}
    void set(std::int64_t at, std::uint8_t index) {
        std::vector<std::uint8_t>& row = rows_[std::size_t(at / bpl_)];
        if (row.empty()) row.assign(std::size_t(bpl_), 0);
        row[std::size_t(at % bpl_)] = index;
    }
    const std::uint8_t* row(int y) const {
        return rows_[std::size_t(y)].empty() ? nullptr : rows_[std::size_t(y)].data();
    }

  private:
    std::vector<std::vector<std::uint8_t>> rows_;
    std::int64_t bpl_;
};

// Run-length data decoded the way Qt's reader writes its 8-bit image: runs
// are only clipped at the end of the first row stored, so a long run goes on
// into the row stored before. Pixels no run reaches keep index 0. False
// when the data stops inside a run (Qt would show undefined pixels).
bool DecodeRle(Stream& s, bool four, int w, int h, std::int64_t bpl, IndexRows& data) {
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
                        data.set(p++, b >> 4);
                        data.set(p++, b & 0x0f);
                    }
                    if (count & 1) {
                        std::uint8_t last = 0;
                        if (!s.get(last)) return false;
                        data.set(p++, last >> 4);
                    }
                    if ((((count & 3) + 1) & 2) == 2) s.skip();
                } else {
                    for (int i = 0; i < count; ++i) {
                        std::uint8_t index = 0;
                        if (!s.get(index)) return false;
                        data.set(p++, index);
                    }
                    if (count & 1) s.skip();
                }
                x += count;
            }
        } else { // one pixel (or pair) repeated
            if (p + b > end) b = std::uint8_t(end - p);
            const int count = b;
            std::uint8_t pixel = b;
            if (!s.get(pixel) && !four) return false;
            for (int i = 0; i < count; ++i)
                data.set(p++, four ? ((i & 1) ? pixel & 0x0f : pixel >> 4) : pixel);
            x += count;
        }
    }
    return true;
}

constexpr const char* kCutShort = "the bitmap's pixel data is cut short";
constexpr const char* kDamaged = "the bitmap is damaged or of a kind this program does not read";

// How the pixels are coloured: the colour table, or the channels' masks.
struct Colours {
    std::array<std::uint32_t, 256> table{}; // indices past the table are black
    Channel red, green, blue, alpha;
    bool transparent = false;
};

// The masks and the colour table, read after the info header; the stream is
// left where the pixels would follow them. Empty when they are fine.
std::string ReadColours(Stream& s, const BitmapHeader& h, Colours& c) {
    const int nbits = int(h.bits);
    const bool bitFields = h.compression == kBitFields;
    s.seek(h.start + h.size);
    std::uint32_t masks[4] = {};
    if (MasksInHeader(std::uint32_t(h.size))) {
        std::copy(h.masks, h.masks + 4, masks);
    } else if (bitFields) {
        if (!s.u32(masks[0]) || !s.u32(masks[1]) || !s.u32(masks[2]))
            return "the bitmap's colour masks are cut short";
    }
    c.transparent =
        (bitFields || (h.compression == kRgb && nbits == 32 && masks[3] == 0xff000000u)) &&
        masks[3];
    if (nbits <= 8) {
        const int colours = h.used ? h.used : 1 << nbits;
        if (colours < 1 || colours > 256) return kDamaged;
        const int entry = h.size == 12 ? 3 : 4;
        for (int i = 0; i < colours; ++i) {
            std::uint8_t rgb[4];
            if (s.read(rgb, entry) != entry || s.atEnd())
                return "the bitmap's colour table is cut short";
            c.table[std::size_t(i)] = Pack(rgb[2], rgb[1], rgb[0]);
        }
        if (nbits == 1 && colours < 2) c.table[1] = 0x00FFFFFF; // Qt's default second colour
        return {};
    }
    if (!bitFields) { // the fixed layouts: 5-5-5, and 8 bits a channel
        masks[0] = nbits == 16 ? 0x7c00 : 0xff0000;
        masks[1] = nbits == 16 ? 0x03e0 : 0x00ff00;
        masks[2] = nbits == 16 ? 0x001f : 0x0000ff;
    }
    if (!c.red.set(masks[0]) || !c.green.set(masks[1]) || !c.blue.set(masks[2]) ||
        !c.alpha.set(c.transparent ? masks[3] : 0))
        return kDamaged;
    return {};
}

// One row of 16-, 24- or 32-bit pixels.
void MaskedRow(const std::uint8_t* b, int w, int nbits, const Colours& c, std::uint32_t* o) {
    const int step = nbits / 8;
    for (int x = 0; x < w; ++x, b += step) {
        std::uint32_t v = b[0] | b[1] << 8;
        if (nbits > 16) v |= std::uint32_t(b[2]) << 16;
        if (nbits > 24) v |= std::uint32_t(b[3]) << 24;
        o[x] = c.transparent ? OverWhite(c.red.of(v), c.green.of(v), c.blue.of(v), c.alpha.of(v))
                             : Pack(c.red.of(v), c.green.of(v), c.blue.of(v));
    }
}

// One row of 1-, 4- or 8-bit indices.
void IndexedRow(const std::uint8_t* b, int w, int nbits, const Colours& c, std::uint32_t* o) {
    for (int x = 0; x < w; ++x) {
        const int index = nbits == 1   ? (b[x >> 3] >> (7 - (x & 7))) & 1
                          : nbits == 4 ? (x & 1) ? b[x >> 1] & 0x0f : b[x >> 1] >> 4
                                       : b[x];
        o[x] = c.table[std::size_t(index)];
    }
}

} // namespace

Decoded DecodeBmp(Reader& reader, bool fileHeader, const DecodeOptions& options) {
    Stream s(reader);
    BitmapHeader h;
    if (!ReadBitmapHeader(s, fileHeader, h))
        return {{}, "not a bitmap of a kind this program reads (or its header is cut short)"};
    const int w = h.width, height = h.rows;
    const int nbits = int(h.bits);
    if (Decoded refused; !CheckSize(w, height, options, refused)) return refused;
    std::uint8_t head[kCompleteReads];
    const std::int64_t headBytes = s.peek(0, head, kCompleteReads);
    if (!Complete({head, std::size_t(headBytes)}, s.size(), fileHeader) || s.atEnd())
        return {{}, kCutShort};
    Colours colours;
    if (std::string why = ReadColours(s, h, colours); !why.empty()) return {{}, why};
    // Where the pixels start: the file header says; a packed DIB has none,
    // so Qt takes the image size from the end, or else what follows the
    // header, the masks and the colour table. Qt only ever seeks forward.
    std::int64_t dataPos = 0;
    if (fileHeader)
        dataPos = h.offBits;
    else if (h.imageSize > 0 && h.imageSize < s.size())
        dataPos = s.size() - h.imageSize;
    else
        dataPos = h.size + AfterHeader(std::uint32_t(h.size), nbits, h.compression, h.used);
    if (dataPos > s.pos()) s.seek(dataPos);
    const std::int64_t pixels = s.pos();

    const bool rle = h.compression == kRle8 || h.compression == kRle4;
    const std::int64_t stride = ((std::int64_t(w) * nbits + 31) / 32) * 4;
    std::optional<IndexRows> runs;
    std::int64_t storedRows = height; // rows whose bytes are all there
    if (rle) {
        try {
            runs.emplace(height, RowBytes(w));
            if (!DecodeRle(s, h.compression == kRle4, w, height, RowBytes(w), *runs))
                return {{}, kCutShort};
        } catch (const std::bad_alloc&) {
            return {{}, "there is not enough memory for the picture"};
        }
    } else {
        storedRows = std::min<std::int64_t>(height, (s.size() - pixels) / stride);
        // Qt clears a 4-bit picture first: rows missing at the end stay index 0.
        if (storedRows < height && nbits != 4) return {{}, kCutShort};
    }

    // Every row's pixels are known to be there: now the picture is set aside.
    // A stored row comes from the reader's piece, or a room of its own when
    // it is larger; the rows of a bottom-up picture are read backwards.
    Decoded result;
    try {
        RowSink out(w, height, options);
        std::vector<std::uint32_t> row(static_cast<std::size_t>(w));
        std::uint32_t* o = row.data();
        const std::vector<std::uint8_t> blank(std::size_t(std::max(stride, RowBytes(w))), 0);
        std::vector<std::uint8_t> room;
        for (int y = 0; y < height; ++y) {
            if (rle) { // the 8-bit picture's rows are top first; a negative height turns them over
                const std::uint8_t* indices = runs->row(h.topDown ? height - 1 - y : y);
                IndexedRow(indices ? indices : blank.data(), w, 8, colours, o);
            } else {
                const std::int64_t stored = h.topDown ? y : height - 1 - y;
                const std::uint8_t* b = blank.data();
                if (stored < storedRows) {
                    const std::uint64_t at = std::uint64_t(pixels + stored * stride);
                    const Bytes bytes = std::uint64_t(stride) <= Reader::kPiece
                                            ? reader.at(at, std::size_t(stride), !h.topDown)
                                            : reader.whole(at, std::size_t(stride), room);
                    // A file cut short since it was opened.
                    if (bytes.size() < std::size_t(stride)) return {{}, kCutShort};
                    b = bytes.data();
                }
                if (nbits <= 8)
                    IndexedRow(b, w, nbits, colours, o);
                else
                    MaskedRow(b, w, nbits, colours, o);
            }
            out.add(o);
        }
        result.image = out.take();
    } catch (const std::bad_alloc&) {
        return {{}, "there is not enough memory for the picture"};
    }
    return result;
}

Decoded DecodeBmpBytes(Bytes bytes, const DecodeOptions& options) {
    Reader reader(bytes);
    return DecodeBmp(reader, true, options);
}

Decoded DecodeDibBytes(Bytes bytes, const DecodeOptions& options) {
    Reader reader(bytes);
    return DecodeBmp(reader, false, options);
}

// From a file, which fails with the system's cause where it cannot be read.
Decoded DecodeFile(const File& file, bool fileHeader, const DecodeOptions& options) {
    Reader reader(file);
    Decoded decoded = DecodeBmp(reader, fileHeader, options);
    if (reader.error()) return {{}, std::strerror(reader.error())};
    return decoded;
}

Decoded DecodeBmpFile(const File& file, const DecodeOptions& options) {
    return DecodeFile(file, true, options);
}

Decoded DecodeDibFile(const File& file, const DecodeOptions& options) {
    return DecodeFile(file, false, options);
}

} // namespace codecs::detail

namespace codecs::formats {

extern const Handler kBmp; // listed in formats.cpp
const Handler kBmp = {
    .name = "BMP",
    .canRead = detail::CanReadBmp,
    .readHeader = detail::ReadBmpHeader,
    .memory = detail::Memory,
    .read = detail::DecodeBmpBytes,
    .readFileHeader = detail::ReadBmpFileHeader,
    .readFile = detail::DecodeBmpFile,
};

extern const Handler kDib; // listed in formats.cpp
const Handler kDib = {
    .name = "DIB",
    .canRead = detail::CanReadDib,
    .readHeader = detail::ReadDibHeader,
    .memory = detail::Memory,
    .read = detail::DecodeDibBytes,
    .readFileHeader = detail::ReadDibFileHeader,
    .readFile = detail::DecodeDibFile,
};

} // namespace codecs::formats
