// Between the loader and the metafile renderer process. The loader runs
// `veldar-metafile wmf` or `veldar-metafile emf` and writes the file's bytes
// to its standard input; the renderer answers on standard output with
// "VMF1", width and height as 32-bit little-endian numbers, then
// width x height ARGB32 pixels, or fails with one line on standard error.
#pragma once

#include <QByteArray>
#include <QImage>

namespace metafile {

QByteArray EncodeImage(const QImage& image);
// The picture, or a null image for anything that is not a whole answer
// within the size limits.
QImage DecodeImage(const QByteArray& data);

} // namespace metafile
