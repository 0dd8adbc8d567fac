#include "pictureloader.h"

#include "codecs.h"
#include "grob/checks.h"
#include "grob/list.h"
#include "grob/reader.h"
#include "picturecheck.h"
#include "qtnames.h"
#include "renderprotocol.h"

#include <QFileInfo>
#include <QProcess>

#include <climits>
#include <span>

#include <unistd.h>

#ifndef VELDAR_LIBEXEC_DIR
#define VELDAR_LIBEXEC_DIR ""
#endif

namespace pictureloader {

using loading::Picture;

QString TooLargeText(QSize size) {
    return QString::fromStdString(grob::PictureSizeRefusal(size.width(), size.height()));
}

namespace {

std::span<const std::uint8_t> Bytes(const QByteArray& data) {
    return {reinterpret_cast<const std::uint8_t*>(data.constData()), std::size_t(data.size())};
}

bool Decodable(codecs::Format format) {
    return format != codecs::Format::Other;
}

// Kinds with a signature of their own that only the renderer reads. They are
// told before any text is searched for a GROB, so that a word "GROB" in an
// SVG, X bitmap or netpbm comment makes them nothing else.
bool RendererSignature(const QByteArray& data) {
    const QByteArray head = data.left(512).trimmed();
    if (head.startsWith("<?xml") || head.startsWith("<svg") || head.startsWith("<!DOCTYPE svg"))
        return true;
    if (head.startsWith("#define") || head.startsWith("/* XPM */")) return true;
    if (data.size() >= 3 && data[0] == 'P' && data[1] >= '1' && data[1] <= '7' &&
        QByteArray(" \t\r\n#").contains(data[2]))
        return true; // netpbm
    return data.startsWith("II*") || data.startsWith("MM\0*") ||
           (data.startsWith("RIFF") && data.mid(8, 4) == "WEBP") ||
           data.startsWith(QByteArray("\0\0\1\0", 4)) || data.startsWith(QByteArray("\0\0\2\0", 4));
}

// The pixels' top bytes hold the picture's opacity: kept apart when asked
// for and not opaque throughout, and the pixels made opaque.
loading::Frame Finish(grob::Image image, bool keepOpacity, int delayMs = 0) {
    loading::Frame frame;
    frame.delayMs = delayMs;
    bool clear = false;
    if (keepOpacity)
        for (const std::uint32_t pixel : image.pixels)
            if (pixel >> 24 != 255) {
                clear = true;
                break;
            }
    if (clear) frame.opacity.resize(image.pixels.size());
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        if (clear) frame.opacity[i] = std::uint8_t(image.pixels[i] >> 24);
        image.pixels[i] |= 0xFF000000u;
    }
    frame.image = std::move(image);
    return frame;
}

// A GROB seen as a picture: each level in its true gray, at natural size.
grob::Image GrobPicture(const grob::GrobObject& object, const grob::OutputKind& kind,
                        const QString& name, const QString& which) {
    return grob::PictureOfGrob(object, kind, name.toStdString(), which.toStdString(),
                               loading::kMaxSide, loading::kMaxPixels);
}

// A GROB, or the GROBs of a list (the first alone unless all are asked for).
Picture ReadGrob(const QByteArray& data, bool binary, const QString& name, const Options& options) {
    try {
        const std::string label = name.toStdString();
        const grob::OutputKind kind = grob::KindForFileName(name.toStdString());
        Picture picture;
        const bool list =
            binary ? grob::LooksLikeBinaryList(Bytes(data)) : grob::LooksLikeTextList(Bytes(data));
        if (list) {
            const grob::GrobList grobs = binary ? grob::ReadBinaryList(Bytes(data), label)
                                                : grob::ReadTextList(Bytes(data), label);
            if (grobs.objects.empty())
                return Picture::Failure(QStringLiteral("the list holds no GROB"));
            for (std::size_t i = 0; i < grobs.objects.size(); ++i) {
                if (i > 0 && !options.allFrames) break;
                loading::Frame frame;
                frame.image = GrobPicture(grobs.objects[i], kind, name,
                                          QStringLiteral("GROB %1 of the list").arg(i + 1));
                picture.frames.push_back(std::move(frame));
            }
            if (binary) picture.series = grobs.series;
            return picture;
        }
        const grob::GrobObject object = binary ? grob::ReadBinaryGrob(Bytes(data), label)
                                               : grob::ReadTextGrob(Bytes(data), label);
        loading::Frame frame;
        frame.image = GrobPicture(object, kind, name, QStringLiteral("the GROB"));
        picture.frames.push_back(std::move(frame));
        if (binary) picture.series = object.series;
        return picture;
    } catch (const grob::GrobReadError& e) {
        return Picture::Failure(QString::fromStdString(e.cause()));
    }
}

Picture Decode(const QByteArray& data, codecs::Format format, const Options& options) {
    codecs::DecodeOptions decode;
    decode.fitWidth = options.fitWidth;
    decode.fitHeight = options.fitHeight;
    decode.maxSide = loading::kMaxSide;
    decode.maxPixels = loading::kMaxPixels;
    auto image = [](codecs::Image&& from) {
        return grob::Image{from.width, from.height, std::move(from.pixels)};
    };
    Picture picture;
    if (format == codecs::Format::Gif && options.allFrames) {
        std::string error;
        std::vector<codecs::Frame> frames = codecs::DecodeGifFrames(Bytes(data), decode, &error);
        if (frames.empty()) return Picture::Failure(QString::fromStdString(error));
        for (codecs::Frame& frame : frames)
            picture.frames.push_back(
                Finish(image(std::move(frame.image)), options.opacity, frame.delayMs));
        return picture;
    }
    codecs::Decoded decoded = codecs::Decode(Bytes(data), format, decode);
    if (!decoded.ok()) return Picture::Failure(QString::fromStdString(decoded.error));
    picture.frames.push_back(Finish(image(std::move(decoded.image)), options.opacity));
    return picture;
}

// Everything this program does not decode itself is drawn by the renderer,
// a process of its own: a fault in a library that is not ours (the metafile
// libraries, Qt's image plugins, the SVG renderer) can never take this
// process or the rest of a run down.
Picture Render(const QByteArray& data, const char* kind, const Options& options) {
    const QString renderer = options.renderer.isEmpty() ? RendererPath() : options.renderer;
    if (renderer.isEmpty() || !QFileInfo(renderer).isExecutable())
        return Picture::Failure(QStringLiteral("the picture renderer is not installed"));
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(renderer, {QString::fromLatin1(kind)});
    if (!process.waitForStarted(10000))
        return Picture::Failure(QStringLiteral("the picture renderer cannot be started"));
    process.write(data);
    process.closeWriteChannel();
    if (!process.waitForFinished(options.timeoutMs)) {
        process.kill();
        process.waitForFinished(2000);
        return Picture::Failure(QStringLiteral("drawing the picture takes too long"));
    }
    const QByteArray output = process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit)
        return Picture::Failure(
            QStringLiteral("the picture cannot be drawn (the renderer crashed)"));
    if (process.exitCode() != 0) {
        const QString why = QString::fromLocal8Bit(process.readAllStandardError())
                                .trimmed()
                                .section(u'\n', -1)
                                .trimmed();
        return Picture::Failure(why.isEmpty() ? QStringLiteral("the picture cannot be drawn")
                                              : why);
    }
    std::vector<render::Answer> answers = render::DecodeAnswers(output);
    if (answers.empty())
        return Picture::Failure(QStringLiteral("the picture renderer gave no picture"));
    Picture picture;
    for (render::Answer& answer : answers)
        picture.frames.push_back(Finish(std::move(answer.image), options.opacity, answer.delayMs));
    return picture;
}

} // namespace

QString RendererPath() {
    // Beside the program (build tree), where it was installed, and where an
    // installation moved to another prefix keeps it.
    char self[PATH_MAX] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    const QString here =
        n > 0 ? QFileInfo(QFile::decodeName(QByteArray(self, n))).absolutePath() : QString();
    const QStringList places = {here, QStringLiteral(VELDAR_LIBEXEC_DIR),
                                here + QStringLiteral("/../libexec/veldar-convert")};
    for (const QString& dir : places) {
        if (dir.isEmpty()) continue;
        const QFileInfo candidate(dir + QStringLiteral("/veldar-render"));
        if (candidate.isFile() && candidate.isExecutable()) return candidate.absoluteFilePath();
    }
    return {};
}

Picture LoadBytes(const QByteArray& data, const Options& options, const QString& name) {
    if (data.isEmpty()) return Picture::Failure(QStringLiteral("the file is empty"));
    if (data.size() > loading::kMaxFileBytes)
        return Picture::Failure(QStringLiteral("the file is too large"));
    // Each kind by its own signature first; text is searched for a GROB only
    // when it is no other known kind.
    if (grob::LooksLikeBinaryGrob(Bytes(data))) return ReadGrob(data, true, name, options);
    if (const codecs::Format format = codecs::Sniff(Bytes(data)); Decodable(format))
        return Decode(data, format, options);
    switch (picturecheck::Sniff(data)) {
    case picturecheck::Kind::Wmf:
        return Render(data, "wmf", options);
    case picturecheck::Kind::Emf:
        return Render(data, "emf", options);
    case picturecheck::Kind::PackedDib:
    case picturecheck::Kind::Other:
        break;
    }
    if (!RendererSignature(data) && grob::LooksLikeTextGrob(Bytes(data)))
        return ReadGrob(data, false, name, options);
    // Every page of a TIFF or frame of a WebP animation, when asked for.
    const bool pages = data.startsWith("II*") || data.startsWith("MM\0*") ||
                       (data.startsWith("RIFF") && data.mid(8, 4) == "WEBP");
    return Render(data, options.allFrames && pages ? "frames" : "picture", options);
}

Picture Load(const QString& path, const Options& options) {
    QString error;
    const auto data = qtnames::ReadRegularFile(path, loading::kMaxFileBytes, &error);
    if (!data) return Picture::Failure(error);
    return LoadBytes(*data, options, path);
}

std::optional<QSize> PeekSize(const QByteArray& data, const QString& name) {
    const auto bytes = Bytes(data);
    if (grob::LooksLikeBinaryGrob(bytes) ||
        (!Decodable(codecs::Sniff(bytes)) && !RendererSignature(data) &&
         grob::LooksLikeTextGrob(bytes))) {
        try {
            const grob::GrobObject object = grob::LooksLikeBinaryGrob(bytes)
                                                ? grob::ReadBinaryGrob(bytes, "")
                                                : grob::ReadTextGrob(bytes, "");
            const grob::OutputKind kind = grob::KindForFileName(name.toStdString());
            const std::uint32_t w = kind.pageFlipping() ? object.width : object.width / kind.depth;
            const std::uint32_t h =
                kind.pageFlipping() ? object.height / kind.frames : object.height;
            return QSize(int(w), int(h));
        } catch (const grob::GrobReadError&) {
            return std::nullopt;
        }
    }
    const codecs::Format format = codecs::Sniff(bytes);
    if (!Decodable(format)) return std::nullopt;
    const auto size = codecs::PeekSize(bytes, format);
    if (!size) return std::nullopt;
    return QSize(size->width, size->height);
}

} // namespace pictureloader
