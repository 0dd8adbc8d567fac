// The seven output kinds: one table that the encoders, both command lines,
// the menus and the save dialogs all read.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace grob {

struct OutputKind {
    int depth = 1;                // bits per pixel for the fixed-depth kinds, 0 for page-flipping
    int frames = 0;               // frame count for page-flipping kinds, 0 otherwise
    std::string_view extension;   // "gro", ..., also the modern command line's name
    std::string_view option;      // the classic command-line option, "-1", ..., "-g32"
    std::string_view description; // a short text for usage and manual pages

    constexpr bool pageFlipping() const { return frames != 0; }
    // Shades the calculator shows: 2^depth, or 2^frames for page-flipping.
    constexpr int shades() const { return 1 << (pageFlipping() ? frames : depth); }
};

// A size in GROB dots (columns, rows) or in picture pixels.
struct Extent {
    std::uint64_t width = 0;
    std::uint64_t height = 0;
};
// The GROB's size in dots for a picture of `width` x `height` pixels in the
// kind: `depth` columns a pixel, or `frames` frames stacked.
constexpr Extent GrobExtent(const OutputKind& kind, std::uint64_t width, std::uint64_t height) {
    return kind.pageFlipping() ? Extent{width, height * std::uint64_t(kind.frames)}
                               : Extent{width * std::uint64_t(kind.depth), height};
}
// The picture's size in pixels of a GROB of `columns` x `rows` dots seen as
// the kind; `whole` tells whether the dots are a whole number of the kind's
// pixels (columns a multiple of the depth, rows of the frames).
constexpr Extent PictureExtent(const OutputKind& kind, std::uint64_t columns, std::uint64_t rows,
                               bool* whole = nullptr) {
    const auto frames = std::uint64_t(kind.pageFlipping() ? kind.frames : 1);
    const auto depth = std::uint64_t(kind.pageFlipping() ? 1 : kind.depth);
    if (whole) *whole = columns % depth == 0 && rows % frames == 0;
    return {columns / depth, rows / frames};
}

// In this order: "gro", "gro2", "gro4", "g04", "g08", "g16", "g32".
inline constexpr std::array<OutputKind, 7> kOutputKinds = {{
    {1, 0, "gro", "-1", "1-bit GROB"},
    {2, 0, "gro2", "-2", "2-bit GROB, 4 shades"},
    {4, 0, "gro4", "-4", "4-bit GROB, 16 shades"},
    {0, 2, "g04", "-g04", "2 page-flipping frames, 4 shades"},
    {0, 3, "g08", "-g08", "3 page-flipping frames, 8 shades"},
    {0, 4, "g16", "-g16", "4 page-flipping frames, 16 shades"},
    {0, 5, "g32", "-g32", "5 page-flipping frames, 32 shades"},
}};

constexpr const std::array<OutputKind, 7>& OutputKinds() {
    return kOutputKinds;
}

// The kind with this extension (exactly, case matters), or with this
// classic option.
std::optional<OutputKind> KindForExtension(std::string_view extension);
std::optional<OutputKind> KindForOption(std::string_view option);
// A GROB file's kind by its name: the extension, whatever its case (files
// copied from other systems often have upper-case names), or for a list the
// extension before ".lst" (walk.g16.lst); any other name is a plain 1-bit GROB.
OutputKind KindForFileName(std::string_view name);
// The fixed-depth kind of 1, 2 or 4 bits, or the page-flipping kind of 2..5 frames.
std::optional<OutputKind> KindForDepth(int depth);
std::optional<OutputKind> KindForFrames(int frames);
// What shows a GROB of this kind on the calculator, in a user's words:
// PVIEW for the 1-bit kind; a grayscale program for the others, which PVIEW
// shows as plain dots.
std::string ShownBy(const OutputKind& kind);

} // namespace grob
