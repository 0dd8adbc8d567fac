// Picture loading: a path in, a picture (or the reason there is none) out.
#pragma once

#include <QImage>
#include <QString>

namespace pictureloader {

// Pictures larger than this are refused: every picture is held several
// times over (decoded, shown, and as the raster the encoders read).
constexpr int kMaxSide = 16384;
constexpr qint64 kMaxPixels = 32LL * 1024 * 1024;
constexpr qint64 kMaxFileBytes = 256LL * 1024 * 1024;

struct Result {
    QImage image; // null on failure
    QString error;
    bool ok() const { return !image.isNull(); }
};

// Loads JPEG, GIF, BMP, DIB (with or without file header), ICO, CUR, WMF,
// EMF and every other kind Qt reads. The kind is told by content. A file that
// cannot be read whole is a failure.
Result Load(const QString& path);

// Where the metafile renderer lives (beside the program, or installed).
QString MetafileRendererPath();

} // namespace pictureloader
