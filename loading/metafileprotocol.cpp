#include "metafileprotocol.h"

#include "picturelimits.h"

#include <QtEndian>

#include <cstring>

namespace metafile {

QByteArray EncodeImage(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    QByteArray out("VMF1");
    char size[8];
    qToLittleEndian<qint32>(image.width(), size);
    qToLittleEndian<qint32>(image.height(), size + 4);
    out.append(size, 8);
    for (int y = 0; y < image.height(); ++y)
        out.append(reinterpret_cast<const char*>(image.constScanLine(y)),
                   qsizetype(image.width()) * 4);
    return out;
}

QImage DecodeImage(const QByteArray& data) {
    if (data.size() < 12 || !data.startsWith("VMF1")) return {};
    const qint32 w = qFromLittleEndian<qint32>(data.constData() + 4);
    const qint32 h = qFromLittleEndian<qint32>(data.constData() + 8);
    if (w <= 0 || h <= 0 || loading::TooLarge(w, h) || data.size() != 12 + qint64(w) * h * 4)
        return {};
    QImage image(w, h, QImage::Format_ARGB32);
    if (image.isNull()) return {};
    for (int y = 0; y < h; ++y)
        std::memcpy(image.scanLine(y), data.constData() + 12 + qint64(y) * w * 4, size_t(w) * 4);
    return image;
}

} // namespace metafile
