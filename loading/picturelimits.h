// How much of a picture this program accepts, for every way of loading one.
#pragma once

#include "grob/options.h"

#include <cstdint>

namespace loading {

constexpr int kMaxSide = grob::kMaxSide;                    // pixels on either side
constexpr std::int64_t kMaxPixels = grob::kMaxPixels;       // pixels in all
constexpr std::int64_t kMaxFileBytes = 256LL * 1024 * 1024; // bytes of a picture file

inline bool TooLarge(std::int64_t width, std::int64_t height) {
    return width > kMaxSide || height > kMaxSide || width * height > kMaxPixels;
}

} // namespace loading
