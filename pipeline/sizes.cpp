#include "sizes.h"

#include "grob/checks.h"
#include "grob/list.h"
#include "preview.h"

namespace pipeline {

void Fail(const std::string& file, const std::string& cause) {
    throw grob::Error(file.empty() ? cause : file + ": " + cause, file, cause);
}

bool Wants(const Request& request, std::initializer_list<Product> products) {
    for (const Output& output : request.outputs)
        for (const Product product : products)
            if (output.product == product) return true;
    return false;
}

bool MakesGrobs(const Request& request) {
    return Wants(request, {Product::Grob, Product::GrobText, Product::PreviewPng, Product::Preview,
                           Product::List, Product::ListText, Product::Player, Product::Source,
                           Product::Viewer});
}

std::string FitHint(Audience audience) {
    return audience == Audience::CommandLine
               ? "fit it to the screen with --fit 131x64 (or another size)"
               : "choose a fit for it in the preview window";
}

SizeRules RulesFor(const Request& request, const Context& context) {
    SizeRules rules;
    rules.grobs = MakesGrobs(request);
    rules.previews = Wants(request, {Product::PreviewPng, Product::Preview});
    rules.kind = request.kind;
    rules.zoom = request.zoom;
    rules.lowerZoom = context.lowerZoom;
    rules.masks = request.cutting.masks;
    rules.refuseOversize = context.refuseOversize;
    rules.file = request.source.name();
    rules.fitHint = FitHint(context.audience);
    rules.enlargeHint = context.audience == Audience::CommandLine
                            ? "choose a smaller --fit or leave out --upscale"
                            : "choose a smaller size or do not enlarge";
    return rules;
}

CheckedSize CheckSizes(int width, int height, const grob::Preparation& preparation,
                       const SizeRules& rules, const std::string& file) {
    if (std::string refusal = grob::PictureSizeRefusal(width, height); !refusal.empty())
        Fail(file, refusal);
    CheckedSize checked;
    if (!rules.grobs) return checked; // the picture as it is
    checked.made = grob::SizeOfConversion(width, height, rules.kind, preparation,
                                          {rules.fitHint, rules.enlargeHint});
    if (!checked.made.refusal.empty()) Fail(file, checked.made.refusal);
    if (rules.refuseOversize) {
        if (std::string refusal = grob::GrobSizeRefusal(
                checked.made.grob, "fit the picture smaller (--fit 131x64), or give --oversize");
            !refusal.empty())
            Fail(file, refusal);
    } else if (const std::uint64_t bytes = grob::GrobObjectBytes(checked.made.grob);
               bytes > grob::kMaxListBytes) {
        checked.sizeNote = "the GROB is " + grob::Thousands(std::int64_t(bytes)) +
                           " bytes, more than a calculator holds (at most " +
                           grob::Thousands(std::int64_t(grob::kMaxListBytes)) +
                           "): fit the picture smaller to send it to one";
    }
    if (!rules.previews) return checked;
    const preview::ZoomChoice zoom =
        preview::ChooseZoom(checked.made.width, checked.made.height, rules.zoom, rules.lowerZoom,
                            "use --zoom %d or lower", rules.fitHint);
    if (!zoom.refusal.empty()) Fail(file, zoom.refusal);
    checked.zoom = zoom.zoom;
    checked.note = zoom.note;
    return checked;
}

void Measure(int width, int height, const grob::Preparation& preparation, const SizeRules& rules,
             Items& items, Result& result) {
    const CheckedSize checked = CheckSizes(width, height, preparation, rules, rules.file);
    result.zoom = checked.zoom;
    for (const std::string* note : {&checked.note, &checked.sizeNote})
        if (!note->empty() &&
            std::find(result.notes.begin(), result.notes.end(), *note) == result.notes.end())
            result.notes.push_back(*note);
    const grob::ConversionSize& made = checked.made;
    items.sizes.push_back(made.grob);
    if (rules.masks) items.sizes.push_back({std::uint64_t(made.width), std::uint64_t(made.height)});
}

std::shared_ptr<const grob::MemoryRaster>
FitCache::fitted(std::shared_ptr<const void> picture, int frame,
                 const grob::Preparation& preparation,
                 const std::function<std::shared_ptr<const grob::Image>()>& load) {
    {
        const std::lock_guard lock(mutex_);
        if (fitted_ && picture_ == picture && frame_ == frame && shape_.sameShape(preparation))
            return fitted_;
    }
    const std::shared_ptr<const grob::Image> whole = load();
    auto made = std::make_shared<const grob::MemoryRaster>(grob::Fit(whole->view(), preparation));
    const std::lock_guard lock(mutex_);
    picture_ = std::move(picture);
    frame_ = frame;
    shape_ = preparation.shape();
    fitted_ = made;
    return made;
}

} // namespace pipeline
