// The calculator's view of a GROB: decoded from the bytes a conversion
// writes, dark dots on a pale LCD background, the grayscale and
// page-flipping kinds in their shades, at a whole-number zoom, with the
// outlines of the calculator screens drawn over it.
#pragma once

#include "grob/grobfile.h"
#include "grob/kinds.h"
#include "grob/prepare.h"
#include "grob/raster.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <vector>

namespace preview {

constexpr QRgb kLcdLight = 0xFFC5CFB4; // the screen's background
constexpr QRgb kLcdDark = 0xFF1F2A24;  // a set dot
constexpr QRgb kOutline = 0xFFD0302C;  // the screen's edge

// The calculator screens: 131 x 64 (HP 48 series, HP 49G), 131 x 80 (later HP 49 models).
struct Screen {
    int width;
    int height;
};
constexpr Screen kScreens[] = {{131, 64}, {131, 80}};

// A conversion and what it looks like.
struct View {
    std::vector<std::uint8_t> file; // the whole GROB file the conversion writes
    QImage image;                   // the calculator's view, zoomed
    int dotsWide = 0;               // the GROB's size in dots (columns and rows)
    int dotsHigh = 0;
};

// The whole GROB file of `picture`, prepared as `preparation` asks (not at
// all when it is neutral). Throws GrobError when the GROB would be too large.
std::vector<std::uint8_t> Encode(const grob::PixelView& picture, const grob::OutputKind& kind,
                                 grob::Series series, const grob::Preparation& preparation,
                                 const std::string& name);

// Converts `picture` (prepared as `preparation` asks) into `kind` and
// renders the result at `zoom`. Throws GrobError when the GROB would be too large.
View Render(const grob::PixelView& picture, const grob::OutputKind& kind, grob::Series series,
            const grob::Preparation& preparation, int zoom);

// The view of GROB bytes as they are (the file of a kind).
QImage Picture(const std::vector<std::uint8_t>& file, const grob::OutputKind& kind, int zoom);

// "131 x 256 dots, 4,210 bytes"
QString Describe(const View& view);

} // namespace preview
