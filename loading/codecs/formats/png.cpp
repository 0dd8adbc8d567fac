// PNG on libpng, read with the same transformations Qt's PNG reader asks
// for, so that every kind of PNG gives the pixels the Qt loader gives: gray
// and palette pictures through a composed colour table, 8-bit colour
// premultiplied and blended over white, 16-bit pictures as the painter draws
// them. Colour spaces (gAMA, iCCP, sRGB) leave the pixels alone, as in Qt 6.
#include "internal.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstring>
#include <new>
#include <optional>

namespace codecs::detail {

namespace {

std::uint32_t Be32(Bytes b, std::size_t at) {
    return std::uint32_t(b[at]) << 24 | std::uint32_t(b[at + 1]) << 16 |
           std::uint32_t(b[at + 2]) << 8 | b[at + 3];
}

// The file's chunks as they lie, nothing decompressed: what IHDR says, where
// the eXIf payload before the image data lies, and how many bytes of image
// data (IDAT) the file really holds, counted until there are `enoughData`
// (0: up to the first IDAT chunk, all a header needs). Bounded by the file:
// each chunk is at least 12 bytes. The header reader, the decoder's too.
struct Chunks {
    std::uint32_t width = 0, height = 0;
    int depth = 0, colourType = 0;
    bool interlaced = false;
    std::size_t exifAt = 0, exifBytes = 0; // the first eXIf chunk before the image data
    std::uint64_t imageData = 0;
};

std::optional<Chunks> Walk(Reader& reader, std::uint64_t enoughData) {
    const Bytes head = reader.at(0, 29);
    if (head.size() < 29 || std::memcmp(head.data(), "\x89PNG\r\n\x1a\n", 8) != 0 ||
        std::memcmp(head.data() + 12, "IHDR", 4) != 0)
        return std::nullopt;
    Chunks c;
    c.width = Be32(head, 16);
    c.height = Be32(head, 20);
    c.depth = head[24];
    c.colourType = head[25];
    c.interlaced = head[28] != 0;
    bool seenData = false;
    const std::uint64_t size = reader.size();
    for (std::uint64_t at = 8; size - at >= 8;) {
        const Bytes chunk = reader.at(at, 8);
        if (chunk.size() < 8) break; // the file could not be read further
        const std::uint64_t length = Be32(chunk, 0);
        const std::uint64_t data = at + 8;
        const std::uint64_t there = std::min(length, size - data);
        const Bytes type = chunk.subspan(4, 4);
        if (std::memcmp(type.data(), "IDAT", 4) == 0) {
            c.imageData += there;
            seenData = true;
            if (c.imageData >= enoughData) break;
        } else if (std::memcmp(type.data(), "eXIf", 4) == 0 && !seenData && c.exifBytes == 0) {
            c.exifAt = std::size_t(data);
            c.exifBytes = std::size_t(there);
        } else if (std::memcmp(type.data(), "IEND", 4) == 0) {
            break;
        }
        if (length + 4 > size - data) break;
        at = data + length + 4;
    }
    return c;
}

bool CanRead(Bytes bytes) {
    return bytes.size() >= 8 && std::memcmp(bytes.data(), "\x89PNG\r\n\x1a\n", 8) == 0;
}

std::optional<Header> HeaderOf(Reader&& reader) {
    const auto chunks = Walk(reader, 0);
    if (!chunks || chunks->width == 0 || chunks->height == 0 || chunks->width > 0x7fffffffu ||
        chunks->height > 0x7fffffffu)
        return std::nullopt;
    Header header;
    header.width = int(chunks->width);
    header.height = int(chunks->height);
    header.interlaced = chunks->interlaced;
    header.exifAt = chunks->exifAt;
    header.exifBytes = chunks->exifBytes;
    return header;
}

std::optional<Header> ReadHeader(Bytes bytes) {
    return HeaderOf(Reader(bytes));
}

std::optional<Header> ReadFileHeader(const File& file) {
    return HeaderOf(Reader(file));
}

std::size_t Memory(const Header& header, const DecodeOptions& options, bool) {
    const std::uint64_t w = std::uint64_t(header.width), h = std::uint64_t(header.height);
    const std::uint64_t side = std::max(w, h);
    // libpng's two rows and ours (at most 8 bytes a pixel), our converted
    // row, libpng's and zlib's state, the Exif data and what libexif makes
    // of it, and the buffer a file is read through.
    const std::uint64_t rows =
        3 * (8 * side + 16) + 4 * side + (256u << 10) + 4 * kMostExif + Reader::kPiece;
    const std::uint64_t whole = 4 * w * h;
    std::uint64_t peak = whole + (SwapsSides(header.orientation) ? whole : 0);
    if (options.fitted && options.fits()) {
        const std::uint64_t fitted = FitMemory(int(w), int(h), options);
        const bool streamed = !header.interlaced && header.orientation <= 2;
        peak = streamed ? fitted : peak + fitted;
    }
    return std::size_t(peak + rows);
}

} // namespace

} // namespace codecs::detail

namespace codecs::detail {

namespace {

struct PngSource {
    Reader* reader = nullptr;
    std::uint64_t pos = 0;
    bool readingEnd = false;
};

// The error pointer is the std::string that keeps libpng's message.
extern "C" void PngError(png_structp png, png_const_charp message) {
    if (auto* text = static_cast<std::string*>(png_get_error_ptr(png))) {
        try {
            *text = message ? message : "";
        } catch (...) {
        }
    }
    png_longjmp(png, 1);
}

extern "C" void PngWarning(png_structp, png_const_charp) {}

extern "C" void PngRead(png_structp png, png_bytep out, std::size_t length) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    const std::uint64_t left = source->reader->size() - source->pos;
    if (source->readingEnd && left < 4 && length == 4) {
        // Some writers leave out the last chunk's CRC; Qt's reader lets
        // that pass, and so does this one.
        static const std::uint8_t endCrc[4] = {0xae, 0x42, 0x60, 0x82};
        std::memcpy(out, endCrc, 4);
        source->pos = source->reader->size();
        return;
    }
    if (length > left || !source->reader->copy(source->pos, out, length))
        png_error(png, "Read Error");
    source->pos += length;
}

// How the picture's rows are turned into pixels; each matches the image
// format Qt's reader makes of that kind of PNG.
enum class Layout {
    Mono,    // 1 bit per pixel, MSB first, through a colour table
    Indexed, // 1 byte per pixel through a colour table
    Gray8,   // Grayscale8
    Gray16,  // Grayscale16, drawn by the painter
    Rgb16,   // RGBX64, drawn by the painter
    Rgba16,  // RGBA64, drawn by the painter
    Rgb8,    // RGB32
    Rgba8,   // ARGB32
};

struct Setup {
    Layout layout = Layout::Rgb8;
    std::array<std::uint32_t, 256> table{}; // composed colours, for Mono and Indexed
    int tableSize = 0;
};

// Qt's table entry composed over white.
std::uint32_t Entry(std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint32_t a) {
    return OverWhite(r, g, b, a);
}

// The transformations and colour table for this PNG, as Qt's setup_qt does.
Setup Prepare(png_structp png, png_infop info) {
    Setup s;
    png_uint_32 width = 0, height = 0;
    int depth = 0, type = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &type, nullptr, nullptr, nullptr);
    png_bytep transAlpha = nullptr;
    png_color_16p transColour = nullptr;
    int numTrans = 0;
    const bool hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    png_colorp palette = nullptr;
    int numPalette = 0;

    if (type == PNG_COLOR_TYPE_GRAY) {
        if (depth == 1) {
            png_set_invert_mono(png);
            png_read_update_info(png, info);
            s.layout = Layout::Mono;
            s.tableSize = 2;
            s.table[0] = Entry(255, 255, 255, 255);
            s.table[1] = Entry(0, 0, 0, 255);
            if (png_get_tRNS(png, info, &transAlpha, &numTrans, &transColour) && transColour) {
                if (transColour->gray == 0) s.table[1] = Entry(0, 0, 0, 0);
                if (transColour->gray == 1) s.table[0] = Entry(255, 255, 255, 0);
            }
        } else if (depth == 16 && !hasTrns) {
            png_read_update_info(png, info);
            s.layout = Layout::Gray16;
        } else if (depth == 16) {
            png_set_expand(png);
            png_set_gray_to_rgb(png);
            png_read_update_info(png, info);
            s.layout = Layout::Rgba16;
        } else if (depth == 8 && !hasTrns) {
            png_set_expand(png);
            png_read_update_info(png, info);
            s.layout = Layout::Gray8;
        } else {
            if (depth < 8) png_set_packing(png);
            const int colours = depth < 8 ? 1 << depth : 256;
            png_read_update_info(png, info);
            s.layout = Layout::Indexed;
            s.tableSize = colours;
            for (int i = 0; i < colours; ++i) {
                const std::uint32_t c = std::uint32_t(i * 255 / (colours - 1));
                s.table[i] = Pack(c, c, c);
            }
            if (png_get_tRNS(png, info, &transAlpha, &numTrans, &transColour) && transColour &&
                transColour->gray < colours)
                s.table[transColour->gray] = Entry(0, 0, 0, 0);
        }
    } else if (type == PNG_COLOR_TYPE_PALETTE && png_get_PLTE(png, info, &palette, &numPalette) &&
               numPalette <= 256) {
        if (depth != 1) png_set_packing(png);
        png_read_update_info(png, info);
        png_get_PLTE(png, info, &palette, &numPalette);
        s.layout = depth == 1 ? Layout::Mono : Layout::Indexed;
        // A 1-bit table always has two entries; one the file leaves out is
        // transparent (Qt's QImage::setColorCount), so white.
        s.tableSize = depth == 1 ? 2 : numPalette;
        s.table[0] = s.table[1] = Entry(0, 0, 0, 0);
        int i = 0;
        if (png_get_tRNS(png, info, &transAlpha, &numTrans, &transColour) && transAlpha) {
            for (; i < numTrans && i < numPalette; ++i)
                if (i < s.tableSize)
                    s.table[i] =
                        Entry(palette[i].red, palette[i].green, palette[i].blue, transAlpha[i]);
        }
        for (; i < numPalette; ++i)
            if (i < s.tableSize)
                s.table[i] = Entry(palette[i].red, palette[i].green, palette[i].blue, 255);
    } else if (depth == 16 && !(type & PNG_COLOR_MASK_PALETTE)) {
        const bool alpha = (type & PNG_COLOR_MASK_ALPHA) || hasTrns;
        // Qt gives 16-bit RGB with a tRNS chunk three channels in a
        // four-channel image (unreadable); here its transparent colour is
        // made an alpha channel instead.
        if (hasTrns && (type & PNG_COLOR_MASK_COLOR)) png_set_expand(png);
        if (!(type & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
        png_read_update_info(png, info);
        s.layout = alpha ? Layout::Rgba16 : Layout::Rgb16;
    } else {
        if (depth == 16) png_set_strip_16(png);
        png_set_expand(png);
        if (type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
        const bool alpha = (type & PNG_COLOR_MASK_ALPHA) || hasTrns;
        png_read_update_info(png, info);
        s.layout = alpha ? Layout::Rgba8 : Layout::Rgb8;
    }
    return s;
}

std::uint32_t Be16(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 8 | p[1];
}

void ConvertRow(const Setup& s, const std::uint8_t* in, std::uint32_t* out, int width,
                int indices) {
    switch (s.layout) {
    case Layout::Mono:
        for (int x = 0; x < width; ++x)
            out[x] = s.table[(in[x >> 3] >> (7 - (x & 7))) & 1];
        break;
    case Layout::Indexed:
        // Qt sets indices beyond a palette to 0.
        for (int x = 0; x < width; ++x)
            out[x] = s.table[in[x] < indices ? in[x] : 0];
        break;
    case Layout::Gray8:
        for (int x = 0; x < width; ++x)
            out[x] = Pack(in[x], in[x], in[x]);
        break;
    case Layout::Gray16:
        for (int x = 0; x < width; ++x) {
            const std::uint32_t g = Div257(Be16(in + 2 * x));
            out[x] = Pack(g, g, g);
        }
        break;
    case Layout::Rgb16:
        for (int x = 0; x < width; ++x, in += 6)
            out[x] = Pack(Div257(Be16(in)), Div257(Be16(in + 2)), Div257(Be16(in + 4)));
        break;
    case Layout::Rgba16:
        for (int x = 0; x < width; ++x, in += 8)
            out[x] = OverWhite16(Be16(in), Be16(in + 2), Be16(in + 4), Be16(in + 6));
        break;
    case Layout::Rgb8:
        for (int x = 0; x < width; ++x, in += 3)
            out[x] = Pack(in[0], in[1], in[2]);
        break;
    case Layout::Rgba8:
        for (int x = 0; x < width; ++x, in += 4)
            out[x] = OverWhite(in[0], in[1], in[2], in[3]);
        break;
    }
}

std::string Cause(const std::string& message) {
    if (message == "Read Error") return "the PNG data is cut short";
    return "the PNG data is damaged (" + message + ")";
}

// The bytes of filtered rows the header promises (each row its filter byte
// and its pixels; an interlaced picture as its seven passes); 0 for a colour
// type libpng refuses anyway.
std::uint64_t FilteredSize(const Chunks& c) {
    static const int channels[7] = {1, 0, 3, 1, 2, 0, 4};
    const int n = c.colourType < 7 ? channels[c.colourType] : 0;
    const std::uint64_t bits = std::uint64_t(n) * std::uint64_t(c.depth);
    auto rows = [&](std::uint64_t w, std::uint64_t h) {
        return w && h ? h * (1 + (w * bits + 7) / 8) : 0;
    };
    if (!c.interlaced) return rows(c.width, c.height);
    std::uint64_t total = 0;
    for (int pass = 0; pass < 7; ++pass)
        total += rows(PNG_PASS_COLS(std::uint64_t(c.width), pass),
                      PNG_PASS_ROWS(std::uint64_t(c.height), pass));
    return total;
}

// Deflate gives at most 1032 bytes for one (a 258-byte match in two bits).
constexpr std::uint64_t kMostInflated = 1032;

struct PngContext {
    PngSource source;
    std::string message; // libpng's error
    Chunks chunks;
    Decoded result;
    std::vector<std::uint8_t> row;   // as libpng gives it
    std::vector<std::uint32_t> line; // its pixels
    bool streamFit = false;          // rows go to the fitter as they come
    bool mirror = false;             // each row mirrored first
    std::optional<RowSink> sink;
};

// The cause of a refusal, set outside the frame that libpng may leave by a
// long jump (a string made there could be clobbered).
[[gnu::noinline]] void Refuse(Decoded& result, const char* what) {
    result.error = Cause(what);
}

// Everything that libpng may leave by a long jump; only the context (which
// this frame does not own) and plain values live across it.
bool ReadPng(PngContext& c, png_structp png, png_infop info, png_infop end,
             const DecodeOptions& options) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, &c.source, PngRead);
    png_read_info(png, info);
    const int width = int(png_get_image_width(png, info));
    const int height = int(png_get_image_height(png, info));
    if (!CheckSize(width, height, options, c.result)) return true;
    // Data that cannot hold the rows is refused before memory is taken for them.
    if (FilteredSize(c.chunks) > kMostInflated * c.chunks.imageData) {
        Refuse(c.result, "Read Error");
        return true;
    }
    const Setup setup = Prepare(png, info);
    const bool interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
    c.row.resize(png_get_rowbytes(png, info));
    c.line.resize(std::size_t(width));
    Image& image = c.result.image;
    if (interlaced) {
        // Each pass's rows (libpng de-interlaces nothing) go straight to their
        // places, so the picture is held once, in its final pixels.
        image.pixels.resize(std::size_t(width) * std::size_t(height));
        for (int pass = 0; pass < 7; ++pass) {
            const int cols = int(PNG_PASS_COLS(png_uint_32(width), pass));
            const int rows = int(PNG_PASS_ROWS(png_uint_32(height), pass));
            if (cols == 0 || rows == 0) continue;
            for (int r = 0; r < rows; ++r) {
                png_read_row(png, c.row.data(), nullptr);
                ConvertRow(setup, c.row.data(), c.line.data(), cols, setup.tableSize);
                std::uint32_t* out =
                    image.pixels.data() +
                    std::size_t(PNG_ROW_FROM_PASS_ROW(png_uint_32(r), pass)) * std::size_t(width);
                for (int i = 0; i < cols; ++i)
                    out[PNG_COL_FROM_PASS_COL(png_uint_32(i), pass)] = c.line[std::size_t(i)];
            }
        }
    } else {
        // Rows go on as they come: nothing is written twice.
        DecodeOptions whole = options;
        whole.fitted = c.streamFit;
        c.sink.emplace(width, height, whole);
        for (int y = 0; y < height; ++y) {
            png_read_row(png, c.row.data(), nullptr);
            ConvertRow(setup, c.row.data(), c.line.data(), width, setup.tableSize);
            if (c.mirror) std::reverse(c.line.begin(), c.line.end());
            c.sink->add(c.line.data());
        }
    }
    c.source.readingEnd = true;
    png_read_end(png, end);
    if (c.sink) {
        image = c.sink->take();
    } else {
        image.width = width;
        image.height = height;
    }
    return true;
}

struct ReadStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_infop end = nullptr;
    ~ReadStructs() {
        if (png) png_destroy_read_struct(&png, info ? &info : nullptr, end ? &end : nullptr);
    }
};

} // namespace

Decoded DecodePng(Reader& reader, const DecodeOptions& options) {
    PngContext c;
    c.source.reader = &reader;
    // The image data counted as far as the check below needs.
    c.chunks = Walk(reader, 0).value_or(Chunks{});
    c.chunks = Walk(reader, (FilteredSize(c.chunks) + kMostInflated - 1) / kMostInflated)
                   .value_or(Chunks{});
    std::vector<std::uint8_t> exif;
    const int orientation = ExifOrientation(
        reader.whole(c.chunks.exifAt, std::min(c.chunks.exifBytes, kMostExif), exif), options);
    const bool fit = options.fitted && options.fits();
    // Rows go to the fitter as they come when they arrive in their order and
    // upright (or only mirrored).
    if (fit && !c.chunks.interlaced && orientation <= 2) {
        c.streamFit = true;
        c.mirror = orientation == 2;
    }
    ReadStructs s;
    s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &c.message, PngError, PngWarning);
    if (!s.png) return {{}, "the PNG decoder cannot start"};
#if defined(PNG_SET_OPTION_SUPPORTED) && defined(PNG_MAXIMUM_INFLATE_WINDOW)
    // As Qt's reader: accept streams that some writers get slightly wrong.
    png_set_option(s.png, PNG_MAXIMUM_INFLATE_WINDOW, PNG_OPTION_ON);
#endif
    // Text, profiles, palettes for other screens and Exif are not read by
    // libpng (the orientation is read from the file as it lies), and libpng
    // sets aside whatever length such a chunk's header claims before reading
    // it: gigabytes from a damaged file of a few hundred bytes. Skipped, they
    // are read past in small pieces instead.
#ifdef PNG_HANDLE_AS_UNKNOWN_SUPPORTED
    static const png_byte kUnused[] = "tEXt\0zTXt\0iTXt\0iCCP\0sPLT\0eXIf\0pCAL\0sCAL";
    png_set_keep_unknown_chunks(s.png, PNG_HANDLE_CHUNK_NEVER, kUnused, int(sizeof kUnused / 5));
#endif
    s.info = png_create_info_struct(s.png);
    s.end = png_create_info_struct(s.png);
    if (!s.info || !s.end) return {{}, "the PNG decoder cannot start"};
    bool finished = false;
    try {
        finished = ReadPng(c, s.png, s.info, s.end, options);
        if (finished && c.result.ok() && !c.streamFit) {
            if (!ApplyOrientation(c.result.image, orientation, c.result.error))
                return {{}, c.result.error};
            if (fit) c.result.image = FitWhole(c.result.image, options);
        }
    } catch (const std::bad_alloc&) {
        return {{}, "there is not enough memory for the picture"};
    }
    if (reader.error()) return {{}, std::strerror(reader.error())};
    if (!finished) return {{}, Cause(c.message)};
    if (!c.result.ok()) c.result.image = {};
    return std::move(c.result);
}

Decoded DecodePngBytes(Bytes bytes, const DecodeOptions& options) {
    Reader reader(bytes);
    return DecodePng(reader, options);
}

Decoded DecodePngFile(const File& file, const DecodeOptions& options) {
    Reader reader(file);
    return DecodePng(reader, options);
}

namespace {

struct PngSink {
    std::vector<std::uint8_t>* out;
};

extern "C" void PngWrite(png_structp png, png_bytep data, std::size_t length) {
    auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
    bool stored = true;
    try {
        sink->out->insert(sink->out->end(), data, data + length);
    } catch (...) {
        stored = false; // never let an exception run through libpng
    }
    if (!stored) png_error(png, "out of memory");
}

extern "C" void PngFlush(png_structp) {}

struct WriteContext {
    std::string message;
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> row;
    bool exact = true; // every pixel held exactly by the form
};

// The palette index of each colour, the palette being in order of value.
int IndexOf(const std::vector<std::uint32_t>& palette, std::uint32_t colour) {
    const auto at = std::lower_bound(palette.begin(), palette.end(), colour);
    return at != palette.end() && *at == colour ? int(at - palette.begin()) : -1;
}

// One row of pixels in the form's bytes; false when a pixel is not one the
// form can hold.
bool PackRow(const PngForm& form, const std::uint32_t* in, int width, std::uint8_t* out) {
    if (form.kind == PngForm::Kind::Rgb) {
        for (int x = 0; x < width; ++x) {
            *out++ = std::uint8_t(in[x]);
            *out++ = std::uint8_t(in[x] >> 8);
            *out++ = std::uint8_t(in[x] >> 16);
        }
        return true;
    }
    const int depth = form.depth;
    const std::uint32_t step = 255u / ((1u << depth) - 1);
    const bool gray = form.kind == PngForm::Kind::Gray;
    std::uint32_t last = ~0u;
    int value = 0;
    std::fill_n(out, (std::size_t(width) * std::size_t(depth) + 7) / 8, 0);
    for (int x = 0; x < width; ++x) {
        const std::uint32_t colour = in[x] & 0xFFFFFFu;
        if (colour != last) {
            last = colour;
            if (gray) {
                const std::uint32_t g = colour & 255u;
                if (colour != g * 0x010101u || g % step != 0) return false;
                value = int(g / step);
            } else {
                value = IndexOf(form.palette, colour);
                if (value < 0) return false;
            }
        }
        const int bit = x * depth;
        out[bit / 8] |= std::uint8_t(value << (8 - depth - bit % 8));
    }
    return true;
}

bool WritePng(WriteContext& c, png_structp png, png_infop info, const std::uint32_t* pixels,
              int width, int height, std::ptrdiff_t stride, const PngForm& form) {
    if (setjmp(png_jmpbuf(png))) return false;
    PngSink sink{&c.out};
    png_set_write_fn(png, &sink, PngWrite, PngFlush);
    const int type = form.kind == PngForm::Kind::Rgb    ? PNG_COLOR_TYPE_RGB
                     : form.kind == PngForm::Kind::Gray ? PNG_COLOR_TYPE_GRAY
                                                        : PNG_COLOR_TYPE_PALETTE;
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), form.depth, type,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (form.kind == PngForm::Kind::Palette) {
        std::array<png_color, 256> colours{};
        const int n = int(std::min<std::size_t>(form.palette.size(), 256));
        for (int i = 0; i < n; ++i) {
            const std::uint32_t colour = form.palette[std::size_t(i)];
            colours[std::size_t(i)] = {png_byte(colour), png_byte(colour >> 8),
                                       png_byte(colour >> 16)};
        }
        png_set_PLTE(png, info, colours.data(), n);
    }
    png_set_compression_level(png, std::clamp(form.level, 0, 9));
    png_set_filter(png, PNG_FILTER_TYPE_BASE, form.filtered ? PNG_ALL_FILTERS : PNG_FILTER_NONE);
    png_write_info(png, info);
    const int bits = (form.kind == PngForm::Kind::Rgb ? 3 : 1) * form.depth;
    c.row.resize((std::size_t(width) * std::size_t(bits) + 7) / 8);
    for (int y = 0; y < height; ++y) {
        if (!PackRow(form, pixels + stride * y, width, c.row.data())) {
            c.exact = false;
            return true;
        }
        png_write_row(png, c.row.data());
    }
    png_write_end(png, info);
    return true;
}

struct WriteStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~WriteStructs() {
        if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
    }
};

} // namespace

} // namespace codecs::detail

namespace codecs {

PngForm SmallestPngForm(const std::uint32_t* pixels, int width, int height, std::ptrdiff_t stride) {
    // The grays present, and up to 257 colours (one more than a palette holds).
    std::array<bool, 256> grays{};
    std::vector<std::uint32_t> colours;
    bool allGray = true;
    std::uint32_t last = ~0u;
    for (int y = 0; y < height && pixels && (allGray || colours.size() <= 256); ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint32_t colour = pixels[stride * y + x] & 0xFFFFFFu;
            if (colour == last) continue;
            last = colour;
            if (colour != (colour & 255u) * 0x010101u) allGray = false;
            if (allGray) grays[colour & 255u] = true;
            if (colours.size() <= 256 &&
                std::find(colours.begin(), colours.end(), colour) == colours.end())
                colours.push_back(colour);
        }
    PngForm form;
    // The fewest bits whose gray levels hold every gray present.
    int grayDepth = 0;
    for (const int depth : {1, 2, 4, 8}) {
        const int step = 255 / ((1 << depth) - 1);
        bool held = allGray;
        for (int g = 0; g < 256 && held; ++g)
            held = !grays[std::size_t(g)] || g % step == 0;
        if (held) {
            grayDepth = depth;
            break;
        }
    }
    int paletteDepth = 0;
    for (const int depth : {1, 2, 4, 8})
        if (colours.size() <= std::size_t(1) << depth) {
            paletteDepth = depth;
            break;
        }
    if (grayDepth && (!paletteDepth || grayDepth <= paletteDepth)) {
        form.kind = PngForm::Kind::Gray;
        form.depth = grayDepth;
    } else if (paletteDepth) {
        form.kind = PngForm::Kind::Palette;
        form.depth = paletteDepth;
        std::sort(colours.begin(), colours.end());
        form.palette = std::move(colours);
    }
    // Measured on the seven kinds' GROBs of 131 x 64 (bench/codecs_bench
    // png): zlib's level 6 packs them within a few bytes of level 9, which
    // takes up to seven times as long at 8 bits; filters make 4- and 8-bit
    // grays about a tenth smaller, and 1- and 2-bit grays and palettes larger.
    form.level = 6;
    form.filtered =
        form.kind == PngForm::Kind::Rgb || (form.kind == PngForm::Kind::Gray && form.depth >= 4);
    return form;
}

std::vector<std::uint8_t> EncodePng(const std::uint32_t* pixels, int width, int height,
                                    std::ptrdiff_t stride, const PngForm& form,
                                    std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return std::vector<std::uint8_t>();
    };
    if (!pixels || width <= 0 || height <= 0 || stride < width)
        return fail("there is no picture to write");
    detail::WriteContext c;
    detail::WriteStructs s;
    s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &c.message, detail::PngError,
                                    detail::PngWarning);
    if (!s.png) return fail("the PNG encoder cannot start");
    s.info = png_create_info_struct(s.png);
    if (!s.info) return fail("the PNG encoder cannot start");
    bool written = false;
    try {
        written = detail::WritePng(c, s.png, s.info, pixels, width, height, stride, form);
    } catch (const std::bad_alloc&) {
        return fail("there is not enough memory for the PNG file");
    }
    if (!written) return fail("the PNG file cannot be made (" + c.message + ")");
    if (!c.exact) return fail("the picture has colours this PNG form cannot hold");
    if (error) error->clear();
    return std::move(c.out);
}

std::vector<std::uint8_t> EncodePng(const std::uint32_t* pixels, int width, int height,
                                    std::ptrdiff_t stride, std::string* error) {
    return EncodePng(pixels, width, height, stride, PngForm{}, error);
}

std::vector<std::uint8_t> EncodePngSmallest(const std::uint32_t* pixels, int width, int height,
                                            std::ptrdiff_t stride, std::string* error) {
    return EncodePng(pixels, width, height, stride, SmallestPngForm(pixels, width, height, stride),
                     error);
}

} // namespace codecs

namespace codecs::formats {

extern const Handler kPng; // listed in formats.cpp
const Handler kPng = {
    .name = "PNG",
    .canRead = detail::CanRead,
    .readHeader = detail::ReadHeader,
    .memory = detail::Memory,
    .read = detail::DecodePngBytes,
    .readFileHeader = detail::ReadFileHeader,
    .readFile = detail::DecodePngFile,
};

} // namespace codecs::formats
