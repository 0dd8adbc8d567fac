// The modern command line's arguments, read by the options table:
//   veldar-convert --kind KIND [OPTIONS] PICTURE... | -
// Long options (--kind g16, --kind=g16, or -kind after one dash), short
// ones (-k g16, -kg16, -k=g16, flags together as in -qv, and a value after
// them as in -qkgro), "--" before pictures that start with "-", and the
// classic kind options among the arguments ("pic.png -g16"), which are the
// kind. Every value is set through the table's bindings; names are bytes.
#pragma once

#include "grob/options.h"

#include <optional>
#include <string>
#include <vector>

namespace cli {

struct Arguments {
    grob::Choices choices;
    std::vector<std::string> pictures; // or just "-": standard input to standard output
    bool viewerAlone = false;          // --viewer without pictures: the viewer on its own
};

struct Parsed {
    std::optional<Arguments> arguments;
    std::string output; // help or version text for standard output; the run ends with 0
    std::string error;  // a usage error for standard error; the run ends with 2
};

// `argv` holds the program's name first. `cores` is the number of cores:
// the default number of jobs, and a quarter of the most.
Parsed ParseArguments(int argc, char** argv, int cores);

// The help text, made from the options table.
std::string HelpText();

} // namespace cli
