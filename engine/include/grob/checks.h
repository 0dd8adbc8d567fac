// What a conversion refuses for its sizes, worked out before any work and
// worded once for every front end (window, command line, web page): a
// picture too large to load, a fit that enlarges it beyond what is made, a
// GROB larger than its fields hold. Hints name the front end's own controls.
#pragma once

#include "grob/kinds.h"
#include "grob/prepare.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace grob {

// Largest side of a fit box, and of any picture this program makes or accepts.
inline constexpr int kMaxSide = 16384;
// Most pixels of a picture this program makes or accepts.
inline constexpr std::int64_t kMaxPixels = 32LL * 1024 * 1024;

// Whether a picture of this size is beyond the limits: by default the
// program's own, for every way of loading a picture; the decoders take
// theirs from their options.
constexpr bool TooLarge(std::int64_t width, std::int64_t height, std::int64_t maxSide = kMaxSide,
                        std::int64_t maxPixels = kMaxPixels) {
    return width > maxSide || height > maxSide || width * height > maxPixels;
}

// "12,345,678"
std::string Thousands(std::int64_t value);

// Why a picture of this size is not accepted (beyond those limits); empty
// when it is.
std::string PictureSizeRefusal(std::int64_t width, std::int64_t height,
                               std::int64_t maxSide = kMaxSide,
                               std::int64_t maxPixels = kMaxPixels);

// What to say after a refusal: how to choose a smaller fit, and how to enlarge less.
struct Hints {
    std::string_view fit;     // "fit it to the screen with --fit 131x64 (or another size)"
    std::string_view enlarge; // "choose a smaller --fit or leave out --upscale"
};
// The hints of the command line, which names its options.
inline constexpr Hints kCommandLineHints{"fit it to the screen with --fit 131x64 (or another size)",
                                         "choose a smaller --fit or leave out --upscale"};

// What converting a `width` x `height` picture prepared as `preparation`
// into `kind` makes, worked out once: the picture's size cropped, fitted
// and turned, the GROB's size in dots, and why it is refused (the crop
// outside the picture; the enlarged picture, or the GROB, too large, when a
// smaller fit would help); no refusal when it is not.
struct ConversionSize {
    int width = 0;
    int height = 0;
    Extent grob;
    std::string refusal;
    bool smallerFitHelps = false;
};
ConversionSize SizeOfConversion(int width, int height, const OutputKind& kind,
                                const Preparation& preparation, const Hints& hints);
// Why the preparation's crop cannot be made of a `width` x `height` picture
// (it lies entirely outside it); empty when it can, or when there is none.
std::string CropRefusal(int width, int height, const Preparation& preparation);

// Why tiles of `tileWidth` x `tileHeight` pixels could never be converted,
// whatever the picture (every tile has that size, padded or not): more
// pixels than any picture may have, or, prepared as `preparation`, a GROB
// of `kind` larger than its fields hold (no kind: the tiles are written as
// pictures, not GROBs). Empty when they can be.
std::string TileSizeRefusal(int tileWidth, int tileHeight, std::optional<OutputKind> kind,
                            const Preparation& preparation, const Hints& hints);

} // namespace grob
