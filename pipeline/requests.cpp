#include "requests.h"

#include "commandline.h"
#include "filenames.h"
#include "grob/viewer.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace pipeline {

using cmdline::OutputName;

bool PreviewIsFolder(const grob::Choices& choices, std::size_t pictures) {
    const std::string& preview = choices.preview;
    return !preview.empty() && ((pictures > 1 && !choices.list) || preview.back() == '/' ||
                                filenames::IsFolder(preview));
}

std::optional<FolderFault> MakeOutputFolders(const grob::Choices& choices, std::size_t pictures) {
    for (const std::string& folder :
         {choices.outputDir,
          PreviewIsFolder(choices, pictures) ? choices.preview : std::string()}) {
        if (folder.empty()) continue;
        if (!filenames::IsFolder(folder)) {
            if (filenames::Exists(folder)) return FolderFault{folder, "it is not a folder"};
            std::error_code error;
            std::filesystem::create_directories(folder, error);
            if (error) return FolderFault{folder, error.message()};
            if (!filenames::IsFolder(folder))
                return FolderFault{folder, "the folder cannot be made"};
        }
        if (::access(folder.c_str(), W_OK | X_OK) != 0)
            return FolderFault{folder, std::strerror(errno)};
    }
    return std::nullopt;
}

std::string OutputPath(const std::string& picture, const grob::Choices& choices) {
    if (!choices.output.empty()) return choices.output;
    const std::string beside = OutputName(
        picture, choices.toPng                      ? "png"
                 : choices.player || choices.viewer ? std::string(grob::kProgramExtension)
                 : choices.sourceForm >= 0
                     ? std::string(grob::kSourceForms[std::size_t(choices.sourceForm)].extension)
                     : std::string(choices.kind.extension));
    if (choices.outputDir.empty()) return beside;
    return filenames::Join(choices.outputDir, filenames::FileName(beside));
}

Request ConversionFor(Source source, const grob::Choices& asked, grob::Series savedSeries) {
    const grob::Choices choices = grob::Applied(asked);
    Request request;
    request.source = std::move(source);
    request.kind = choices.kind;
    request.series = choices.series;
    request.defaultSeries = savedSeries;
    request.preparation = choices.preparation;
    request.padding = choices.clearPadding ? grob::Padding::Clear : grob::Padding::Classic;
    request.textHeader = choices.bare ? grob::TextHeader::Without : grob::TextHeader::With;
    request.keepStoredOrientation = choices.keepOrientation;
    request.zoom = choices.zoom;
    request.cutting = choices.cutting;
    // A player plays an animation's frames.
    if (choices.player) request.cutting.frames = true;
    // A PNG of a list shows every GROB of it.
    request.wholeLists = choices.toPng;
    request.playerDelayMs = choices.delay;
    if (choices.sourceForm >= 0)
        request.sourceForm = grob::kSourceForms[std::size_t(choices.sourceForm)].form;
    return request;
}

Request RequestFor(const std::string& picture, const grob::Choices& choices,
                   grob::Series savedSeries, std::size_t pictures) {
    const bool stream = picture == "-";
    Request request = ConversionFor(stream ? Source::StandardInput() : Source::File(picture),
                                    choices, savedSeries);
    // Several GROBs from one picture: one file each, numbered; their PNGs one
    // sheet side by side unless split.
    const bool source = choices.sourceForm >= 0;
    const bool numbered = !choices.list && !choices.player && !source &&
                          (choices.toPng ? choices.split : choices.cutting.many());
    const Product main = choices.toPng    ? Product::PicturePng
                         : choices.player ? Product::Player
                         : choices.viewer ? Product::Viewer
                         : source         ? Product::Source
                         : choices.text   ? Product::GrobText
                                          : Product::Grob;
    const bool toStandardOutput = choices.output.empty() ? stream : choices.output == "-";
    const std::string path = OutputPath(picture, choices);
    request.outputs.push_back({main, toStandardOutput ? Target::StandardOutput()
                                     : numbered       ? Target::Numbered(path)
                                                      : Target::File(path)});
    if (!choices.preview.empty()) {
        std::string view = choices.preview;
        if (PreviewIsFolder(choices, pictures)) {
            // Named like the GROB (the picture's name when the GROB goes to standard output).
            const bool named = !choices.output.empty() && choices.output != "-";
            const std::string grob(filenames::FileName(named ? choices.output : picture));
            view = filenames::Join(view, OutputName(grob, "png"));
        }
        // One preview a GROB: numbered when there can be several.
        request.outputs.push_back({Product::PreviewPng, choices.cutting.many() || choices.list
                                                            ? Target::Numbered(view)
                                                            : Target::File(view)});
    }
    return request;
}

std::vector<Request> RequestsFor(const std::vector<std::string>& pictures,
                                 const grob::Choices& choices, grob::Series savedSeries) {
    std::vector<Request> requests;
    if (!choices.list && !choices.player) {
        for (const std::string& picture : pictures)
            requests.push_back(RequestFor(picture, choices, savedSeries, pictures.size()));
        return requests;
    }
    // One list of every picture's GROBs, named after the first picture and
    // its kind (walk.g16.lst), so that reading it back knows the kind.
    const std::string& first = pictures.front();
    Request request = RequestFor(first, choices, savedSeries);
    for (std::size_t i = 1; i < pictures.size(); ++i)
        request.more.push_back(Source::File(pictures[i]));
    const bool stream = choices.output.empty() ? first == "-" : choices.output == "-";
    std::string path = choices.output;
    if (path.empty()) {
        const std::string name = OutputName(
            first == "-" ? std::string("list") : first,
            choices.player ? std::string(grob::kProgramExtension)
            : choices.sourceForm >= 0
                ? std::string(grob::kSourceForms[std::size_t(choices.sourceForm)].extension)
                : std::string(choices.kind.extension) + ".lst");
        path = choices.outputDir.empty()
                   ? name
                   : filenames::Join(choices.outputDir, filenames::FileName(name));
    }
    request.outputs.front() = {choices.player            ? Product::Player
                               : choices.sourceForm >= 0 ? Product::Source
                               : choices.text            ? Product::ListText
                                                         : Product::List,
                               stream ? Target::StandardOutput() : Target::File(path)};
    requests.push_back(std::move(request));
    return requests;
}

} // namespace pipeline
