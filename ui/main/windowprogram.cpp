#include "windowprogram.h"

#include "commandline.h"
#include "errorstream.h"
#include "mainwindow.h"
#include "qtnames.h"
#include "settings.h"

#include <QApplication>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// A batch run promises one line on standard error when it fails, and only
// that: Qt's and the decoders' remarks never reach it, but a fatal message
// (the process ends on it) is never hidden. Interactive runs keep Qt's
// messages, less two that say nothing a user can act on.
bool g_batch = false;
QtMessageHandler g_defaultHandler = nullptr;

// Every message dropped but a fatal one, written where the program's own
// lines go.
void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtFatalMsg) return;
    std::fprintf(errorstream::ErrorStream(), "veldar-convert: fatal: %s\n", qPrintable(message));
    std::fflush(errorstream::ErrorStream());
}

void WindowMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (g_batch) return QuietMessages(type, context, message);
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")) ||
        message.startsWith(QLatin1String("This plugin does not support")))
        return;
    if (g_defaultHandler) g_defaultHandler(type, context, message);
}

std::string ArgumentText(int argc, char** argv) {
    return cmdline::JoinArguments(std::vector<std::string>(argv + 1, argv + argc));
}

} // namespace

int RunWindowProgram(int argc, char** argv) {
    // A file larger than the user's limit allows is a write failure like any
    // other, not the end of the process.
    std::signal(SIGXFSZ, SIG_IGN);
    // With no display to show the window on, run on Qt's offscreen platform,
    // so batch conversion works anywhere.
    const bool headless = cmdline::NoDisplay(argc, argv);
    if (headless) qputenv("QT_QPA_PLATFORM", "offscreen");
    // A batch run from the start, before Qt is: asked again once Qt has
    // taken its own arguments out.
    g_batch = cmdline::IsBatch(ArgumentText(argc, argv));
    g_defaultHandler = qInstallMessageHandler(WindowMessages);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("veldar-convert"));
    QApplication::setApplicationVersion(QStringLiteral(VELDAR_VERSION));

    // The arguments as the system gave them (Qt's own taken out): a name need not be UTF-8.
    const std::string argumentText = ArgumentText(argc, argv);
    g_batch = cmdline::IsBatch(argumentText);
    if (headless && !g_batch) {
        // Nobody could use the window: say how to convert instead.
        std::fputs("veldar-convert: no display; give a picture and an option to convert it\n",
                   stderr);
        std::fputs(cmdline::UsageText().c_str(), stderr);
        return 2;
    }

    MainWindow::Options options{
        qtnames::FromNative(QByteArray::fromStdString(argumentText)),
        qtnames::FromNative(QByteArray::fromStdString(settings::SettingsPath()))};
    // Decoder libraries that print their own complaints print to nothing.
    if (g_batch) options.errors = errorstream::OwnErrorStream();
    MainWindow form(std::move(options));
    form.show();
    const int status = QApplication::exec();
    return form.exitCode() != 0 ? form.exitCode() : status;
}
