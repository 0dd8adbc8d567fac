// Writes what is made from the options table at build time: the manual
// page and the bash completion (from their templates, where a line holding
// only @NAME@ is replaced), and the table as JSON for the web page.
//
//   optiondocs man|completion TEMPLATE OUTPUT
//   optiondocs json OUTPUT
#include "grob/kinds.h"
#include "grob/options.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

namespace {

using grob::OptionEntry;
using grob::OptionType;

// Text for roff: a backslash doubled, every hyphen a minus sign.
std::string Roff(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    return out;
}

std::string ManSynopsis() {
    std::string out = ".B veldar-convert\n";
    for (const OptionEntry& option : grob::Options()) {
        if (option.name == "help" || option.name == "version") continue;
        out += ".RB [ \\-\\-" + Roff(option.name);
        if (option.type != OptionType::Flag) out += " \" " + Roff(option.valueName) + "\"";
        out += " ]\n";
    }
    return out + ".RB [ \\-\\- ]\n.IR PICTURE ...\n";
}

std::string ManKinds() {
    std::string out = ".TS\nl l l l.\nKIND\tclassic option\textension\twhat it writes\n";
    for (const grob::OutputKind& kind : grob::OutputKinds()) {
        out += Roff(kind.extension);
        out += '\t';
        out += Roff(kind.option);
        out += "\t.";
        out += Roff(kind.extension);
        out += '\t';
        out += Roff(kind.description);
        out += '\n';
    }
    return out + ".TE\n";
}

std::string ManOptions() {
    std::string out;
    for (const OptionEntry& option : grob::Options()) {
        std::string names;
        if (option.shortName) {
            names += "\\-";
            names += option.shortName;
            names += ", ";
        }
        names += "\\-\\-" + Roff(option.name);
        if (option.type == OptionType::Flag)
            out += ".TP\n.B " + names;
        else
            out += ".TP\n.BI \"" + names + "\" \" " + Roff(option.valueName) + "\"";
        out += '\n';
        out += Roff(option.help);
        if (!option.manual.empty()) {
            out += ' ';
            out += Roff(option.manual);
        }
        if (option.type == OptionType::Choice && option.name != "to") {
            out += "\n.RS\n";
            for (const grob::OptionChoice& choice : option.choices)
                out += ".TP\n.B " + Roff(choice.name) + "\n" + Roff(choice.label) + "\n";
            out += ".RE";
        }
        out += "\n";
    }
    return out;
}

// Adds a word to a list of words with spaces between them.
void Join(std::string& words, std::string_view word) {
    if (!words.empty()) words += ' ';
    words += word;
}

std::string Words(std::span<const grob::OptionChoice> choices) {
    std::string words;
    for (const grob::OptionChoice& choice : choices)
        Join(words, choice.name);
    return words;
}

// The completion's case lines: what follows each option that takes a value.
std::string CompletionValues() {
    std::string out;
    for (const OptionEntry& option : grob::Options()) {
        std::string pattern = "--" + std::string(option.name);
        if (option.shortName) {
            std::string both = "-";
            both += option.shortName;
            pattern = both + "|" + pattern;
        }
        std::string action;
        switch (option.type) {
        case OptionType::Flag:
            continue;
        case OptionType::Choice:
            action = "_veldar_words \"" + Words(option.choices) + "\"";
            break;
        case OptionType::Size: {
            std::string sizes;
            for (const grob::FitPreset& preset : grob::kFitPresets)
                if (preset.width > 0) Join(sizes, preset.name);
            action = "_veldar_words \"" + sizes + "\"";
            break;
        }
        case OptionType::Whole:
        case OptionType::Number:
        case OptionType::Region:
            action = "COMPREPLY=()"; // numbers: nothing to offer, never file names
            break;
        case OptionType::Path:
            action = option.valueName == "DIR" ? "_veldar_paths -d" : "_veldar_paths -f";
            break;
        }
        out += "        " + pattern + ") " + action + "; return ;;\n";
    }
    return out;
}

std::string CompletionOptions() {
    std::string words;
    for (const OptionEntry& option : grob::Options()) {
        if (option.shortName) {
            words += '-';
            words += option.shortName;
            words += ' ';
        }
        words += "--" + std::string(option.name) + " ";
    }
    return "    local options=\"" + words + "--\"\n";
}

std::string CompletionClassic() {
    std::string words;
    for (const grob::OutputKind& kind : grob::OutputKinds())
        Join(words, kind.option);
    return "    local classic=\"" + words + "\"\n";
}

std::string Json(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

const char* Flag(bool on) {
    return on ? "true" : "false";
}

std::string Number(double value) {
    return grob::FormatNumber(value);
}

std::string TableAsJson() {
    static const std::map<OptionType, std::string> types = {
        {OptionType::Flag, "flag"},     {OptionType::Whole, "whole"},
        {OptionType::Number, "number"}, {OptionType::Choice, "choice"},
        {OptionType::Size, "size"},     {OptionType::Path, "path"},
        {OptionType::Region, "region"}};
    std::ostringstream out;
    out << "{\n  \"options\": [\n";
    bool first = true;
    for (const OptionEntry& option : grob::Options()) {
        out << (first ? "" : ",\n") << "    {\"name\": " << Json(option.name)
            << ", \"type\": " << Json(types.at(option.type))
            << ", \"minimum\": " << Number(option.minimum)
            << ", \"maximum\": " << Number(option.maximum)
            << ", \"default\": " << Number(option.byDefault)
            << ", \"label\": " << Json(option.label) << ", \"web\": " << Json(option.shownHelp())
            << ", \"preparation\": " << Flag(option.use & grob::kPreparation)
            << ", \"previewView\": " << Flag(option.use & grob::kPreviewView)
            << ", \"encoding\": " << Flag(option.use & grob::kEncoding)
            << ", \"cutting\": " << Flag(option.use & grob::kCutting)
            << ", \"presets\": " << Flag(!option.presets.empty()) << ", \"offered\": ["
            << option.offered.width << ", " << option.offered.height << "]"
            << ", \"choices\": [";
        for (std::size_t i = 0; i < option.choices.size(); ++i)
            out << (i ? ", " : "") << "{\"name\": " << Json(option.choices[i].name)
                << ", \"label\": " << Json(option.choices[i].label)
                << ", \"shown\": " << Json(grob::ShownChoice(option, i)) << "}";
        out << "], \"needs\": [";
        for (std::size_t i = 0; i < option.needs.size(); ++i) {
            const grob::Requirement& need = option.needs[i];
            out << (i ? ", " : "") << "{\"option\": " << Json(need.option) << ", \"values\": [";
            for (std::size_t v = 0; v < need.values.size(); ++v)
                out << (v ? ", " : "") << Json(need.values[v]);
            out << "], \"unless\": " << Flag(need.unless) << "}";
        }
        out << "]}";
        first = false;
    }
    out << "\n  ],\n  \"kinds\": [\n";
    for (std::size_t i = 0; i < grob::OutputKinds().size(); ++i) {
        const grob::OutputKind& kind = grob::OutputKinds()[i];
        out << (i ? ",\n" : "") << "    {\"extension\": " << Json(kind.extension)
            << ", \"depth\": " << kind.depth << ", \"frames\": " << kind.frames
            << ", \"shades\": " << kind.shades() << ", \"option\": " << Json(kind.option)
            << ", \"description\": " << Json(kind.description) << "}";
    }
    out << "\n  ],\n  \"fitPresets\": [\n";
    for (std::size_t i = 0; i < grob::kFitPresets.size(); ++i) {
        const grob::FitPreset& preset = grob::kFitPresets[i];
        out << (i ? ",\n" : "") << "    {\"name\": " << Json(preset.name)
            << ", \"label\": " << Json(preset.label) << ", \"width\": " << preset.width
            << ", \"height\": " << preset.height << "}";
    }
    out << "\n  ],\n  \"screens\": [\n";
    for (std::size_t i = 0; i < grob::kScreens.size(); ++i)
        out << (i ? ",\n" : "") << "    {\"width\": " << grob::kScreens[i].width
            << ", \"height\": " << grob::kScreens[i].height
            << ", \"models\": " << Json(grob::kScreens[i].models) << "}";
    out << "\n  ],\n  \"maxSide\": " << grob::kMaxSide << ",\n  \"maxPixels\": " << grob::kMaxPixels
        << ",\n  \"maxPreviewPixels\": " << grob::kMaxPreviewPixels << "\n}\n";
    return out.str();
}

int Fill(const char* templatePath, const char* outputPath,
         const std::map<std::string, std::string>& parts) {
    std::ifstream in(templatePath);
    if (!in) {
        std::cerr << "optiondocs: cannot read " << templatePath << "\n";
        return 1;
    }
    std::ostringstream out;
    std::string line;
    while (std::getline(in, line)) {
        const auto part = parts.find(line);
        out << (part != parts.end() ? part->second : line + "\n");
    }
    std::ofstream file(outputPath, std::ios::trunc);
    file << out.str();
    return file ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "man" && argc == 4)
        return Fill(
            argv[2], argv[3],
            {{"@SYNOPSIS@", ManSynopsis()}, {"@KINDS@", ManKinds()}, {"@OPTIONS@", ManOptions()}});
    if (what == "completion" && argc == 4)
        return Fill(argv[2], argv[3],
                    {{"@VALUES@", CompletionValues()},
                     {"@OPTIONS@", CompletionOptions()},
                     {"@CLASSIC@", CompletionClassic()}});
    if (what == "json" && argc == 3) {
        std::ofstream file(argv[2], std::ios::trunc);
        file << TableAsJson();
        return file ? 0 : 1;
    }
    std::cerr << "usage: optiondocs man|completion TEMPLATE OUTPUT | json OUTPUT\n";
    return 2;
}
