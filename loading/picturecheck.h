// Checks on the bytes of picture files, made before any decoder sees them:
// what the content is, whether a bitmap, JPEG, GIF or XBM is complete, and
// which entry of an icon to show. Every function reads only inside `data`.
#pragma once

#include <QByteArray>

namespace picturecheck {

enum class Kind { Wmf, Emf, PackedDib, Other };

// What the content is, by its first bytes (never by the file's name).
Kind Sniff(const QByteArray& data);

// A BMP (with file header) or packed DIB whose pixel data is all there.
bool BitmapComplete(const QByteArray& data, bool hasFileHeader);
// A JPEG whose entropy-coded data reaches its end-of-image marker.
bool JpegComplete(const QByteArray& data);
// A GIF whose first image's data is all there.
bool GifComplete(const QByteArray& data);
// An X bitmap whose array holds every byte its width and height need and is closed.
bool XbmComplete(const QByteArray& data);

// The icon or cursor entry to show: the largest, then the one with the most colours.
int BestIconEntry(const QByteArray& data);

} // namespace picturecheck
