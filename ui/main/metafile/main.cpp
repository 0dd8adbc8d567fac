// veldar-metafile: draws one WMF or EMF file and writes the picture to
// standard output (see metafileprotocol.h). Run by the converter for each
// metafile it loads.
#include "../metafileprotocol.h"
#include "../picturecheck.h"
#include "render.h"

#include <QFile>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Only this program's own error line goes to the converter.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: veldar-metafile FILE\n");
        return 2;
    }
    QFile file(args[1]);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "%s\n", qPrintable(file.errorString()));
        return 2;
    }
    const QByteArray data = file.read(256LL * 1024 * 1024);
    metafile::Rendered result;
    switch (picturecheck::Sniff(data)) {
    case picturecheck::Kind::Wmf:
        result = metafile::RenderWmf(data);
        break;
    case picturecheck::Kind::Emf:
        result = metafile::RenderEmf(data);
        break;
    default:
        result.error = QStringLiteral("not a metafile");
        break;
    }
    if (result.image.isNull()) {
        std::fprintf(stderr, "%s\n", qPrintable(result.error));
        return 2;
    }
    const QByteArray out = metafile::EncodeImage(result.image);
    if (std::fwrite(out.constData(), 1, size_t(out.size()), stdout) != size_t(out.size()) ||
        std::fflush(stdout) != 0)
        return 3;
    return 0;
}
