// A loaded picture, or why there is none. The loader and the metafile
// renderer both answer with it.
#pragma once

#include <QImage>
#include <QString>

namespace loading {

struct Picture {
    QImage image; // null on failure
    QString error;
    bool ok() const { return !image.isNull(); }

    static Picture Failure(const QString& why) { return {QImage(), why}; }
};

} // namespace loading
