#include "pictureloader.h"

#include "grob/reader.h"
#include "metafileprotocol.h"
#include "picturecheck.h"
#include "regularfile.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QProcess>

#include <cstring>
#include <mutex>
#include <span>

#ifndef VELDAR_LIBEXEC_DIR
#define VELDAR_LIBEXEC_DIR ""
#endif

namespace pictureloader {

using loading::Picture;

QString TooLargeText(QSize size) {
    return QStringLiteral(
               "the picture is %1 x %2 pixels; at most %3 x %3 and %4 million pixels are accepted")
        .arg(size.width())
        .arg(size.height())
        .arg(loading::kMaxSide)
        .arg(loading::kMaxPixels / (1024 * 1024));
}

namespace {

bool TooLarge(QSize size) {
    return loading::TooLarge(size.width(), size.height());
}

// Decoders report damage in warnings (and some only there). While a picture
// is read, every message of the decoders is caught here: those that tell of
// damage fail the load, and none of them reaches the user's terminal.
thread_local bool t_collecting = false;
thread_local QStringList t_warnings;
QtMessageHandler g_previousHandler = nullptr;

void CollectWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (t_collecting) {
        if (type != QtDebugMsg && type != QtInfoMsg) t_warnings << message;
        return;
    }
    if (g_previousHandler) g_previousHandler(type, context, message);
}

class WarningCollector {
  public:
    WarningCollector() {
        static std::once_flag installed;
        std::call_once(installed,
                       [] { g_previousHandler = qInstallMessageHandler(CollectWarnings); });
        t_warnings.clear();
        t_collecting = true;
    }
    ~WarningCollector() { t_collecting = false; }
    WarningCollector(const WarningCollector&) = delete;
    WarningCollector& operator=(const WarningCollector&) = delete;
    QStringList warnings() const { return t_warnings; }
};

bool IsDamageWarning(const QString& warning) {
    // libjpeg's words for data that stops early or is corrupt, libpng's for
    // a broken stream; harmless remarks (colour profiles and the like) do
    // not count.
    return warning.contains(QLatin1String("Premature end"), Qt::CaseInsensitive) ||
           warning.contains(QLatin1String("Corrupt JPEG"), Qt::CaseInsensitive) ||
           warning.contains(QLatin1String("truncated"), Qt::CaseInsensitive) ||
           warning.contains(QLatin1String("libpng error"), Qt::CaseInsensitive);
}

// The common kinds by their first bytes. Naming the kind spares Qt from
// loading every image plugin to ask each whether it can read the data.
QByteArray KnownFormat(const QByteArray& data) {
    if (data.startsWith("\x89PNG\r\n\x1a\n")) return "png";
    if (data.startsWith("\xFF\xD8\xFF")) return "jpeg";
    if (data.startsWith("GIF87a") || data.startsWith("GIF89a")) return "gif";
    if (data.startsWith("BM")) return "bmp";
    if (data.startsWith(QByteArray("\0\0\1\0", 4))) return "ico";
    if (data.startsWith(QByteArray("\0\0\2\0", 4))) return "cur";
    return {};
}

// What Qt decoded, composed over white, as the engine's picture.
Picture Decoded(QImage image) {
    Picture picture;
    picture.image = ToImage(ComposeOverWhite(std::move(image)));
    return picture;
}

Picture ReadWithQt(const QByteArray& data, QByteArray format) {
    if (format.isEmpty()) format = KnownFormat(data);
    WarningCollector warnings;
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(format.isEmpty());
    reader.setAllocationLimit(int((loading::kMaxPixels * 4) / (1024 * 1024)) + 1);
    const QByteArray kind = format.isEmpty() ? reader.format() : format;
    if (kind.isEmpty())
        return Picture::Failure(QStringLiteral("not a picture of a kind this program reads"));

    if (kind == "ico" || kind == "cur") {
        const int best = picturecheck::BestIconEntry(data);
        if (best > 0 && !reader.jumpToImage(best))
            return Picture::Failure(QStringLiteral("the icon entry cannot be read"));
    }
    const QSize size = reader.size();
    if (size.isValid() && TooLarge(size)) return Picture::Failure(TooLargeText(size));

    if ((kind == "bmp" || kind == "dib") && !picturecheck::BitmapComplete(data, kind == "bmp"))
        return Picture::Failure(QStringLiteral("the bitmap's pixel data is cut short"));
    if (kind == "jpeg" && !picturecheck::JpegComplete(data))
        return Picture::Failure(QStringLiteral("the JPEG data is cut short"));
    if (kind == "gif" && !picturecheck::GifComplete(data))
        return Picture::Failure(QStringLiteral("the GIF data is cut short"));
    if (kind == "xbm" && !picturecheck::XbmComplete(data))
        return Picture::Failure(QStringLiteral("the X bitmap's data is cut short"));

    QImage image = reader.read();
    if (image.isNull()) return Picture::Failure(reader.errorString());
    for (const QString& warning : warnings.warnings())
        if (IsDamageWarning(warning))
            return Picture::Failure(
                QStringLiteral("the picture is damaged (%1)").arg(warning.trimmed()));
    if (TooLarge(image.size())) return Picture::Failure(TooLargeText(image.size()));
    return Decoded(std::move(image));
}

// Metafiles are drawn by a separate renderer process, so that a fault in a
// metafile library can never take this process down, and so that those
// libraries' global state (fonts, locale) stays out of it.
Picture RenderMetafile(const QByteArray& data, picturecheck::Kind kind, const Options& options) {
    const QString renderer = options.renderer.isEmpty() ? MetafileRendererPath() : options.renderer;
    if (renderer.isEmpty() || !QFileInfo(renderer).isExecutable())
        return Picture::Failure(QStringLiteral("the metafile renderer is not installed"));
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(renderer, {kind == picturecheck::Kind::Wmf ? QStringLiteral("wmf")
                                                             : QStringLiteral("emf")});
    if (!process.waitForStarted(10000))
        return Picture::Failure(QStringLiteral("the metafile renderer cannot be started"));
    process.write(data);
    process.closeWriteChannel();
    if (!process.waitForFinished(options.timeoutMs)) {
        process.kill();
        process.waitForFinished(2000);
        return Picture::Failure(QStringLiteral("drawing the metafile takes too long"));
    }
    const QByteArray output = process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit)
        return Picture::Failure(
            QStringLiteral("the metafile cannot be drawn (the renderer crashed)"));
    if (process.exitCode() != 0) {
        const QString why = QString::fromLocal8Bit(process.readAllStandardError())
                                .trimmed()
                                .section(u'\n', -1)
                                .trimmed();
        return Picture::Failure(why.isEmpty() ? QStringLiteral("the metafile cannot be drawn")
                                              : why);
    }
    QImage image = metafile::DecodeImage(output);
    if (image.isNull())
        return Picture::Failure(QStringLiteral("the metafile renderer gave no picture"));
    return Decoded(std::move(image));
}

// Over white, per channel: the premultiplied colour plus the white that
// shows through, exactly as the painter blends (round(c * a / 255) + 255 - a).
inline QRgb OverWhite(QRgb premultiplied) {
    const int clear = 255 - qAlpha(premultiplied);
    return qRgb(qRed(premultiplied) + clear, qGreen(premultiplied) + clear,
                qBlue(premultiplied) + clear);
}

// A GROB file's kind by its name: the extension, or the plain 1-bit GROB.
grob::OutputKind GrobKindForName(const QString& name) {
    const QString suffix = QFileInfo(name).suffix();
    return grob::KindForExtension(suffix.toStdString()).value_or(grob::OutputKinds()[0]);
}

// A GROB seen as a picture: each dot in the gray its kind's encoder turns
// into the same shade again, at natural size (one pixel per 2 or 4 columns
// for the grayscale kinds, one frame's height for page-flipping).
QImage GrobPicture(const grob::GrobObject& object, const grob::OutputKind& kind,
                   const QString& name) {
    const grob::ShadePicture shades =
        grob::ShadesOf(object, kind, name.toStdString(), loading::kMaxSide, loading::kMaxPixels);
    QImage image(shades.width, shades.height, QImage::Format_RGB32);
    QRgb grays[32];
    for (int level = 0; level < shades.shades; ++level) {
        const int g = grob::GrayOfShade(kind, level);
        grays[level] = qRgb(g, g, g);
    }
    const std::uint8_t* level = shades.levels.data();
    for (int y = 0; y < shades.height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < shades.width; ++x)
            line[x] = grays[*level++];
    }
    return image;
}

} // namespace

QString MetafileRendererPath() {
    const QString name = QStringLiteral("veldar-metafile");
    // Beside the program (build tree), where it was installed, and where an
    // installation moved to another prefix keeps it.
    const QString here = QCoreApplication::applicationDirPath();
    const QStringList places = {here, QStringLiteral(VELDAR_LIBEXEC_DIR),
                                here + QStringLiteral("/../libexec/veldar-convert")};
    for (const QString& dir : places) {
        if (dir.isEmpty()) continue;
        const QFileInfo candidate(dir + u'/' + name);
        if (candidate.isFile() && candidate.isExecutable()) return candidate.absoluteFilePath();
    }
    return {};
}

Picture LoadBytes(const QByteArray& data, const Options& options, const QString& name) {
    if (data.isEmpty()) return Picture::Failure(QStringLiteral("the file is empty"));
    if (data.size() > loading::kMaxFileBytes)
        return Picture::Failure(QStringLiteral("the file is too large"));
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(data.constData()),
                          std::size_t(data.size()));
    const bool binary = grob::LooksLikeBinaryGrob(bytes);
    if (binary || grob::LooksLikeTextGrob(bytes)) {
        try {
            const std::string label = name.toStdString();
            const grob::GrobObject object =
                binary ? grob::ReadBinaryGrob(bytes, label) : grob::ReadTextGrob(bytes, label);
            Picture picture = Decoded(GrobPicture(object, GrobKindForName(name), name));
            if (binary) picture.series = object.series;
            return picture;
        } catch (const grob::GrobReadError& e) {
            return Picture::Failure(QString::fromStdString(e.cause()));
        }
    }
    switch (const auto kind = picturecheck::Sniff(data)) {
    case picturecheck::Kind::Wmf:
    case picturecheck::Kind::Emf:
        return RenderMetafile(data, kind, options);
    case picturecheck::Kind::PackedDib:
        return ReadWithQt(data, "dib");
    case picturecheck::Kind::Other:
        break;
    }
    return ReadWithQt(data, {});
}

Picture Load(const QString& path, const Options& options) {
    QString error;
    const auto data = loading::ReadRegularFile(path, loading::kMaxFileBytes, &error);
    if (!data) return Picture::Failure(error);
    return LoadBytes(*data, options, path);
}

QImage ComposeOverWhite(QImage image) {
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_RGBX8888:
        break; // opaque already
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied: {
        const bool premultiplied = image.format() == QImage::Format_ARGB32_Premultiplied;
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] = OverWhite(premultiplied ? line[x] : qPremultiply(line[x]));
        }
        image.reinterpretAsFormat(QImage::Format_RGB32);
        break;
    }
    case QImage::Format_Indexed8:
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB: {
        QList<QRgb> table = image.colorTable();
        for (QRgb& entry : table)
            entry = OverWhite(qPremultiply(entry));
        image.setColorTable(table);
        image.convertTo(QImage::Format_RGB32);
        break;
    }
    default: {
        // Rare formats (16-bit channels, 16-bit pixels): drawn by the painter.
        QImage composed(image.size(), QImage::Format_RGB32);
        composed.fill(Qt::white);
        QPainter painter(&composed);
        painter.drawImage(0, 0, image);
        painter.end();
        image = std::move(composed);
        break;
    }
    }
    image.convertTo(QImage::Format_RGBX8888);
    return image;
}

grob::Image ToImage(const QImage& composed) {
    Q_ASSERT(composed.isNull() || composed.format() == QImage::Format_RGBX8888);
    grob::Image image;
    image.width = composed.width();
    image.height = composed.height();
    image.pixels.resize(std::size_t(image.width) * std::size_t(image.height));
    for (int y = 0; y < image.height; ++y)
        std::memcpy(image.pixels.data() + std::size_t(y) * std::size_t(image.width),
                    composed.constScanLine(y), std::size_t(image.width) * 4);
    return image;
}

std::optional<QSize> PeekSize(const QByteArray& data, const QString& name) {
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(data.constData()),
                          std::size_t(data.size()));
    if (grob::LooksLikeBinaryGrob(bytes) || grob::LooksLikeTextGrob(bytes)) {
        try {
            const grob::GrobObject object = grob::LooksLikeBinaryGrob(bytes)
                                                ? grob::ReadBinaryGrob(bytes, "")
                                                : grob::ReadTextGrob(bytes, "");
            const grob::OutputKind kind = GrobKindForName(name);
            const std::uint32_t w = kind.pageFlipping() ? object.width : object.width / kind.depth;
            const std::uint32_t h =
                kind.pageFlipping() ? object.height / kind.frames : object.height;
            return QSize(int(w), int(h));
        } catch (const grob::GrobReadError&) {
            return std::nullopt;
        }
    }
    const QByteArray format = picturecheck::Sniff(data) == picturecheck::Kind::PackedDib
                                  ? QByteArray("dib")
                                  : KnownFormat(data);
    if (format.isEmpty()) return std::nullopt; // only the common kinds are asked
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(false);
    const QSize size = reader.size();
    if (!size.isValid()) return std::nullopt;
    return size;
}

grob::PixelView ViewOf(const QImage& composed) {
    Q_ASSERT(composed.isNull() || composed.format() == QImage::Format_RGBX8888);
    return {reinterpret_cast<const std::uint32_t*>(composed.constBits()), composed.width(),
            composed.height(), composed.bytesPerLine() / 4};
}

} // namespace pictureloader
