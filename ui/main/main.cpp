// veldar-convert: converts pictures into HP 48 / HP 49 graphics objects.
//
//   veldar-convert                      the window
//   veldar-convert picture.bmp          the window with the picture
//   veldar-convert picture.bmp -g16     writes picture.g16 and ends
#include "cmdline.h"
#include "form1.h"
#include "settings.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {

const char kUsage[] = "usage: veldar-convert [PICTURE [OPTION]]\n"
                      "Converts PICTURE into a GROB file beside it, named after it:\n"
                      "  -1    1-bit GROB (.gro)        -g04  2 page-flipping frames (.g04)\n"
                      "  -2    2-bit GROB (.gro2)       -g08  3 page-flipping frames (.g08)\n"
                      "  -4    4-bit GROB (.gro4)       -g16  4 page-flipping frames (.g16)\n"
                      "                                 -g32  5 page-flipping frames (.g32)\n"
                      "A name with spaces goes in double quotes. Without an option the picture\n"
                      "is opened in the window; without a display an option is needed.\n";

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

// Qt's remarks about the offscreen platform and a missing runtime folder say
// nothing a user of the command line can act on.
QtMessageHandler g_defaultHandler = nullptr;
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")) ||
        message.startsWith(QLatin1String("This plugin does not support")))
        return;
    if (g_defaultHandler) g_defaultHandler(type, context, message);
}

} // namespace

int main(int argc, char** argv) {
    const bool headless = ChooseOffscreenWhenNoDisplay(argc, argv);
    g_defaultHandler = qInstallMessageHandler(QuietHandler);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("veldar-convert"));
    QApplication::setApplicationVersion(QStringLiteral("2.4"));

    const QStringList arguments = QApplication::arguments().mid(1);
    if (arguments.size() == 1 && (arguments[0] == QLatin1String("--help"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const QString argumentText = cmdline::JoinArguments(arguments);
    if (headless && !cmdline::KindForOption(cmdline::Parse(argumentText).option)) {
        // Nobody could use the window: say how to convert instead.
        std::fputs("veldar-convert: no display; give a picture and an option to convert it\n",
                   stderr);
        std::fputs(kUsage, stderr);
        return 2;
    }

    Form1 form({argumentText, settings::SettingsPath(), nullptr});
    form.show();
    const int status = QApplication::exec();
    return form.exitCode() != 0 ? form.exitCode() : status;
}
