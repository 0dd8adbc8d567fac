// PNG files of pictures the program makes: GROBs seen in their shades, and
// the calculator's view.
#pragma once

#include "grob/raster.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace pipeline {

// The PNG of a picture (8-bit RGB). Throws GrobError when it cannot be made;
// `name` names the file in that error.
std::vector<std::uint8_t> PngOf(const grob::Image& picture, const QString& name);

} // namespace pipeline
