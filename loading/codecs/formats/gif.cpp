// GIF: the header read from the blocks as they lie (plain parsing, the web
// page's too); the decoder on giflib: giflib reads the blocks and the LZW
// data, the frames are drawn here. The single picture (Decode) is the first frame as Qt's GIF
// reader draws it; the animation (DecodeGifFrames) is every frame as a
// browser composes it. Interlaced rows land where browsers put them.
// The bytes come through a Reader, from memory or from a file read where it
// lies a piece at a time, the same way for both: the header's walk and
// giflib's input alike.
//
// Before a frame is decoded its data is measured in the file: LZW data that
// cannot give the frame's pixels is refused at once as cut short, so that a
// file of a few bytes never has memory taken for the picture it claims.
#include "internal.h"

#include "libraries.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>

namespace codecs::detail {

namespace {

int Le16(Bytes b, std::size_t at) {
    return b[at] | b[at + 1] << 8;
}

// The LZW data of a frame as it lies in the file, from its first sub-block:
// how many bytes it holds and whether its closing empty sub-block is there
// (without it giflib fails once it has the frame's pixels).
struct Data {
    std::uint64_t bytes = 0;
    bool closed = false;
    std::uint64_t end = 0; // just past it
};

// Where the data cannot be read further, it ends there.
Data Measure(Reader& reader, std::uint64_t at) {
    Data d;
    const std::uint64_t size = reader.size();
    for (Bytes length; !(length = reader.at(at, 1)).empty(); at += std::uint64_t(length[0]) + 1) {
        if (length[0] == 0) {
            d.closed = true;
            break;
        }
        d.bytes += std::min<std::uint64_t>(length[0], size - at - 1);
    }
    d.end = std::min(at + 1, size);
    return d;
}

// One image descriptor as the file holds it.
struct Descriptor {
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    int disposal = 0; // from the graphic control extension before it
    Data data;
};

// The logical screen, and each image descriptor in turn to `visit` (which
// returns false to stop), walking the blocks as giflib reads them but
// decoding nothing. The walk ends at the trailer, at anything that is not
// a block, at the end of the data or after a frame whose data is not closed.
template <class Visit>
bool WalkBlocks(Reader& reader, int& screenWidth, int& screenHeight, Visit&& visit) {
    // giflib reads any version after "GIF"; so does the walk.
    const Bytes head = reader.at(0, 13);
    if (head.size() < 13 || std::memcmp(head.data(), "GIF", 3) != 0) return false;
    screenWidth = Le16(head, 6);
    screenHeight = Le16(head, 8);
    std::uint64_t at = 13;
    if (head[10] & 0x80) at += 3 * (std::uint64_t(2) << (head[10] & 7));
    int disposal = 0;
    // Each block's first bytes (fewer at the end of the data), read before
    // its sub-blocks are measured.
    for (Bytes b; !(b = reader.at(at, 11)).empty();) {
        if (b[0] == 0x2C) {
            if (b.size() < 11) break; // the descriptor and the code size
            Descriptor d;
            d.left = Le16(b, 1);
            d.top = Le16(b, 3);
            d.width = Le16(b, 5);
            d.height = Le16(b, 7);
            const int packed = b[9];
            d.interlaced = (packed & 0x40) != 0;
            at += 10;
            if (packed & 0x80) at += 3 * (std::uint64_t(2) << (packed & 7));
            d.data = Measure(reader, at + 1);
            d.disposal = disposal;
            disposal = 0;
            if (!visit(d) || !d.data.closed) break;
            at = d.data.end;
        } else if (b[0] == 0x21 && b.size() >= 2) {
            const bool control = b[1] == 0xF9;
            if (control && b.size() >= 4 && b[2] >= 1) {
                const int value = (b[3] >> 2) & 7;
                disposal = value <= 3 ? value : 0;
            }
            at = Measure(reader, at + 2).end;
        } else {
            break;
        }
    }
    return true;
}

bool CanRead(Bytes bytes) {
    return bytes.size() >= 6 && (std::memcmp(bytes.data(), "GIF87a", 6) == 0 ||
                                 std::memcmp(bytes.data(), "GIF89a", 6) == 0);
}

std::optional<Header> HeaderOf(Reader&& reader) {
    Header header;
    header.frames = 0;
    int width = 0, height = 0;
    const bool gif = WalkBlocks(reader, width, height, [&](const Descriptor& d) {
        // A screen side of 0: the first frame's end decides.
        if (header.frames == 0) {
            if (width <= 0) width = d.left + d.width;
            if (height <= 0) height = d.top + d.height;
            header.interlaced = d.interlaced;
        }
        ++header.frames;
        header.largestFrame = std::max(header.largestFrame, std::int64_t(d.width) * d.height);
        header.restores = header.restores || d.disposal == 3;
        return true;
    });
    if (!gif || width <= 0 || height <= 0) return std::nullopt;
    header.width = width;
    header.height = height;
    return header;
}

std::optional<Header> ReadHeader(Bytes bytes) {
    return HeaderOf(Reader(bytes));
}

std::optional<Header> ReadFileHeader(const File& file) {
    return HeaderOf(Reader(file));
}

std::size_t Memory(const Header& header, const DecodeOptions& options, bool allFrames) {
    const std::uint64_t canvas = 4 * std::uint64_t(header.width) * std::uint64_t(header.height);
    const bool fit = options.fitted && options.fits();
    const std::uint64_t fitted = fit ? FitMemory(header.width, header.height, options) : 0;
    // giflib's tables and colour maps, a frame's row of indices, a canvas row,
    // and the two buffers a file is read through (giflib's input, and the
    // look ahead that measures each frame's data).
    const std::uint64_t fixed =
        (256u << 10) + 65536 + 4 * std::uint64_t(header.width) + 2 * Reader::kPiece;
    std::uint64_t peak = 0;
    if (allFrames)
        peak = canvas + (header.restores ? canvas : 0) + fitted;
    else
        peak =
            (fit ? fitted : canvas) + (header.interlaced ? std::uint64_t(header.largestFrame) : 0);
    return std::size_t(peak + fixed);
}

} // namespace

} // namespace codecs::detail

namespace codecs::detail {

namespace {

constexpr std::uint32_t kWhite = 0x00FFFFFF; // clear: white over white
constexpr std::uint32_t kBlack = 0xFF000000; // opaque
const char* const kCutShort = "the GIF data is cut short";

// What giflib reads: the data from `pos` on, through the reader.
struct GifInput {
    Reader* reader = nullptr;
    std::uint64_t pos = 0;
};

extern "C" int GifRead(GifFileType* gif, GifByteType* out, int length) {
    auto* input = static_cast<GifInput*>(gif->UserData);
    const std::size_t wanted = std::size_t(std::max(length, 0));
    std::size_t n = 0;
    while (n < wanted) {
        const Bytes piece = input->reader->at(input->pos, wanted - n);
        if (piece.empty()) break;
        std::memcpy(out + n, piece.data(), piece.size());
        n += piece.size();
        input->pos += piece.size();
    }
    return int(n);
}

struct GifCloser {
    GifFileType* gif = nullptr;
    ~GifCloser() {
        int ignored = 0;
        if (gif) DGifCloseFile(gif, &ignored);
    }
};

std::string GifCause(int code) {
    switch (code) {
    case D_GIF_ERR_READ_FAILED:
    case D_GIF_ERR_EOF_TOO_SOON:
        return kCutShort;
    case D_GIF_ERR_NOT_ENOUGH_MEM:
        return "there is not enough memory for the picture";
    default: {
        const char* text = GifErrorString(code);
        return std::string("the GIF data is damaged (") + (text ? text : "unknown error") + ")";
    }
    }
}

// The most pixels LZW data of `bytes` bytes can give. Every code takes at
// least one bit; after a clear code the first code gives one pixel and each
// later one at most one more than the longest string the table then holds,
// which grows by one a code, and never more than 4096 (the table's size).
std::uint64_t MostPixels(std::uint64_t bytes) {
    const std::uint64_t codes = 8 * bytes, longest = 4096;
    if (codes <= longest) return codes * (codes + 1) / 2;
    return longest * (longest + 1) / 2 + (codes - longest) * longest;
}

// Whether a frame of width x height pixels could come out of its data.
bool DataHolds(const Data& data, std::int64_t width, std::int64_t height) {
    if (!data.closed) return false;
    return width <= 0 || height <= 0 || MostPixels(data.bytes) >= std::uint64_t(width * height);
}

// What a graphic control extension says about the next frame.
struct Control {
    int transparent = -1;
    int disposal = 0; // 0, 1: keep; 2: clear to the background; 3: restore
    int delayCs = -1; // hundredths of a second; -1: none given
};

Control ReadControl(const GifByteType* block) {
    // block[0] is the sub-block's length.
    Control c;
    const int n = block ? block[0] : 0;
    if (n >= 1) {
        const int disposal = (block[1] >> 2) & 7;
        c.disposal = disposal <= 3 ? disposal : 0;
    }
    if (n >= 3) c.delayCs = block[2] | block[3] << 8;
    if (n >= 4 && (block[1] & 1)) c.transparent = block[4];
    return c;
}

struct Canvas {
    int width = 0;
    int height = 0;
    std::uint32_t* pixels = nullptr;
    std::uint32_t* row(int y) const { return pixels + std::size_t(y) * width; }
};

// The frame's rows in the order the file holds them: top to bottom, or for
// an interlaced frame in four passes (rows 0, 8, 16, ...; 4, 12, ...; 2, 6,
// ...; then the odd rows), each pass only over rows the frame has.
class RowOrder {
  public:
    RowOrder(int height, bool interlaced) : height_(height), pass_(interlaced ? 0 : 4) {
        if (interlaced) skipEmptyPasses();
    }
    int row() const { return row_; } // the frame's row the next decoded row goes to
    void next() {
        row_ += pass_ < 4 ? kStep[pass_] : 1;
        if (pass_ < 4 && row_ >= height_) {
            ++pass_;
            skipEmptyPasses();
        }
    }

  private:
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    void skipEmptyPasses() {
        while (pass_ < 4 && kStart[pass_] >= height_)
            ++pass_;
        row_ = pass_ < 4 ? kStart[pass_] : height_;
    }
    int height_;
    int pass_;
    int row_ = 0;
};

// Composed colours of a frame's indices; `skip` marks indices not drawn.
struct Colours {
    std::array<std::uint32_t, 256> colour{};
    std::array<bool, 256> skip{};
};

// Qt's colours: an index past the table is transparent, so white; with no
// table at all an index is transparent black (white in a picture with
// transparency, black in one without).
Colours MakeColours(const ColorMapObject* map, int screenColours, int transparent,
                    bool skipTransparent) {
    Colours c;
    const int count = map ? map->ColorCount : screenColours;
    for (int i = 0; i < 256; ++i) {
        if (i >= count || i == transparent) {
            c.colour[i] = kWhite;
        } else if (map) {
            const GifColorType& e = map->Colors[i];
            c.colour[i] = Pack(e.Red, e.Green, e.Blue);
        } else {
            c.colour[i] = transparent >= 0 ? kWhite : kBlack;
        }
    }
    if (skipTransparent && transparent >= 0) c.skip[std::size_t(transparent)] = true;
    return c;
}

bool SkipImageData(GifFileType* gif) {
    int codeSize = 0;
    GifByteType* block = nullptr;
    if (DGifGetCode(gif, &codeSize, &block) == GIF_ERROR) return false;
    while (block)
        if (DGifGetCodeNext(gif, &block) == GIF_ERROR) return false;
    return true;
}

// giflib reading through `input`; `ahead` measures each frame's data
// before giflib reads it (a reader of its own, so that a file's pieces are
// each read once by either).
class GifReader {
  public:
    GifReader(Reader& input, Reader& ahead, const DecodeOptions& options)
        : options_(options), ahead_(ahead) {
        input_.reader = &input;
        // The screen's colour count, which Qt uses even when there is no
        // global colour table.
        const Bytes packed = ahead.at(10, 1);
        screenColours_ = !packed.empty() ? 2 << (packed[0] & 7) : 2;
    }

    bool open() {
        if (const std::string& why = OpenLibrary(Library::Gif); !why.empty()) return fail(why);
        int code = 0;
        closer_.gif = DGifOpen(&input_, GifRead, &code);
        if (!closer_.gif) return fail(GifCause(code));
        return true;
    }

    // Reads up to the next frame's descriptor; false at the end or on failure.
    bool nextFrame() {
        control_ = {};
        GifFileType* gif = closer_.gif;
        for (;;) {
            GifRecordType type = UNDEFINED_RECORD_TYPE;
            if (DGifGetRecordType(gif, &type) == GIF_ERROR) {
                // Anything that is no GIF block after a complete frame ends
                // the file, as in Qt's reader and the browsers; so does the
                // end of the data where the trailer byte should be.
                const bool atEnd = input_.pos >= input_.reader->size();
                if (frames_ > 0 && (gif->Error == D_GIF_ERR_WRONG_RECORD ||
                                    (gif->Error == D_GIF_ERR_READ_FAILED && atEnd)))
                    return false;
                return fail(GifCause(gif->Error));
            }
            if (type == TERMINATE_RECORD_TYPE) return false;
            if (type == IMAGE_DESC_RECORD_TYPE) {
                if (DGifGetImageDesc(gif) == GIF_ERROR) return fail(GifCause(gif->Error));
                ++frames_;
                return true;
            }
            if (type != EXTENSION_RECORD_TYPE) return fail(GifCause(D_GIF_ERR_WRONG_RECORD));
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) == GIF_ERROR)
                return fail(GifCause(gif->Error));
            if (code == GRAPHICS_EXT_FUNC_CODE) control_ = ReadControl(block);
            while (block)
                if (DGifGetExtensionNext(gif, &block) == GIF_ERROR)
                    return fail(GifCause(gif->Error));
        }
    }

    // The canvas as Qt sizes it: the logical screen, or where the first
    // frame ends when the screen's side is 0.
    bool canvasSize(int& width, int& height, Decoded& result) const {
        const GifFileType* gif = closer_.gif;
        const GifImageDesc& d = gif->Image;
        width = gif->SWidth > 0 ? gif->SWidth : d.Left + d.Width;
        height = gif->SHeight > 0 ? gif->SHeight : d.Top + d.Height;
        if (!CheckSize(width, height, options_, result)) return false;
        if (width <= 0 || height <= 0) return fail("the GIF's picture has no pixels", result);
        return true;
    }

    // The frame just described: not beyond the limits (a frame far beyond
    // the canvas would only cost time), and its data, which giflib is about
    // to read, able to give its pixels.
    bool checkFrame(Decoded& result) const {
        const GifImageDesc& d = closer_.gif->Image;
        if (!CheckSize(d.Width, d.Height, options_, result)) return false;
        if (!DataHolds(Measure(ahead_, input_.pos), d.Width, d.Height))
            return fail(kCutShort, result);
        return true;
    }

    // Reads the frame's rows in the file's order, handing each with the
    // frame's row it belongs to (0 = the frame's top) to `row`.
    template <class Row> bool readRows(Row&& row, Decoded& result) {
        GifFileType* gif = closer_.gif;
        const GifImageDesc& d = gif->Image;
        if (d.Width <= 0 || d.Height <= 0) {
            if (!SkipImageData(gif)) return fail(GifCause(gif->Error), result);
            return true;
        }
        try {
            row_.resize(std::size_t(d.Width));
        } catch (const std::bad_alloc&) {
            return fail("there is not enough memory for the picture", result);
        }
        for (RowOrder order(d.Height, d.Interlace); order.row() < d.Height; order.next()) {
            if (DGifGetLine(gif, row_.data(), d.Width) == GIF_ERROR)
                return fail(GifCause(gif->Error), result);
            row(order.row(), row_.data());
        }
        return true;
    }

    // Draws the frame just described onto the canvas.
    bool draw(const Canvas& canvas, const Colours& colours, Decoded& result) {
        const GifImageDesc& d = closer_.gif->Image;
        const int visible = std::max(0, std::min(d.Width, canvas.width - d.Left));
        return readRows(
            [&](int r, const GifPixelType* in) {
                const int y = d.Top + r;
                if (y >= canvas.height) return;
                std::uint32_t* out = canvas.row(y) + d.Left;
                for (int i = 0; i < visible; ++i)
                    if (!colours.skip[in[i]]) out[i] = colours.colour[in[i]];
            },
            result);
    }

    const ColorMapObject* frameColours() const {
        const GifFileType* gif = closer_.gif;
        return gif->Image.ColorMap ? gif->Image.ColorMap : gif->SColorMap;
    }
    const GifFileType* gif() const { return closer_.gif; }
    const Control& control() const { return control_; }
    int screenColours() const { return screenColours_; }
    const std::string& error() const { return error_; }

  private:
    bool fail(const std::string& why) {
        error_ = why;
        return false;
    }
    static bool fail(const std::string& why, Decoded& result) {
        result.error = why;
        return false;
    }

    const DecodeOptions& options_;
    Reader& ahead_;
    GifInput input_;
    GifCloser closer_;
    Control control_;
    int screenColours_ = 2;
    int frames_ = 0;
    std::string error_;
    std::vector<GifPixelType> row_;
};

// The rectangle of the frame on the canvas (empty when off it).
struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0; // right and bottom exclusive
};

Rect OnCanvas(const GifImageDesc& d, const Canvas& canvas) {
    Rect r;
    r.left = std::clamp(d.Left, 0, canvas.width);
    r.top = std::clamp(d.Top, 0, canvas.height);
    r.right = std::clamp(d.Left + d.Width, r.left, canvas.width);
    r.bottom = std::clamp(d.Top + d.Height, r.top, canvas.height);
    return r;
}

// The first frame over its ground, as canvas rows in order. The frame's rows
// come straight from the decoder when they are in order; an interlaced
// frame's indices are held (one byte a pixel, only what lies on the canvas)
// until all have come.
bool FirstFrame(GifReader& reader, int width, int height, std::uint32_t ground,
                const Colours& colours, RowSink& sink, Decoded& result) {
    const GifImageDesc& d = reader.gif()->Image;
    const int visible = std::max(0, std::min(d.Width, width - d.Left));
    const int rows = d.Width > 0 ? std::max(0, std::min(d.Height, height - d.Top)) : 0;
    std::vector<std::uint32_t> line(std::size_t(width), ground);
    auto paint = [&](const GifPixelType* in) {
        for (int i = 0; i < visible; ++i)
            line[std::size_t(d.Left + i)] = colours.colour[in[i]];
    };
    auto plain = [&] { std::fill_n(line.data() + std::min(d.Left, width), visible, ground); };
    for (int y = 0; y < std::min(d.Top, height); ++y)
        sink.add(line.data());
    if (!d.Interlace || rows == 0) {
        const bool read = reader.readRows(
            [&](int r, const GifPixelType* in) {
                if (r >= rows) return;
                paint(in);
                sink.add(line.data());
            },
            result);
        if (!read) return false;
    } else {
        const std::size_t stride = std::size_t(visible);
        std::unique_ptr<GifPixelType[]> held(new GifPixelType[stride * std::size_t(rows)]);
        const bool read = reader.readRows(
            [&](int r, const GifPixelType* in) {
                if (r < rows) std::copy_n(in, stride, held.get() + stride * std::size_t(r));
            },
            result);
        if (!read) return false;
        for (int r = 0; r < rows; ++r) {
            paint(held.get() + stride * std::size_t(r));
            sink.add(line.data());
        }
    }
    plain();
    for (int y = std::min(d.Top, height) + rows; y < height; ++y)
        sink.add(line.data());
    return true;
}

} // namespace

Decoded DecodeGif(Reader& input, Reader& ahead, const DecodeOptions& options) {
    Decoded result;
    try {
        GifReader reader(input, ahead, options);
        if (!reader.open()) return {{}, reader.error()};
        if (!reader.nextFrame())
            return {{}, reader.error().empty() ? "the GIF holds no picture" : reader.error()};
        int width = 0, height = 0;
        if (!reader.canvasSize(width, height, result) || !reader.checkFrame(result))
            return {{}, result.error};
        const GifFileType* gif = reader.gif();
        const GifImageDesc& d = gif->Image;
        const int transparent = reader.control().transparent;
        // Qt starts from black (white once there is transparency); a frame
        // that leaves part of the canvas uncovered is laid on the transparent
        // colour, or else on the background colour of the global table.
        std::uint32_t ground = transparent >= 0 ? kWhite : kBlack;
        if ((d.Left || d.Top || d.Width < width || d.Height < height) && transparent < 0 &&
            gif->SColorMap) {
            const int index = gif->SBackGroundColor;
            ground = index < gif->SColorMap->ColorCount ? Pack(gif->SColorMap->Colors[index].Red,
                                                               gif->SColorMap->Colors[index].Green,
                                                               gif->SColorMap->Colors[index].Blue)
                                                        : kWhite;
        }
        const Colours colours =
            MakeColours(reader.frameColours(), reader.screenColours(), transparent, false);
        RowSink sink(width, height, options);
        if (!FirstFrame(reader, width, height, ground, colours, sink, result))
            return {{}, result.error};
        result.image = sink.take();
    } catch (const std::bad_alloc&) {
        return {{}, "there is not enough memory for the picture"};
    }
    return result;
}

// Why reading the file failed, when it did (as for the other kinds of file).
std::string ReadFailure(const Reader& input, const Reader& ahead) {
    const int error = input.error() ? input.error() : ahead.error();
    return error ? std::strerror(error) : std::string();
}

Decoded DecodeGifBytes(Bytes bytes, const DecodeOptions& options) {
    Reader input(bytes), ahead(bytes);
    return DecodeGif(input, ahead, options);
}

Decoded DecodeGifFile(const File& file, const DecodeOptions& options) {
    Reader input(file), ahead(file);
    Decoded decoded = DecodeGif(input, ahead, options);
    if (std::string why = ReadFailure(input, ahead); !why.empty()) return {{}, std::move(why)};
    return decoded;
}

bool DecodeFrames(Reader& input, Reader& ahead, const DecodeOptions& options, const FrameSink& sink,
                  std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    try {
        // Every frame's rectangle and data, before any is decoded.
        Decoded check;
        int screenWidth = 0, screenHeight = 0;
        WalkBlocks(ahead, screenWidth, screenHeight, [&](const Descriptor& d) {
            if (!CheckSize(d.width, d.height, options, check)) return false;
            if (!DataHolds(d.data, d.width, d.height)) check.error = kCutShort;
            return check.ok();
        });
        if (!check.ok()) return fail(check.error);

        GifReader reader(input, ahead, options);
        if (!reader.open()) return fail(reader.error());
        Frame canvasFrame, fittedFrame;
        Image& canvasImage = canvasFrame.image;
        std::vector<std::uint32_t> saved;
        Canvas canvas;
        const bool fit = options.fitted && options.fits();
        int count = 0;
        while (reader.nextFrame()) {
            const GifImageDesc& d = reader.gif()->Image;
            Decoded status;
            if (!canvas.pixels) {
                if (!reader.canvasSize(canvasImage.width, canvasImage.height, status))
                    return fail(status.error);
                canvasImage.pixels.assign(
                    std::size_t(canvasImage.width) * std::size_t(canvasImage.height), kWhite);
                canvas = {canvasImage.width, canvasImage.height, canvasImage.pixels.data()};
            }
            if (!reader.checkFrame(status)) return fail(status.error);
            const Control control = reader.control();
            const Rect rect = OnCanvas(d, canvas);
            if (control.disposal == 3) {
                saved.clear();
                for (int y = rect.top; y < rect.bottom; ++y)
                    saved.insert(saved.end(), canvas.row(y) + rect.left,
                                 canvas.row(y) + rect.right);
            }
            const Colours colours = MakeColours(reader.frameColours(), reader.screenColours(),
                                                control.transparent, true);
            if (!reader.draw(canvas, colours, status)) return fail(status.error);
            const int delayMs = control.delayCs <= 1 ? 100 : control.delayCs * 10;
            ++count;
            if (fit) {
                grob::RowFitter fitter(canvas.width, canvas.height, options.fit);
                for (int y = 0; y < canvas.height; ++y)
                    fitter.add(canvas.row(y));
                fittedFrame.image = Opaque(fitter.take());
                fittedFrame.delayMs = delayMs;
                if (!sink(fittedFrame)) break;
            } else {
                canvasFrame.delayMs = delayMs;
                if (!sink(canvasFrame)) break;
            }
            if (control.disposal == 2) {
                for (int y = rect.top; y < rect.bottom; ++y)
                    std::fill(canvas.row(y) + rect.left, canvas.row(y) + rect.right, kWhite);
            } else if (control.disposal == 3) {
                auto from = saved.begin();
                for (int y = rect.top; y < rect.bottom; ++y, from += rect.right - rect.left)
                    std::copy(from, from + (rect.right - rect.left), canvas.row(y) + rect.left);
            }
        }
        if (!reader.error().empty()) return fail(reader.error());
        if (count == 0) return fail("the GIF holds no picture");
    } catch (const std::bad_alloc&) {
        return fail("there is not enough memory for the frames");
    }
    if (error) error->clear();
    return true;
}

} // namespace codecs::detail

namespace codecs {

bool DecodeGifFrames(Bytes bytes, const DecodeOptions& options, const FrameSink& sink,
                     std::string* error) {
    detail::Reader input(bytes), ahead(bytes);
    return detail::DecodeFrames(input, ahead, options, sink, error);
}

bool DecodeGifFrames(const File& file, const DecodeOptions& options, const FrameSink& sink,
                     std::string* error) {
    detail::Reader input(file), ahead(file);
    const bool decoded = detail::DecodeFrames(input, ahead, options, sink, error);
    if (std::string why = detail::ReadFailure(input, ahead); !why.empty()) {
        if (error) *error = std::move(why);
        return false;
    }
    return decoded;
}

std::vector<Frame> DecodeGifFrames(Bytes bytes, const DecodeOptions& options, std::string* error) {
    std::vector<Frame> frames;
    std::int64_t held = 0;
    bool full = false;
    const bool decoded = DecodeGifFrames(
        bytes, options,
        [&](const Frame& frame) {
            // The frames together are held to a few pictures' worth of pixels.
            held += std::int64_t(frame.image.width) * frame.image.height;
            if (held > 4 * options.maxPixels) {
                full = true;
                return false;
            }
            frames.push_back(frame);
            return true;
        },
        error);
    if (full && error) *error = kTooManyFrames;
    if (!decoded || full) return {};
    return frames;
}

} // namespace codecs

namespace codecs::formats {

extern const Handler kGif; // listed in formats.cpp
const Handler kGif = {
    .name = "GIF",
    .canRead = detail::CanRead,
    .readHeader = detail::ReadHeader,
    .memory = detail::Memory,
    .read = detail::DecodeGifBytes,
    .readFrames = DecodeGifFrames,
    .readFileHeader = detail::ReadFileHeader,
    .readFile = detail::DecodeGifFile,
    .readFileFrames = DecodeGifFrames,
};

} // namespace codecs::formats
