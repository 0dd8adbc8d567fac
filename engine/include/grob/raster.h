// What the encoders know about a picture: either the raster interface, one
// pixel read at a time (the reference path), or a plain view of pixels held
// in memory (the fast path).
#pragma once

#include <cstddef>
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

// Pixels in memory, row by row, top row first. Each 32-bit value reads as
// 0x??BBGGRR: red in the low byte; the top byte is ignored. `stride` counts
// 32-bit values from one row to the next.
struct PixelView {
    const std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;

    const std::uint32_t* row(int y) const {
        return pixels + static_cast<std::ptrdiff_t>(y) * stride;
    }
};

// A picture held in one contiguous buffer of 0x00BBGGRR values. The encoders
// recognise it and read its buffer through a PixelView.
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
    std::uint32_t* row(int y) { return pixels_.data() + static_cast<std::size_t>(y) * width_; }
    PixelView view() const { return {pixels_.data(), width_, height_, width_}; }

  private:
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint32_t> pixels_;
};

// A picture as loaded: owned pixels, row by row with no slack, each
// 0xFFBBGGRR (bytes R, G, B, 255 in memory: the layout of an RGBX8888
// image), composed over white.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    bool empty() const { return width <= 0 || height <= 0; }
    PixelView view() const { return {pixels.data(), width, height, width}; }
};

// The raster interface over a view, with the -1 rule outside it.
class ViewRaster final : public PictureRaster {
  public:
    explicit ViewRaster(PixelView view) : view_(view) {}
    int width() const override { return view_.width; }
    int height() const override { return view_.height; }
    Colour point(int x, int y) const override {
        if (x < 0 || y < 0 || x >= view_.width || y >= view_.height) return kOutside;
        return static_cast<Colour>(view_.row(y)[x] & 0xFFFFFFu);
    }

  private:
    PixelView view_;
};

} // namespace grob
