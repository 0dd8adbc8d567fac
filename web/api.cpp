#include "api.h"

#include "codecs.h"
#include "grob/checks.h"
#include "grob/compose.h"
#include "grob/encoders.h"
#include "grob/list.h"
#include "grob/options.h"
#include "grob/reader.h"
#include "preview.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Result {
    std::vector<std::uint8_t> bytes;
    int width = 0;
    int height = 0;
    int info[3] = {0, 0, 0};
    std::string message;
};
Result g_result;

// A new result: the last one's memory goes back to the heap.
Result& Fresh() {
    g_result = Result();
    return g_result;
}

int Fail(std::string cause, int code = 1) {
    Fresh().message = std::move(cause);
    return code;
}

// Thrown inside a call: the cause as the desktop program words it, and
// whether a smaller fit would help.
struct Refusal {
    std::string cause;
    int code = 1;
};
constexpr int kTooLarge = 2;

constexpr const char* kFitHint = "choose a fit for it";

std::span<const std::uint8_t> Bytes(const std::uint8_t* data, std::size_t size) {
    return {data, data ? size : 0};
}

// Runs one call, turning the engine's failures into the error it reports.
template <typename Work> int Run(Work work) {
    try {
        work();
        return 0;
    } catch (const Refusal& refusal) {
        return Fail(refusal.cause, refusal.code);
    } catch (const grob::GrobError& e) {
        return Fail(e.cause());
    } catch (const grob::GrobReadError& e) {
        return Fail(e.cause());
    } catch (const std::bad_alloc&) {
        return Fail("there is not enough memory to convert it");
    } catch (const std::length_error&) {
        return Fail("there is not enough memory to convert it");
    }
}

void SetImage(Result& result, const grob::Image& image) {
    result.width = image.width;
    result.height = image.height;
    result.bytes.resize(image.pixels.size() * 4);
    std::memcpy(result.bytes.data(), image.pixels.data(), result.bytes.size());
}

// The sizes a conversion makes, checked before any work, in the words of
// the desktop program.
void CheckSizes(int width, int height, const grob::OutputKind& kind,
                const grob::Preparation& preparation) {
    const std::string refusal = grob::ConversionSizeRefusal(
        width, height, kind, preparation, {kFitHint, "choose a smaller size or do not enlarge"});
    if (!refusal.empty()) throw Refusal{refusal, kTooLarge};
}

const grob::OutputKind* KindAt(int index) {
    if (index < 0 || std::size_t(index) >= grob::OutputKinds().size()) return nullptr;
    return &grob::OutputKinds()[std::size_t(index)];
}

} // namespace

extern "C" {

int veldar_is_grob(const std::uint8_t* data, std::size_t size) {
    const auto bytes = Bytes(data, size);
    if (grob::LooksLikeBinaryGrob(bytes)) return 1;
    return grob::LooksLikeTextGrob(bytes) ? 2 : 0;
}

int veldar_peek_picture(const std::uint8_t* data, std::size_t size) {
    Fresh();
    const auto bytes = Bytes(data, size);
    const codecs::Format format = codecs::Sniff(bytes);
    const auto peeked = codecs::PeekStoredSize(bytes, format);
    if (!peeked) return 3;
    const std::string refusal = grob::PictureSizeRefusal(peeked->width, peeked->height);
    if (!refusal.empty()) return Fail(refusal);
    g_result.info[0] = peeked->width;
    g_result.info[1] = peeked->height;
    g_result.info[2] = format == codecs::Format::Jpeg ? 1 : format == codecs::Format::Gif ? 2 : 0;
    return 0;
}

int veldar_check_picture(int width, int height) {
    Fresh();
    const std::string refusal = grob::PictureSizeRefusal(width, height);
    if (!refusal.empty()) return Fail(refusal);
    if (width <= 0 || height <= 0) return Fail("the picture is empty");
    return 0;
}

void veldar_compose(std::uint8_t* rgba, int width, int height) {
    const std::size_t count = std::size_t(std::max(width, 0)) * std::size_t(std::max(height, 0));
    for (std::uint8_t* p = rgba; p != rgba + 4 * count; p += 4) {
        const std::uint32_t over = grob::OverWhite(p[0], p[1], p[2], p[3]);
        p[0] = std::uint8_t(over);
        p[1] = std::uint8_t(over >> 8);
        p[2] = std::uint8_t(over >> 16);
        p[3] = 255;
    }
}

int veldar_encode(const std::uint8_t* rgba, int width, int height, int kind, int series,
                  int fitWidth, int fitHeight, int upscale, double brightness, double contrast,
                  double gamma, int invert, int dither, int clearPadding) {
    const grob::OutputKind* outputKind = KindAt(kind);
    if (!outputKind || dither < 0 || std::size_t(dither) >= grob::kDitherMethods.size())
        return Fail("no such kind or dithering");
    return Run([&] {
        grob::Preparation preparation;
        preparation.fitWidth = std::max(fitWidth, 0);
        preparation.fitHeight = std::max(fitHeight, 0);
        preparation.upscale = upscale != 0;
        preparation.brightness = brightness;
        preparation.contrast = contrast;
        preparation.gamma = gamma;
        preparation.invert = invert != 0;
        preparation.dither = grob::kDitherMethods[std::size_t(dither)].dither;
        CheckSizes(width, height, *outputKind, preparation);
        const grob::PixelView view{reinterpret_cast<const std::uint32_t*>(rgba), width, height,
                                   width};
        Result& result = Fresh();
        result.bytes = grob::BinaryGrob(grob::EncodeObject(
            *outputKind, view, series == 48 ? grob::Series::HP48 : grob::Series::HP49, preparation,
            {}, clearPadding ? grob::Padding::Clear : grob::Padding::Classic));
        const grob::GrobObject object = grob::ReadBinaryGrob(result.bytes, "");
        result.info[0] = int(object.width);
        result.info[1] = int(object.height);
    });
}

int veldar_text(const std::uint8_t* grob, std::size_t size, int bare) {
    return Run([&] {
        const std::string text =
            grob::TextGrob(grob::ReadBinaryGrob(Bytes(grob, size), ""),
                           bare ? grob::TextHeader::Without : grob::TextHeader::With);
        Fresh().bytes.assign(text.begin(), text.end());
    });
}

int veldar_read_grob(const std::uint8_t* data, std::size_t size, const char* name) {
    const auto bytes = Bytes(data, size);
    if (bytes.empty()) return Fail("the file is empty");
    const std::string path = name ? name : "";
    return Run([&] {
        if (grob::LooksLikeBinaryList(bytes) || grob::LooksLikeTextList(bytes))
            throw Refusal{"it is a list of GROBs, and this page opens one GROB at a time "
                          "(veldar-convert --to png shows a list as one sheet)"};
        const bool binary = grob::LooksLikeBinaryGrob(bytes);
        const grob::GrobObject object =
            binary ? grob::ReadBinaryGrob(bytes, path) : grob::ReadTextGrob(bytes, path);
        const grob::OutputKind kind = grob::KindForFileName(path);
        const grob::Image image =
            grob::PictureOfGrob(object, kind, path, "the GROB", grob::kMaxSide, grob::kMaxPixels);
        Result& result = Fresh();
        SetImage(result, image);
        result.info[0] = binary ? (object.series == grob::Series::HP48 ? 48 : 49) : 0;
        for (const grob::OutputKind& each : grob::OutputKinds())
            if (each.extension == kind.extension)
                result.info[1] = int(&each - grob::OutputKinds().data());
    });
}

int veldar_preview(const std::uint8_t* grob, std::size_t size, int kind, int zoom) {
    const grob::OutputKind* outputKind = KindAt(kind);
    if (!outputKind) return Fail("no such kind");
    return Run([&] {
        const auto file = Bytes(grob, size);
        const grob::GrobObject object = grob::ReadBinaryGrob(file, "");
        const std::uint32_t w =
            outputKind->pageFlipping() ? object.width : object.width / outputKind->depth;
        const std::uint32_t h =
            outputKind->pageFlipping() ? object.height / outputKind->frames : object.height;
        const preview::ZoomChoice choice =
            preview::ChooseZoom(int(w), int(h), zoom, true, {}, kFitHint);
        if (!choice.refusal.empty()) throw Refusal{choice.refusal, kTooLarge};
        const int drawn = choice.zoom;
        std::string note = choice.note;
        const grob::Image view = preview::RenderFile(file, *outputKind, drawn);
        Result& result = Fresh();
        SetImage(result, view);
        result.info[0] = drawn;
        result.message = std::move(note);
    });
}

const std::uint8_t* veldar_result() {
    return g_result.bytes.data();
}

std::size_t veldar_result_size() {
    return g_result.bytes.size();
}

int veldar_result_width() {
    return g_result.width;
}

int veldar_result_height() {
    return g_result.height;
}

int veldar_result_info(int index) {
    return index >= 0 && index < 3 ? g_result.info[index] : 0;
}

const char* veldar_message() {
    return g_result.message.c_str();
}
}
