#include "pictureloader.h"

#include "metafileprotocol.h"
#include "picturecheck.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>

#include <mutex>

#ifndef VELDAR_LIBEXEC_DIR
#define VELDAR_LIBEXEC_DIR ""
#endif

namespace pictureloader {

namespace {

Result Failure(const QString& error) {
    return {QImage(), error};
}

bool TooLarge(QSize size) {
    return size.width() > kMaxSide || size.height() > kMaxSide ||
           qint64(size.width()) * size.height() > kMaxPixels;
}

QString TooLargeText(QSize size) {
    return QStringLiteral(
               "the picture is %1 x %2 pixels; at most %3 x %3 and %4 million pixels are accepted")
        .arg(size.width())
        .arg(size.height())
        .arg(kMaxSide)
        .arg(kMaxPixels / (1024 * 1024));
}

// Decoders warn instead of failing on some damaged files; a load that draws
// such a warning is not trusted.
thread_local bool t_collecting = false;
thread_local QStringList t_warnings;
QtMessageHandler g_previousHandler = nullptr;

void CollectWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (t_collecting && type != QtDebugMsg && type != QtInfoMsg) {
        t_warnings << message;
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
    QStringList warnings() const { return t_warnings; }
};

bool IsDamageWarning(const QString& warning) {
    // libjpeg's words for data that stops early or is corrupt; libpng's
    // harmless remarks (colour profiles and the like) do not count.
    return warning.contains(QLatin1String("Premature end"), Qt::CaseInsensitive) ||
           warning.contains(QLatin1String("Corrupt JPEG"), Qt::CaseInsensitive) ||
           warning.contains(QLatin1String("truncated"), Qt::CaseInsensitive);
}

struct Candidate {
    int index;
    qint64 area;
    int bits;
};

// The icon or cursor entry to show: the largest, then the most colours.
int BestIconEntry(const QByteArray& data) {
    auto u8 = [&](qsizetype at) {
        return at < data.size() ? static_cast<std::uint8_t>(data[at]) : 0;
    };
    auto u16 = [&](qsizetype at) { return u8(at) | u8(at + 1) << 8; };
    auto u32 = [&](qsizetype at) { return quint32(u16(at)) | quint32(u16(at + 2)) << 16; };
    const int count = u16(4);
    Candidate best{0, -1, -1};
    for (int i = 0; i < count && 6 + 16 * (i + 1) <= data.size(); ++i) {
        const qsizetype entry = 6 + 16 * i;
        const int w = u8(entry) ? u8(entry) : 256;
        const int h = u8(entry + 1) ? u8(entry + 1) : 256;
        int bits = u16(entry + 6);
        const quint32 offset = u32(entry + 12);
        if (offset + 8 <= quint32(data.size())) {
            if (data.mid(offset, 8) == QByteArray("\x89PNG\r\n\x1a\n", 8))
                bits = 32;
            else if (!bits)
                bits = u16(offset + 14);
        }
        const qint64 area = qint64(w) * h;
        if (area > best.area || (area == best.area && bits > best.bits)) best = {i, area, bits};
    }
    return best.index;
}

Result ReadWithQt(const QByteArray& data, const QByteArray& format) {
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(format.isEmpty());
    reader.setAllocationLimit(int((kMaxPixels * 4) / (1024 * 1024)) + 1);
    const QByteArray kind = format.isEmpty() ? reader.format() : format;
    if (kind.isEmpty())
        return Failure(QStringLiteral("not a picture of a kind this program reads"));

    if (kind == "ico" || kind == "cur") {
        const int best = BestIconEntry(data);
        if (best > 0 && !reader.jumpToImage(best))
            return Failure(QStringLiteral("the icon entry cannot be read"));
    }
    const QSize size = reader.size();
    if (size.isValid() && TooLarge(size)) return Failure(TooLargeText(size));

    if ((kind == "bmp" || kind == "dib") && !picturecheck::BitmapComplete(data, kind == "bmp"))
        return Failure(QStringLiteral("the bitmap's pixel data is cut short"));
    if (kind == "jpeg" && !picturecheck::JpegComplete(data))
        return Failure(QStringLiteral("the JPEG data is cut short"));
    if (kind == "gif" && !picturecheck::GifComplete(data))
        return Failure(QStringLiteral("the GIF data is cut short"));

    WarningCollector warnings;
    QImage image = reader.read();
    if (image.isNull()) return Failure(reader.errorString());
    for (const QString& warning : warnings.warnings())
        if (IsDamageWarning(warning))
            return Failure(QStringLiteral("the picture is damaged (%1)").arg(warning.trimmed()));
    if (TooLarge(image.size())) return Failure(TooLargeText(image.size()));
    return {image, {}};
}

// Metafiles are drawn by a separate renderer process, so that a fault in a
// metafile library can never take the window down, and so that those
// libraries' global state (fonts, locale) stays out of this process.
Result RenderMetafile(const QString& path) {
    const QString renderer = MetafileRendererPath();
    if (renderer.isEmpty())
        return Failure(QStringLiteral("the metafile renderer is not installed"));
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(renderer, {path});
    if (!process.waitForStarted(10000))
        return Failure(QStringLiteral("the metafile renderer cannot be started"));
    process.closeWriteChannel();
    if (!process.waitForFinished(metafile::kTimeoutMs)) {
        process.kill();
        process.waitForFinished(2000);
        return Failure(QStringLiteral("drawing the metafile takes too long"));
    }
    const QByteArray output = process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit)
        return Failure(QStringLiteral("the metafile cannot be drawn (the renderer crashed)"));
    if (process.exitCode() != 0) {
        const QString why = QString::fromLocal8Bit(process.readAllStandardError())
                                .trimmed()
                                .section(u'\n', -1)
                                .trimmed();
        return Failure(why.isEmpty() ? QStringLiteral("the metafile cannot be drawn") : why);
    }
    QImage image = metafile::DecodeImage(output);
    if (image.isNull()) return Failure(QStringLiteral("the metafile renderer gave no picture"));
    return {image, {}};
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

Result Load(const QString& path) {
    if (path.isEmpty()) return Failure(QStringLiteral("no file name"));
    const QFileInfo info(path);
    if (!info.exists()) return Failure(QStringLiteral("no such file"));
    if (info.isDir()) return Failure(QStringLiteral("it is a folder"));
    if (info.size() > kMaxFileBytes) return Failure(QStringLiteral("the file is too large"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return Failure(file.errorString());
    const QByteArray data = file.read(kMaxFileBytes + 1);
    if (data.isEmpty()) return Failure(QStringLiteral("the file is empty"));

    switch (picturecheck::Sniff(data)) {
    case picturecheck::Kind::Wmf:
    case picturecheck::Kind::Emf:
        return RenderMetafile(info.absoluteFilePath());
    case picturecheck::Kind::PackedDib:
        return ReadWithQt(data, "dib");
    case picturecheck::Kind::Other:
        break;
    }
    return ReadWithQt(data, {});
}

} // namespace pictureloader
