// How much of a picture this program accepts, for every way of loading one.
#pragma once

#include <QtGlobal>

namespace loading {

constexpr int kMaxSide = 16384;                       // pixels on either side
constexpr qint64 kMaxPixels = 32LL * 1024 * 1024;     // pixels in all
constexpr qint64 kMaxFileBytes = 256LL * 1024 * 1024; // bytes of a picture file
constexpr int kMetafileTimeoutMs = 30000;             // drawing one metafile

inline bool TooLarge(qint64 width, qint64 height) {
    return width > kMaxSide || height > kMaxSide || width * height > kMaxPixels;
}

} // namespace loading
