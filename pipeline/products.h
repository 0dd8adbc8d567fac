// What a request's outputs are made of, and their bytes: a GROB in either
// form, a list of them, the pictures as they are (one, or a sheet of them)
// and the calculator's view, each a PNG, or the view kept in memory. The
// pipeline gathers the items and delivers the pieces; this says what each
// product is.
#pragma once

#include "conversion.h"
#include "targets.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pipeline {

// The pictures of a request on their way to GROBs: every source loaded and
// cut into its items, each item's GROB (and mask) made. The items' pictures
// are kept only when an output shows them as they are.
struct Items {
    std::vector<grob::Sprite> sprites;
    std::vector<grob::GrobObject> grobs;
    std::vector<grob::GrobObject> masks;
    std::vector<grob::Extent> sizes;    // every GROB's size in dots, masks included (for a list)
    std::optional<grob::Series> series; // the first GROB source's own
    std::vector<int> kept;              // with skipEmpty: the numbers of the tiles kept
    int counted = 0;                    // every picture and tile, kept or not
    bool anyClear = false;              // any picture with transparency
};

// One file (or standard output's, or memory's) of a planned output.
struct Piece {
    std::string path;
    std::vector<std::uint8_t> bytes;
    grob::Image view; // a Preview kept in memory
};

// The pieces of one planned output: the list of every GROB, the pictures
// side by side, or one a item (its GROB, mask, picture or view at `zoom`).
// `going` is asked between the views drawn and throws to stop.
std::vector<Piece> PiecesOf(const Request& request, const PlannedOutput& planned,
                            const Items& items, int zoom, const std::function<void()>& going);

// The PNG of a picture, in the smallest form that keeps every pixel (a
// 1-bit GROB seen in its shades is a 1-bit gray PNG). Throws grob::GrobError when it cannot be
// made; `name` names the file in that error.
std::vector<std::uint8_t> PngOf(const grob::Image& picture, const std::string& name);

} // namespace pipeline
