// Shade sampling: one pixel to one shade. Brightness is the plain sum of the
// red, green and blue bytes; shades are inverted, so black gives the highest
// value and a set GROB bit is a dark dot.
#pragma once

#include "grob/raster.h"

#include <cstdint>

namespace grob {

// Channel sum of a colour value. Integer division truncates toward zero, so
// the outside value -1 splits into blue 0, green 0, red 255 (sum 255).
constexpr int ChannelSum(Colour colour) {
    const int blue = (colour / 65536) & 255;
    const int green = (colour / 256) & 255;
    const int red = colour & 255;
    return blue + green + red;
}

// Shade of a channel sum for D = 384, 192, 48 and M = 1, 3, 15.
constexpr std::uint8_t ShadeOfSum(int sum, int divisor, int mask) {
    const auto level = static_cast<std::uint8_t>(sum / divisor);
    return static_cast<std::uint8_t>(~level & mask);
}

// Inverted bit k of the mean brightness (sum / 3).
constexpr std::uint8_t FrameBitOfSum(int sum, int k) {
    const auto mean = static_cast<std::uint8_t>(sum / 3);
    return static_cast<std::uint8_t>(~(mean >> k) & 1);
}

std::uint8_t Get1bit(const PictureRaster& picture, int cx, int cy);
std::uint8_t Get2bit(const PictureRaster& picture, int cx, int cy);
std::uint8_t Get4bit(const PictureRaster& picture, int cx, int cy);
// One bit of frame `pg` of a `pcnt`-frame page-flipping GROB: bit 8 - pcnt + pg
// of the mean brightness, inverted. pcnt - pg must lie in 1..8.
std::uint8_t GetPF(const PictureRaster& picture, int pcnt, int pg, int cx, int cy);

} // namespace grob
