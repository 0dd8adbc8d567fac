// A halftone found by search (direct binary search): starting from a
// halftone, each dot in turn is changed to the next level up or down, or
// swapped with one of its 8 neighbours, whenever that brings the halftone
// closer to the picture as an eye sees both: through a Gaussian blur of
// kEyeSpread dots. Passes go on until one changes nothing, or kSearchPasses.
// Plain double arithmetic in a fixed order: the same dots on every machine.
#pragma once

#include <span>
#include <vector>

namespace grob {

// The eye's blur in dots (its standard deviation): wide enough to merge
// neighbouring dots into a gray, narrow enough to keep a line one dot wide.
// (A trial put 1.0 to 1.3 ahead of every other halftone; 1.6 fell behind.)
inline constexpr double kEyeSpread = 1.2;
inline constexpr int kSearchPasses = 8;

struct SearchedHalftone {
    std::vector<int> steps; // each dot's level, an index into the grays
    double startError = 0;  // the difference seen (summed squares) before the search
    double endError = 0;    // and after: never more
};

// `picture`: w x h grays (0 .. 255, row by row); `grays`: the levels'
// grays, ascending; `start`: each dot's level to start from.
SearchedHalftone SearchHalftone(std::span<const double> picture, int w, int h,
                                std::span<const double> grays, std::vector<int> start);

} // namespace grob
