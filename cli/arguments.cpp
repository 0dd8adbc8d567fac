#include "arguments.h"

#include "commandline.h"
#include "filenames.h"
#include "grob/checks.h"
#include "requests.h"

#include <algorithm>
#include <cctype>

namespace cli {

namespace {

using grob::OptionEntry;
using grob::OptionType;

std::size_t IndexOf(const OptionEntry& option) {
    return std::size_t(&option - grob::Options().data());
}

// The option of a long name, or of a one-letter name as its short one.
const OptionEntry* Find(std::string_view name) {
    for (const OptionEntry& option : grob::Options())
        if (option.name == name || (name.size() == 1 && option.shortName == name[0]))
            return &option;
    return nullptr;
}

// An option as it is written: "-k" for a one-letter name, else "--kind".
std::string Spelled(std::string_view name) {
    return (name.size() == 1 ? "-" : "--") + std::string(name);
}

std::string Long(const OptionEntry& option) {
    return "--" + std::string(option.name);
}

// What an option's value is: "a whole number from 1 to 16", "a kind (gro, ... or g32)".
std::string Wanted(const OptionEntry& option) {
    const std::string low = grob::FormatNumber(option.minimum);
    const std::string high = grob::FormatNumber(option.maximum);
    switch (option.type) {
    case OptionType::Whole:
        return option.maximum >= 1e6 ? "a whole number of " + low + " or more"
                                     : "a whole number from " + low + " to " + high;
    case OptionType::Number:
        return "a number from " + low + " to " + high;
    case OptionType::Size:
        return "WIDTHxHEIGHT, each from " + low + " to " + high + ", as 131x64";
    case OptionType::Region:
        return "WIDTHxHEIGHT+X+Y, each side from " + low + " to " + high +
               " and the corner from 0 to " + high + ", as 131x64+20+0";
    case OptionType::Choice: {
        std::string list;
        for (std::size_t i = 0; i < option.choices.size(); ++i) {
            if (i > 0) list += i + 1 == option.choices.size() ? " or " : ", ";
            list += option.choices[i].name;
        }
        std::string what(option.valueName);
        for (char& c : what)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        const bool word = std::all_of(what.begin(), what.end(), [](char c) {
            return std::isalpha(static_cast<unsigned char>(c));
        });
        return word && !grob::ParseChoice(option, option.valueName)
                   ? "a " + what + " (" + list + ")"
                   : list;
    }
    case OptionType::Path:
        return option.valueName == "DIR"        ? "a folder name"
               : option.valueName == "FILE|DIR" ? "a file or folder name"
                                                : "a file name";
    case OptionType::Flag:
        break;
    }
    return {};
}

// What an option given without a value (or an empty one) needed.
std::string Needs(const OptionEntry& option) {
    return Long(option) + " needs " + Wanted(option) +
           (option.name == "output" ? " (or - for standard output)" : "");
}

// A value said back in a message, a long one cut short: a line of an
// error should not carry whatever a script put in an argument.
std::string Echoed(std::string_view value) {
    constexpr std::size_t kMost = 60;
    if (value.size() <= kMost) return std::string(value);
    std::size_t cut = kMost - 3;
    while (cut > 0 && (static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80)
        --cut; // not inside a character
    return std::string(value.substr(0, cut)) + "...";
}

// Why a value is refused. A value that names an existing file is most
// likely a picture taken for the missing value ("--kind photo.jpg").
std::string RefusedValue(const OptionEntry& option, const std::string& value) {
    if (filenames::Exists(value))
        return Long(option) + " needs " + Wanted(option) + " before the file \"" + value + "\"";
    return Long(option) + " takes " + Wanted(option) + ", not \"" + Echoed(value) + "\"";
}

// Whether "-word" or "-word=value" names a long option ("-kind"): one letter
// is a short one, and so is a word that is no option's name ("-qv").
bool LongAfterOneDash(std::string_view argument) {
    const std::string_view word = argument.substr(1, argument.find('=') - 1);
    return word.size() > 1 && Find(word);
}

// What the command line gave, before any value is looked at.
struct Given {
    std::vector<std::vector<std::string>> values =
        std::vector<std::vector<std::string>>(grob::Options().size()); // each entry's, in order
    std::vector<std::string> classicKinds; // "-g16" among the arguments: the kind
    std::vector<std::string> pictures;
    std::string unknown; // the first option that is none of the table's
    std::string fault;   // the first value missing or given to a flag

    bool has(const OptionEntry& option) const { return !values[IndexOf(option)].empty(); }
};

// Reads the arguments as GNU and Qt tools read theirs: "--name value",
// "--name=value", "-n value", "-nvalue", "-n=value", flags together
// ("-qv", "-qkgro"), "--" before pictures only; a long name after a single
// dash ("-kind") is taken as one. A classic kind option where an option
// could stand (not as a value, not after "--") is the kind.
Given Read(int argc, char** argv) {
    Given given;
    auto unknown = [&](std::string spelled) {
        if (given.unknown.empty()) given.unknown = std::move(spelled);
    };
    auto fault = [&](std::string why) {
        if (given.fault.empty()) given.fault = std::move(why);
    };
    int i = 1;
    // The value of `option` from the next argument, when there is one.
    auto next = [&](const OptionEntry& option) {
        if (i + 1 < argc)
            given.values[IndexOf(option)].emplace_back(argv[++i]);
        else
            fault(Needs(option));
    };
    bool ended = false;
    for (; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (ended) {
            given.pictures.emplace_back(argument);
        } else if (argument == "--") {
            ended = true;
        } else if (cmdline::KindForOption(argument)) {
            given.classicKinds.emplace_back(argument);
        } else if (argument.size() > 1 && argument[0] == '-' &&
                   (argument[1] == '-' || LongAfterOneDash(argument))) {
            // A long option.
            const std::string_view text = argument.substr(argument[1] == '-' ? 2 : 1);
            const std::size_t equals = text.find('=');
            const std::string_view name = text.substr(0, equals);
            const OptionEntry* option = Find(name);
            if (!option) {
                unknown(Spelled(name));
            } else if (option->type == OptionType::Flag) {
                if (equals != std::string_view::npos)
                    fault(Spelled(name) + " takes no value");
                else
                    given.values[IndexOf(*option)].emplace_back();
            } else if (equals != std::string_view::npos) {
                given.values[IndexOf(*option)].emplace_back(text.substr(equals + 1));
            } else {
                next(*option);
            }
        } else if (argument.size() > 1 && argument[0] == '-') {
            // Short options, together: a value is the rest of the word
            // (after an "=", if any), or the next argument.
            for (std::size_t at = 1; at < argument.size(); ++at) {
                const std::string_view letter = argument.substr(at, 1);
                const OptionEntry* option = Find(letter);
                if (!option) {
                    unknown(Spelled(letter));
                    continue;
                }
                if (option->type != OptionType::Flag) {
                    if (at + 1 == argument.size())
                        next(*option);
                    else
                        given.values[IndexOf(*option)].emplace_back(
                            argument.substr(at + 1 + (argument[at + 1] == '=' ? 1 : 0)));
                    break;
                }
                given.values[IndexOf(*option)].emplace_back();
                if (at + 1 < argument.size() && argument[at + 1] == '=') {
                    fault(Spelled(letter) + " takes no value");
                    break;
                }
            }
        } else {
            given.pictures.emplace_back(argument); // "-" too: standard input
        }
    }
    return given;
}

// Two values that say the same: the same text, or the same value of the option.
bool Same(const OptionEntry& option, const std::string& a, const std::string& b) {
    if (a == b) return true;
    const auto first = grob::ParseValue(option, a), second = grob::ParseValue(option, b);
    return first && second &&
           grob::FormatValue(option, *first) == grob::FormatValue(option, *second);
}

std::string Padded(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

bool Blank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// An option's names and its description in two columns, the description
// wrapped to stay within 79 columns (as Qt's command-line parser lays out
// its help, which this text has always followed).
std::string Described(const std::string& names, std::size_t width, std::string_view description) {
    std::string text;
    std::size_t nameIndex = 0;
    auto nextNames = [&] {
        const std::string section = names.substr(std::min(nameIndex, names.size()), width);
        nameIndex += section.size();
        return section;
    };
    const std::ptrdiff_t max = 79 - std::ptrdiff_t(2 + width + 1);
    std::ptrdiff_t x = 0, lastBreakable = -1;
    std::size_t lineStart = 0;
    const std::size_t length = description.size();
    for (std::size_t i = 0; i < length; ++i) {
        ++x;
        const char c = description[i];
        if (Blank(c)) lastBreakable = std::ptrdiff_t(i);
        std::ptrdiff_t breakAt = -1;
        std::size_t nextLineStart = 0;
        if (x > max && lastBreakable != -1) {
            breakAt = lastBreakable; // time to break, and there is a place
            nextLineStart = std::size_t(lastBreakable) + 1;
        } else if ((x > max - 1 && lastBreakable == -1) || i == length - 1) {
            breakAt = std::ptrdiff_t(i) + 1; // no place to break, or the end
            nextLineStart = std::size_t(breakAt);
        } else if (c == '\n') {
            breakAt = std::ptrdiff_t(i);
            nextLineStart = i + 1;
        }
        if (breakAt == -1) continue;
        text += "  " + Padded(nextNames(), width) + ' ';
        text += std::string(description.substr(lineStart, std::size_t(breakAt) - lineStart)) + '\n';
        x = 0;
        lastBreakable = -1;
        lineStart = nextLineStart;
        if (lineStart < length && Blank(description[lineStart]))
            ++lineStart; // no line starts blank
        i = lineStart;
    }
    while (nameIndex < names.size())
        text += "  " + nextNames() + '\n';
    return text;
}

const char* const kPicture = "PICTURE";
const char* const kPictureHelp = "The pictures to convert, or - alone.";

} // namespace

std::string HelpText() {
    std::vector<std::string> names;
    std::size_t widest = std::string_view(kPicture).size();
    for (const OptionEntry& option : grob::Options()) {
        std::string name = option.shortName ? std::string{'-', option.shortName, ',', ' '} : "";
        name += Long(option);
        if (option.type != OptionType::Flag) name += " <" + std::string(option.valueName) + '>';
        widest = std::max(widest, name.size());
        names.push_back(std::move(name));
    }
    const std::size_t width = std::min<std::size_t>(50, widest + 1);
    std::string text = "Usage: veldar-convert [options] PICTURE...\n"
                       "Converts pictures into HP 48 / HP 49 graphics objects (GROBs), many at\n"
                       "once, without a window.\n\nOptions:\n";
    for (const OptionEntry& option : grob::Options())
        text += Described(names[IndexOf(option)], width, option.help);
    text += "\nArguments:\n" + Described(kPicture, width, kPictureHelp) +
            Described("--", width,
                      "Ends the options: every argument after it is a picture, even "
                      "one that starts with a dash.");
    text += "\nKinds (--kind, or the classic option):\n";
    for (const grob::OutputKind& kind : grob::OutputKinds())
        text += "  " + Padded(std::string(kind.extension), 6) + ' ' +
                Padded(std::string(kind.option), 6) + ' ' + std::string(kind.description) + '\n';
    text += "\nEach output is named as the classic form names it: the picture's name up to\n"
            "its last \".\" and the kind's extension (\"png\" with --to png); the text\n"
            "form (--text) takes the same name. \"-\" as the only picture reads one\n"
            "picture from standard input and writes the output to standard output.\n"
            "GROBs are read like pictures, in either form; a GROB's kind is told by\n"
            "its extension, any other name being read as a plain 1-bit GROB.\n"
            "--to png writes each picture as it is: it prepares nothing and draws no\n"
            "preview, so --fit, --dither and the other preparation options, --preview,\n"
            "--kind, --series, --text, --bare and --clear-padding go with a GROB only.\n"
            "Exit status: 0 when every picture was converted, 1 when any failed (one\n"
            "line each on standard error), 2 for a usage error.\n"
            "\nThe classic form: veldar-convert [PICTURE [OPTION]] (see the manual page).\n";
    return text;
}

Parsed ParseArguments(int argc, char** argv, int cores) {
    Parsed parsed;
    auto refuse = [&](std::string error) {
        parsed.error = std::move(error);
        return parsed;
    };
    Given given = Read(argc, argv);
    if (!given.unknown.empty()) return refuse("unknown option " + Echoed(given.unknown));
    if (!given.fault.empty()) return refuse(given.fault);
    const OptionEntry& kind = grob::Option("kind");
    auto& kinds = given.values[IndexOf(kind)];
    kinds.insert(kinds.end(), given.classicKinds.begin(), given.classicKinds.end());
    if (given.has(grob::Option("help"))) {
        parsed.output = HelpText();
        return parsed;
    }
    if (given.has(grob::Option("version"))) {
        parsed.output = "veldar-convert " VELDAR_VERSION "\n";
        return parsed;
    }

    // An option given twice must say the same both times: none is dropped
    // unsaid. Then every value is set through the table.
    for (const OptionEntry& option : grob::Options()) {
        const std::vector<std::string>& values = given.values[IndexOf(option)];
        if (option.type == OptionType::Flag) continue;
        for (const std::string& other : values)
            if (!Same(option, values.front(), other))
                return refuse(Long(option) + " is given twice, as \"" + Echoed(values.front()) +
                              "\" and \"" + Echoed(other) + "\"");
    }
    Arguments arguments;
    grob::Choices& choices = arguments.choices;
    for (const OptionEntry& option : grob::Options()) {
        const std::vector<std::string>& values = given.values[IndexOf(option)];
        if (values.empty()) continue;
        if (option.type == OptionType::Flag) {
            grob::OptionValue on;
            on.flag = true;
            option.bind.set(choices, on);
        } else if (values.front().empty()) {
            return refuse(Needs(option));
        } else if (!grob::SetOption(choices, option, values.front())) {
            return refuse(RefusedValue(option, values.front()));
        }
    }

    // The options that go together, and those that would have no effect:
    // each option given where its requirements hold, as the table says.
    auto has = [&](const OptionEntry& option) { return given.has(option); };
    // --viewer without pictures: the grayscale viewer on its own, for the
    // series asked, where -o or -d says, sent where --send says.
    if (has(grob::Option("viewer")) && given.pictures.empty()) {
        constexpr std::string_view kAlone[] = {"viewer", "series", "output",   "output-dir",
                                               "text",   "send",   "protocol", "baud",
                                               "quiet",  "verbose"};
        for (const OptionEntry& option : grob::Options())
            if (has(option) &&
                std::find(std::begin(kAlone), std::end(kAlone), option.name) == std::end(kAlone))
                return refuse(Long(option) +
                              " goes with pictures: --viewer without any writes the viewer alone");
        if (choices.text && choices.series != grob::Series::HP49)
            return refuse("--viewer --text writes the viewer as MASD source, which the HP 49 "
                          "series assembles: add --series 49 (an HP 48 takes the binary file)");
        if (has(grob::Option("output")) && has(grob::Option("output-dir")))
            return refuse("-o names the output file itself: no --output-dir (-d) with it");
        arguments.viewerAlone = true;
        parsed.arguments = std::move(arguments);
        return parsed;
    }
    if (!choices.toPng && !has(kind)) return refuse("--kind is needed (or --to png)");
    for (const OptionEntry& option : grob::Options())
        if (has(option))
            if (const grob::Requirement* need = grob::Unmet(option, choices))
                return refuse(grob::Refusal(option, *need, choices));
    choices.jobs = std::clamp(has(grob::Option("jobs")) ? choices.jobs : cores, 1,
                              std::max(1, cores) * grob::kJobsPerCore);
    const grob::Preparation& prep = choices.preparation;
    const grob::Cutting& cutting = choices.cutting;

    std::vector<std::string>& pictures = arguments.pictures;
    pictures = std::move(given.pictures);
    const bool several = pictures.size() > 1;
    if (pictures.empty()) return refuse("no pictures given");
    if (several && std::find(pictures.begin(), pictures.end(), "-") != pictures.end())
        return refuse("\"-\" (standard input) must be the only picture");
    if (has(grob::Option("output")) && several && !choices.list)
        return refuse("-o names the output of one picture: with several, name a folder with "
                      "--output-dir (-d), or make one --list");
    const bool previewFolder = pipeline::PreviewIsFolder(choices, pictures.size());
    if (pictures.front() == "-" && !several) {
        if (previewFolder && (choices.output.empty() || choices.output == "-"))
            return refuse("--preview names a file with standard input: a picture from it has no "
                          "name");
        if (!choices.outputDir.empty())
            return refuse("--output-dir does nothing with \"-\": the output goes to standard "
                          "output (or to the file -o names)");
    }

    // Standard output takes one file: several GROBs (or PNGs) one after the
    // other there could never be read back.
    const bool toStandardOutput =
        has(grob::Option("output")) ? choices.output == "-" : pictures.front() == "-";
    if (toStandardOutput && !choices.list) {
        if (choices.toPng && choices.split)
            return refuse("--split makes one PNG a picture, and standard output takes one file: "
                          "leave out --split for one sheet of them");
        if (!choices.toPng && choices.sourceForm < 0)
            for (const OptionEntry* many :
                 {&grob::Option("frames"), &grob::Option("tile"), &grob::Option("mask")})
                if (has(*many))
                    return refuse(Long(*many) +
                                  " makes several GROBs, and standard output takes one file: add "
                                  "--list for one list of them");
    }
    // Tiles that no picture could ever give.
    if (cutting.tiles()) {
        const std::string refusal =
            grob::TileSizeRefusal(cutting.tileWidth, cutting.tileHeight,
                                  choices.toPng ? std::nullopt : std::optional(choices.kind), prep,
                                  grob::kCommandLineHints);
        if (!refusal.empty()) return refuse(refusal);
    }
    parsed.arguments = std::move(arguments);
    return parsed;
}

} // namespace cli
