// Picture raster: what the encoders need to know about a picture.
#pragma once

#include <cstdint>
#include <vector>

namespace grob {

// Colour value as a pixel read gives it: 0x00BBGGRR (red in the low byte),
// or -1 for any point outside the picture.
using Colour = std::int32_t;
constexpr Colour kOutside = -1;

class PictureRaster {
  public:
    virtual ~PictureRaster() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
    // Colour of pixel (x, y), or kOutside when the point is not in the picture.
    virtual Colour point(int x, int y) const = 0;
};

// A picture held in one contiguous buffer of 0x00BBGGRR values, row by row,
// top row first. The encoders recognise it and read its buffer directly.
class MemoryRaster final : public PictureRaster {
  public:
    MemoryRaster() = default;
    // Every pixel starts as `fill`. Negative sizes count as 0.
    MemoryRaster(int width, int height, std::uint32_t fill = 0x00FFFFFF);

    int width() const override { return width_; }
    int height() const override { return height_; }
    Colour point(int x, int y) const override {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return kOutside;
        return static_cast<Colour>(pixels_[static_cast<std::size_t>(y) * width_ + x] & 0xFFFFFFu);
    }

    // Stores the low 24 bits of `bgr`; points outside the picture are ignored.
    void setPixel(int x, int y, std::uint32_t bgr);

    // Direct access to a row. Only the low 24 bits of each value count.
    const std::uint32_t* row(int y) const {
        return pixels_.data() + static_cast<std::size_t>(y) * width_;
    }
    std::uint32_t* row(int y) { return pixels_.data() + static_cast<std::size_t>(y) * width_; }
    const std::uint32_t* data() const { return pixels_.data(); }

  private:
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint32_t> pixels_;
};

} // namespace grob
