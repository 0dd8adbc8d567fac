#include "windowprogram.h"

#include "commandline.h"
#include "errorstream.h"
#include "mainwindow.h"
#include "qtnames.h"
#include "settings.h"

#include <QApplication>

#include <csignal>
#include <cstdio>

namespace {

// A batch run promises one line on standard error when it fails, and only
// that: Qt's and the decoders' remarks never reach it. Interactive runs keep
// Qt's messages, less two that say nothing a user can act on.
bool g_batch = false;
QtMessageHandler g_defaultHandler = nullptr;
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (g_batch || message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")) ||
        message.startsWith(QLatin1String("This plugin does not support")))
        return;
    if (g_defaultHandler) g_defaultHandler(type, context, message);
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
    g_defaultHandler = qInstallMessageHandler(QuietHandler);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("veldar-convert"));
    QApplication::setApplicationVersion(QStringLiteral(VELDAR_VERSION));

    // The arguments as the system gave them (Qt's own taken out): a name need not be UTF-8.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << qtnames::FromNative(QByteArray(argv[i]));
    const QString argumentText = cmdline::JoinArguments(arguments);
    g_batch = cmdline::KindForOption(cmdline::Parse(argumentText).option).has_value();
    if (headless && !g_batch) {
        // Nobody could use the window: say how to convert instead.
        std::fputs("veldar-convert: no display; give a picture and an option to convert it\n",
                   stderr);
        std::fputs(qPrintable(cmdline::UsageText()), stderr);
        return 2;
    }

    MainWindow::Options options{argumentText, settings::SettingsPath()};
    // Decoder libraries that print their own complaints print to nothing.
    if (g_batch) options.errors = errorstream::OwnErrorStream();
    MainWindow form(std::move(options));
    form.show();
    const int status = QApplication::exec();
    return form.exitCode() != 0 ? form.exitCode() : status;
}
