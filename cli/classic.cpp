#include "classic.h"

#include "commandline.h"
#include "conversion.h"
#include "errorstream.h"
#include "qtnames.h"
#include "settings.h"
#include "targets.h"

#include <cmath>
#include <cstdio>

namespace classic {

namespace {

// A length in twips as a window at 96 dots per inch stands it: whole pixels
// of 15 twips, rounded to nearest, ties to even.
float WholePixels(float twips) {
    return float(std::nearbyint(double(twips) / 15.0) * 15.0);
}

} // namespace

std::optional<int> RunBatchWithoutWindow(const QString& argumentText) {
    const QString settingsPath = settings::SettingsPath();
    const auto saved = settings::Load(settingsPath);
    if (!saved) return std::nullopt;
    std::FILE* errors = errorstream::OwnErrorStream();
    const cmdline::CommandLine line = cmdline::Parse(argumentText);
    const grob::OutputKind kind = *cmdline::KindForOption(line.option);

    int status = 0;
    auto fail = [&](const QString& file, const QString& cause) {
        const QString said = QStringLiteral("veldar-convert: %1: %2").arg(file, cause);
        std::fprintf(errors, "%s\n", qtnames::Printable(said).toLocal8Bit().constData());
        status = 1;
    };
    if (line.fileName.isEmpty()) {
        fail(line.fileName, QStringLiteral("no file name given"));
    } else {
        pipeline::Request request;
        request.source = pipeline::Source::File(qtnames::ToNative(line.fileName).toStdString());
        request.kind = kind;
        request.series = saved->hp48 ? grob::Series::HP48 : grob::Series::HP49;
        const QString output = cmdline::OutputName(
            line.fileName,
            QString::fromLatin1(kind.extension.data(), qsizetype(kind.extension.size())));
        request.outputs = {{pipeline::Product::Grob,
                            pipeline::Target::File(qtnames::ToNative(output).toStdString())}};
        const auto clashes = pipeline::CheckTargets({request});
        if (!clashes.empty()) {
            fail(qtnames::FromNative(QByteArray::fromStdString(clashes.front().file)),
                 QString::fromStdString(clashes.front().cause));
        } else if (const pipeline::Result result = pipeline::Convert(request); !result.ok()) {
            fail(qtnames::FromNative(QByteArray::fromStdString(result.file)),
                 QString::fromStdString(result.cause));
        }
    }
    // Nobody had the chance to move the window: the file keeps what it said,
    // in whole pixels, as the window would have written it.
    const settings::WindowSettings values{WholePixels(saved->left), WholePixels(saved->top),
                                          WholePixels(saved->width), WholePixels(saved->height),
                                          saved->hp48};
    const QString error = settings::Save(settingsPath, values);
    if (!error.isEmpty())
        std::fprintf(errors, "veldar-convert: cannot write the settings file %s: %s\n",
                     qPrintable(qtnames::Printable(settingsPath)), qPrintable(error));
    std::fflush(errors);
    return status;
}

} // namespace classic
