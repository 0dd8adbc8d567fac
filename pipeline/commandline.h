// The classic command line: an argument text that names a picture and,
// optionally, one of the seven output kinds. Names are bytes, as the system
// gives them.
#pragma once

#include "grob/kinds.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cmdline {

// The argument text as a command line would have carried it: arguments
// joined with single spaces, one that contains a space (or is empty) in
// double quotes.
std::string JoinArguments(const std::vector<std::string>& arguments);

struct CommandLine {
    std::string fileName;
    std::string option;
};

// Cuts the argument text into file name and option. With a double quote
// anywhere, the file name is the text between the first two quotes and the
// option the text after the second; otherwise the text is cut at spaces.
// Only spaces are stripped from the option.
CommandLine Parse(std::string_view argumentText);

// "-1", "-2", "-4", "-g04", "-g08", "-g16", "-g32" (exactly, case matters).
std::optional<grob::OutputKind> KindForOption(std::string_view option);

// Whether the argument text asks for a batch run: its option is one of the seven.
bool IsBatch(std::string_view argumentText);

// The output file for a picture: its name up to and including the last "."
// of the file name part, followed by the extension; a file name part without
// a "." keeps its whole name and gets "." and the extension.
std::string OutputName(std::string_view fileName, std::string_view extension);

// The classic form's usage text.
std::string UsageText();

// Whether there is no display to show a window on and no platform chosen by
// the user (QT_QPA_PLATFORM, or Qt's "-platform" argument).
bool NoDisplay(int argc, char** argv);

} // namespace cmdline
