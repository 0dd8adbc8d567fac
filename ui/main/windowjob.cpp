#include "windowjob.h"

#include "grob/reader.h"
#include "nativenames.h"
#include "requests.h"
#include "targets.h"

namespace windowjob {

namespace {

using nativenames::Native;
using nativenames::Shown;

} // namespace

pipeline::Request RequestFor(const Job& job) {
    using pipeline::Product;
    using pipeline::Target;
    const grob::Series series = job.choices.series.value_or(grob::Series::HP49);
    // The file read again, the file as held (every frame, its
    // transparency), or the picture shown and its frames.
    pipeline::Source source = job.readFile ? pipeline::Source::File(Native(job.path))
                              : job.held
                                  ? pipeline::Source::Held(job.held, Native(job.path), job.frame)
                                  : pipeline::Source::Loaded(job.picture, Native(job.path));
    if (!job.readFile && !job.held && job.choices.cutting.frames) source.frames = {job.picture};
    pipeline::Request request;
    if (job.make == Make::Sprites) {
        // The command line's own request for --frames, --tile, --mask,
        // --list, --text and -o.
        grob::Choices choices = job.choices;
        choices.output = Native(job.file);
        request = pipeline::RequestsFor({Native(job.path)}, choices, series).front();
        request.source = std::move(source);
    } else {
        request = pipeline::ConversionFor(std::move(source), job.choices, series);
    }
    request.grobKind = job.grobKind;
    switch (job.make) {
    case Make::Grob:
        request.outputs = {{grob::Applied(job.choices).viewer ? Product::Viewer : Product::Grob,
                            Target::File(Native(job.file))}};
        break;
    case Make::BareText:
        request.outputs = {{Product::Grob, Target::Memory()}};
        break;
    case Make::View:
        request.zoom = 1; // the window enlarges what it shows itself
        request.outputs = {{Product::Grob, Target::Memory()}, {Product::Preview, Target::Memory()}};
        break;
    case Make::ViewPng:
        request.outputs = {{Product::PreviewPng, Target::File(Native(job.file))}};
        break;
    case Make::Sprites:
        break;
    }
    return request;
}

namespace {

// The picture as the preparation fits and turns it (or as it is), each
// pixel opaque, as the window shows pictures.
std::shared_ptr<const grob::Image> Fitted(const Job& job, Memory* memory) {
    const grob::Preparation& preparation = job.choices.preparation;
    if (!preparation.fits() && !preparation.turned() && !preparation.cropped()) return job.picture;
    pipeline::FitCache ownFits;
    pipeline::FitCache& fits = memory ? memory->fits : ownFits;
    // The fitted picture the conversion just made (the same key as the
    // pipeline's), or made from the picture shown.
    const std::shared_ptr<const void> key =
        job.held ? std::shared_ptr<const void>(job.held) : std::shared_ptr<const void>(job.picture);
    const std::shared_ptr<const grob::MemoryRaster> fitted =
        fits.fitted(key, job.held ? job.frame : 0, preparation, [&] { return job.picture; });
    auto image = std::make_shared<grob::Image>();
    image->width = fitted->width();
    image->height = fitted->height();
    image->pixels.resize(std::size_t(image->width) * std::size_t(image->height));
    const grob::PixelView view = fitted->view();
    for (int y = 0; y < view.height; ++y)
        for (int x = 0; x < view.width; ++x)
            image->pixels[std::size_t(y) * std::size_t(view.width) + std::size_t(x)] =
                view.row(y)[x] | 0xFF000000u;
    return image;
}

} // namespace

Outcome Refusal(const Job& job) {
    Outcome outcome;
    pipeline::Context context;
    context.audience = pipeline::Audience::Window;
    const pipeline::Result refused = pipeline::CheckHeader(RequestFor(job), context);
    outcome.file = Shown(refused.file);
    outcome.cause = QString::fromStdString(refused.cause);
    return outcome;
}

Outcome Run(const Job& job, const std::atomic<bool>* cancelled, Memory* memory) {
    Outcome outcome;
    const pipeline::Request request = RequestFor(job);
    if (job.readFile)
        for (const pipeline::Clash& clash : pipeline::CheckTargets({request})) {
            outcome.file = Shown(clash.file);
            outcome.cause = QString::fromStdString(clash.cause);
            return outcome;
        }
    pipeline::Context context;
    context.audience = pipeline::Audience::Window;
    context.lowerZoom = true; // a view too large at its zoom is drawn smaller, and says so
    context.cancelled = cancelled;
    context.fitCache = memory ? &memory->fits : nullptr;
    pipeline::Result result = pipeline::Convert(request, context);
    outcome.file = Shown(result.file);
    outcome.cause = QString::fromStdString(result.cause);
    if (!result.ok()) return outcome;
    outcome.dotsWide = result.dotsWide;
    outcome.dotsHigh = result.dotsHigh;
    outcome.pictures = result.pictures;
    outcome.zoom = result.zoom;
    for (const std::string& note : result.notes)
        outcome.notes << QString::fromStdString(note);
    for (const std::string& written : result.written)
        outcome.written << Shown(written);
    for (pipeline::Made& made : result.made) {
        if (made.output.product == pipeline::Product::Preview) outcome.view = std::move(made.image);
        if (made.output.product != pipeline::Product::Grob || !outcome.bytes.empty()) continue;
        outcome.grobBytes = made.bytes.size();
        outcome.bytes = std::move(made.bytes);
    }
    try {
        if (job.make == Make::BareText) {
            const std::string text = grob::TextGrob(result.object, grob::TextHeader::Without);
            outcome.bytes.assign(text.begin(), text.end());
        }
        if (job.make == Make::View) outcome.fitted = Fitted(job, memory);
    } catch (const std::exception& e) {
        outcome.file = job.path;
        outcome.cause = QString::fromStdString(e.what());
    }
    return outcome;
}

} // namespace windowjob
