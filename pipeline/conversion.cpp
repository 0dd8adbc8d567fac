#include "conversion.h"

#include "filenames.h"
#include "grob/checks.h"
#include "grob/list.h"
#include "grob/reader.h"
#include "pngfile.h"
#include "preview.h"
#include "regularfile.h"
#include "sizes.h"
#include "streams.h"
#include "targets.h"

#include <algorithm>
#include <new>

namespace pipeline {

std::string Target::name() const {
    return to == To::StandardOutput ? "-" : path;
}

std::string Source::name() const {
    return from == From::StandardInput ? "-" : path;
}

std::string Result::line() const {
    return file.empty() ? cause : file + ": " + cause;
}

namespace {

struct Cancelled {};

void CheckCancelled(const Context& context) {
    if (context.cancelled && context.cancelled->load(std::memory_order_relaxed)) throw Cancelled{};
}

// The pictures of a request on their way to GROBs: every source loaded and
// cut into its items, each item's GROB (and mask) made.
struct Items {
    std::vector<grob::Sprite> sprites;
    std::vector<grob::GrobObject> grobs;
    std::vector<grob::GrobObject> masks;
    std::optional<grob::Series> series; // the first GROB source's own
    std::vector<int> kept;              // with skipEmpty: the numbers of the tiles kept
    int counted = 0;                    // every picture and tile, kept or not
    bool anyClear = false;              // any picture with transparency
};

loading::Bytes BytesOf(const Source& source) {
    if (source.from == Source::From::StandardInput) {
        try {
            return ReadStandardInput();
        } catch (const StreamFailure& failure) {
            Fail("-", failure.cause);
        }
    }
    std::string error;
    auto read = loading::ReadRegularFile(source.path, loading::kMaxFileBytes, &error);
    if (!read) Fail(source.name(), error);
    return std::move(*read);
}

// A source's pictures, whole: its frames when they are cut out, else the
// first; each picture's size checked from the header, where there is one,
// before it is decoded.
std::vector<grob::Sprite> LoadSource(const Source& source, const Request& request,
                                     const Context& context, Items& items) {
    const Cutting& cutting = request.cutting;
    std::vector<grob::Sprite> whole;
    if (source.from == Source::From::Picture) {
        if (cutting.frames && !source.frames.empty()) {
            for (const auto& frame : source.frames)
                whole.push_back({frame, {}, 0});
        } else if (source.picture) {
            whole.push_back({source.picture, {}, 0});
        }
        return whole;
    }
    const loading::Bytes bytes = BytesOf(source);
    const pictureloader::Format& format = pictureloader::Recognise(bytes);
    if (format.header)
        if (const auto header = format.header(bytes)) {
            std::string note;
            CheckSizes(header->width, header->height, request, context, source.name(), note);
        }
    pictureloader::Options options = context.loading;
    options.allFrames = cutting.frames;
    options.opacity = cutting.masks;
    options.wholeLists = request.wholeLists;
    options.grobKind = request.grobKind;
    // A JPEG to be fitted is decoded smaller, unless it is cut into tiles
    // first (each tile is fitted on its own).
    if (!cutting.tiles()) {
        options.fitWidth = request.preparation.fitWidth;
        options.fitHeight = request.preparation.fitHeight;
    }
    loading::Picture picture = format.load(bytes, options, source.path);
    if (!picture.ok()) Fail(source.name(), picture.error);
    if (!items.series) items.series = picture.series;
    for (loading::Frame& frame : picture.frames)
        whole.push_back({std::make_shared<const grob::Image>(std::move(frame.image)),
                         std::move(frame.opacity), 0});
    return whole;
}

// The request's items: each source's pictures, numbered on, cut into tiles
// when asked; every item's sizes checked.
Items Gather(const Request& request, const Context& context, Result& result) {
    Items items;
    std::vector<const Source*> sources{&request.source};
    for (const Source& more : request.more)
        sources.push_back(&more);
    const std::string padHint = context.audience == Audience::CommandLine
                                    ? "--tile-pad pads it with white"
                                    : "choose to pad the last tiles";
    for (const Source* source : sources) {
        std::vector<grob::Sprite> whole = LoadSource(*source, request, context, items);
        if (whole.empty()) Fail(source->name(), "there is no picture");
        for (grob::Sprite& sprite : whole) {
            items.anyClear = items.anyClear || !sprite.opacity.empty();
            if (request.cutting.tiles()) {
                const std::string refusal = grob::TileRefusal(
                    sprite.image->width, sprite.image->height, request.cutting, padHint);
                if (!refusal.empty()) Fail(source->name(), refusal);
                grob::CutTiles(sprite, request.cutting, items.sprites, items.counted, items.kept);
            } else {
                sprite.number = ++items.counted;
                items.sprites.push_back(std::move(sprite));
            }
        }
        CheckCancelled(context);
    }
    if (items.sprites.empty())
        Fail(request.source.name(), "every tile is empty: there is nothing to convert");
    for (const grob::Sprite& sprite : items.sprites) {
        std::string note;
        result.zoom = CheckSizes(sprite.image->width, sprite.image->height, request, context,
                                 request.source.name(), note);
        if (!note.empty() &&
            std::find(result.notes.begin(), result.notes.end(), note) == result.notes.end())
            result.notes.push_back(note);
    }
    return items;
}

// Each item's GROB, as a single picture's would be: prepared (from the
// fitted picture a preview keeps, when there is one) and encoded; and its
// mask.
void Encode(const Request& request, const Context& context, grob::Series series, Items& items) {
    const std::string name = request.source.name();
    const grob::Preparation& prep = request.preparation;
    for (const grob::Sprite& sprite : items.sprites) {
        if (context.fitCache && prep.fits()) {
            // Fitted once for a run of previews; the rest of the preparation
            // goes on from the fitted picture, exactly as it would otherwise.
            const auto fitted = context.fitCache->fitted(sprite.image, prep);
            CheckCancelled(context);
            items.grobs.push_back(grob::EncodeObject(
                request.kind, grob::PrepareFitted(*fitted, request.kind, prep).view(), series, name,
                request.padding));
        } else {
            items.grobs.push_back(grob::EncodeObject(request.kind, sprite.image->view(), series,
                                                     prep, name, request.padding));
        }
        if (request.cutting.masks)
            items.masks.push_back(grob::MaskOf(sprite, prep, series, name, request.padding));
        CheckCancelled(context);
    }
}

void Deliver(const Output& output, const std::string& path, std::vector<std::uint8_t> bytes,
             const Context& context, Result& result) {
    if (output.target.to == Target::To::File) {
        try {
            grob::WriteFileAtomically(path, bytes, context.flush);
        } catch (const grob::Error& e) {
            Fail(path, e.cause());
        }
        result.written.push_back(path);
    } else if (output.target.to == Target::To::StandardOutput) {
        try {
            WriteStandardOutput(bytes);
        } catch (const StreamFailure& failure) {
            Fail("-", failure.cause);
        }
    }
    Made made{output, std::move(bytes), {}};
    made.output.target.path = path;
    result.made.push_back(std::move(made));
}

std::vector<std::uint8_t> TextBytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// The bytes of one planned output: the list of every GROB, or one item's
// GROB, mask, picture or view.
void DeliverPlanned(const Request& request, const PlannedOutput& planned, const Items& items,
                    const Context& context, Result& result) {
    const Output& output = request.outputs[planned.output];
    const std::string name = request.source.name();
    const grob::Series series = items.grobs.empty() ? request.defaultSeries : items.grobs[0].series;
    switch (output.product) {
    case Product::List:
    case Product::ListText: {
        std::vector<grob::GrobObject> all;
        for (std::size_t i = 0; i < items.grobs.size(); ++i) {
            all.push_back(items.grobs[i]);
            if (request.cutting.masks) all.push_back(items.masks[i]);
        }
        Deliver(output, planned.path,
                output.product == Product::List
                    ? grob::BinaryList(series, all, name)
                    : TextBytes(grob::TextList(all, name, request.textHeader)),
                context, result);
        return;
    }
    case Product::PicturePng:
        if (!planned.numbered) {
            // Several pictures side by side, one as it is.
            std::vector<const grob::Image*> pictures;
            for (const grob::Sprite& sprite : items.sprites)
                pictures.push_back(sprite.image.get());
            if (pictures.size() == 1) {
                Deliver(output, planned.path, PngOf(*pictures[0], output.target.name()), context,
                        result);
                return;
            }
            const grob::SheetSize size = grob::SizeOfSheet(pictures);
            if (!grob::PictureSizeRefusal(size.width, size.height).empty())
                Fail(name, "the sheet would be " + grob::Thousands(size.width) + " x " +
                               grob::Thousands(size.height) + " pixels: use --split");
            Deliver(output, planned.path, PngOf(grob::Sheet(pictures), output.target.name()),
                    context, result);
            return;
        }
        break;
    default:
        break;
    }
    // One output an item (numbered files, or a single picture's one file).
    if (!planned.numbered && items.sprites.size() > 1 && output.target.to != Target::To::Memory)
        Fail(output.target.name(), "several GROBs cannot go into one file: ask for a list");
    const int digits = NumberDigits(items.counted);
    for (std::size_t i = 0; i < items.sprites.size(); ++i) {
        const grob::GrobObject& object = planned.masks ? items.masks[i] : items.grobs[i];
        const std::string path =
            planned.numbered
                ? NumberedPath(planned.path, items.sprites[i].number, digits, planned.masks)
                : planned.path;
        switch (output.product) {
        case Product::Grob:
            Deliver(output, path, grob::BinaryGrob(object, name), context, result);
            break;
        case Product::GrobText:
            Deliver(output, path, TextBytes(grob::TextGrob(object, request.textHeader)), context,
                    result);
            break;
        case Product::PicturePng:
            Deliver(output, path, PngOf(*items.sprites[i].image, path), context, result);
            break;
        case Product::PreviewPng:
        case Product::Preview: {
            grob::Image view = preview::Render(object, result.zoom);
            CheckCancelled(context);
            if (output.product == Product::PreviewPng) {
                Deliver(output, path, PngOf(view, path), context, result);
            } else {
                Made made{output, {}, std::move(view)};
                result.made.push_back(std::move(made));
            }
            break;
        }
        case Product::List:
        case Product::ListText:
            break;
        }
    }
}

void Run(const Request& request, const Context& context, Result& result) {
    Items items = Gather(request, context, result);
    result.pictures = int(items.sprites.size());
    if (request.cutting.skipEmpty)
        result.notes.push_back("tiles kept: " + grob::Runs(items.kept) + " of " +
                               std::to_string(items.counted));
    result.fullMasks = request.cutting.masks && !items.anyClear;
    const grob::Series series =
        request.series.value_or(items.series.value_or(request.defaultSeries));
    if (MakesGrobs(request)) {
        // A list is refused before any GROB is made when it would be too large.
        if (Wants(request, {Product::List, Product::ListText})) {
            std::vector<grob::Extent> sizes;
            for (const grob::Sprite& sprite : items.sprites) {
                int w = 0, h = 0;
                grob::FittedSize(request.preparation, sprite.image->width, sprite.image->height, w,
                                 h);
                sizes.push_back(grob::GrobExtent(request.kind, std::uint64_t(w), std::uint64_t(h)));
                if (request.cutting.masks) sizes.push_back({std::uint64_t(w), std::uint64_t(h)});
            }
            const std::string refusal =
                grob::ListSizeRefusal(sizes, "fit the pictures smaller, or make several lists");
            if (!refusal.empty()) Fail(request.source.name(), refusal);
        }
        Encode(request, context, series, items);
        result.object = items.grobs.front();
        result.dotsWide = int(result.object.width);
        result.dotsHigh = int(result.object.height);
    }
    for (const PlannedOutput& planned : PlanOutputs(request))
        DeliverPlanned(request, planned, items, context, result);
}

} // namespace

Result Convert(const Request& request, const Context& context) {
    Result result;
    const std::string source = request.source.name();
    try {
        Run(request, context, result);
    } catch (const grob::GrobReadError& e) {
        // Only a picture read can fail so: it is about the source.
        result.file = source;
        result.cause = e.cause();
    } catch (const grob::Error& e) {
        result.file = e.path().empty() ? source : e.path();
        result.cause = e.cause();
    } catch (const Cancelled&) {
        result.file = source;
        result.cause = "cancelled";
    } catch (const std::bad_alloc&) {
        result.file = source;
        result.cause = "there is not enough memory to convert it";
    } catch (const std::length_error&) {
        result.file = source;
        result.cause = "there is not enough memory to convert it";
    }
    if (!result.ok()) result.made.clear();
    return result;
}

} // namespace pipeline
