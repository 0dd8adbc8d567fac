#include "modern.h"

#include "cmdline.h"
#include "grob/encoders.h"
#include "grob/reader.h"
#include "modernoptions.h"
#include "pictureloader.h"
#include "preview.h"
#include "progress.h"
#include "settings.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QImageWriter>
#include <QSet>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <numeric>

#include <fcntl.h>
#include <unistd.h>

namespace modern {

std::FILE* OwnErrorStream() {
    const int ours = ::dup(2);
    const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (ours < 0 || nowhere < 0) return stderr;
    ::fcntl(ours, F_SETFD, FD_CLOEXEC);
    std::FILE* stream = ::fdopen(ours, "w");
    if (!stream) return stderr;
    ::dup2(nowhere, 2);
    ::close(nowhere);
    return stream;
}

namespace {

QString Line(const QString& file, const QString& cause) {
    return QStringLiteral("veldar-convert: %1: %2").arg(file, cause);
}

std::vector<std::uint8_t> PngBytes(const QImage& image, const std::string& name) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!QImageWriter(&buffer, "png").write(image))
        throw grob::GrobError(grob::ErrorCode::WriteFailed, name, "the PNG cannot be made");
    return {png.begin(), png.end()};
}

// Where the preview of `picture` goes: the file named, or in the folder.
QString PreviewPath(const QString& picture, const Options& options) {
    if (!QFileInfo(options.preview).isDir()) return options.preview;
    const QString grob = QFileInfo(OutputPath(picture, options)).fileName();
    return QDir(options.preview).filePath(cmdline::OutputName(grob, QStringLiteral("png")));
}

// The bytes of the output for a loaded picture: a PNG, or the GROB in
// its binary or text form (prepared as asked; and its preview written).
// Throws GrobError.
std::vector<std::uint8_t> OutputBytes(QImage image, const Options& options, grob::Series series,
                                      const std::string& name, const QString& previewPath = {}) {
    const QImage composed = pictureloader::ComposeOverWhite(std::move(image));
    if (options.toPng) return PngBytes(composed.convertToFormat(QImage::Format_RGB32), name);
    std::vector<std::uint8_t> bytes = preview::Encode(pictureloader::ViewOf(composed), options.kind,
                                                      series, options.preparation, name);
    if (!previewPath.isEmpty()) {
        const std::string previewName = QFile::encodeName(previewPath).toStdString();
        grob::WriteGrobFile(
            previewName, PngBytes(preview::Picture(bytes, options.kind, options.zoom), previewName),
            grob::Flush::Later);
    }
    if (!options.text) return bytes;
    const std::string text = grob::TextGrob(grob::ReadBinaryGrob(bytes, name));
    return {text.begin(), text.end()};
}

// One picture to one output file; the failure line, or an empty string.
QString ConvertOne(const QString& picture, const Options& options, grob::Series series) {
    loading::Picture loaded = pictureloader::Load(picture);
    if (!loaded.ok()) return Line(picture, loaded.error);
    const QString output = OutputPath(picture, options);
    const QFileInfo in(picture), out(output);
    if (out.exists() && in.canonicalFilePath() == out.canonicalFilePath())
        return Line(output, QStringLiteral("it is the picture itself; it is not replaced"));
    try {
        const std::string name = QFile::encodeName(output).toStdString();
        const QString previewPath =
            options.preview.isEmpty() ? QString() : PreviewPath(picture, options);
        grob::WriteGrobFile(
            name, OutputBytes(std::move(loaded.image), options, series, name, previewPath),
            grob::Flush::Later);
    } catch (const grob::GrobError& e) {
        return Line(output, QString::fromLocal8Bit(e.cause().c_str()));
    }
    return {};
}

// "-": one picture from standard input, its GROB to standard output.
int ConvertStream(const Options& options, grob::Series series, std::FILE* errors) {
    QByteArray data;
    const qint64 limit = loading::kMaxFileBytes + 1;
    qint64 got = 0;
    while (got < limit) {
        if (data.size() - got < 65536) data.resize(qsizetype(qMin(limit, got + (1 << 20))));
        const ssize_t n = ::read(0, data.data() + got, size_t(data.size() - got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            std::fprintf(errors, "%s\n",
                         qPrintable(Line("-", QString::fromLocal8Bit(std::strerror(errno)))));
            return 1;
        }
        if (n == 0) break;
        got += n;
    }
    data.resize(qsizetype(got));
    loading::Picture loaded = pictureloader::LoadBytes(data);
    data = QByteArray();
    if (!loaded.ok()) {
        std::fprintf(errors, "%s\n", qPrintable(Line("-", loaded.error)));
        return 1;
    }
    const QImage composed = pictureloader::ComposeOverWhite(std::move(loaded.image));
    try {
        const auto bytes =
            grob::EncodeGrob(options.kind, pictureloader::ViewOf(composed), series, "-");
        if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() ||
            std::fflush(stdout) != 0) {
            std::fprintf(errors, "%s\n",
                         qPrintable(Line("-", QString::fromLocal8Bit(std::strerror(errno)))));
            return 1;
        }
    } catch (const grob::GrobError& e) {
        std::fprintf(errors, "%s\n",
                     qPrintable(Line("-", QString::fromLocal8Bit(e.cause().c_str()))));
        return 1;
    }
    return 0;
}

} // namespace

bool IsModern(int argc, char** argv) {
    return argc > 1 && (std::strncmp(argv[1], "--", 2) == 0 || std::strcmp(argv[1], "-h") == 0);
}

int Run(int argc, char** argv) {
    std::signal(SIGXFSZ, SIG_IGN); // a file-size limit is a write failure, not the end
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("veldar-convert"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELDAR_VERSION));
    const Parsed parsed =
        ParseArguments(QCoreApplication::arguments(), QThread::idealThreadCount());
    if (!parsed.output.isEmpty()) {
        std::fputs(qPrintable(parsed.output), stdout);
        return 0;
    }
    if (!parsed.options) {
        std::fprintf(stderr, "veldar-convert: %s\nTry 'veldar-convert --help'.\n",
                     qPrintable(parsed.error));
        return 2;
    }
    const Options& options = *parsed.options;
    const bool terminal = ::isatty(2);
    // Only this program's own lines reach the standard error stream.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    std::FILE* errors = OwnErrorStream();
    grob::Series series = grob::Series::HP49;
    if (options.series) {
        series = *options.series;
    } else if (const auto saved = settings::Load(settings::SettingsPath())) {
        series = saved->hp48 ? grob::Series::HP48 : grob::Series::HP49;
    }
    if (options.pictures == QStringList{QStringLiteral("-")})
        return ConvertStream(options, series, errors);

    // Two pictures that would write the same file: the later ones are refused.
    QStringList pictures;
    std::atomic<bool> anyFailed = false;
    QHash<QString, QString> writer;
    for (const QString& picture : options.pictures) {
        const QString output = QFileInfo(OutputPath(picture, options)).absoluteFilePath();
        if (writer.contains(output)) {
            std::fprintf(
                errors, "%s\n",
                qPrintable(
                    Line(picture,
                         QStringLiteral("its GROB would replace that of %1").arg(writer[output]))));
            anyFailed = true;
            continue;
        }
        writer.insert(output, picture);
        pictures << picture;
    }
    const int total = int(pictures.size());
    Progress progress(errors, total, terminal && !options.quiet && total > 3);
    auto convert = [&](const QString& picture) {
        progress.started(picture);
        const QString failure = ConvertOne(picture, options, series);
        if (!failure.isEmpty()) {
            anyFailed = true;
            progress.failure(failure);
        }
        progress.finished();
    };
    if (options.jobs == 1 || pictures.size() == 1) {
        for (const QString& picture : pictures)
            convert(picture);
    } else {
        QThreadPool pool;
        pool.setMaxThreadCount(options.jobs);
        QtConcurrent::blockingMap(&pool, pictures, convert);
    }
    // One flush for all the files written, not one each: the run is done
    // when everything it wrote is on the disk.
    QSet<QString> folders;
    for (auto it = writer.cbegin(); it != writer.cend(); ++it)
        folders.insert(QFileInfo(it.key()).absolutePath());
    for (const QString& folder : folders)
        if (!grob::FlushFolder(QFile::encodeName(folder).toStdString())) {
            progress.failure(Line(folder, QString::fromLocal8Bit(std::strerror(errno))));
            anyFailed = true;
        }
    return anyFailed ? 1 : 0;
}

} // namespace modern
