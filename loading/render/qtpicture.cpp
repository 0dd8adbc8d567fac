#include "render.h"

#include "grob/checks.h"
#include "picturecheck.h"
#include "picturelimits.h"
#include "renderprotocol.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <limits>
#include <mutex>
#include <vector>

namespace render {

namespace {

QString TooLargeText(QSize size) {
    return QString::fromStdString(grob::PictureSizeRefusal(size.width(), size.height()));
}

picturecheck::Bytes Span(const QByteArray& data) {
    return {reinterpret_cast<const std::uint8_t*>(data.constData()), std::size_t(data.size())};
}

bool TooLarge(QSize size) {
    return loading::TooLarge(size.width(), size.height());
}

// Over white, per channel: the premultiplied colour plus the white that
// shows through, exactly as the painter blends (round(c * a / 255) + 255 - a).
inline QRgb OverWhite(QRgb premultiplied) {
    const int clear = 255 - qAlpha(premultiplied);
    return qRgb(qRed(premultiplied) + clear, qGreen(premultiplied) + clear,
                qBlue(premultiplied) + clear);
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

// The kinds Qt is told by their first bytes: naming the kind spares Qt
// from asking every image plugin whether it can read the data.
QByteArray KnownFormat(const QByteArray& data) {
    if (data.startsWith("\x89PNG\r\n\x1a\n")) return "png";
    if (data.startsWith("\xFF\xD8\xFF")) return "jpeg";
    if (data.startsWith("GIF87a") || data.startsWith("GIF89a")) return "gif";
    if (data.startsWith("BM")) return "bmp";
    if (data.startsWith(QByteArray("\0\0\1\0", 4))) return "ico";
    if (data.startsWith(QByteArray("\0\0\2\0", 4))) return "cur";
    if (picturecheck::Sniff(Span(data)) == picturecheck::Kind::PackedDib) return "dib";
    return {};
}

} // namespace

Rendered ReadWithQt(const QByteArray& data) {
    const QByteArray format = KnownFormat(data);
    WarningCollector warnings;
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(format.isEmpty());
    reader.setAllocationLimit(int((loading::kMaxPixels * 4) / (1024 * 1024)) + 1);
    const QByteArray kind = format.isEmpty() ? reader.format() : format;
    if (kind.isEmpty())
        return Rendered::Failure(QStringLiteral("not a picture of a kind this program reads"));

    if (kind == "ico" || kind == "cur") {
        const int best = picturecheck::BestIconEntry(Span(data));
        if (best > 0 && !reader.jumpToImage(best))
            return Rendered::Failure(QStringLiteral("the icon entry cannot be read"));
    }
    const QSize size = reader.size();
    if (size.isValid() && TooLarge(size)) return Rendered::Failure(TooLargeText(size));

    if ((kind == "bmp" || kind == "dib") &&
        !picturecheck::BitmapComplete(Span(data), kind == "bmp"))
        return Rendered::Failure(QStringLiteral("the bitmap's pixel data is cut short"));
    if (kind == "jpeg" && !picturecheck::JpegComplete(Span(data)))
        return Rendered::Failure(QStringLiteral("the JPEG data is cut short"));
    if (kind == "gif" && !picturecheck::GifComplete(Span(data)))
        return Rendered::Failure(QStringLiteral("the GIF data is cut short"));
    if (kind == "xbm" && !picturecheck::XbmComplete(Span(data)))
        return Rendered::Failure(QStringLiteral("the X bitmap's data is cut short"));

    QImage image = reader.read();
    if (image.isNull()) return Rendered::Failure(reader.errorString());
    for (const QString& warning : warnings.warnings())
        if (IsDamageWarning(warning))
            return Rendered::Failure(
                QStringLiteral("the picture is damaged (%1)").arg(warning.trimmed()));
    if (TooLarge(image.size())) return Rendered::Failure(TooLargeText(image.size()));
    return {std::move(image), {}};
}

// By hand, row by row: Qt's own conversions share the work out over a
// thread pool, and a thread that cannot start (a process limit) would leave
// them waiting for ever.
QImage ComposeOverWhite(QImage image) {
    // Rare formats (16-bit channels, 16-bit pixels) are drawn by the painter;
    // their opacity is read from the picture as it was.
    const QImage source = image;
    const bool painted =
        !(image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_RGBX8888 ||
          image.format() == QImage::Format_ARGB32 ||
          image.format() == QImage::Format_ARGB32_Premultiplied ||
          image.format() == QImage::Format_Indexed8 || image.format() == QImage::Format_Mono ||
          image.format() == QImage::Format_MonoLSB);
    if (painted) {
        QImage composed(image.size(), QImage::Format_RGB32);
        if (composed.isNull()) return {};
        composed.fill(Qt::white);
        QPainter painter(&composed);
        painter.drawImage(0, 0, image);
        painter.end();
        image = std::move(composed);
    }
    QImage out(image.size(), QImage::Format_RGBX8888);
    if (out.isNull()) return {};
    const QList<QRgb> straight = image.colorTable();
    QList<QRgb> table = straight;
    for (QRgb& entry : table)
        entry = OverWhite(qPremultiply(entry));
    for (int y = 0; y < image.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        auto* line = reinterpret_cast<quint32*>(out.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            QRgb rgb = 0;
            int alpha = 255;
            switch (image.format()) {
            case QImage::Format_RGB32:
                rgb = in[x];
                if (painted) alpha = qAlpha(source.pixel(x, y));
                break;
            case QImage::Format_RGBX8888:
                rgb = qRgb(int(in[x] & 255), int(in[x] >> 8 & 255), int(in[x] >> 16 & 255));
                break;
            case QImage::Format_ARGB32:
                rgb = OverWhite(qPremultiply(in[x]));
                alpha = qAlpha(in[x]);
                break;
            case QImage::Format_ARGB32_Premultiplied:
                rgb = OverWhite(in[x]);
                alpha = qAlpha(in[x]);
                break;
            default: {
                const int index = image.format() == QImage::Format_Indexed8
                                      ? int(image.constScanLine(y)[x])
                                      : image.pixelIndex(x, y);
                rgb = index < table.size() ? table[index] : qRgb(0, 0, 0);
                alpha = index < straight.size() ? qAlpha(straight[index]) : 255;
                break;
            }
            }
            line[x] = quint32(alpha) << 24 | quint32(qBlue(rgb)) << 16 | quint32(qGreen(rgb)) << 8 |
                      quint32(qRed(rgb));
        }
    }
    return out;
}

std::vector<Rendered> ReadFramesWithQt(const QByteArray& data, QString* error) {
    WarningCollector warnings;
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(int((loading::kMaxPixels * 4) / (1024 * 1024)) + 1);
    std::vector<Rendered> frames;
    qint64 pixels = 0;
    // An animation is read frame after frame; the pages of a document by number.
    const bool animation = reader.supportsAnimation();
    const int count =
        animation ? std::numeric_limits<int>::max() : std::max(1, reader.imageCount());
    for (int index = 0; index < count; ++index) {
        if (animation ? index > 0 && !reader.canRead() : index > 0 && !reader.jumpToImage(index))
            break;
        const QSize size = reader.size();
        if (size.isValid() && TooLarge(size)) {
            *error = TooLargeText(size);
            return {};
        }
        Rendered frame{reader.read(), {}, 0};
        if (frame.image.isNull()) break;
        pixels += qint64(frame.image.width()) * frame.image.height();
        if (TooLarge(frame.image.size()) || pixels > 4 * loading::kMaxPixels) {
            *error = QStringLiteral("the pictures of the file are too many of this size to hold "
                                    "at once");
            return {};
        }
        frame.delayMs = std::max(0, reader.nextImageDelay());
        frames.push_back(std::move(frame));
    }
    for (const QString& warning : warnings.warnings())
        if (IsDamageWarning(warning)) {
            *error = QStringLiteral("the picture is damaged (%1)").arg(warning.trimmed());
            return {};
        }
    if (frames.empty()) *error = reader.errorString();
    return frames;
}

QByteArray EncodeAnswer(const QImage& composed, int delayMs) {
    QByteArray out = AnswerHeader(composed.width(), composed.height(), delayMs);
    out.reserve(kHeaderBytes + qsizetype(composed.width()) * composed.height() * 4);
    for (int y = 0; y < composed.height(); ++y)
        out.append(reinterpret_cast<const char*>(composed.constScanLine(y)),
                   qsizetype(composed.width()) * 4);
    return out;
}

} // namespace render
