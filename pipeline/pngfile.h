// PNG files of pictures the program makes: GROBs seen in their shades, and
// the calculator's view.
#pragma once

#include "grob/raster.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pipeline {

// The PNG of a picture, in the smallest form that keeps every pixel (a
// 1-bit GROB seen in its shades is a 1-bit gray PNG). Throws grob::GrobError when it cannot be
// made; `name` names the file in that error.
std::vector<std::uint8_t> PngOf(const grob::Image& picture, const std::string& name);

} // namespace pipeline
