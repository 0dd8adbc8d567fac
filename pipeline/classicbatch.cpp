#include "classicbatch.h"

#include "conversion.h"
#include "filenames.h"
#include "targets.h"

namespace classicbatch {

namespace {

// A conversion's failure: the file it is about and why; empty when it was written.
struct Failure {
    std::string file;
    std::string cause;
};

pipeline::Request RequestFor(const std::string& picture, const grob::OutputKind& kind,
                             grob::Series series) {
    pipeline::Request request;
    request.source = pipeline::Source::File(picture);
    request.kind = kind;
    request.series = series;
    request.outputs = {{pipeline::Product::Grob,
                        pipeline::Target::File(cmdline::OutputName(picture, kind.extension))}};
    return request;
}

Failure Written(const pipeline::Request& request, std::FILE* errors) {
    for (const pipeline::Clash& clash : pipeline::CheckTargets({request}))
        return {clash.file, clash.cause};
    const pipeline::Result result = pipeline::Convert(request);
    // The GROB is written as it always was; what the user should know of it
    // (that no calculator holds it) is said beside.
    for (const std::string& note : result.notes)
        std::fprintf(
            errors, "%s\n",
            filenames::Printable("veldar-convert: " + request.source.name() + ": " + note).c_str());
    return {result.file, result.cause};
}

} // namespace

int Run(const Batch& batch) {
    const cmdline::CommandLine& line = batch.line;
    Failure failure;
    if (line.fileName.empty()) {
        failure = {line.fileName, "no file name given"};
    } else if (const auto kind = cmdline::KindForOption(line.option); !kind) {
        failure = {line.fileName, "\"" + line.option + "\" is not one of the seven options"};
    } else {
        const pipeline::Request request = RequestFor(
            line.fileName, *kind, batch.start.hp48 ? grob::Series::HP48 : grob::Series::HP49);
        // What the header refuses is said before the picture is shown, so
        // that a picture that cannot be converted costs nothing to show.
        const pipeline::Result refused = pipeline::CheckHeader(request);
        const std::string cause = !refused.ok() ? std::string()
                                  : batch.show  ? batch.show(line.fileName)
                                                : std::string();
        if (!refused.ok())
            failure = {refused.file, refused.cause};
        else if (!cause.empty())
            failure = {line.fileName, cause};
        else
            failure = Written(request, batch.errors);
    }
    if (!failure.cause.empty())
        std::fprintf(
            batch.errors, "%s\n",
            filenames::Printable("veldar-convert: " + failure.file + ": " + failure.cause).c_str());
    const std::string error = settings::Save(
        batch.settingsPath, settings::InWholePixels(batch.start, batch.twipsPerPixel));
    if (!error.empty())
        std::fprintf(batch.errors, "%s\n",
                     filenames::Printable("veldar-convert: cannot write the settings file " +
                                          batch.settingsPath + ": " + error)
                         .c_str());
    std::fflush(batch.errors);
    return failure.cause.empty() ? 0 : 1;
}

} // namespace classicbatch
