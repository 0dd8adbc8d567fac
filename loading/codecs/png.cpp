// PNG on libpng, read with the same transformations Qt's PNG reader asks
// for, so that every kind of PNG gives the pixels the Qt loader gives: gray
// and palette pictures through a composed colour table, 8-bit colour
// premultiplied and blended over white, 16-bit pictures as the painter draws
// them. Colour spaces (gAMA, iCCP, sRGB) leave the pixels alone, as in Qt 6.
#include "internal.h"

#include <png.h>

#include <array>
#include <csetjmp>
#include <cstring>
#include <new>

namespace codecs::detail {

namespace {

struct PngSource {
    Bytes bytes;
    std::size_t pos = 0;
    bool readingEnd = false;
};

struct PngContext {
    PngSource source;
    std::string message; // libpng's error
    Decoded result;
    std::vector<std::uint8_t> row;
    std::vector<std::uint8_t> raw; // the whole picture, for interlaced files
    std::vector<png_bytep> rows;
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
    const std::size_t left = source->bytes.size() - source->pos;
    if (source->readingEnd && left < 4 && length == 4) {
        // Some writers leave out the last chunk's CRC; Qt's reader lets
        // that pass, and so does this one.
        static const std::uint8_t endCrc[4] = {0xae, 0x42, 0x60, 0x82};
        std::memcpy(out, endCrc, 4);
        source->pos = source->bytes.size();
        return;
    }
    if (length > left) png_error(png, "Read Error");
    std::memcpy(out, source->bytes.data() + source->pos, length);
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
    png_set_interlace_handling(png);
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
    const Setup setup = Prepare(png, info);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    const int passes = png_set_interlace_handling(png);
    if (!Allocate(c.result.image, width, height, c.result)) return true;
    std::uint32_t* out = c.result.image.pixels.data();
    if (passes > 1) {
        c.raw.resize(rowBytes * std::size_t(height));
        c.rows.resize(std::size_t(height));
        for (int y = 0; y < height; ++y)
            c.rows[std::size_t(y)] = c.raw.data() + rowBytes * std::size_t(y);
        png_read_image(png, c.rows.data());
        for (int y = 0; y < height; ++y)
            ConvertRow(setup, c.rows[std::size_t(y)], out + std::size_t(y) * width, width,
                       setup.tableSize);
    } else {
        c.row.resize(rowBytes);
        for (int y = 0; y < height; ++y) {
            png_read_row(png, c.row.data(), nullptr);
            ConvertRow(setup, c.row.data(), out + std::size_t(y) * width, width, setup.tableSize);
        }
    }
    c.source.readingEnd = true;
    png_read_end(png, end);
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

std::optional<Size> PeekPng(Bytes bytes) {
    // The signature, then IHDR: length 13, "IHDR", width, height.
    if (bytes.size() < 24 || std::memcmp(bytes.data(), "\x89PNG\r\n\x1a\n", 8) != 0 ||
        std::memcmp(bytes.data() + 12, "IHDR", 4) != 0)
        return std::nullopt;
    auto be32 = [&](std::size_t at) {
        return std::uint32_t(bytes[at]) << 24 | bytes[at + 1] << 16 | bytes[at + 2] << 8 |
               bytes[at + 3];
    };
    const std::uint32_t w = be32(16), h = be32(20);
    if (w == 0 || h == 0 || w > 0x7fffffffu || h > 0x7fffffffu) return std::nullopt;
    return Size{int(w), int(h)};
}

Decoded DecodePng(Bytes bytes, const DecodeOptions& options) {
    PngContext c;
    c.source.bytes = bytes;
    ReadStructs s;
    s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &c.message, PngError, PngWarning);
    if (!s.png) return {{}, "the PNG decoder cannot start"};
#if defined(PNG_SET_OPTION_SUPPORTED) && defined(PNG_MAXIMUM_INFLATE_WINDOW)
    // As Qt's reader: accept streams that some writers get slightly wrong.
    png_set_option(s.png, PNG_MAXIMUM_INFLATE_WINDOW, PNG_OPTION_ON);
#endif
    // Text, profiles, palettes for other screens and Exif are not used, and
    // libpng sets aside whatever length such a chunk's header claims before
    // reading it: gigabytes from a damaged file of a few hundred bytes.
    // Skipped, they are read past in small pieces instead.
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
    } catch (const std::bad_alloc&) {
        return {{}, "there is not enough memory for the picture"};
    }
    if (!finished) return {{}, Cause(c.message)};
    if (!c.result.ok()) c.result.image = {};
    return std::move(c.result);
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
};

bool WritePng(WriteContext& c, png_structp png, png_infop info, const std::uint32_t* pixels,
              int width, int height, std::ptrdiff_t stride) {
    if (setjmp(png_jmpbuf(png))) return false;
    PngSink sink{&c.out};
    png_set_write_fn(png, &sink, PngWrite, PngFlush);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    c.row.resize(std::size_t(width) * 3);
    for (int y = 0; y < height; ++y) {
        const std::uint32_t* in = pixels + stride * y;
        std::uint8_t* o = c.row.data();
        for (int x = 0; x < width; ++x) {
            *o++ = std::uint8_t(in[x]);
            *o++ = std::uint8_t(in[x] >> 8);
            *o++ = std::uint8_t(in[x] >> 16);
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

std::vector<std::uint8_t> EncodePng(const std::uint32_t* pixels, int width, int height,
                                    std::ptrdiff_t stride, std::string* error) {
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
        written = detail::WritePng(c, s.png, s.info, pixels, width, height, stride);
    } catch (const std::bad_alloc&) {
        return fail("there is not enough memory for the PNG file");
    }
    if (!written) return fail("the PNG file cannot be made (" + c.message + ")");
    if (error) error->clear();
    return std::move(c.out);
}

} // namespace codecs
