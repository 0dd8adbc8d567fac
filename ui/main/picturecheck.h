// Checks on picture files that the decoders do not make themselves: whether a
// file's content is a metafile or a headerless DIB, and whether a bitmap,
// JPEG or GIF is complete.
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

} // namespace picturecheck
