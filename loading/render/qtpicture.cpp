#include "render.h"

#include "grob/checks.h"
#include "picturecheck.h"
#include "picturelimits.h"
#include "renderprotocol.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QLibraryInfo>
#include <QPainter>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <optional>

#include <dlfcn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

namespace render {

namespace {

QString TooLargeText(QSize size) {
    return QString::fromStdString(grob::PictureSizeRefusal(size.width(), size.height()));
}

picturecheck::Bytes Span(const QByteArray& data) {
    return {reinterpret_cast<const std::uint8_t*>(data.constData()), std::size_t(data.size())};
}

bool TooLarge(QSize size) {
    return grob::TooLarge(size.width(), size.height());
}

qint64 ImageBytes(QSize size, int perPixel) {
    return qint64(size.width()) * size.height() * perPixel;
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
    EndWhenAThreadCannotStart(message);
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

// Why Qt has no reader for a picture whose signature tells a kind it reads
// through an image plugin (TIFF, WebP): the plugin is not installed, or
// cannot be loaded (a library it needs is damaged, say). Empty otherwise.
QString PluginFault(const QByteArray& data) {
    const char* plugin = data.startsWith("II*") || data.startsWith(QByteArray("MM\0*", 4))
                             ? "libqtiff.so"
                         : data.startsWith("RIFF") && data.mid(8, 4) == "WEBP" ? "libqwebp.so"
                                                                               : nullptr;
    if (!plugin) return {};
    const QString path = QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                         QStringLiteral("/imageformats/") + QLatin1String(plugin);
    if (!QFile::exists(path))
        return QStringLiteral("no reader of this kind is installed (%1)").arg(path);
    void* handle = ::dlopen(QFile::encodeName(path).constData(), RTLD_LAZY | RTLD_LOCAL);
    if (handle) {
        ::dlclose(handle);
        return {};
    }
    const char* why = ::dlerror();
    return QStringLiteral("the reader of this kind (%1) cannot be loaded: %2")
        .arg(path, QString::fromLocal8Bit(why ? why : "unknown error"));
}

} // namespace

void EndWhenAThreadCannotStart(const QString& message) {
    if (!message.startsWith(QLatin1String("QThread::start: Thread creation error"))) return;
    // No room left for a thread's stack is the memory limit.
    rlimit stack{};
    ::getrlimit(RLIMIT_STACK, &stack);
    const std::size_t room = stack.rlim_cur == RLIM_INFINITY ? 8 << 20 : stack.rlim_cur;
    void* probe = ::mmap(nullptr, room, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (probe == MAP_FAILED) {
        std::fprintf(stderr, "%s\n", qPrintable(Rendered::NoMemory().error));
        std::_Exit(kExitMemory);
    }
    ::munmap(probe, room);
    const qsizetype open = message.lastIndexOf(u'(');
    std::fprintf(stderr, "the picture renderer cannot start a thread%s\n",
                 qPrintable(open < 0 ? QString() : QStringLiteral(" ") + message.mid(open)));
    std::_Exit(kExitFailure);
}

bool Affordable(qint64 bytes) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return true;
    unsigned long long pages = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%llu", &pages) != 1) pages = 0;
        std::fclose(statm);
    }
    const qint64 held = qint64(pages) * ::sysconf(_SC_PAGESIZE);
    constexpr qint64 kSpare = 16 << 20;
    return held + bytes + kSpare <= qint64(limit.rlim_cur);
}

Rendered ReadWithQt(const QByteArray& original, bool upright) {
    QByteArray format = KnownFormat(original);
    if (format.isEmpty()) {
        QBuffer probe;
        probe.setData(original);
        probe.open(QIODevice::ReadOnly);
        format = QImageReader::imageFormat(&probe);
    }
    if (format.isEmpty()) {
        const QString fault = PluginFault(original);
        return Rendered::Failure(
            fault.isEmpty() ? QStringLiteral("not a picture of a kind this program reads") : fault);
    }
    // An SVG is drawn without anything outside it.
    QByteArray safe;
    if (format == "svg" || format == "svgz") {
        QString error;
        safe = WithoutOutsideReferences(original, &error);
        if (safe.isNull()) return Rendered::Failure(error);
        format = "svg";
    }
    const QByteArray& data = safe.isNull() ? original : safe;
    WarningCollector warnings;
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(false);
    reader.setAutoTransform(upright);
    reader.setAllocationLimit(int((grob::kMaxPixels * 4) / (1024 * 1024)) + 1);
    const QByteArray& kind = format;

    if (kind == "ico" || kind == "cur") {
        const int best = picturecheck::BestIconEntry(Span(data));
        if (best > 0 && !reader.jumpToImage(best))
            return Rendered::Failure(QStringLiteral("the icon entry cannot be read"));
    }
    QSize size = reader.size();
    // An icon's entry is as large as its own PNG says, whatever the directory.
    if (const auto entry =
            kind == "ico" || kind == "cur" ? picturecheck::IconSize(Span(data)) : std::nullopt)
        size = QSize(int(std::min<qint64>(entry->width, INT_MAX)),
                     int(std::min<qint64>(entry->height, INT_MAX)));
    if (size.isValid() && TooLarge(size)) return Rendered::Failure(TooLargeText(size));
    if (size.isValid() && !Affordable(ImageBytes(size, 4))) return Rendered::NoMemory();

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
    if (image.isNull()) {
        // Pictures of 16 bits a channel take 8 bytes a pixel.
        if (size.isValid() && !Affordable(ImageBytes(size, 8))) return Rendered::NoMemory();
        return Rendered::Failure(reader.errorString());
    }
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
QImage ComposeOverWhite(QImage image, bool* transparent) {
    bool clear = false;
    const QImage::Format format = image.format();
    const bool wide = format == QImage::Format_RGB32 || format == QImage::Format_RGBX8888 ||
                      format == QImage::Format_ARGB32 ||
                      format == QImage::Format_ARGB32_Premultiplied;
    const bool indexed = format == QImage::Format_Indexed8 || format == QImage::Format_Mono ||
                         format == QImage::Format_MonoLSB;
    // Rare formats (16-bit channels, 16-bit pixels) are drawn by the painter;
    // their opacity is read from the picture as it was.
    QImage source;
    if (!wide && !indexed) {
        source = std::move(image);
        image = QImage(source.size(), QImage::Format_RGB32);
        if (image.isNull()) return {};
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.drawImage(0, 0, source);
        painter.end();
    }
    auto pack = [&clear](QRgb rgb, int alpha) {
        clear = clear || alpha != 255;
        return quint32(alpha) << 24 | quint32(qBlue(rgb)) << 16 | quint32(qGreen(rgb)) << 8 |
               quint32(qRed(rgb));
    };
    if (!indexed) {
        // In the picture's own place: the same four bytes a pixel.
        if (!image.bits()) return {};
        const QImage::Format now = image.format();
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                const quint32 p = line[x];
                switch (now) {
                case QImage::Format_RGB32:
                    line[x] = pack(p, source.isNull() ? 255 : qAlpha(source.pixel(x, y)));
                    break;
                case QImage::Format_RGBX8888:
                    line[x] = p | 0xFF000000u;
                    break;
                case QImage::Format_ARGB32:
                    line[x] = pack(OverWhite(qPremultiply(p)), qAlpha(p));
                    break;
                default: // ARGB32_Premultiplied
                    line[x] = pack(OverWhite(p), qAlpha(p));
                    break;
                }
            }
        }
        image.reinterpretAsFormat(QImage::Format_RGBX8888);
        if (transparent) *transparent = clear;
        return image;
    }
    QImage out(image.size(), QImage::Format_RGBX8888);
    if (out.isNull()) return {};
    const QList<QRgb> straight = image.colorTable();
    QList<QRgb> table = straight;
    for (QRgb& entry : table)
        entry = OverWhite(qPremultiply(entry));
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<quint32*>(out.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int index = format == QImage::Format_Indexed8 ? int(image.constScanLine(y)[x])
                                                                : image.pixelIndex(x, y);
            line[x] = pack(index < table.size() ? table[index] : qRgb(0, 0, 0),
                           index < straight.size() ? qAlpha(straight[index]) : 255);
        }
    }
    if (transparent) *transparent = clear;
    return out;
}

Rendered ReadFramesWithQt(const QByteArray& data, const std::function<bool(Rendered&&)>& each,
                          bool upright, int page) {
    WarningCollector warnings;
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(upright);
    reader.setAllocationLimit(int((grob::kMaxPixels * 4) / (1024 * 1024)) + 1);
    if (reader.format() == "svg" || reader.format() == "svgz") return ReadWithQt(data, upright);
    auto damage = [&warnings]() -> QString {
        for (const QString& warning : warnings.warnings())
            if (IsDamageWarning(warning))
                return QStringLiteral("the picture is damaged (%1)").arg(warning.trimmed());
        return {};
    };
    qint64 pixels = 0;
    int given = 0;
    // An animation is read frame after frame; the pages of a document by
    // number. Each is given on before the next is read. Only `page`, when
    // one is asked for: a document's pages before it are passed over, an
    // animation's frames read and let go.
    const bool animation = reader.supportsAnimation();
    const int count =
        animation ? std::numeric_limits<int>::max() : std::max(1, reader.imageCount());
    for (int index = animation ? 0 : std::max(page, 0); index < count; ++index) {
        // A document's later pages each by a reader of its own: Qt's TIFF
        // reader would turn a page that tells no orientation as the one before.
        QBuffer pageBuffer;
        std::optional<QImageReader> pageReader;
        if (animation && index > 0 && !reader.canRead()) break;
        if (!animation && index > 0) {
            pageBuffer.setData(data);
            pageBuffer.open(QIODevice::ReadOnly);
            pageReader.emplace(&pageBuffer, reader.format());
            pageReader->setAutoTransform(upright);
            pageReader->setAllocationLimit(reader.allocationLimit());
            if (!pageReader->jumpToImage(index)) break;
        }
        QImageReader& at = pageReader ? *pageReader : reader;
        const QSize size = at.size();
        if (size.isValid() && TooLarge(size)) return Rendered::Failure(TooLargeText(size));
        if (size.isValid() && !Affordable(ImageBytes(size, 4))) return Rendered::NoMemory();
        Rendered frame{at.read(), {}, 0};
        if (frame.image.isNull()) {
            if (size.isValid() && !Affordable(ImageBytes(size, 8))) return Rendered::NoMemory();
            break;
        }
        if (const QString why = damage(); !why.isEmpty()) return Rendered::Failure(why);
        if (page >= 0 && index < page) continue;
        pixels += qint64(frame.image.width()) * frame.image.height();
        if (TooLarge(frame.image.size()) || pixels > 4 * grob::kMaxPixels)
            return Rendered::Failure(QStringLiteral(
                "the pictures of the file are too many of this size to hold at once"));
        frame.delayMs = std::max(0, at.nextImageDelay());
        ++given;
        if (!each(std::move(frame)) || page >= 0) return {};
    }
    if (const QString why = damage(); !why.isEmpty()) return Rendered::Failure(why);
    if (given == 0 && page >= 0 && (animation || page >= count))
        return Rendered::Failure(QStringLiteral("it has no frame %1").arg(page + 1));
    if (given == 0) {
        const QString fault = reader.format().isEmpty() ? PluginFault(data) : QString();
        return Rendered::Failure(fault.isEmpty() ? reader.errorString() : fault);
    }
    return {};
}

} // namespace render
