#include "picturecheck.h"
#include "picturelimits.h"
#include "render.h"

#include <emf2svg.h>

#include <QPainter>
#include <QSvgRenderer>
#include <QtEndian>

#include <cmath>
#include <cstdlib>

// libemf2svg tears fontconfig down when it is done with it, under the feet of
// Qt, which draws the SVG text next. Calls to FcFini from the library land
// here instead (the renderer exports it, so that the library, opened later,
// finds it first) and do nothing; the process ends soon after anyway.
extern "C" void FcFini(void) {}

namespace render {

namespace {

qint32 I32(const QByteArray& d, int at) {
    return qFromLittleEndian<qint32>(d.constData() + at);
}

} // namespace

Rendered RenderEmf(QByteArray& source, qsizetype size) {
    if (size < 88)
        return Rendered::Failure(QStringLiteral("the enhanced metafile's header is cut short"));
    // Header: bounds (device pixels) at 8, frame (0.01 mm) at 24, reference
    // device size in pixels at 72 and in millimetres at 80.
    const double boundsLeft = I32(source, 8), boundsTop = I32(source, 12);
    const double frameLeft = I32(source, 24), frameTop = I32(source, 28);
    const double frameRight = I32(source, 32), frameBottom = I32(source, 36);
    const double devicePxW = I32(source, 72), devicePxH = I32(source, 76);
    const double deviceMmW = I32(source, 80), deviceMmH = I32(source, 84);
    const double frameW = frameRight - frameLeft, frameH = frameBottom - frameTop;
    // The size the loader reads from the header: the frame's at 96 dots per inch.
    const auto natural = picturecheck::EmfSize(
        {reinterpret_cast<const std::uint8_t*>(source.constData()), std::size_t(size)});
    if (!natural) return Rendered::Failure(QStringLiteral("the enhanced metafile has no size"));
    const double width = double(natural->width), height = double(natural->height);
    if (width < 1 || height < 1 || grob::TooLarge(natural->width, natural->height))
        return Rendered::Failure(
            QStringLiteral("the metafile's size (%1 x %2 pixels) is not accepted")
                .arg(width)
                .arg(height));

    if (const std::string& why = OpenMetafileLibrary(Metafile::Emf); !why.empty())
        return Rendered::Failure(QString::fromStdString(why));
    generatorOptions options{};
    char noNamespace[] = "";
    options.nameSpace = noNamespace;
    options.emfplus = true;
    options.svgDelimiter = true;
    char* svg = nullptr;
    size_t svgLength = 0;
    const int ok = emf2svg(source.data(), size_t(size), &svg, &svgLength, &options);
    const QByteArray made(svg ? svg : "", svg ? qsizetype(svgLength) : 0);
    std::free(svg);
    if (!ok || made.isEmpty())
        return Rendered::Failure(QStringLiteral("the enhanced metafile is damaged"));
    // What the metafile carries (text, names of pictures) goes into the SVG:
    // nothing outside it may be drawn.
    QString unreadable;
    const QByteArray document = WithoutOutsideReferences(made, &unreadable);
    if (document.isNull())
        return Rendered::Failure(QStringLiteral("the enhanced metafile is damaged"));
    if (!Affordable(qint64(width * height * 4))) return Rendered::NoMemory();

    QSvgRenderer renderer(document);
    if (!renderer.isValid())
        return Rendered::Failure(QStringLiteral("the enhanced metafile is damaged"));
    // The SVG is in reference-device pixels, shifted so that the bounds'
    // corner is its origin. Show the frame, not just what is drawn.
    if (devicePxW > 0 && devicePxH > 0 && deviceMmW > 0 && deviceMmH > 0) {
        const double perUnitX = devicePxW / (deviceMmW * 100.0);
        const double perUnitY = devicePxH / (deviceMmH * 100.0);
        renderer.setViewBox(QRectF(frameLeft * perUnitX - boundsLeft,
                                   frameTop * perUnitY - boundsTop, frameW * perUnitX,
                                   frameH * perUnitY));
    }
    QImage image(int(width), int(height), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return Rendered::NoMemory();
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(0, 0, width, height));
    painter.end();
    return {std::move(image), {}};
}

} // namespace render
