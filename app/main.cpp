// veldar-convert: converts pictures into HP 48 / HP 49 graphics objects.
//
//   veldar-convert --kind g16 pictures...   the modern form: no window at all
//   veldar-convert pic.png -g16 --fit 131x64   (any "--" option makes it modern)
//   veldar-convert picture.bmp -g16         writes picture.g16 and ends
//   veldar-convert [picture.bmp]            the window (the window program)
//
// This program never loads the widget library: the window is a program of
// its own, which this one becomes when a window is wanted.
#include "classicbatch.h"
#include "commandline.h"
#include "errorstream.h"
#include "helperprogram.h"
#include "modern.h"
#include "settings.h"

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

// The classic batch run without a window, when the settings file tells
// where the window would have stood; nothing when it does not (a first run,
// a damaged file), as only the window can say what it would write then.
std::optional<int> RunBatchWithoutWindow(const std::string& argumentText) {
    classicbatch::Batch batch;
    batch.settingsPath = settings::SettingsPath();
    const auto saved = settings::Load(batch.settingsPath);
    if (!saved) return std::nullopt;
    batch.line = cmdline::Parse(argumentText);
    batch.start = *saved;
    // The promise of one line on standard error: the decoders' remarks go nowhere.
    batch.errors = errorstream::OwnErrorStream();
    return classicbatch::Run(batch);
}

} // namespace

int main(int argc, char** argv) {
    // A closed standard stream is /dev/null from here on: no file the
    // program opens can take its place.
    errorstream::GuardStandardStreams();
    // The user's locale for the characters of names and the system's
    // messages, and nothing else: numbers are read and written with a "."
    // whatever the locale, and loading the other categories costs a
    // one-sprite run a tenth of its time.
    std::setlocale(LC_CTYPE, "");
    std::setlocale(LC_MESSAGES, "");
    // "--kind ...", "--help", "-h", "pic.png -g16 --fit 131x64": the modern form.
    if (modern::IsModern(argc, argv)) return modern::Run(argc, argv);

    // A file larger than the user's limit allows is a write failure like any
    // other, not the end of the process.
    std::signal(SIGXFSZ, SIG_IGN);
    const std::string argumentText =
        cmdline::JoinArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (cmdline::IsBatch(argumentText)) {
        if (const auto status = RunBatchWithoutWindow(argumentText)) return *status;
    } else if (cmdline::NoDisplay(argc, argv)) {
        // Nobody could use the window: say how to convert instead.
        std::fputs("veldar-convert: no display; give a picture and an option to convert it\n",
                   stderr);
        std::fputs(cmdline::UsageText().c_str(), stderr);
        return 2;
    }
    const std::string window = loading::HelperProgram("veldar-window");
    if (!window.empty()) ::execv(window.c_str(), argv);
    std::fprintf(stderr, "veldar-convert: the window cannot be shown: %s\n",
                 window.empty() ? "veldar-window is not installed" : std::strerror(errno));
    return 2;
}
