// Drawing Windows metafiles (WMF) and enhanced metafiles (EMF) at their
// natural size at 96 dots per inch.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace metafile {

struct Rendered {
    QImage image; // null on failure
    QString error;
};

Rendered RenderWmf(const QByteArray& data);
Rendered RenderEmf(const QByteArray& data);

} // namespace metafile
