// The requests of a run, from the options' choices and the pictures given:
// one a picture, or one list of them all; every output named as the command
// line names outputs (the classic way: beside the picture, the picture's
// name up to its last "." and the kind's extension; or in a folder; or the
// file -o names). The command line and the window's sprite tools build
// their requests here, so that the same choices give the same files.
#pragma once

#include "conversion.h"
#include "grob/options.h"

#include <optional>
#include <string>
#include <vector>

namespace pipeline {

// Where the output of `picture` goes: the file `choices.output` names, or
// named as the classic form names it (the kind's extension, or "png"),
// beside the picture or in `choices.outputDir`.
std::string OutputPath(const std::string& picture, const grob::Choices& choices);

// What the choices ask of a conversion of `source`, whoever made them: the
// kind, series, preparation, padding, text form, orientation, previews'
// zoom and cutting, each only where it has its effect (grob::Applied); no
// outputs yet. Every request of the command line and the window is built
// from this.
Request ConversionFor(Source source, const grob::Choices& choices, grob::Series savedSeries);

// The conversion of one picture ("-": standard input to standard output),
// of the `pictures` the run converts.
Request RequestFor(const std::string& picture, const grob::Choices& choices,
                   grob::Series savedSeries, std::size_t pictures = 1);
// The conversions of a run: one a picture, or with `choices.list` one for them all.
std::vector<Request> RequestsFor(const std::vector<std::string>& pictures,
                                 const grob::Choices& choices, grob::Series savedSeries);

// Whether --preview names a folder, for a run of `pictures`: one that
// exists, a name ending with "/", or any name when several pictures are
// converted each on its own (a folder made when it is missing).
bool PreviewIsFolder(const grob::Choices& choices, std::size_t pictures);

// The folders a run's outputs go into (--output-dir, and --preview when it
// names a folder), made with their parents when they are missing, as build
// tools expect, and found writable, before any work: the first that cannot
// be, and why.
struct FolderFault {
    std::string folder;
    std::string cause;
};
std::optional<FolderFault> MakeOutputFolders(const grob::Choices& choices, std::size_t pictures);

} // namespace pipeline
