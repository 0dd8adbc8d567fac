#include "api.h"

#include "codecs.h"
#include "grob/checks.h"
#include "grob/compose.h"
#include "grob/encoders.h"
#include "grob/list.h"
#include "grob/options.h"
#include "grob/reader.h"
#include "grob/sprites.h"
#include "grob/viewer.h"
#include "preview.h"

#include <algorithm>
#include <cstring>
#include <functional>
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
    std::vector<int> numbers;
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
grob::ConversionSize CheckSizes(int width, int height, const grob::OutputKind& kind,
                                const grob::Preparation& preparation) {
    grob::ConversionSize size = grob::SizeOfConversion(
        width, height, kind, preparation, {kFitHint, "choose a smaller size or do not enlarge"});
    if (!size.refusal.empty()) throw Refusal{size.refusal, size.smallerFitHelps ? kTooLarge : 1};
    return size;
}

// The options the page chose, one "name=value" a line, each set through the
// table as the preferences file sets it; what has no effect is left out, as
// the table says. A name that is no option's, or a value the option does
// not take, is refused.
grob::Choices ChoicesOf(const char* settings) {
    grob::Choices choices;
    std::string_view text = settings ? settings : "";
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (line.empty()) continue;
        const std::size_t equals = line.find('=');
        const std::string_view name = line.substr(0, equals);
        const grob::OptionEntry* option = grob::FindOption(name);
        if (!option) throw Refusal{"there is no option " + std::string(name)};
        if (equals == std::string_view::npos ||
            !grob::SetOption(choices, *option, line.substr(equals + 1)))
            throw Refusal{std::string(name) + " does not take \"" +
                          std::string(line.substr(std::min(equals + 1, line.size()))) + "\""};
    }
    return grob::Applied(choices);
}

grob::Series SeriesOf(const grob::Choices& choices) {
    return choices.series.value_or(grob::Series::HP49);
}

grob::Padding PaddingOf(const grob::Choices& choices) {
    return choices.clearPadding ? grob::Padding::Clear : grob::Padding::Classic;
}

// A picture as the desktop program's decoders give it: composed over white
// (grob::OverWhite, unless it is `composed` already), and its opacity kept
// apart when it is wanted (for masks) and the picture is not opaque
// throughout.
grob::Sprite SpriteOf(const std::uint8_t* rgba, int width, int height, bool opacity, bool composed,
                      int background) {
    grob::Image image{width, height, {}};
    const std::size_t count = std::size_t(width) * std::size_t(height);
    image.pixels.resize(count);
    bool clear = false;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* p = rgba + 4 * i;
        image.pixels[i] = composed ? std::uint32_t(p[0] | p[1] << 8 | p[2] << 16 | p[3] << 24)
                                   : grob::OverWhite(p[0], p[1], p[2], p[3]);
        if (background != 255 && p[3] != 255)
            image.pixels[i] = grob::OverGray(image.pixels[i], std::uint32_t(background));
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
    // The program's own header reader.
    const codecs::Handler* handler = codecs::Sniff(bytes);
    const auto peeked = codecs::PeekHeader(bytes, handler);
    if (!peeked) return 3;
    const std::string refusal = grob::PictureSizeRefusal(peeked->width, peeked->height);
    if (!refusal.empty()) return Fail(refusal);
    g_result.info[0] = peeked->width;
    g_result.info[1] = peeked->height;
    g_result.info[2] = handler->name == "JPEG" ? 1 : handler->name == "GIF" ? 2 : 0;
    return 0;
}

int veldar_decode(const std::uint8_t* data, std::size_t size, const char* settings, int frames) {
    const auto bytes = Bytes(data, size);
    const codecs::Handler* handler = codecs::Sniff(bytes);
    if (!handler) return Fail("", 3);
    // The last fitted picture, kept for the page's next drawing of the same
    // file with the same fit (a JPEG is decoded again only when it changes),
    // the file told by its bytes' hash.
    struct Decoding {
        std::size_t file = 0;
        grob::FitBox fit{};
        bool stored = false;
        bool operator==(const Decoding&) const = default;
    };
    static Decoding last;
    static Result lastResult;
    return Run([&] {
        const grob::Choices choices = ChoicesOf(settings);
        const bool all = frames && handler->readFrames;
        codecs::DecodeOptions options;
        options.keepStoredOrientation = choices.keepOrientation;
        // Fitted as the conversion fits it (pipeline's LoadingOptions): to the
        // box as the picture stands before it is turned, unless it is cropped.
        if (!all && choices.preparation.fittedAsDecoded())
            options.fit = grob::FitBeforeTurning(choices.preparation);
        options.fitted = options.fits();
        const Decoding decoding{
            options.fitted ? std::hash<std::string_view>()(std::string_view(
                                 reinterpret_cast<const char*>(bytes.data()), bytes.size()))
                           : 0,
            options.fit, options.keepStoredOrientation};
        if (options.fitted && decoding == last) {
            Fresh() = lastResult;
            return;
        }
        last = {};
        // The size checked from the header first, as the program checks it.
        const auto header = codecs::PeekHeader(bytes, handler, options);
        if (header) {
            const std::string refusal = grob::PictureSizeRefusal(header->width, header->height);
            if (!refusal.empty()) throw Refusal{refusal};
        }
        // Every frame goes straight into the result; together the frames may
        // hold as many pixels as one picture may (a browser tab holds each
        // several times over), else only the first is given.
        Result& result = Fresh();
        std::vector<int> delays;
        std::int64_t held = 0;
        const auto keep = [&](const codecs::Image& image) {
            result.width = result.width ? result.width : image.width;
            result.height = result.height ? result.height : image.height;
            const auto* pixels = reinterpret_cast<const std::uint8_t*>(image.pixels.data());
            result.bytes.insert(result.bytes.end(), pixels, pixels + image.pixels.size() * 4);
        };
        if (all) {
            std::string error;
            bool full = false;
            const bool decoded = handler->readFrames(
                bytes, options,
                [&](const codecs::Frame& frame) {
                    held += std::int64_t(frame.image.width) * frame.image.height;
                    if (held > options.maxPixels) return !(full = true);
                    keep(frame.image);
                    delays.push_back(frame.delayMs);
                    return true;
                },
                &error);
            if (full) throw Refusal{codecs::kTooManyFrames};
            if (!decoded || delays.empty())
                throw Refusal{error.empty() ? "the " + std::string(handler->name) + " has no frame"
                                            : error};
        } else {
            codecs::Decoded decoded = codecs::Decode(bytes, handler, options);
            if (!decoded.ok()) throw Refusal{decoded.error};
            keep(decoded.image);
        }
        result.info[0] = all ? int(delays.size()) : 1;
        result.numbers = std::move(delays);
        if (options.fitted) {
            lastResult = result;
            last = decoding;
        }
    });
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

int veldar_encode(const std::uint8_t* rgba, int width, int height, const char* settings) {
    return Run([&] {
        const grob::Choices choices = ChoicesOf(settings);
        CheckSizes(width, height, choices.kind, choices.preparation);
        grob::PixelView view{reinterpret_cast<const std::uint32_t*>(rgba), width, height, width};
        // The program's decoders keep each pixel's opacity in its top byte:
        // composed over another gray than white where it is not opaque.
        std::vector<std::uint32_t> over;
        if (const int gray = choices.preparation.background; gray != 255) {
            over.assign(view.row(0), view.row(0) + std::size_t(width) * std::size_t(height));
            for (std::uint32_t& pixel : over)
                if (pixel >> 24 != 255) pixel = grob::OverGray(pixel, std::uint32_t(gray));
            view.pixels = over.data();
        }
        Result& result = Fresh();
        result.bytes = grob::BinaryGrob(grob::EncodeObject(
            choices.kind, view, SeriesOf(choices), choices.preparation, {}, PaddingOf(choices)));
        const grob::GrobObject object = grob::ReadBinaryGrob(result.bytes, "");
        result.info[0] = int(object.width);
        result.info[1] = int(object.height);
    });
}

} // extern "C"

namespace {

// The sprite tools' GROBs, in one list or (`files`) one file each.
int Sprites(const std::uint8_t* rgba, int width, int height, int count, int composed,
            const char* settings, bool files) {
    if (width <= 0 || height <= 0 || count <= 0 || !rgba) return Fail("the picture is empty");
    return Run([&] {
        const grob::Choices choices = ChoicesOf(settings);
        const grob::OutputKind* outputKind = &choices.kind;
        const grob::Preparation& preparation = choices.preparation;
        const grob::Cutting& cutting = choices.cutting;
        // A picture cut into tiles is cropped as a whole first.
        const grob::Preparation itemPreparation =
            cutting.tiles() ? grob::CropCleared(preparation) : preparation;
        const grob::Series series = SeriesOf(choices);
        // The pictures cut into their items, numbered on, as the program cuts them.
        const std::size_t pictureBytes = 4 * std::size_t(width) * std::size_t(height);
        std::vector<grob::Sprite> items;
        std::vector<int> kept;
        int counted = 0;
        for (int i = 0; i < (cutting.frames ? count : 1); ++i) {
            grob::Sprite whole = SpriteOf(rgba + std::size_t(i) * pictureBytes, width, height,
                                          cutting.masks, composed != 0, preparation.background);
            const std::string refusal =
                grob::CutItems(std::move(whole), cutting, preparation,
                               "choose to pad the last tiles", items, counted, kept);
            if (!refusal.empty()) throw Refusal{refusal};
        }
        // Every item's sizes checked, and the list's, before any GROB is made.
        std::vector<grob::Extent> sizes;
        for (const grob::Sprite& item : items) {
            const grob::ConversionSize made =
                CheckSizes(item.image->width, item.image->height, *outputKind, itemPreparation);
            sizes.push_back(made.grob);
            if (cutting.masks)
                sizes.push_back({std::uint64_t(made.width), std::uint64_t(made.height)});
        }
        if (items.empty()) throw Refusal{"every tile is empty: there is nothing to convert"};
        const std::string tooLong =
            grob::ListSizeRefusal(sizes, "fit the pictures smaller, or make several lists");
        if (!tooLong.empty()) throw Refusal{tooLong, kTooLarge};
        const grob::Padding padding = PaddingOf(choices);
        std::vector<grob::GrobObject> objects;
        std::vector<int> numbers;
        for (grob::Sprite& item : items) {
            objects.push_back(grob::EncodeObject(*outputKind, item.image->view(), series,
                                                 itemPreparation, {}, padding));
            numbers.insert(numbers.end(), {item.number, 0});
            if (cutting.masks) {
                objects.push_back(
                    grob::MaskOf(item, itemPreparation, cutting, series, {}, padding));
                numbers.insert(numbers.end(), {item.number, 1});
            }
            item = {};
        }
        Result& result = Fresh();
        if (files) {
            // Each file's number, whether it is a mask, and its size.
            for (std::size_t i = 0; i < objects.size(); ++i) {
                const std::string text =
                    choices.text
                        ? grob::TextGrob(objects[i], choices.bare ? grob::TextHeader::Without
                                                                  : grob::TextHeader::With)
                        : std::string();
                const std::vector<std::uint8_t> file =
                    choices.text ? std::vector<std::uint8_t>(text.begin(), text.end())
                                 : grob::BinaryGrob(objects[i]);
                result.bytes.insert(result.bytes.end(), file.begin(), file.end());
                result.numbers.insert(result.numbers.end(),
                                      {numbers[2 * i], numbers[2 * i + 1], int(file.size())});
            }
        } else if (choices.text) {
            const std::string list = grob::TextList(objects);
            result.bytes.assign(list.begin(), list.end());
        } else {
            result.bytes = grob::BinaryList(series, objects);
        }
        result.info[0] = int(objects.size());
        result.info[1] = counted;
        if (cutting.skipEmpty)
            result.message = "tiles kept: " + grob::Runs(kept) + " of " + std::to_string(counted);
    });
}

} // namespace

extern "C" {

int veldar_sprites(const std::uint8_t* rgba, int width, int height, int count, int composed,
                   const char* settings) {
    return Sprites(rgba, width, height, count, composed, settings, false);
}

int veldar_sprite_files(const std::uint8_t* rgba, int width, int height, int count, int composed,
                        const char* settings) {
    return Sprites(rgba, width, height, count, composed, settings, true);
}

int veldar_text(const std::uint8_t* grob, std::size_t size, int bare) {
    return Run([&] {
        const std::string text =
            grob::TextGrob(grob::ReadBinaryGrob(Bytes(grob, size), ""),
                           bare ? grob::TextHeader::Without : grob::TextHeader::With);
        Fresh().bytes.assign(text.begin(), text.end());
    });
}

int veldar_read_grob(const std::uint8_t* data, std::size_t size, const char* name, int kind,
                     int index) {
    const auto bytes = Bytes(data, size);
    if (bytes.empty()) return Fail("the file is empty");
    const std::string path = name ? name : "";
    const auto kinds = grob::OutputKinds();
    return Run([&] {
        const bool binary = grob::LooksLikeBinaryGrob(bytes);
        // A list's GROBs, each read as the program reads it ("GROB 2 of the list").
        grob::GrobList list;
        std::string which = "the GROB";
        if (grob::LooksLikeBinaryList(bytes) || grob::LooksLikeTextList(bytes)) {
            list = binary ? grob::ReadBinaryList(bytes, path) : grob::ReadTextList(bytes, path);
            if (list.objects.empty()) throw Refusal{"the list holds no GROB"};
            if (index < 0 || std::size_t(index) >= list.objects.size())
                throw Refusal{"it has no GROB " + std::to_string(index + 1)};
            which = "GROB " + std::to_string(index + 1) + " of the list";
        } else {
            list.objects.push_back(binary ? grob::ReadBinaryGrob(bytes, path)
                                          : grob::ReadTextGrob(bytes, path));
            list.series = list.objects.front().series;
            index = 0;
        }
        const grob::OutputKind chosen = kind >= 0 && std::size_t(kind) < kinds.size()
                                            ? kinds[std::size_t(kind)]
                                            : grob::KindForFileName(path);
        const grob::Image image =
            grob::PictureOfGrob(list.objects[std::size_t(index)], chosen, path, which,
                                grob::kMaxSide, grob::kMaxPixels);
        Result& result = Fresh();
        SetImage(result, image);
        result.info[0] = binary ? (list.series == grob::Series::HP48 ? 48 : 49) : 0;
        for (const grob::OutputKind& each : kinds)
            if (each.extension == chosen.extension) result.info[1] = int(&each - kinds.data());
        result.info[2] = int(list.objects.size());
    });
}

int veldar_preview(const std::uint8_t* grob, std::size_t size, const char* settings) {
    return Run([&] {
        const grob::Choices choices = ChoicesOf(settings);
        const grob::OutputKind* outputKind = &choices.kind;
        const int zoom = choices.zoom;
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
        const grob::Image view = preview::DrawFile(file, *outputKind, drawn);
        Result& result = Fresh();
        SetImage(result, view);
        result.info[0] = drawn;
        result.message = std::move(note);
    });
}

int veldar_viewer_program(const std::uint8_t* grob, std::size_t size, int kind) {
    const auto kinds = grob::OutputKinds();
    if (kind < 0 || std::size_t(kind) >= kinds.size()) return Fail("there is no such kind");
    return Run([&] {
        grob::GrobObject object = grob::ReadBinaryGrob(Bytes(grob, size), "");
        object.kind = kinds[std::size_t(kind)];
        std::vector<std::uint8_t> program = grob::ViewerProgram(object.series, object, "");
        Fresh().bytes = std::move(program);
    });
}

int veldar_viewer_file(int series) {
    if (series != 48 && series != 49) return Fail("there is no series " + std::to_string(series));
    return Run([&] {
        Fresh().bytes = grob::ViewerFile(series == 48 ? grob::Series::HP48 : grob::Series::HP49);
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

int veldar_result_number(int index) {
    return index >= 0 && std::size_t(index) < g_result.numbers.size()
               ? g_result.numbers[std::size_t(index)]
               : 0;
}

const char* veldar_message() {
    return g_result.message.c_str();
}
}
