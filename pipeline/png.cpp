#include "png.h"

#include "grob/grobfile.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageWriter>

namespace pipeline {

std::vector<std::uint8_t> PngOf(const grob::Image& picture, const QString& name) {
    const QImage image(reinterpret_cast<const uchar*>(picture.pixels.data()), picture.width,
                       picture.height, qsizetype(picture.width) * 4, QImage::Format_RGBX8888);
    QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    // 96 dots per inch, whichever screen the process has: the same bytes everywhere.
    rgb.setDotsPerMeterX(3780);
    rgb.setDotsPerMeterY(3780);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!QImageWriter(&buffer, "png").write(rgb))
        throw grob::GrobError(grob::ErrorCode::WriteFailed, QFile::encodeName(name).toStdString(),
                              "the PNG cannot be made");
    return {png.begin(), png.end()};
}

} // namespace pipeline
