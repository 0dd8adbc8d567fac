// veldar-render: draws one picture that the program does not decode itself
// (a WMF or EMF metafile, or any other kind Qt reads: SVG, TIFF, WebP, ICO,
// ...) and writes it to standard output (see renderprotocol.h). The loader
// runs it for each such picture, so that a fault in a library that is not
// ours ends only this process.
//
//   veldar-render wmf|emf|picture  < file
#include "picturelimits.h"
#include "render.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>

namespace {

// Standard input, up to one byte past the limit (so that a larger file is seen).
bool ReadInput(QByteArray& data) {
    const qint64 limit = loading::kMaxFileBytes + 1;
    qint64 got = 0;
    while (got < limit) {
        if (data.size() - got < 65536) data.resize(qsizetype(qMin(limit, got + (1 << 20))));
        const ssize_t n = ::read(0, data.data() + got, size_t(data.size() - got));
        if (n < 0) return false;
        if (n == 0) break;
        got += n;
    }
    data.resize(qsizetype(got));
    return true;
}

int Write(const QByteArray& out) {
    if (std::fwrite(out.constData(), 1, size_t(out.size()), stdout) != size_t(out.size()) ||
        std::fflush(stdout) != 0)
        return 3;
    return 0;
}

int Fail(const QString& why) {
    std::fprintf(stderr, "%s\n", qPrintable(why));
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Only this program's own error line goes to the converter.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    const std::string kind = argc == 2 ? argv[1] : "";
    if (kind != "wmf" && kind != "emf" && kind != "picture" && kind != "frames") {
        std::fprintf(stderr, "usage: veldar-render wmf|emf|picture|frames < FILE\n");
        return 2;
    }
    // A GUI application, offscreen: the fonts that SVG text and metafiles need.
    QGuiApplication app(argc, argv);

    QByteArray data;
    if (!ReadInput(data)) return Fail(QStringLiteral("the picture cannot be read"));
    if (data.size() > loading::kMaxFileBytes) return Fail(QStringLiteral("the file is too large"));
    const qsizetype size = data.size();
    QByteArray out;
    if (kind == "frames") {
        QString error;
        const std::vector<render::Rendered> frames = render::ReadFramesWithQt(data, &error);
        if (frames.empty()) return Fail(error);
        for (const render::Rendered& frame : frames) {
            const QImage composed = render::ComposeOverWhite(frame.image);
            if (composed.isNull())
                return Fail(QStringLiteral("there is not enough memory to draw it"));
            out += render::EncodeAnswer(composed, frame.delayMs);
        }
        return Write(out);
    }
    render::Rendered result;
    if (kind == "picture") {
        result = render::ReadWithQt(data);
    } else {
        data.append(QByteArray(render::kMargin, '\0'));
        result = kind == "wmf" ? render::RenderWmf(data, size) : render::RenderEmf(data, size);
    }
    if (!result.ok()) return Fail(result.error);
    const QImage composed = render::ComposeOverWhite(std::move(result.image));
    if (composed.isNull()) return Fail(QStringLiteral("there is not enough memory to draw it"));
    return Write(render::EncodeAnswer(composed));
}
