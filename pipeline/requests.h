// The requests of a run, from the options' choices and the pictures given:
// one a picture, or one list of them all; every output named as the command
// line names outputs (the classic way: beside the picture, the picture's
// name up to its last "." and the kind's extension; or in a folder; or the
// file -o names). The command line and the window's sprite tools build
// their requests here, so that the same choices give the same files.
#pragma once

#include "conversion.h"
#include "grob/options.h"

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

// The conversion of one picture ("-": standard input to standard output).
Request RequestFor(const std::string& picture, const grob::Choices& choices,
                   grob::Series savedSeries);
// The conversions of a run: one a picture, or with `choices.list` one for them all.
std::vector<Request> RequestsFor(const std::vector<std::string>& pictures,
                                 const grob::Choices& choices, grob::Series savedSeries);

// Whether a --preview path names a folder: one that exists, or a name
// ending with "/" (made when it is missing).
bool PreviewIsFolder(const std::string& preview);

} // namespace pipeline
