// The calculator's view of a GROB: decoded from the bytes a conversion
// writes, dark dots on a pale LCD background, the grayscale and
// page-flipping kinds in their shades, at a whole-number zoom, with the
// outlines of the calculator screens drawn in the margin and the gaps around
// the dots, never over a dot. Plain C++: the window, the command line and
// the web page draw the same pixels.
#pragma once

#include "grob/kinds.h"
#include "grob/raster.h"
#include "grob/reader.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace preview {

// Colours as the preview's pixels hold them: 0xFFBBGGRR (an RGBX image).
constexpr std::uint32_t Rgb(unsigned red, unsigned green, unsigned blue) {
    return 0xFF000000u | blue << 16 | green << 8 | red;
}
constexpr std::uint32_t kLcdLight = Rgb(0xC5, 0xCF, 0xB4); // the screen's background
constexpr std::uint32_t kLcdDark = Rgb(0x1F, 0x2A, 0x24);  // a set dot
constexpr std::uint32_t kOutline = Rgb(0xD0, 0x30, 0x2C);  // the screens' edges

// Pixels around the dots, where the screens' outlines are drawn.
constexpr int kMargin = 4;

struct Size {
    std::int64_t width;
    std::int64_t height;
};
// The preview's size for a picture of `width` x `height` pixels (dots, or
// grayscale pixels) at `zoom`: at least the larger screen, plus the margin.
Size PreviewSize(int width, int height, int zoom);
// The largest zoom up to `wanted` whose preview stays within
// grob::kMaxPreviewPixels; 0 when not even zoom 1 does.
int ZoomWithin(int width, int height, int wanted);

// The zoom a preview of a `width` x `height` picture is drawn at, asked for
// `wanted`: that one when it stays within grob::kMaxPreviewPixels; else a
// lower one with a note (when `lower`), or a refusal that says which zoom to
// use (`zoomHint`, say "use --zoom %d or lower", gets the number) or, when
// not even zoom 1 will do, `fitHint`.
struct ZoomChoice {
    int zoom = 0;
    std::string refusal; // empty: drawn at `zoom`
    std::string note;    // the zoom was lowered
};
ZoomChoice ChooseZoom(int width, int height, int wanted, bool lower, std::string_view zoomHint,
                      std::string_view fitHint);

// The colour of shade `level` of `levels`: level 0 the pale background, the
// last a fully dark dot. A page-flipping dot is dark for its frames' share of
// the time, each frame counting by the weight of the bit it carries.
std::uint32_t ShadeColour(int level, int levels);

// The view of a GROB's shades. Throws std::length_error when the preview
// would be larger than grob::kMaxPreviewPixels (check with ZoomWithin).
grob::Image Draw(const grob::ShadePicture& shades, int zoom);
// The view of a GROB object, in its own kind's shades. Throws GrobReadError
// when its size does not fit its kind.
grob::Image Draw(const grob::GrobObject& object, int zoom);
// The view of a whole GROB file of `kind`. Throws GrobReadError for bytes
// that are not a GROB of the kind.
grob::Image DrawFile(std::span<const std::uint8_t> file, const grob::OutputKind& kind, int zoom);

} // namespace preview
