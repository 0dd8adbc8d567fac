// GIF on giflib: giflib reads the blocks and the LZW data; the frames are
// drawn here. The single picture (Decode) is the first frame as Qt's GIF
// reader draws it; the animation (DecodeGifFrames) is every frame as a
// browser composes it. Both place rows as Qt does, so that their first
// frames agree wherever Qt and the browsers do.
#include "internal.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

namespace codecs::detail {

namespace {

constexpr std::uint32_t kWhite = 0x00FFFFFF; // clear: white over white
constexpr std::uint32_t kBlack = 0xFF000000; // opaque

struct GifInput {
    Bytes bytes;
    std::size_t pos = 0;
};

extern "C" int GifRead(GifFileType* gif, GifByteType* out, int length) {
    auto* input = static_cast<GifInput*>(gif->UserData);
    const std::size_t n =
        std::min(std::size_t(std::max(length, 0)), input->bytes.size() - input->pos);
    std::memcpy(out, input->bytes.data() + input->pos, n);
    input->pos += n;
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
        return "the GIF data is cut short";
    case D_GIF_ERR_NOT_ENOUGH_MEM:
        return "there is not enough memory for the picture";
    default: {
        const char* text = GifErrorString(code);
        return std::string("the GIF data is damaged (") + (text ? text : "unknown error") + ")";
    }
    }
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

// The frame's rows land where Qt's GIF reader puts them: for an interlaced
// frame, by its passes over the frame's rows that lie on the canvas; while
// the frame has no transparency, each row of the first three passes is also
// copied down over the rows a later pass will fill.
class RowWalker {
  public:
    RowWalker(const GifImageDesc& d, const Canvas& canvas, bool copyDown)
        : left_(d.Left), top_(d.Top), canvas_(canvas), copyDown_(copyDown), y_(d.Top),
          pass_(d.Interlace ? 1 : 0) {
        right_ = std::max(0, std::min(d.Left + d.Width, canvas.width) - 1);
        bottom_ = std::max(0, std::min(d.Top + d.Height, canvas.height) - 1);
    }
    // The canvas row the current frame row goes to, or -1 when it is off the canvas.
    int y() const { return left_ < canvas_.width && y_ < canvas_.height ? y_ : -1; }

    void next() {
        if (y() < 0) return;
        switch (pass_) {
        case 0:
            ++y_;
            break;
        case 1:
            copy(7);
            y_ += 8;
            if (y_ > bottom_) {
                pass_ = 2;
                y_ = top_ + 4;
                if (y_ > bottom_) {
                    y_ = top_ + 2;
                    if (y_ > bottom_) {
                        pass_ = 0;
                        y_ = top_ + 1;
                    }
                }
            }
            break;
        case 2:
            copy(3);
            y_ += 8;
            if (y_ > bottom_) {
                pass_ = 3;
                y_ = top_ + 2;
                if (y_ > bottom_) y_ = top_ + 1;
            }
            break;
        case 3:
            copy(1);
            y_ += 4;
            if (y_ > bottom_) {
                pass_ = 4;
                y_ = top_ + 1;
            }
            break;
        default:
            y_ += 2;
            break;
        }
    }

  private:
    void copy(int most) {
        if (!copyDown_) return;
        const int rows = std::min(most, bottom_ - y_);
        const int count = right_ - left_ + 1;
        for (int i = 1; i <= rows && count > 0; ++i)
            std::copy_n(canvas_.row(y_) + left_, count, canvas_.row(y_ + i) + left_);
    }

    int left_, top_, right_ = 0, bottom_ = 0;
    const Canvas& canvas_;
    bool copyDown_;
    int y_;
    int pass_;
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

class GifReader {
  public:
    GifReader(Bytes bytes, const DecodeOptions& options) : options_(options) {
        input_.bytes = bytes;
        // The screen's colour count, which Qt uses even when there is no
        // global colour table.
        screenColours_ = bytes.size() > 10 ? 2 << (bytes[10] & 7) : 2;
    }

    bool open() {
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
                const bool atEnd = input_.pos >= input_.bytes.size();
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
    bool sizeCanvas(Image& image, Decoded& result) {
        const GifFileType* gif = closer_.gif;
        const GifImageDesc& d = gif->Image;
        const int width = gif->SWidth > 0 ? gif->SWidth : d.Left + d.Width;
        const int height = gif->SHeight > 0 ? gif->SHeight : d.Top + d.Height;
        if (!CheckSize(width, height, options_, result)) return false;
        if (width <= 0 || height <= 0) return fail("the GIF's picture has no pixels", result);
        return Allocate(image, width, height, result);
    }

    // Draws the frame just described onto the canvas.
    bool draw(const Canvas& canvas, const Colours& colours, bool copyDown, Decoded& result) {
        GifFileType* gif = closer_.gif;
        const GifImageDesc& d = gif->Image;
        if (d.Width <= 0 || d.Height <= 0) {
            if (!SkipImageData(gif)) return fail(GifCause(gif->Error), result);
            return true;
        }
        // A frame far beyond the canvas would only cost time; refuse it as
        // a picture of that size would be refused.
        if (!CheckSize(d.Width, d.Height, options_, result)) return false;
        try {
            row_.resize(std::size_t(d.Width));
        } catch (const std::bad_alloc&) {
            return fail("there is not enough memory for the picture", result);
        }
        RowWalker walker(d, canvas, copyDown);
        const int visible = std::max(0, std::min(d.Width, canvas.width - d.Left));
        for (int r = 0; r < d.Height; ++r) {
            if (DGifGetLine(gif, row_.data(), d.Width) == GIF_ERROR)
                return fail(GifCause(gif->Error), result);
            const int y = walker.y();
            if (y >= 0) {
                std::uint32_t* out = canvas.row(y) + d.Left;
                for (int i = 0; i < visible; ++i)
                    if (!colours.skip[row_[std::size_t(i)]])
                        out[i] = colours.colour[row_[std::size_t(i)]];
            }
            walker.next();
        }
        return true;
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
    bool fail(const std::string& why, Decoded& result) {
        result.error = why;
        return false;
    }

    const DecodeOptions& options_;
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

} // namespace

std::optional<Size> PeekGif(Bytes bytes) {
    if (bytes.size() < 13 || (std::memcmp(bytes.data(), "GIF87a", 6) != 0 &&
                              std::memcmp(bytes.data(), "GIF89a", 6) != 0))
        return std::nullopt;
    int width = bytes[6] | bytes[7] << 8, height = bytes[8] | bytes[9] << 8;
    if (width > 0 && height > 0) return Size{width, height};
    // A screen side of 0: the first frame's end decides, so find it.
    std::size_t at = 13;
    if (bytes[10] & 0x80) at += 3 * (std::size_t(2) << (bytes[10] & 7));
    while (at < bytes.size()) {
        if (bytes[at] == 0x2C) {
            if (at + 9 > bytes.size()) return std::nullopt;
            const int left = bytes[at + 1] | bytes[at + 2] << 8;
            const int top = bytes[at + 3] | bytes[at + 4] << 8;
            if (width <= 0) width = left + (bytes[at + 5] | bytes[at + 6] << 8);
            if (height <= 0) height = top + (bytes[at + 7] | bytes[at + 8] << 8);
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

Decoded DecodeGif(Bytes bytes, const DecodeOptions& options) {
    Decoded result;
    try {
        GifReader reader(bytes, options);
        if (!reader.open()) return {{}, reader.error()};
        if (!reader.nextFrame())
            return {{}, reader.error().empty() ? "the GIF holds no picture" : reader.error()};
        if (!reader.sizeCanvas(result.image, result)) return {{}, result.error};
        Canvas canvas{result.image.width, result.image.height, result.image.pixels.data()};
        const GifFileType* gif = reader.gif();
        const GifImageDesc& d = gif->Image;
        const int transparent = reader.control().transparent;
        // Qt starts from black (white once there is transparency); a frame
        // that leaves part of the canvas uncovered is laid on the transparent
        // colour, or else on the background colour of the global table.
        std::uint32_t ground = transparent >= 0 ? kWhite : kBlack;
        if ((d.Left || d.Top || d.Width < canvas.width || d.Height < canvas.height) &&
            transparent < 0 && gif->SColorMap) {
            const int index = gif->SBackGroundColor;
            ground = index < gif->SColorMap->ColorCount ? Pack(gif->SColorMap->Colors[index].Red,
                                                               gif->SColorMap->Colors[index].Green,
                                                               gif->SColorMap->Colors[index].Blue)
                                                        : kWhite;
        }
        std::fill(result.image.pixels.begin(), result.image.pixels.end(), ground);
        const Colours colours =
            MakeColours(reader.frameColours(), reader.screenColours(), transparent, false);
        if (!reader.draw(canvas, colours, transparent < 0, result)) return {{}, result.error};
    } catch (const std::bad_alloc&) {
        return {{}, "there is not enough memory for the picture"};
    }
    return result;
}

} // namespace codecs::detail

namespace codecs {

std::vector<Frame> DecodeGifFrames(std::span<const std::uint8_t> bytes,
                                   const DecodeOptions& options, std::string* error) {
    using namespace detail;
    std::vector<Frame> frames;
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return std::vector<Frame>();
    };
    try {
        GifReader reader(bytes, options);
        if (!reader.open()) return fail(reader.error());
        Decoded canvasHolder;
        std::vector<std::uint32_t> saved;
        Canvas canvas;
        while (reader.nextFrame()) {
            const GifImageDesc& d = reader.gif()->Image;
            if (!canvas.pixels) {
                if (!reader.sizeCanvas(canvasHolder.image, canvasHolder))
                    return fail(canvasHolder.error);
                canvas = {canvasHolder.image.width, canvasHolder.image.height,
                          canvasHolder.image.pixels.data()};
            }
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
            Decoded status;
            if (!reader.draw(canvas, colours, control.transparent < 0, status))
                return fail(status.error);
            // The frames together are held to a few pictures' worth of pixels.
            const std::int64_t held =
                std::int64_t(frames.size() + 1) * canvas.width * std::int64_t(canvas.height);
            if (held > 4 * options.maxPixels)
                return fail("the animation has too many frames of this size to hold at once");
            Frame frame;
            frame.image = canvasHolder.image;
            frame.delayMs = control.delayCs <= 1 ? 100 : control.delayCs * 10;
            frames.push_back(std::move(frame));
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
    } catch (const std::bad_alloc&) {
        return fail("there is not enough memory for the frames");
    }
    if (frames.empty()) return fail("the GIF holds no picture");
    if (error) error->clear();
    return frames;
}

} // namespace codecs
