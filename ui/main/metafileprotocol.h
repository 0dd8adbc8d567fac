// What the metafile renderer process sends back: "VMF1", width and height as
// 32-bit little-endian numbers, then width x height ARGB32 pixels.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QtEndian>

#include <cstring>

namespace metafile {

constexpr int kTimeoutMs = 30000;
constexpr int kMaxSide = 16384;
constexpr qint64 kMaxPixels = 32LL * 1024 * 1024;

inline QByteArray EncodeImage(const QImage& source) {
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

inline QImage DecodeImage(const QByteArray& data) {
    if (data.size() < 12 || !data.startsWith("VMF1")) return {};
    const qint32 w = qFromLittleEndian<qint32>(data.constData() + 4);
    const qint32 h = qFromLittleEndian<qint32>(data.constData() + 8);
    if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide || qint64(w) * h > kMaxPixels ||
        data.size() != 12 + qint64(w) * h * 4)
        return {};
    QImage image(w, h, QImage::Format_ARGB32);
    if (image.isNull()) return {};
    for (int y = 0; y < h; ++y)
        std::memcpy(image.scanLine(y), data.constData() + 12 + qint64(y) * w * 4, size_t(w) * 4);
    return image;
}

} // namespace metafile
