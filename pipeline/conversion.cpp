#include "conversion.h"

#include "budget.h"
#include "filenames.h"
#include "grob/checks.h"
#include "grob/list.h"
#include "grob/reader.h"
#include "loader.h"
#include "preview.h"
#include "products.h"
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

loading::Bytes StandardInputBytes() {
    try {
        return ReadStandardInput();
    } catch (const StreamFailure& failure) {
        Fail("-", failure.cause);
    }
}

// How a source's pictures are loaded for a request.
pictureloader::Options LoadingOptions(const Source& source, const Request& request,
                                      const Context& context) {
    const Cutting& cutting = request.cutting;
    pictureloader::Options options = context.loading;
    // A held picture's one frame: the frames before it decoded and let go.
    const bool oneFrame = source.from == Source::From::Held && !cutting.frames && source.frame > 0;
    options.allFrames = cutting.frames || oneFrame;
    if (oneFrame) options.onlyFrame = source.frame;
    options.opacity = cutting.masks;
    options.wholeLists = request.wholeLists;
    options.grobKind = request.grobKind;
    options.keepStoredOrientation = request.keepStoredOrientation;
    // Pictures to be fitted come fitted (a JPEG decoded smaller first), from
    // the decoders and the renderer alike, unless they are cut into tiles
    // first (each tile is fitted on its own).
    // A picture to be turned is fitted to the box as it stands before; one
    // to be cropped comes whole.
    options.background = request.preparation.background;
    if (!cutting.tiles() && request.preparation.fittedAsDecoded())
        options.fit = grob::FitBeforeTurning(request.preparation);
    return options;
}

// The sizes a request makes from a picture, checked from its header.
std::function<void(const pictureloader::Header&)>
SizeCheck(const Source& source, const Request& request, const SizeRules& rules) {
    return [&source, &request, rules](const pictureloader::Header& header) {
        CheckSizes(header.width, header.height, request.preparation, rules, source.name());
    };
}

// A source's pictures, whole: its frames when they are cut out, else the
// first; each picture's size checked from the header, where there is one,
// before it is decoded, and the memory its decoding takes reserved.
std::vector<grob::Sprite> LoadSource(const Source& source, const Request& request,
                                     const Context& context, const SizeRules& rules, Items& items,
                                     MemoryBudget::Lease& lease) {
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
    const pictureloader::Options options = LoadingOptions(source, request, context);
    loading::Picture picture;
    if (source.from == Source::From::File) {
        // Read where it lies when its decoder can.
        picture = LoadFileWithin(source.path, options, context.budget, lease,
                                 SizeCheck(source, request, rules));
    } else if (source.from == Source::From::Held) {
        picture =
            source.held->load(options, context.budget, lease, SizeCheck(source, request, rules));
    } else {
        const loading::Bytes read = StandardInputBytes();
        picture = LoadWithin(read, options, source.path, context.budget, lease,
                             SizeCheck(source, request, rules));
    }
    if (!picture.ok()) Fail(source.name(), picture.error);
    if (!items.series) items.series = picture.series;
    for (loading::Frame& frame : picture.frames)
        whole.push_back({std::make_shared<const grob::Image>(std::move(frame.image)),
                         std::move(frame.opacity), 0, frame.delayMs});
    return whole;
}

// An item's GROB, as a single picture's would be: prepared (from the
// fitted picture a preview keeps, when there is one) and encoded; and its
// mask. The series is set when all are made.
void Encode(const Request& request, const grob::Preparation& prep, const Context& context,
            const grob::Sprite& sprite, Items& items) {
    const std::string name = request.source.name();
    const grob::Series series = request.defaultSeries;
    items.grobs.push_back(grob::EncodeObject(request.kind, sprite.image->view(), series, prep, name,
                                             request.padding));
    if (request.cutting.masks)
        items.masks.push_back(
            grob::MaskOf(sprite, prep, request.cutting, series, name, request.padding));
    CheckCancelled(context);
}

// A picture the window keeps (loaded, or its file held) fitted once
// for a run of previews: decoded and fitted only when it or the box
// changed; the rest of the preparation goes on from the fitted picture,
// exactly as it would otherwise.
void EncodeFromCache(const Source& source, const Request& request, const Context& context,
                     const SizeRules& rules, Items& items, Result& result) {
    const std::shared_ptr<const void> key = source.from == Source::From::Held
                                                ? std::shared_ptr<const void>(source.held)
                                                : std::shared_ptr<const void>(source.picture);
    const auto fitted = context.fitCache->fitted(key, source.frame, request.preparation, [&] {
        MemoryBudget::Lease lease;
        std::vector<grob::Sprite> whole = LoadSource(source, request, context, rules, items, lease);
        if (whole.empty()) Fail(source.name(), "there is no picture");
        CheckSizes(whole.front().image->width, whole.front().image->height, request.preparation,
                   rules, request.source.name());
        return whole.front().image;
    });
    CheckCancelled(context);
    // What is made from here is made from the fitted picture as it is.
    const grob::Preparation asIs;
    Measure(fitted->width(), fitted->height(), asIs, rules, items, result);
    items.grobs.push_back(grob::EncodeObject(
        request.kind, grob::PrepareFitted(*fitted, request.kind, request.preparation).view(),
        request.defaultSeries, request.source.name(), request.padding));
    items.sprites.push_back({nullptr, {}, ++items.counted});
    CheckCancelled(context);
}

// The request's items, source after source: each source's pictures,
// numbered on, cut into tiles when asked, every item's sizes checked (and a
// list's) before its GROB is made; a source's pictures let go once their
// GROBs are made, unless an output shows them.
Items Gather(const Request& request, const Context& context, Result& result) {
    Items items;
    std::vector<const Source*> sources{&request.source};
    for (const Source& more : request.more)
        sources.push_back(&more);
    const std::string padHint = context.audience == Audience::CommandLine
                                    ? "--tile-pad pads it with white"
                                    : "choose to pad the last tiles";
    const SizeRules rules = RulesFor(request, context);
    const bool grobs = rules.grobs;
    const bool listed =
        Wants(request, {Product::List, Product::ListText, Product::Player, Product::Source});
    const bool pictures = Wants(request, {Product::PicturePng});
    // A picture cut into tiles is cropped as a whole first; its tiles are
    // prepared without the crop.
    const grob::Preparation itemPreparation =
        request.cutting.tiles() ? grob::CropCleared(request.preparation) : request.preparation;
    for (const Source* source : sources) {
        const bool kept =
            source->from == Source::From::Picture || source->from == Source::From::Held;
        if (context.fitCache && kept && request.preparation.fits() && grobs && !pictures &&
            !request.cutting.many()) {
            EncodeFromCache(*source, request, context, rules, items, result);
            continue;
        }
        MemoryBudget::Lease lease;
        std::vector<grob::Sprite> whole =
            LoadSource(*source, request, context, rules, items, lease);
        if (whole.empty()) Fail(source->name(), "there is no picture");
        std::vector<grob::Sprite> cut;
        for (grob::Sprite& sprite : whole) {
            items.anyClear = items.anyClear || !sprite.opacity.empty();
            const std::string refusal =
                grob::CutItems(std::move(sprite), request.cutting, request.preparation, padHint,
                               cut, items.counted, items.kept);
            if (!refusal.empty()) Fail(source->name(), refusal);
        }
        whole.clear();
        for (const grob::Sprite& sprite : cut)
            Measure(sprite.image->width, sprite.image->height, itemPreparation, rules, items,
                    result);
        // A list is refused as soon as it would be too large, before the
        // GROBs that would make it so.
        if (listed)
            if (const std::string refusal = grob::ListSizeRefusal(
                    items.sizes, "fit the pictures smaller, or make several lists");
                !refusal.empty())
                Fail(request.source.name(), refusal);
        for (grob::Sprite& sprite : cut) {
            if (grobs) Encode(request, itemPreparation, context, sprite, items);
            if (!pictures) sprite.image.reset(); // its GROB holds all that is wanted of it
            sprite.opacity.clear();
            items.sprites.push_back(std::move(sprite));
        }
        CheckCancelled(context);
    }
    if (items.sprites.empty())
        Fail(request.source.name(), "every tile is empty: there is nothing to convert");
    // Every GROB carries the run's series: the one asked for, else the first
    // GROB source's own, else the default.
    const grob::Series series =
        request.series.value_or(items.series.value_or(request.defaultSeries));
    for (auto* objects : {&items.grobs, &items.masks})
        for (grob::GrobObject& object : *objects)
            object.series = series;
    return items;
}

void Deliver(const Output& output, const std::string& path, std::vector<std::uint8_t> bytes,
             const Context& context, Result& result) {
    if (output.target.to == Target::To::File) {
        // The run's own outputs are never one file (CheckTargets): one that
        // is there was not written by it.
        const bool there = output.product == Product::PicturePng && filenames::Exists(path);
        try {
            grob::WriteFileAtomically(path, bytes, context.flush);
        } catch (const grob::Error& e) {
            Fail(path, e.cause());
        }
        result.written.push_back(path);
        if (there) result.replaced.push_back(path);
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

// Every file of one planned output, delivered.
void DeliverPlanned(const Request& request, const PlannedOutput& planned, const Items& items,
                    const Context& context, Result& result) {
    const Output& output = request.outputs[planned.output];
    for (Piece& piece :
         PiecesOf(request, planned, items, result.zoom, [&] { CheckCancelled(context); })) {
        if (output.product == Product::Preview) {
            Made made{output, {}, std::move(piece.view)};
            result.made.push_back(std::move(made));
        } else {
            Deliver(output, piece.path, std::move(piece.bytes), context, result);
        }
    }
}

void Run(const Request& request, const Context& context, Result& result) {
    const Items items = Gather(request, context, result);
    result.pictures = int(items.sprites.size());
    if (request.cutting.skipEmpty)
        result.notes.push_back("tiles kept: " + grob::Runs(items.kept) + " of " +
                               std::to_string(items.counted));
    result.fullMasks = request.cutting.masks && !items.anyClear;
    if (!items.grobs.empty()) {
        result.object = items.grobs.front();
        result.dotsWide = int(result.object.width);
        result.dotsHigh = int(result.object.height);
    }
    for (const PlannedOutput& planned : PlanOutputs(request))
        DeliverPlanned(request, planned, items, context, result);
}

} // namespace

Result CheckHeader(const Request& request, const Context& context) {
    Result result;
    const Source& source = request.source;
    if (source.from != Source::From::File && source.from != Source::From::Held) return result;
    try {
        const pictureloader::Options options = LoadingOptions(source, request, context);
        const auto check = SizeCheck(source, request, RulesFor(request, context));
        const std::string refusal = source.from == Source::From::Held
                                        ? source.held->headerRefusal(options, check)
                                        : FileHeaderRefusal(source.path, options, check);
        if (!refusal.empty()) Fail(source.name(), refusal);
    } catch (const grob::Error& e) {
        result.file = e.path().empty() ? source.name() : e.path();
        result.cause = e.cause();
    }
    return result;
}

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
