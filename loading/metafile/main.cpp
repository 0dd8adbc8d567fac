// veldar-metafile: draws one WMF or EMF file and writes the picture to
// standard output (see metafileprotocol.h). The converter runs it for each
// metafile it loads, so that a fault in a metafile library ends only this
// process.
//
//   veldar-metafile wmf|emf  < file
#include "../metafileprotocol.h"
#include "../picturelimits.h"
#include "render.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstring>

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

int Fail(const QString& why) {
    std::fprintf(stderr, "%s\n", qPrintable(why));
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Only this program's own error line goes to the converter.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    if (argc != 2 || (std::strcmp(argv[1], "wmf") != 0 && std::strcmp(argv[1], "emf") != 0)) {
        std::fprintf(stderr, "usage: veldar-metafile wmf|emf < FILE\n");
        return 2;
    }
    const bool wmf = std::strcmp(argv[1], "wmf") == 0;
    QGuiApplication app(argc, argv);

    QByteArray data;
    if (!ReadInput(data)) return Fail(QStringLiteral("the metafile cannot be read"));
    if (data.size() > loading::kMaxFileBytes) return Fail(QStringLiteral("the file is too large"));
    const qsizetype size = data.size();
    data.append(QByteArray(metafile::kMargin, '\0'));
    const metafile::Rendered result =
        wmf ? metafile::RenderWmf(data, size) : metafile::RenderEmf(data, size);
    if (!result.ok()) return Fail(result.error);
    const QByteArray out = metafile::EncodeImage(result.image);
    if (std::fwrite(out.constData(), 1, size_t(out.size()), stdout) != size_t(out.size()) ||
        std::fflush(stdout) != 0)
        return 3;
    return 0;
}
