// How much of a picture this program accepts, for every way of loading one.
#pragma once

#include "grob/options.h"

#include <QtGlobal>

namespace loading {

constexpr int kMaxSide = grob::kMaxSide;              // pixels on either side
constexpr qint64 kMaxPixels = grob::kMaxPixels;       // pixels in all
constexpr qint64 kMaxFileBytes = 256LL * 1024 * 1024; // bytes of a picture file

inline bool TooLarge(qint64 width, qint64 height) {
    return width > kMaxSide || height > kMaxSide || width * height > kMaxPixels;
}

} // namespace loading
