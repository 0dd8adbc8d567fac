// veldar-window: the window of veldar-convert, which runs this program
// whenever a window is wanted:
//
//   veldar-convert                      the window
//   veldar-convert picture.bmp          the window with the picture
//   veldar-convert picture.bmp -g16     writes picture.g16 and ends (here only
//                                       when no settings file tells where the
//                                       window stands)
#include "commandline.h"
#include "errorstream.h"
#include "filenames.h"
#include "mainwindow.h"
#include "settings.h"

#include <QApplication>

#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

// With no display to show the window on (and no platform chosen by the user),
// run on Qt's offscreen platform, so batch conversion works anywhere.
bool ChooseOffscreenWhenNoDisplay(int argc, char** argv) {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
        !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return false;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strncmp(argv[i], "-platform=", 10) == 0)
            return false;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return true;
}

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

int main(int argc, char** argv) {
    // A file larger than the user's limit allows is a write failure like any
    // other, not the end of the process.
    std::signal(SIGXFSZ, SIG_IGN);
    const bool headless = ChooseOffscreenWhenNoDisplay(argc, argv);
    g_defaultHandler = qInstallMessageHandler(QuietHandler);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("veldar-convert"));
    QApplication::setApplicationVersion(QStringLiteral(VELDAR_VERSION));

    // The arguments as the system gave them (Qt's own taken out): a name need not be UTF-8.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << filenames::FromNative(QByteArray(argv[i]));
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
