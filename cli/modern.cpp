#include "modern.h"

#include "conversion.h"
#include "errorstream.h"
#include "modernoptions.h"
#include "progress.h"
#include "settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace modern {

namespace {

QString Line(const QString& file, const QString& cause) {
    return QStringLiteral("veldar-convert: %1: %2").arg(file, cause);
}

} // namespace

bool IsModern(int argc, char** argv) {
    return argc > 1 && (std::strncmp(argv[1], "--", 2) == 0 || std::strcmp(argv[1], "-h") == 0);
}

int Run(int argc, char** argv) {
    std::signal(SIGXFSZ, SIG_IGN); // a file-size limit is a write failure, not the end
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("veldar-convert"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELDAR_VERSION));
    const Parsed parsed =
        ParseArguments(QCoreApplication::arguments(), QThread::idealThreadCount());
    if (!parsed.output.isEmpty()) {
        std::fputs(qPrintable(parsed.output), stdout);
        return 0;
    }
    if (!parsed.options) {
        std::fprintf(stderr, "veldar-convert: %s\nTry 'veldar-convert --help'.\n",
                     qPrintable(parsed.error));
        return 2;
    }
    const Options& options = *parsed.options;
    const bool terminal = ::isatty(2);
    // Only this program's own lines reach the standard error stream.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    std::FILE* errors = errorstream::OwnErrorStream();
    // Without --series: a GROB's own series, else the one the window saved.
    grob::Series series = grob::Series::HP49;
    if (const auto saved = settings::Load(settings::SettingsPath()))
        series = saved->hp48 ? grob::Series::HP48 : grob::Series::HP49;
    // The output folder is made when it is not there yet, as build tools expect.
    if (!options.outputDir.isEmpty()) {
        const QFileInfo folder(options.outputDir);
        QString why;
        if (folder.exists() && !folder.isDir())
            why = QStringLiteral("it is not a folder");
        else if (!folder.exists() && !QDir().mkpath(options.outputDir))
            why = QStringLiteral("the folder cannot be made");
        if (!why.isEmpty()) {
            std::fprintf(errors, "%s\n", qPrintable(Line(options.outputDir, why)));
            return 1;
        }
    }
    // Every request of the run, checked against each other before any work:
    // no output replaces a picture of the run or another output.
    std::vector<pipeline::Request> requests;
    for (const QString& picture : options.pictures)
        requests.push_back(RequestFor(picture, options, series));
    std::vector<bool> refused(requests.size(), false);
    std::atomic<bool> anyFailed = false;
    for (const pipeline::Clash& clash : pipeline::CheckTargets(requests)) {
        std::fprintf(errors, "%s\n", qPrintable(Line(clash.file, clash.cause)));
        refused[clash.request] = true;
        anyFailed = true;
    }
    std::vector<const pipeline::Request*> pictures;
    for (std::size_t i = 0; i < requests.size(); ++i)
        if (!refused[i]) pictures.push_back(&requests[i]);
    pipeline::Context context;
    context.flush = grob::Flush::Later;
    const int total = int(pictures.size());
    Progress progress(errors, total, terminal && !options.quiet && total > 3);
    auto convert = [&](const pipeline::Request* request) {
        progress.started(request->source.name());
        const pipeline::Result result = pipeline::Convert(*request, context);
        if (!result.ok()) {
            anyFailed = true;
            progress.failure(Line(result.file, result.cause));
        }
        progress.finished();
    };
    // The calling thread takes pictures too, and helpers are started only as
    // the system allows: the run never waits on a thread that did not start.
    std::atomic<std::size_t> next = 0;
    auto work = [&] {
        for (std::size_t i = next++; i < pictures.size(); i = next++)
            convert(pictures[i]);
    };
    std::vector<std::thread> helpers;
    const std::size_t wanted = std::min(pictures.size(), std::size_t(options.jobs));
    for (std::size_t i = 1; i < wanted; ++i) {
        try {
            helpers.emplace_back(work);
        } catch (const std::system_error&) {
            break; // no more threads to be had: fewer hands do the work
        }
    }
    work();
    for (std::thread& helper : helpers)
        helper.join();
    // One flush for all the files written, not one each: the run is done
    // when everything it wrote is on the disk.
    if (!grob::FlushLaterFiles()) {
        progress.failure(QStringLiteral("veldar-convert: the files written may not all be on the "
                                        "disk: %1")
                             .arg(QString::fromLocal8Bit(std::strerror(errno))));
        anyFailed = true;
    }
    return anyFailed ? 1 : 0;
}

} // namespace modern
