#include "grob/raster.h"

#include <algorithm>

namespace grob {

MemoryRaster::MemoryRaster(int width, int height, std::uint32_t fill)
    : width_(std::max(width, 0)), height_(std::max(height, 0)),
      pixels_(static_cast<std::size_t>(width_) * height_, fill & 0xFFFFFFu) {}

void MemoryRaster::setPixel(int x, int y, std::uint32_t bgr) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    pixels_[static_cast<std::size_t>(y) * width_ + x] = bgr & 0xFFFFFFu;
}

} // namespace grob
