#include "products.h"

#include "codecs.h"
#include "grob/checks.h"
#include "grob/grobfile.h"
#include "grob/list.h"
#include "grob/player.h"
#include "grob/reader.h"
#include "grob/source.h"
#include "grob/viewer.h"
#include "preview.h"
#include "sizes.h"

namespace pipeline {

namespace {

// How long the player shows a still picture among its frames.
constexpr int kStillDelayMs = 100;

std::vector<std::uint8_t> TextBytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// The list of every GROB of the request, each followed by its mask.
Piece ListOf(const Request& request, const Output& output, const std::string& path,
             const Items& items) {
    const std::string name = request.source.name();
    const grob::Series series = items.grobs.empty() ? request.series.value_or(request.defaultSeries)
                                                    : items.grobs[0].series;
    std::vector<grob::GrobObject> all;
    for (std::size_t i = 0; i < items.grobs.size(); ++i) {
        all.push_back(items.grobs[i]);
        if (request.cutting.masks) all.push_back(items.masks[i]);
    }
    return {path,
            output.product == Product::List
                ? grob::BinaryList(series, all, name)
                : TextBytes(grob::TextList(all, name, request.textHeader)),
            {}};
}

// The program that plays every GROB of the request in turn.
Piece PlayerOf(const Request& request, const std::string& path, const Items& items) {
    std::vector<grob::PlayedFrame> frames;
    for (std::size_t i = 0; i < items.grobs.size(); ++i)
        frames.push_back({&items.grobs[i], request.playerDelayMs > 0      ? request.playerDelayMs
                                           : items.sprites[i].delayMs > 0 ? items.sprites[i].delayMs
                                                                          : kStillDelayMs});
    return {path, TextBytes(grob::PlayerProgram(frames)), {}};
}

// Every GROB of the request as source code, each followed by its mask; the
// symbols are named after the file (the picture's name on standard output).
Piece SourceOf(const Request& request, const Output& output, const std::string& path,
               const Items& items) {
    const std::string file = output.target.to == Target::To::File ? path
                             : request.source.path.empty()        ? std::string("grob")
                                                                  : request.source.path;
    const std::string base = grob::SymbolOf(file);
    const bool numbered = items.grobs.size() > 1;
    std::vector<grob::SourceSymbol> symbols;
    for (std::size_t i = 0; i < items.grobs.size(); ++i) {
        const std::string name = numbered ? base + "_" + std::to_string(i) : base;
        symbols.push_back({&items.grobs[i], name});
        if (request.cutting.masks) symbols.push_back({&items.masks[i], name + "_mask"});
    }
    return {
        path, TextBytes(grob::SourceText(request.sourceForm, symbols, request.source.name())), {}};
}

// The pictures as they are, side by side (one alone as it is).
Piece SheetOf(const Request& request, const Output& output, const std::string& path,
              const Items& items) {
    std::vector<const grob::Image*> pictures;
    for (const grob::Sprite& sprite : items.sprites)
        pictures.push_back(sprite.image.get());
    if (pictures.size() == 1) return {path, PngOf(*pictures[0], output.target.name()), {}};
    const grob::SheetSize size = grob::SizeOfSheet(pictures);
    if (!grob::PictureSizeRefusal(size.width, size.height).empty())
        Fail(request.source.name(), "the sheet would be " + grob::Thousands(size.width) + " x " +
                                        grob::Thousands(size.height) + " pixels: use --split");
    return {path, PngOf(grob::Sheet(pictures), output.target.name()), {}};
}

// One item's piece: its GROB (or mask) in either form, its picture, or its view.
Piece ItemOf(const Request& request, const Output& output, const std::string& path,
             const grob::GrobObject& object, const grob::Sprite& sprite, int zoom) {
    switch (output.product) {
    case Product::Grob:
        return {path, grob::BinaryGrob(object, request.source.name()), {}};
    case Product::GrobText:
        return {path, TextBytes(grob::TextGrob(object, request.textHeader)), {}};
    case Product::PicturePng:
        return {path, PngOf(*sprite.image, path), {}};
    case Product::Viewer:
        return {path, grob::ViewerProgram(object.series, object, request.source.name()), {}};
    case Product::PreviewPng:
        return {path, PngOf(preview::Draw(object, zoom), path), {}};
    case Product::Preview:
        return {path, {}, preview::Draw(object, zoom)};
    case Product::List:
    case Product::ListText:
    case Product::Player:
    case Product::Source:
        break;
    }
    return {};
}

} // namespace

std::vector<Piece> PiecesOf(const Request& request, const PlannedOutput& planned,
                            const Items& items, int zoom, const std::function<void()>& going) {
    const Output& output = request.outputs[planned.output];
    if (output.product == Product::List || output.product == Product::ListText)
        return {ListOf(request, output, planned.path, items)};
    if (output.product == Product::Player) return {PlayerOf(request, planned.path, items)};
    if (output.product == Product::Source) return {SourceOf(request, output, planned.path, items)};
    if (output.product == Product::PicturePng && !planned.numbered)
        return {SheetOf(request, output, planned.path, items)};
    // One piece an item (numbered files, or a single picture's one file).
    if (!planned.numbered && items.sprites.size() > 1 && output.target.to != Target::To::Memory)
        Fail(output.target.name(), "several GROBs cannot go into one file: ask for a list");
    const int digits = NumberDigits(items.counted);
    const bool views = output.product == Product::PreviewPng || output.product == Product::Preview;
    std::vector<Piece> pieces;
    for (std::size_t i = 0; i < items.sprites.size(); ++i) {
        // The item's GROB or mask (none is made for its picture alone).
        static const grob::GrobObject none;
        const std::vector<grob::GrobObject>& objects = planned.masks ? items.masks : items.grobs;
        const std::string path =
            planned.numbered
                ? NumberedPath(planned.path, items.sprites[i].number, digits, planned.masks)
                : planned.path;
        pieces.push_back(ItemOf(request, output, path, i < objects.size() ? objects[i] : none,
                                items.sprites[i], zoom));
        if (views) going();
    }
    return pieces;
}

std::vector<std::uint8_t> PngOf(const grob::Image& picture, const std::string& name) {
    std::string error;
    std::vector<std::uint8_t> png = codecs::EncodePngSmallest(
        picture.pixels.data(), picture.width, picture.height, picture.width, &error);
    if (png.empty())
        throw grob::GrobError(grob::ErrorCode::WriteFailed, name,
                              error.empty() ? "the PNG cannot be made" : error);
    return png;
}

} // namespace pipeline
