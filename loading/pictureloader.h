// Picture loading: a path (or the bytes of a file) in, a picture or the
// reason there is none out.
#pragma once

#include "grob/raster.h"
#include "picture.h"
#include "picturelimits.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

namespace pictureloader {

struct Options {
    QString renderer; // the metafile renderer to run; empty: MetafileRendererPath()
    int timeoutMs = loading::kMetafileTimeoutMs;
};

// Loads JPEG, GIF, BMP, DIB (with or without file header), ICO, CUR, WMF,
// EMF, GROBs in the binary and the text form, and every other kind Qt reads.
// The kind is told by content; only a GROB's kind (gro, gro2, ..., g32) is
// told by the file name's extension, any other name being a plain 1-bit
// GROB. A file that cannot be read whole, or that is not a regular file, is
// a failure.
loading::Picture Load(const QString& path, const Options& options = {});
// The same for a file's bytes (standard input, say); `name` tells a GROB's kind.
loading::Picture LoadBytes(const QByteArray& data, const Options& options = {},
                           const QString& name = {});

// The picture's size from its header alone, before any decoding; nothing
// when the header does not tell it (metafiles) or is not readable.
std::optional<QSize> PeekSize(const QByteArray& data, const QString& name = {});

// Why a picture of this size is refused.
QString TooLargeText(QSize size);

// Where the metafile renderer lives (beside the program, or installed).
QString MetafileRendererPath();

// The picture composed over a white background, as one 32-bit image whose
// pixels read as 0x??BBGGRR (Format_RGBX8888): what the window shows and the
// encoders read. Works in place for the common decoded formats, so that a
// large picture is never held twice.
QImage ComposeOverWhite(QImage image);
// The encoders' view of a composed image.
grob::PixelView ViewOf(const QImage& composed);
// A composed image's pixels, copied.
grob::Image ToImage(const QImage& composed);

} // namespace pictureloader
