#include "api.h"

#include "codecs.h"
#include "grob/checks.h"
#include "grob/compose.h"
#include "grob/encoders.h"
#include "grob/list.h"
#include "grob/options.h"
#include "grob/reader.h"
#include "grob/sprites.h"
#include "preview.h"

#include <algorithm>
#include <cstring>
#include <memory>
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
    // A crop outside the picture is no matter of size.
    if (const std::string outside = grob::CropRefusal(width, height, preparation); !outside.empty())
        throw Refusal{outside};
    const std::string refusal = grob::ConversionSizeRefusal(
        width, height, kind, preparation, {kFitHint, "choose a smaller size or do not enlarge"});
    if (!refusal.empty()) throw Refusal{refusal, kTooLarge};
}

const grob::OutputKind* KindAt(int index) {
    if (index < 0 || std::size_t(index) >= grob::OutputKinds().size()) return nullptr;
    return &grob::OutputKinds()[std::size_t(index)];
}

bool DitherAt(int index) {
    return index >= 0 && std::size_t(index) < grob::kDitherMethods.size();
}

// The turn, flip and threshold as the table allows them.
bool OrientedAt(int threshold, int turn, int flip) {
    const auto limit =
        std::find_if(grob::Options().begin(), grob::Options().end(),
                     [](const grob::OptionEntry& o) { return o.name == "threshold"; });
    return threshold >= limit->minimum && threshold <= limit->maximum && turn % 90 == 0 &&
           turn >= 0 && turn < 360 && flip >= 0 && std::size_t(flip) < grob::kFlipChoices.size();
}

grob::Preparation PreparationOf(int fitWidth, int fitHeight, int upscale, double brightness,
                                double contrast, double gamma, int invert, int dither,
                                int threshold, int turn, int flip, int cropX, int cropY,
                                int cropWidth, int cropHeight) {
    grob::Preparation preparation;
    preparation.fit = {std::max(fitWidth, 0), std::max(fitHeight, 0), upscale != 0};
    preparation.brightness = brightness;
    preparation.contrast = contrast;
    preparation.gamma = gamma;
    preparation.invert = invert != 0;
    preparation.dither = grob::kDitherMethods[std::size_t(dither)].dither;
    preparation.threshold = threshold;
    preparation.turn = turn;
    preparation.flip = static_cast<grob::Flip>(flip);
    if (cropWidth > 0 && cropHeight > 0)
        preparation.crop = {std::max(cropX, 0), std::max(cropY, 0), cropWidth, cropHeight};
    return preparation;
}

grob::Series SeriesOf(int series) {
    return series == 48 ? grob::Series::HP48 : grob::Series::HP49;
}

// A picture as the desktop program's decoders give it: composed over white
// (grob::OverWhite), and its opacity kept apart when it is wanted (for
// masks) and the picture is not opaque throughout.
grob::Sprite SpriteOf(const std::uint8_t* rgba, int width, int height, bool opacity) {
    grob::Image image{width, height, {}};
    const std::size_t count = std::size_t(width) * std::size_t(height);
    image.pixels.resize(count);
    bool clear = false;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* p = rgba + 4 * i;
        image.pixels[i] = grob::OverWhite(p[0], p[1], p[2], p[3]);
        clear = clear || p[3] != 255;
    }
    grob::Sprite sprite;
    if (opacity && clear) sprite.opacity.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (!sprite.opacity.empty()) sprite.opacity[i] = std::uint8_t(image.pixels[i] >> 24);
        image.pixels[i] |= 0xFF000000u;
    }
    sprite.image = std::make_shared<const grob::Image>(std::move(image));
    return sprite;
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
    // The program's own header reader, the orientation left to the browser.
    const codecs::Handler* handler = codecs::Sniff(bytes);
    const auto peeked = codecs::PeekStoredHeader(bytes, handler);
    if (!peeked) return 3;
    const std::string refusal = grob::PictureSizeRefusal(peeked->width, peeked->height);
    if (!refusal.empty()) return Fail(refusal);
    g_result.info[0] = peeked->width;
    g_result.info[1] = peeked->height;
    g_result.info[2] = handler->name == "JPEG" ? 1 : handler->name == "GIF" ? 2 : 0;
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
                  double gamma, int invert, int dither, int threshold, int turn, int flip,
                  int cropX, int cropY, int cropWidth, int cropHeight, int clearPadding) {
    const grob::OutputKind* outputKind = KindAt(kind);
    if (!outputKind || !DitherAt(dither)) return Fail("no such kind or dithering");
    if (!OrientedAt(threshold, turn, flip)) return Fail("no such threshold, turn or mirror");
    return Run([&] {
        const grob::Preparation preparation =
            PreparationOf(fitWidth, fitHeight, upscale, brightness, contrast, gamma, invert, dither,
                          threshold, turn, flip, cropX, cropY, cropWidth, cropHeight);
        CheckSizes(width, height, *outputKind, preparation);
        const grob::PixelView view{reinterpret_cast<const std::uint32_t*>(rgba), width, height,
                                   width};
        Result& result = Fresh();
        result.bytes = grob::BinaryGrob(
            grob::EncodeObject(*outputKind, view, SeriesOf(series), preparation, {},
                               clearPadding ? grob::Padding::Clear : grob::Padding::Classic));
        const grob::GrobObject object = grob::ReadBinaryGrob(result.bytes, "");
        result.info[0] = int(object.width);
        result.info[1] = int(object.height);
    });
}

int veldar_sprites(const std::uint8_t* rgba, int width, int height, int count, int kind, int series,
                   int fitWidth, int fitHeight, int upscale, double brightness, double contrast,
                   double gamma, int invert, int dither, int threshold, int turn, int flip,
                   int cropX, int cropY, int cropWidth, int cropHeight, int clearPadding,
                   int frames, int tileWidth, int tileHeight, int tilePad, int skipEmpty, int masks,
                   int text) {
    const grob::OutputKind* outputKind = KindAt(kind);
    if (!outputKind || !DitherAt(dither)) return Fail("no such kind or dithering");
    if (!OrientedAt(threshold, turn, flip)) return Fail("no such threshold, turn or mirror");
    if (width <= 0 || height <= 0 || count <= 0 || !rgba) return Fail("the picture is empty");
    return Run([&] {
        const grob::Preparation preparation =
            PreparationOf(fitWidth, fitHeight, upscale, brightness, contrast, gamma, invert, dither,
                          threshold, turn, flip, cropX, cropY, cropWidth, cropHeight);
        // A picture cut into tiles is cropped as a whole first.
        const grob::Preparation itemPreparation =
            tileWidth > 0 && tileHeight > 0 ? grob::CropCleared(preparation) : preparation;
        grob::Cutting cutting;
        cutting.frames = frames != 0;
        cutting.tileWidth = std::max(tileWidth, 0);
        cutting.tileHeight = std::max(tileHeight, 0);
        cutting.tilePad = tilePad != 0;
        cutting.skipEmpty = skipEmpty != 0;
        cutting.masks = masks != 0;
        // The pictures cut into their items, numbered on, as the program cuts them.
        const std::size_t pictureBytes = 4 * std::size_t(width) * std::size_t(height);
        std::vector<grob::Sprite> items;
        std::vector<int> kept;
        int counted = 0;
        for (int i = 0; i < (cutting.frames ? count : 1); ++i) {
            grob::Sprite whole =
                SpriteOf(rgba + std::size_t(i) * pictureBytes, width, height, cutting.masks);
            if (!cutting.tiles()) {
                whole.number = ++counted;
                items.push_back(std::move(whole));
                continue;
            }
            if (const std::string outside = grob::CropRefusal(width, height, preparation);
                !outside.empty())
                throw Refusal{outside};
            whole = grob::CropSprite(whole, preparation);
            const std::string refusal = grob::TileRefusal(whole.image->width, whole.image->height,
                                                          cutting, "choose to pad the last tiles");
            if (!refusal.empty()) throw Refusal{refusal};
            grob::CutTiles(whole, cutting, items, counted, kept);
        }
        // Every item's sizes checked, and the list's, before any GROB is made.
        std::vector<grob::Extent> sizes;
        for (const grob::Sprite& item : items) {
            CheckSizes(item.image->width, item.image->height, *outputKind, itemPreparation);
            int w = 0, h = 0;
            grob::FittedSize(itemPreparation, item.image->width, item.image->height, w, h);
            sizes.push_back(grob::GrobExtent(*outputKind, std::uint64_t(w), std::uint64_t(h)));
            if (cutting.masks) sizes.push_back({std::uint64_t(w), std::uint64_t(h)});
        }
        if (items.empty()) throw Refusal{"every tile is empty: there is nothing to convert"};
        const std::string tooLong =
            grob::ListSizeRefusal(sizes, "fit the pictures smaller, or make several lists");
        if (!tooLong.empty()) throw Refusal{tooLong, kTooLarge};
        const grob::Padding padding = clearPadding ? grob::Padding::Clear : grob::Padding::Classic;
        std::vector<grob::GrobObject> objects;
        for (grob::Sprite& item : items) {
            objects.push_back(grob::EncodeObject(*outputKind, item.image->view(), SeriesOf(series),
                                                 itemPreparation, {}, padding));
            if (cutting.masks)
                objects.push_back(
                    grob::MaskOf(item, itemPreparation, SeriesOf(series), {}, padding));
            item = {};
        }
        Result& result = Fresh();
        if (text) {
            const std::string list = grob::TextList(objects);
            result.bytes.assign(list.begin(), list.end());
        } else {
            result.bytes = grob::BinaryList(SeriesOf(series), objects);
        }
        result.info[0] = int(objects.size());
        result.info[1] = counted;
        if (cutting.skipEmpty)
            result.message = "tiles kept: " + grob::Runs(kept) + " of " + std::to_string(counted);
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
