#include "modern.h"

#include "arguments.h"
#include "conversion.h"
#include "errorstream.h"
#include "filenames.h"
#include "grob/checks.h"
#include "grob/grobfile.h"
#include "grob/options.h"
#include "grob/viewer.h"
#include "progress.h"
#include "requests.h"
#include "sending.h"
#include "settings.h"
#include "targets.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <system_error>
#include <thread>
#include <vector>

#include <unistd.h>

namespace modern {

namespace {

// Short options of the table: alone ("-k"), flags together ("-qv"), a
// value attached ("-j4", "-qkgro"). Qt's own options for the window that
// would read so (-display, -dograb) stay the window's.
bool IsShortOption(const char* argument) {
    if (argument[0] != '-' || argument[1] == '\0' || argument[1] == '-') return false;
    if (std::strcmp(argument, "-display") == 0 || std::strcmp(argument, "-dograb") == 0)
        return false;
    for (const char* c = argument + 1; *c; ++c) {
        const auto option =
            std::find_if(grob::Options().begin(), grob::Options().end(),
                         [&](const grob::OptionEntry& o) { return o.shortName == *c; });
        if (option == grob::Options().end()) return false;
        if (option->type != grob::OptionType::Flag) return true; // the rest is its value
    }
    return true;
}

// Help or version text to standard output: a failed write is a failure.
int PrintToStandardOutput(const std::string& text) {
    if (errorstream::WasClosed(1)) {
        std::fputs("veldar-convert: standard output is closed\n", stderr);
        return 1;
    }
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
        std::fflush(stdout) != 0) {
        std::fprintf(stderr, "veldar-convert: standard output: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}

} // namespace

bool IsModern(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--", 2) == 0 || IsShortOption(argv[i])) return true;
    return false;
}

namespace {

std::string Line(const std::string& file, const std::string& cause) {
    return "veldar-convert: " + file + ": " + cause;
}

// Sends every file written to the calculator, one at a time, saying what
// goes where before each (a transfer at 9600 baud takes about a second a
// kilobyte) and how it ended; false when one was not sent.
bool SendAll(const std::vector<std::vector<std::string>>& written, const grob::Choices& choices,
             const std::function<void(const std::string&)>& say) {
    const sending::Link link{
        choices.send, choices.protocol == 1 ? sending::Protocol::XModem : sending::Protocol::Kermit,
        choices.baud};
    bool all = true;
    for (const auto& files : written)
        for (const std::string& file : files) {
            const std::string name = sending::CalculatorName(file);
            std::error_code error;
            const auto size = std::int64_t(std::filesystem::file_size(file, error));
            if (!choices.quiet)
                say("veldar-convert: sending " + file +
                    (link.protocol == sending::Protocol::Kermit ? " as " + name : std::string()) +
                    " to " + link.device + " (" + grob::Thousands(size) + " bytes, about " +
                    std::to_string(1 + size * 10 / std::max(link.speed, 1)) + " s)");
            const auto start = std::chrono::steady_clock::now();
            const std::string failure = sending::Send(link, file, name);
            const double took =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (failure.empty() && !choices.quiet) {
                char seconds[32];
                std::snprintf(seconds, sizeof seconds, "%.1f", took);
                say("veldar-convert: " + file + ": sent in " + seconds + " s");
            } else if (!failure.empty()) {
                say(Line(file, "not sent: " + failure));
                all = false;
            }
        }
    return all;
}

// --viewer without pictures: the grayscale viewer alone, binary (GV) or
// as MASD source for the HP 49 series (GV.masd), sent on when asked.
int WriteViewer(const grob::Choices& choices) {
    const grob::Series series = choices.series.value_or(grob::Series::HP48);
    std::vector<std::uint8_t> bytes;
    if (choices.text) {
        const std::string text = grob::ViewerMasdText();
        bytes.assign(text.begin(), text.end());
    } else {
        bytes = grob::ViewerFile(series);
    }
    std::string path = choices.output.empty() ? (choices.text ? "GV.masd" : "GV") : choices.output;
    if (!choices.outputDir.empty()) path = filenames::Join(choices.outputDir, path);
    std::FILE* errors = errorstream::OwnErrorStream();
    auto say = [&](const std::string& line) {
        std::fprintf(errors, "%s\n", filenames::Printable(line).c_str());
    };
    if (path == "-") {
        if (!choices.send.empty()) {
            say("veldar-convert: --send sends the files written: not with standard output");
            return 2;
        }
        return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() &&
                       std::fflush(stdout) == 0
                   ? 0
                   : 1;
    }
    if (const auto fault = pipeline::MakeOutputFolders(choices, 0)) {
        say(Line(fault->folder, fault->cause));
        return 1;
    }
    try {
        grob::WriteFileAtomically(path, bytes);
    } catch (const grob::Error& error) {
        say(Line(path, error.cause()));
        return 1;
    }
    if (choices.verbose) std::printf("%s\n", filenames::Printable(path).c_str());
    if (!choices.send.empty() && !SendAll({{path}}, choices, say)) return 1;
    return 0;
}

} // namespace

int Run(int argc, char** argv) {
    std::signal(SIGXFSZ, SIG_IGN); // a file-size limit is a write failure, not the end
    const unsigned cores = std::thread::hardware_concurrency();
    cli::Parsed parsed = cli::ParseArguments(argc, argv, int(std::max(1u, cores)));
    if (!parsed.output.empty()) return PrintToStandardOutput(parsed.output);
    if (!parsed.arguments) {
        std::fprintf(stderr, "veldar-convert: %s\nTry 'veldar-convert --help'.\n",
                     filenames::Printable(parsed.error).c_str());
        return 2;
    }
    const grob::Choices& choices = parsed.arguments->choices;
    const std::vector<std::string>& pictures = parsed.arguments->pictures;
    if (parsed.arguments->viewerAlone) return WriteViewer(choices);
    // A terminal that can go back over a line: not a dumb one (an editor's
    // shell buffer, say), which would show the escapes.
    const char* const term = std::getenv("TERM");
    const bool terminal = ::isatty(2) && !(term && std::string_view(term) == "dumb");
    std::FILE* errors = errorstream::OwnErrorStream();
    auto say = [&](const std::string& line) {
        std::fprintf(errors, "%s\n", filenames::Printable(line).c_str());
    };
    // Without --series: a GROB's own series, else the one the window saved.
    grob::Series series = grob::Series::HP49;
    if (const auto saved = settings::Load(settings::SettingsPath()))
        series = saved->hp48 ? grob::Series::HP48 : grob::Series::HP49;
    // The folders the outputs go into, made (and found writable) once,
    // before any work: one line, not one a picture.
    if (const auto fault = pipeline::MakeOutputFolders(choices, pictures.size())) {
        say(Line(fault->folder, fault->cause));
        return 1;
    }
    // Every request of the run, checked against each other before any work:
    // no output replaces a picture of the run or another output.
    std::vector<pipeline::Request> requests = pipeline::RequestsFor(pictures, choices, series);
    bool toStandardOutput = false;
    for (const pipeline::Request& request : requests)
        for (const pipeline::Output& output : request.outputs)
            toStandardOutput |= output.target.to == pipeline::Target::To::StandardOutput;
    if (!choices.send.empty() && toStandardOutput) {
        say("veldar-convert: --send sends the files written: not with standard output");
        return 2;
    }
    // --verbose: on standard output, as cp -v and install -v write, unless
    // the output itself goes there.
    std::FILE* files = !choices.verbose ? nullptr : toStandardOutput ? errors : stdout;
    const int total = int(requests.size());
    const bool bar = terminal && !choices.quiet && total > 3;
    cli::Progress progress(errors, total, bar, files, !choices.quiet && (bar || choices.verbose));

    std::vector<bool> refused(requests.size(), false);
    std::atomic<int> converted = 0, failed = 0;
    std::atomic<bool> fullMasks = false;
    for (const pipeline::Clash& clash : pipeline::CheckTargets(requests)) {
        progress.failure(Line(clash.file, clash.cause));
        refused[clash.request] = true;
        ++failed;
    }
    std::vector<const pipeline::Request*> todo;
    for (std::size_t i = 0; i < requests.size(); ++i)
        if (!refused[i]) todo.push_back(&requests[i]);
    pipeline::Context context;
    context.flush = grob::Flush::Later; // the pictures decoded at once share the context's budget
    context.refuseOversize = !choices.oversize;
    // The files written, by request, to be sent in the order given.
    std::vector<std::vector<std::string>> written(requests.size());
    auto convert = [&](const pipeline::Request* request) {
        const std::string name = request->source.name();
        progress.started(name);
        const pipeline::Result result = pipeline::Convert(*request, context);
        if (!choices.quiet) {
            for (const std::string& note : result.notes)
                progress.failure(Line(name, note));
            for (const std::string& file : result.replaced)
                progress.failure(Line(file, "replaced the file that was there"));
        }
        if (result.ok()) {
            ++converted;
            if (result.fullMasks) fullMasks = true;
            for (const pipeline::Made& made : result.made) {
                progress.written(name + " -> " + made.output.target.name() + ", " +
                                 grob::Thousands(std::int64_t(made.bytes.size())) + " bytes");
                if (made.output.target.to == pipeline::Target::To::File)
                    written[std::size_t(request - requests.data())].push_back(
                        made.output.target.path);
            }
        } else {
            ++failed;
            progress.failure(Line(result.file, result.cause));
        }
        progress.finished();
    };
    // Several pictures: helpers convert them, each holding SIGINT, SIGTERM
    // and SIGHUP back from its start, while this thread only waits and takes
    // such a signal when one comes (so no write has to hold them back on
    // its own). One picture, or no helper to be had: this thread converts.
    // Helpers are started only as the system allows: the run never waits on
    // a thread that did not start.
    std::atomic<std::size_t> next = 0;
    auto work = [&] {
        for (std::size_t i = next++; i < todo.size(); i = next++)
            convert(todo[i]);
    };
    std::vector<std::thread> helpers;
    const std::size_t wanted = std::min(todo.size(), std::size_t(std::max(choices.jobs, 1)));
    for (std::size_t i = todo.size() > 1 ? 0 : 1; i < wanted; ++i) {
        try {
            helpers.emplace_back([&] {
                grob::HoldEndingSignalsInThisThread();
                work();
            });
        } catch (const std::system_error&) {
            break; // no more threads to be had: fewer hands do the work
        }
    }
    if (helpers.empty()) work();
    for (std::thread& helper : helpers)
        helper.join();
    if (fullMasks && !choices.quiet)
        progress.failure("veldar-convert: no transparency: every mask is full");

    // One flush for all the files written, not one each: the run is done
    // when everything it wrote is on the disk.
    int status = failed > 0 ? 1 : 0;
    if (!grob::FlushLaterFiles()) {
        progress.failure(std::string("veldar-convert: the files written may not all be on the "
                                     "disk: ") +
                         std::strerror(errno));
        status = 1;
    }
    progress.finish(converted, failed);
    if (!choices.send.empty() && !SendAll(written, choices, say)) status = 1;
    if (files == stdout &&
        (errorstream::WasClosed(1) || std::fflush(stdout) != 0 || std::ferror(stdout))) {
        const char* why = errorstream::WasClosed(1) ? "it is closed" : std::strerror(errno);
        std::fprintf(errors, "veldar-convert: standard output: %s\n", why);
        status = 1;
    }
    return status;
}

} // namespace modern
