// Drawing Windows metafiles (WMF) and enhanced metafiles (EMF) at their
// natural size at 96 dots per inch.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace metafile {

// The metafile libraries are not ours and some read a little past the end
// of what they are given: `data` is the file's bytes followed by at least
// kMargin zero bytes, and `size` the file's own length.
constexpr qsizetype kMargin = 4096;

// A drawn metafile, or why there is none.
struct Rendered {
    QImage image; // null on failure
    QString error;
    bool ok() const { return !image.isNull(); }
    static Rendered Failure(const QString& why) { return {QImage(), why}; }
};

Rendered RenderWmf(QByteArray& data, qsizetype size);
Rendered RenderEmf(QByteArray& data, qsizetype size);

} // namespace metafile
