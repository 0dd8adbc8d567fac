// Checks on the bytes of picture files, made before any decoder sees them:
// what the content is, whether a bitmap, JPEG, GIF or XBM is complete, and
// which entry of an icon to show. Every function reads only inside `data`.
#pragma once

#include <cstdint>
#include <span>

namespace picturecheck {

using Bytes = std::span<const std::uint8_t>;

enum class Kind { Wmf, Emf, PackedDib, Other };

// What the content is, by its first bytes (never by the file's name).
Kind Sniff(Bytes data);

// A BMP (with file header) or packed DIB whose pixel data is all there.
bool BitmapComplete(Bytes data, bool hasFileHeader);
// A JPEG whose entropy-coded data reaches its end-of-image marker.
bool JpegComplete(Bytes data);
// A GIF whose first image's data is all there.
bool GifComplete(Bytes data);
// An X bitmap whose array holds every byte its width and height need and is closed.
bool XbmComplete(Bytes data);

// The icon or cursor entry to show: the largest, then the one with the most colours.
int BestIconEntry(Bytes data);

} // namespace picturecheck
