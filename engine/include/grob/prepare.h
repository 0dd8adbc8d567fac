// Preparing a picture for the calculator's screen before it is encoded:
// fitting it to a size, its tone, and dithering in the chosen kind's own
// shade levels. The encoders stay as they are: preparation yields a picture
// of grays whose channel sums fall in the bands the kind's encoder turns
// into exactly the levels chosen here.
//
// A prepared picture's brightness is its luminance with the Rec. 601
// weights, in whole numbers: (299 R + 587 G + 114 B + 500) / 1000, so a gray
// pixel keeps its value exactly. (The plain conversion, which never
// prepares, keeps the encoders' rule: the sum of the three channels.)
#pragma once

#include "grob/kinds.h"
#include "grob/raster.h"

#include <optional>
#include <string_view>

namespace grob {

enum class Dither { None, FloydSteinberg, Atkinson, Ordered };

std::optional<Dither> DitherForName(std::string_view name); // "none", "floyd-steinberg", ...
std::string_view NameOfDither(Dither dither);

struct Preparation {
    // Fit inside width x height keeping the aspect ratio: smaller by
    // averaging areas, larger only with `upscale`, by whole factors.
    int fitWidth = 0; // 0: natural size
    int fitHeight = 0;
    bool upscale = false;
    double brightness = 0; // -100 .. 100, added to every level (in 1/100 of full scale)
    double contrast = 0;   // -100 .. 100, spread about the middle gray
    double gamma = 1;      // > 0; above 1 lightens the mid-tones
    bool invert = false;
    Dither dither = Dither::None;

    bool fits() const { return fitWidth > 0 && fitHeight > 0; }
    bool toned() const { return brightness != 0 || contrast != 0 || gamma != 1 || invert; }
    // Every option at its default: the picture goes to the encoder as it is.
    bool neutral() const { return !fits() && !toned() && dither == Dither::None; }
};

// The size the picture takes when fitted (its own size when not fitted).
void FittedSize(const Preparation& preparation, int width, int height, int& outWidth,
                int& outHeight);

// The picture fitted; colours are kept (each pixel 0x00BBGGRR).
MemoryRaster Fit(const PixelView& picture, const Preparation& preparation);

// The prepared picture for `kind`: fitted, then every pixel its luminance,
// toned and dithered, as grays (a fit alone also yields grays). Dithering
// chooses among the kind's level grays (GrayOfShade): error diffusion runs
// every row left to right, takes the nearest (the lighter of two equally
// near) and passes on the difference from it, what it carries into a dot
// kept within black and white; ordered dithering interpolates between the
// two neighbouring level grays; so a picture made of level grays comes back
// unchanged. Without dithering the toned grays go to the encoder's own
// bands. Only call it when the preparation is not neutral; a neutral one
// leaves the picture as it is.
MemoryRaster Prepare(const PixelView& picture, const OutputKind& kind,
                     const Preparation& preparation);
// The same from a picture already fitted as `preparation` asks (its fit is
// not applied again): every pixel its luminance, toned and dithered. A fit
// alone gives the luminance grays too, so a preview that keeps the fitted
// picture and this one give the same bytes as Prepare.
MemoryRaster PrepareFitted(MemoryRaster fitted, const OutputKind& kind,
                           const Preparation& preparation);

} // namespace grob
