// veldar-convert: converts pictures into HP 48 / HP 49 graphics objects.
//
//   veldar-convert --kind g16 pictures...   the modern form: no window at all
//   veldar-convert pic.png -g16 --fit 131x64   (any "--" option makes it modern)
//   veldar-convert picture.bmp -g16         writes picture.g16 and ends
//   veldar-convert [picture.bmp]            the window (the window program)
//
// This program never loads the widget library: the window is a program of
// its own, which this one becomes when a window is wanted.
#include "classic.h"
#include "commandline.h"
#include "errorstream.h"
#include "modern.h"
#include "qtnames.h"

#include <QCoreApplication>
#include <QStringList>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>

#ifndef VELDAR_LIBEXEC_DIR
#define VELDAR_LIBEXEC_DIR ""
#endif

namespace {

// The window program: beside this one (the build tree), where it was
// installed, or where an installation moved to another prefix keeps it.
std::string WindowProgram() {
    char self[PATH_MAX] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string here = n > 0 ? std::string(self, std::size_t(n)) : std::string();
    const std::string folder = here.substr(0, here.rfind('/'));
    for (const std::string& dir :
         {folder, std::string(VELDAR_LIBEXEC_DIR), folder + "/../libexec/veldar-convert"}) {
        if (dir.empty()) continue;
        const std::string candidate = dir + "/veldar-window";
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

} // namespace

int main(int argc, char** argv) {
    // A closed standard stream is /dev/null from here on: no file the
    // program opens can take its place.
    errorstream::GuardStandardStreams();
    // "--kind ...", "--help", "-h", "pic.png -g16 --fit 131x64": the modern form.
    if (modern::IsModern(argc, argv)) return modern::Run(argc, argv);

    // A file larger than the user's limit allows is a write failure like any
    // other, not the end of the process.
    std::signal(SIGXFSZ, SIG_IGN);
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << qtnames::FromNative(QByteArray(argv[i]));
    const QString argumentText = cmdline::JoinArguments(arguments);
    const bool batch = cmdline::KindForOption(cmdline::Parse(argumentText).option).has_value();
    if (batch) {
        // The promise of one line on standard error: the decoders' remarks go nowhere.
        qInstallMessageHandler(errorstream::QuietMessages);
        QCoreApplication app(argc, argv);
        if (const auto status = classic::RunBatchWithoutWindow(argumentText)) return *status;
    } else if (cmdline::NoDisplay(argc, argv)) {
        // Nobody could use the window: say how to convert instead.
        std::fputs("veldar-convert: no display; give a picture and an option to convert it\n",
                   stderr);
        std::fputs(qPrintable(cmdline::UsageText()), stderr);
        return 2;
    }
    const std::string window = WindowProgram();
    if (!window.empty()) ::execv(window.c_str(), argv);
    std::fprintf(stderr, "veldar-convert: the window cannot be shown: %s\n",
                 window.empty() ? "veldar-window is not installed" : std::strerror(errno));
    return 2;
}
