#include "preview.h"

#include "grob/encoders.h"
#include "grob/reader.h"

#include <QLocale>
#include <QPainter>

namespace preview {

namespace {

QRgb Mix(int level, int levels) {
    // Level 0 is the pale background, the last level a fully dark dot; a
    // page-flipping dot is dark for its frames' share of the time, each frame
    // counting by the weight of the bit it carries.
    const double dark = double(level) / (levels - 1);
    auto channel = [&](int light, int full) { return int(light + (full - light) * dark + 0.5); };
    return qRgb(channel(qRed(kLcdLight), qRed(kLcdDark)),
                channel(qGreen(kLcdLight), qGreen(kLcdDark)),
                channel(qBlue(kLcdLight), qBlue(kLcdDark)));
}

} // namespace

QImage Picture(const std::vector<std::uint8_t>& file, const grob::OutputKind& kind, int zoom) {
    zoom = std::max(1, zoom);
    const grob::GrobObject object = grob::ReadBinaryGrob(file, "preview");
    const grob::ShadePicture shades = grob::ShadesOf(object, kind, "preview", 1 << 20, 1LL << 40);
    // At least the screen's size, so that its outline always shows.
    const int w = std::max(shades.width, kScreens[1].width),
              h = std::max(shades.height, kScreens[1].height);
    QImage image(w * zoom, h * zoom, QImage::Format_RGB32);
    image.fill(kLcdLight);
    std::vector<QRgb> colours(std::size_t(shades.shades));
    for (int level = 0; level < shades.shades; ++level)
        colours[std::size_t(level)] = Mix(level, shades.shades);
    for (int y = 0; y < shades.height; ++y)
        for (int dy = 0; dy < zoom; ++dy) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y * zoom + dy));
            const std::uint8_t* level = shades.levels.data() + std::size_t(y) * shades.width;
            for (int x = 0; x < shades.width; ++x)
                std::fill_n(line + x * zoom, zoom, colours[level[x]]);
        }
    QPainter painter(&image);
    for (const Screen& screen : kScreens) {
        QPen pen(QColor::fromRgb(kOutline), 1, screen.height == 64 ? Qt::SolidLine : Qt::DashLine);
        painter.setPen(pen);
        painter.drawRect(QRectF(0.5, 0.5, screen.width * zoom - 1.0, screen.height * zoom - 1.0));
    }
    return image;
}

std::vector<std::uint8_t> Encode(const grob::PixelView& picture, const grob::OutputKind& kind,
                                 grob::Series series, const grob::Preparation& preparation,
                                 const std::string& name) {
    if (preparation.neutral()) return grob::EncodeGrob(kind, picture, series, name);
    const grob::MemoryRaster prepared = grob::Prepare(picture, kind, preparation);
    return grob::EncodeGrob(kind, prepared.view(), series, name);
}

View Render(const grob::PixelView& picture, const grob::OutputKind& kind, grob::Series series,
            const grob::Preparation& preparation, int zoom) {
    View view;
    view.file = Encode(picture, kind, series, preparation, "preview");
    const grob::GrobObject object = grob::ReadBinaryGrob(view.file, "preview");
    view.dotsWide = int(object.width);
    view.dotsHigh = int(object.height);
    view.image = Picture(view.file, kind, zoom);
    return view;
}

QString Describe(const View& view) {
    return QStringLiteral("%1 x %2 dots, %3 bytes")
        .arg(view.dotsWide)
        .arg(view.dotsHigh)
        .arg(QLocale(QLocale::English).toString(qlonglong(view.file.size())));
}

} // namespace preview
