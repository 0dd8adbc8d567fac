#include "pictureloader.h"

#include "codecs.h"
#include "grob/checks.h"
#include "grob/compose.h"
#include "grob/list.h"
#include "grob/prepare.h"
#include "grob/reader.h"
#include "helperprogram.h"
#include "picturecheck.h"
#include "regularfile.h"
#include "renderclient.h"

#include <climits>
#include <cstring>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#ifndef VELDAR_LIBEXEC_DIR
#define VELDAR_LIBEXEC_DIR ""
#endif

namespace pictureloader {

using loading::Picture;

namespace {

bool StartsWith(Bytes data, std::string_view text) {
    return data.size() >= text.size() && std::memcmp(data.data(), text.data(), text.size()) == 0;
}

// The pixels' top bytes hold the picture's opacity: kept apart when asked
// for and not opaque throughout, and the pixels made opaque.
loading::Frame Finish(grob::Image image, bool keepOpacity, int background, int delayMs = 0) {
    if (background != 255)
        for (std::uint32_t& pixel : image.pixels)
            if (pixel >> 24 != 255) pixel = grob::OverGray(pixel, std::uint32_t(background));
    loading::Frame frame;
    frame.delayMs = delayMs;
    bool clear = false;
    if (keepOpacity)
        for (const std::uint32_t pixel : image.pixels)
            if (pixel >> 24 != 255) {
                clear = true;
                break;
            }
    if (clear) {
        frame.opacity.resize(image.pixels.size());
        for (std::size_t i = 0; i < image.pixels.size(); ++i)
            frame.opacity[i] = std::uint8_t(image.pixels[i] >> 24);
    }
    for (std::uint32_t& pixel : image.pixels)
        pixel |= 0xFF000000u;
    frame.image = std::move(image);
    return frame;
}

// The one frame asked for (see onlyFrame), when the loader has not kept it
// alone already (`chosen`); a file that has fewer frames is a failure.
Picture Only(Picture picture, const Options& options, bool chosen) {
    const int wanted = options.onlyFrame;
    if (!options.allFrames || wanted < 0 || !picture.ok()) return picture;
    if (!chosen && std::size_t(wanted) < picture.frames.size()) {
        loading::Frame frame = std::move(picture.frames[std::size_t(wanted)]);
        picture.frames.clear();
        picture.frames.push_back(std::move(frame));
    } else if (!chosen || picture.frames.empty()) {
        return Picture::Failure("it has no frame " + std::to_string(wanted + 1));
    }
    return picture;
}

// ---- GROBs and lists of GROBs, in either form -------------------------------

// A GROB, or the GROBs of a list (the first alone unless all are asked for),
// each as a picture in its true grays.
Picture ReadGrob(Bytes data, bool binary, const Options& options, const std::string& name) {
    try {
        const grob::OutputKind kind = options.grobKind.value_or(grob::KindForFileName(name));
        Picture picture;
        picture.grobKind = kind;
        auto add = [&](grob::GrobObject object, const std::string& which) {
            object.kind = kind;
            loading::Frame frame;
            frame.image =
                grob::PictureOfGrob(object, kind, name, which, grob::kMaxSide, grob::kMaxPixels);
            picture.frames.push_back(std::move(frame));
        };
        if (binary ? grob::LooksLikeBinaryList(data) : grob::LooksLikeTextList(data)) {
            grob::GrobList list =
                binary ? grob::ReadBinaryList(data, name) : grob::ReadTextList(data, name);
            if (list.objects.empty()) return Picture::Failure("the list holds no GROB");
            const bool all = options.allFrames || options.wholeLists;
            for (std::size_t i = 0; i < list.objects.size() && (i == 0 || all); ++i)
                if (options.onlyFrame < 0 || !options.allFrames || int(i) == options.onlyFrame)
                    add(std::move(list.objects[i]),
                        "GROB " + std::to_string(i + 1) + " of the list");
            if (binary) picture.series = list.series;
            return Only(std::move(picture), options, true);
        }
        grob::GrobObject object =
            binary ? grob::ReadBinaryGrob(data, name) : grob::ReadTextGrob(data, name);
        if (binary) picture.series = object.series;
        add(std::move(object), "the GROB");
        return Only(std::move(picture), options, false);
    } catch (const grob::Error& e) {
        return Picture::Failure(e.cause());
    }
}

Picture LoadBinaryGrob(Bytes data, const Options& options, const std::string& name) {
    return ReadGrob(data, true, options, name);
}

Picture LoadTextGrob(Bytes data, const Options& options, const std::string& name) {
    return ReadGrob(data, false, options, name);
}

// An ASCII-encoded object (->ASC) is read as the binary file it stands for.
Picture LoadAsciiGrob(Bytes data, const Options& options, const std::string& name) {
    std::vector<std::uint8_t> binary;
    try {
        binary = grob::BinaryOfAscii(data, name);
    } catch (const grob::Error& e) {
        return Picture::Failure(e.cause());
    }
    return ReadGrob(binary, true, options, name);
}

// ---- the common kinds, by the decoders of their own -------------------------

// A frame fitted as the conversion would fit it, its opacity alike: the
// opacity as the gray of clear over black (what a mask is made from),
// fitted, and read back. Fitting the result again at its own size changes
// nothing, so the GROB and the mask are those of the whole frame.
void FitFrame(loading::Frame& frame, const grob::FitBox& fit) {
    const int width = frame.image.width, height = frame.image.height;
    auto fitted = [&](const grob::PixelView& view) { return grob::Fit(view, fit); };
    grob::MemoryRaster pixels = fitted(frame.image.view());
    frame.image = grob::Image{pixels.width(), pixels.height(), {}};
    for (int y = 0; y < pixels.height(); ++y)
        for (int x = 0; x < pixels.width(); ++x)
            frame.image.pixels.push_back(pixels.row(y)[x] | 0xFF000000u);
    if (frame.opacity.empty()) return;
    std::vector<std::uint32_t> clear(frame.opacity.size());
    for (std::size_t i = 0; i < clear.size(); ++i)
        clear[i] = (255u - frame.opacity[i]) * 0x010101u;
    grob::MemoryRaster gray = fitted({clear.data(), width, height, width});
    frame.opacity.assign(std::size_t(gray.width()) * std::size_t(gray.height()), 0);
    for (int y = 0; y < gray.height(); ++y)
        for (int x = 0; x < gray.width(); ++x)
            frame.opacity[std::size_t(y) * std::size_t(gray.width()) + std::size_t(x)] =
                std::uint8_t(255u - (gray.row(y)[x] & 0xFFu));
}

codecs::DecodeOptions DecodeOptionsFor(const Options& options) {
    codecs::DecodeOptions decode;
    decode.fit = options.fit;
    // Fitted pictures carry no opacity: whole ones when it is wanted, or
    // their transparency is to go over another gray than white.
    decode.fitted = decode.fit.any() && !options.opacity && options.background == 255;
    decode.keepStoredOrientation = options.keepStoredOrientation;
    return decode;
}

// The picture one of the decoders gave.
Picture FromDecoder(codecs::Decoded decoded, const Options& options) {
    if (!decoded.ok()) return Picture::Failure(decoded.error);
    Picture picture;
    picture.frames.push_back(Finish(
        grob::Image{decoded.image.width, decoded.image.height, std::move(decoded.image.pixels)},
        options.opacity, options.background));
    return Only(std::move(picture), options, false);
}

// Every frame of the bytes, or of a file read where it lies, to a sink.
bool ReadFrames(const codecs::Handler& codec, Bytes data, const codecs::DecodeOptions& decode,
                const codecs::FrameSink& sink, std::string* error) {
    return codec.readFrames(data, decode, sink, error);
}

bool ReadFrames(const codecs::Handler& codec, const codecs::File& file,
                const codecs::DecodeOptions& decode, const codecs::FrameSink& sink,
                std::string* error) {
    return codec.readFileFrames(file, decode, sink, error);
}

// The picture of the bytes or of the file (`Source`), its frames as asked.
template <class Source>
Picture Decode(const Source& data, const codecs::Handler& codec, const Options& options) {
    const codecs::DecodeOptions decode = DecodeOptionsFor(options);
    auto image = [](codecs::Image&& from) {
        return grob::Image{from.width, from.height, std::move(from.pixels)};
    };
    Picture picture;
    if (codec.readFrames && options.allFrames) {
        // Each frame kept as it comes, fitted when it is to be: by the
        // decoder, or here with its opacity when that is kept (for masks),
        // so that no frame is held whole once the next one comes.
        std::string error, refusal;
        const bool fitHere = decode.fit.any() && !decode.fitted;
        int index = 0;
        std::int64_t held = 0; // pixels of the frames kept
        const bool decoded = ReadFrames(
            codec, data, decode,
            [&](codecs::Frame& frame) {
                const int at = index++;
                if (options.onlyFrame >= 0 && at != options.onlyFrame) return true;
                // The frames kept are held to a few pictures' worth of pixels.
                held += std::int64_t(frame.image.width) * frame.image.height;
                if (held > 4 * grob::kMaxPixels) {
                    refusal = codecs::kTooManyFrames;
                    return false;
                }
                // The frame wanted last is taken; the others are copied.
                const bool last = at == options.onlyFrame;
                codecs::Image copy = last ? std::move(frame.image) : frame.image;
                loading::Frame kept = Finish(image(std::move(copy)), options.opacity,
                                             options.background, frame.delayMs);
                if (fitHere) FitFrame(kept, decode.fit);
                picture.frames.push_back(std::move(kept));
                return !last;
            },
            &error);
        if (!refusal.empty()) return Picture::Failure(refusal);
        if (!decoded) return Picture::Failure(error);
        if (picture.frames.empty() && options.onlyFrame < 0)
            return Picture::Failure("the " + std::string(codec.name) + " has no frame");
        return Only(std::move(picture), options, true);
    }
    return FromDecoder(codecs::Decode(data, &codec, decode), options);
}

std::optional<Header> CodecHeader(const codecs::Handler& codec,
                                  const std::optional<codecs::Header>& peek,
                                  const Options& options) {
    const codecs::DecodeOptions decode = DecodeOptionsFor(options);
    if (!peek) return std::nullopt;
    const bool all = codec.readFrames && options.allFrames;
    Header header{peek->width, peek->height, peek->frames, 0, 0, {}};
    // The decoder's own memory, and the pictures it hands on: every frame
    // kept, each fitted when it is to be, and a copy of each frame's
    // pixels and opacity when they are kept apart; frames fitted here (with
    // their opacity) pass whole through a copy, its opacity and its gray
    // one at a time.
    const bool fitHere = all && decode.fit.any() && !decode.fitted;
    int w = peek->width, h = peek->height;
    if (decode.fitted || fitHere) grob::FitSize(decode.fit, peek->width, peek->height, w, h);
    const std::uint64_t kept =
        std::uint64_t(w) * std::uint64_t(h) * (options.opacity ? 5 : 4) *
        std::uint64_t(all && options.onlyFrame < 0 ? std::max(peek->frames, 1) : 1);
    const std::uint64_t passing =
        fitHere ? std::uint64_t(peek->width) * std::uint64_t(peek->height) * 9 : 0;
    header.memory = codec.memory(*peek, decode, all) + kept + passing;
    return header;
}

// A format of the registry for each of the decoders' handlers.
Format CodecFormat(const codecs::Handler& codec) {
    Format format{codec.name, codec.canRead,
                  [&codec](Bytes data, const Options& options) {
                      return CodecHeader(
                          codec, codecs::PeekHeader(data, &codec, DecodeOptionsFor(options)),
                          options);
                  },
                  [&codec](Bytes data, const Options& options, const std::string&) {
                      return Decode(data, codec, options);
                  }};
    if (codec.readFile && (!codec.readFrames || codec.readFileFrames)) {
        format.fileHeader = [&codec](const codecs::File& file, const Options& options) {
            return CodecHeader(codec, codecs::PeekHeader(file, &codec, DecodeOptionsFor(options)),
                               options);
        };
        format.loadFile = [&codec](const codecs::File& file, const Options& options) {
            return Decode(file, codec, options);
        };
    }
    return format;
}

// ---- everything else, drawn by the renderer ---------------------------------

// Everything this program does not decode itself is drawn by the renderer,
// a process of its own: a fault in a library that is not ours (the metafile
// libraries, Qt's image plugins, the SVG renderer) can never take this
// process or the rest of a run down.
Picture Render(Bytes data, const char* kind, const Options& options) {
    renderclient::Request request;
    request.renderer = options.renderer.empty() ? RendererPath() : options.renderer;
    request.kind = kind;
    request.fit = options.fit;
    request.opacity = options.opacity || options.background != 255;
    request.keepStoredOrientation = options.keepStoredOrientation;
    if (options.allFrames) request.onlyPage = options.onlyFrame;
    request.memoryBytes = options.renderMemoryBytes;
    request.cpuSeconds = options.renderCpuSeconds;
    request.waitMs = options.timeoutMs;
    renderclient::Result drawn = renderclient::Render(request, data);
    if (!drawn.ok()) {
        Picture failure = Picture::Failure(drawn.error);
        failure.rendererLimited = drawn.limited;
        return failure;
    }
    Picture picture;
    for (renderclient::Page& page : drawn.pages) {
        // The opacity kept when asked for and the picture has any.
        loading::Frame frame;
        frame.delayMs = page.delayMs;
        if (options.opacity && page.transparent) frame.opacity.resize(page.image.pixels.size());
        for (std::size_t i = 0; i < page.image.pixels.size(); ++i) {
            if (!frame.opacity.empty()) frame.opacity[i] = std::uint8_t(page.image.pixels[i] >> 24);
            if (options.background != 255 && page.image.pixels[i] >> 24 != 255)
                page.image.pixels[i] =
                    grob::OverGray(page.image.pixels[i], std::uint32_t(options.background));
            page.image.pixels[i] |= 0xFF000000u;
        }
        frame.image = std::move(page.image);
        picture.frames.push_back(std::move(frame));
    }
    return Only(std::move(picture), options, true);
}

// What a header of a kind the renderer draws tells, from the upright size
// of each of its pages (one for a single picture): the pages drawn are the
// first, or with every frame asked for each one or the one asked for; the
// pictures they give are fitted there, smaller only. Nothing when the
// picture loaded first has no size (the drawing decides then).
std::optional<Header> DrawnHeader(const std::vector<picturecheck::Size>& pages,
                                  const Options& options) {
    const int count = int(pages.size());
    const bool every = options.allFrames && options.onlyFrame < 0;
    const int first = options.allFrames ? std::max(options.onlyFrame, 0) : 0;
    Header header;
    header.pictures = count;
    // Sizes far beyond the limits are all refused alike.
    auto side = [](std::int64_t length) { return int(std::min<std::int64_t>(length, INT_MAX)); };
    const picturecheck::Size shown = pages[std::size_t(std::min(first, count - 1))];
    if (shown.width <= 0 || shown.height <= 0) return std::nullopt;
    header.width = side(shown.width);
    header.height = side(shown.height);
    if (first >= count) {
        header.refusal = "it has no frame " + std::to_string(first + 1);
        return header;
    }
    std::int64_t pixels = 0;
    for (int i = first; i < (every ? count : first + 1); ++i) {
        const picturecheck::Size page = pages[std::size_t(i)];
        if (header.refusal.empty())
            header.refusal = grob::PictureSizeRefusal(page.width, page.height);
        if (!header.refusal.empty()) continue;
        pixels += page.width * page.height;
        int w = int(page.width), h = int(page.height);
        if (options.fit.any()) grob::FitSize({options.fit.width, options.fit.height}, w, h, w, h);
        header.memory += std::uint64_t(w) * std::uint64_t(h) * (options.opacity ? 5 : 4);
        header.drawing = std::max(header.drawing, std::uint64_t(page.width * page.height) * 4);
    }
    if (header.refusal.empty() && pixels > 4 * grob::kMaxPixels)
        header.refusal = "the pictures of the file are too many of this size to hold at once";
    return header;
}

bool IsWmf(Bytes data) {
    return picturecheck::Sniff(data) == picturecheck::Kind::Wmf;
}

bool IsEmf(Bytes data) {
    return picturecheck::Sniff(data) == picturecheck::Kind::Emf;
}

// A metafile's size, where its header tells it (a WMF's placeable header,
// an EMF's frame), as the renderer draws it.
std::optional<Header> MetafileHeader(const std::optional<picturecheck::Size>& size,
                                     const Options& options) {
    if (!size) return std::nullopt;
    return DrawnHeader({*size}, options);
}

std::optional<Header> WmfHeader(Bytes data, const Options& options) {
    return MetafileHeader(picturecheck::WmfSize(data), options);
}

std::optional<Header> EmfHeader(Bytes data, const Options& options) {
    return MetafileHeader(picturecheck::EmfSize(data), options);
}

Picture LoadWmf(Bytes data, const Options& options, const std::string&) {
    return Render(data, "wmf", options);
}

Picture LoadEmf(Bytes data, const Options& options, const std::string&) {
    return Render(data, "emf", options);
}

// Files of many pages or frames that the renderer reads: TIFF and WebP.
bool IsTiff(Bytes data) {
    return StartsWith(data, "II*") || StartsWith(data, std::string_view("MM\0*", 4));
}

bool IsWebp(Bytes data) {
    return StartsWith(data, "RIFF") && data.size() >= 12 &&
           std::memcmp(data.data() + 8, "WEBP", 4) == 0;
}

// A TIFF's pages, each turned upright by its orientation unless the picture
// is kept as stored.
std::optional<Header> TiffHeader(Bytes data, const Options& options) {
    const auto pages = picturecheck::TiffPages(data);
    if (!pages) return std::nullopt;
    std::vector<picturecheck::Size> sizes;
    for (const picturecheck::TiffPage& page : *pages) {
        const bool turned = page.orientation >= 5 && !options.keepStoredOrientation;
        sizes.push_back(turned ? picturecheck::Size{page.size.height, page.size.width} : page.size);
    }
    return DrawnHeader(sizes, options);
}

bool IsIcon(Bytes data) {
    return StartsWith(data, std::string_view("\0\0\1\0", 4)) ||
           StartsWith(data, std::string_view("\0\0\2\0", 4));
}

// The entry of an icon or cursor the renderer shows.
std::optional<Header> IconHeader(Bytes data, const Options& options) {
    return MetafileHeader(picturecheck::IconSize(data), options);
}

// Kinds with a signature of their own that only the renderer reads. They
// come before any text is searched for a GROB, so that a word "GROB" in an
// SVG, X bitmap or netpbm comment makes them nothing else.
bool IsOtherSigned(Bytes data) {
    std::string_view head(reinterpret_cast<const char*>(data.data()),
                          std::min<std::size_t>(data.size(), 512));
    const std::size_t start = head.find_first_not_of(" \t\r\n");
    head = start == std::string_view::npos ? std::string_view() : head.substr(start);
    if (head.starts_with("<?xml") || head.starts_with("<svg") || head.starts_with("<!DOCTYPE svg"))
        return true;
    if (head.starts_with("#define") || head.starts_with("/* XPM */")) return true;
    return data.size() >= 3 && data[0] == 'P' && data[1] >= '1' && data[1] <= '7' &&
           std::string_view(" \t\r\n#").find(char(data[2])) != std::string_view::npos; // netpbm
}

Picture LoadPaged(Bytes data, const Options& options, const std::string&) {
    return Render(data, options.allFrames ? "frames" : "picture", options);
}

Picture LoadOther(Bytes data, const Options& options, const std::string&) {
    return Render(data, "picture", options);
}

bool Anything(Bytes) {
    return true;
}

bool IsBinaryGrob(Bytes data) {
    return grob::LooksLikeBinaryGrob(data);
}

bool IsTextGrob(Bytes data) {
    return grob::LooksLikeTextGrob(data) || grob::LooksLikeTextList(data);
}

// A kind the renderer draws.
Format Drawn(std::string_view name, bool (*recognises)(Bytes),
             std::optional<Header> (*header)(Bytes, const Options&),
             Picture (*load)(Bytes, const Options&, const std::string&)) {
    Format format{name, recognises, nullptr, load};
    if (header) format.header = header;
    format.rendered = true;
    return format;
}

// In the order they are tried: binary GROBs, the decoders' formats in
// their own order, then the renderer's kinds and GROBs in text.
const std::vector<Format>& Formats() {
    static const std::vector<Format> formats = [] {
        std::vector<Format> list = {{"GROB", IsBinaryGrob, nullptr, LoadBinaryGrob}};
        for (const codecs::Handler* codec : codecs::Handlers())
            list.push_back(CodecFormat(*codec));
        list.insert(list.end(),
                    {
                        Drawn("WMF", IsWmf, WmfHeader, LoadWmf),
                        Drawn("EMF", IsEmf, EmfHeader, LoadEmf),
                        Drawn("TIFF", IsTiff, TiffHeader, LoadPaged),
                        Drawn("WebP", IsWebp, nullptr, LoadPaged),
                        Drawn("ICO or CUR", IsIcon, IconHeader, LoadOther),
                        Drawn("picture", IsOtherSigned, nullptr, LoadOther),
                        {"GROB, ASCII-encoded", grob::LooksLikeAsciiObject, nullptr, LoadAsciiGrob},
                        {"GROB text", IsTextGrob, nullptr, LoadTextGrob},
                        Drawn("picture", Anything, nullptr, LoadOther),
                    });
        return list;
    }();
    return formats;
}

} // namespace

const Format& Recognise(Bytes bytes) {
    for (const Format& format : Formats())
        if (format.recognises(bytes)) return format;
    return Formats().back();
}

std::string Refusal(const Header& header) {
    std::string refusal = grob::PictureSizeRefusal(header.width, header.height);
    return refusal.empty() ? header.refusal : refusal;
}

std::string RendererPath() {
    return loading::HelperProgram("veldar-render");
}

Picture LoadBytes(Bytes data, const Options& options, const std::string& name) {
    if (data.empty()) return Picture::Failure("the file is empty");
    if (std::int64_t(data.size()) > loading::kMaxFileBytes)
        return Picture::Failure("the file is too large");
    const Format& format = Recognise(data);
    if (format.header)
        if (const auto header = format.header(data, options))
            if (std::string refusal = Refusal(*header); !refusal.empty())
                return Picture::Failure(std::move(refusal));
    return format.load(data, options, name);
}

Picture Load(const std::string& path, const Options& options) {
    std::string error;
    const auto data = loading::ReadRegularFile(path, loading::kMaxFileBytes, &error);
    if (!data) return Picture::Failure(error);
    return LoadBytes(*data, options, path);
}

} // namespace pictureloader
