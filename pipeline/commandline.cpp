#include "commandline.h"

#include <cstdlib>
#include <cstring>

namespace cmdline {

namespace {

std::string_view StripSpaces(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

// The pieces of `text` between the separators; two separators in a row
// give an empty piece.
std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        pieces.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) return pieces;
        start = end + 1;
    }
}

std::string Padded(std::string_view text, std::size_t width) {
    std::string out(text);
    if (out.size() < width) out.append(width - out.size(), ' ');
    return out;
}

} // namespace

std::string JoinArguments(const std::vector<std::string>& arguments) {
    std::string text;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (i > 0) text += ' ';
        if (argument.empty() || argument.find(' ') != std::string::npos)
            text += '"' + argument + '"';
        else
            text += argument;
    }
    return text;
}

CommandLine Parse(std::string_view argumentText) {
    CommandLine line;
    const bool quoted = argumentText.find('"') != std::string_view::npos;
    const std::vector<std::string_view> pieces = Split(argumentText, quoted ? '"' : ' ');
    // Quoted: the name is the text between the first two quotes; otherwise
    // the text before the first space.
    const std::size_t name = quoted ? 1 : 0;
    if (pieces.size() > name) line.fileName = pieces[name];
    if (pieces.size() > name + 1) line.option = StripSpaces(pieces[name + 1]);
    return line;
}

std::optional<grob::OutputKind> KindForOption(std::string_view option) {
    return grob::KindForOption(option);
}

bool IsBatch(std::string_view argumentText) {
    return KindForOption(Parse(argumentText).option).has_value();
}

std::string OutputName(std::string_view fileName, std::string_view extension) {
    const std::size_t slash = fileName.rfind('/');
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos || dot < nameStart)
        return std::string(fileName) + '.' + std::string(extension);
    return std::string(fileName.substr(0, dot + 1)) + std::string(extension);
}

std::string UsageText() {
    std::string text = "usage: veldar-convert [PICTURE [OPTION]]\n"
                       "       veldar-convert --kind KIND [OPTIONS] PICTURE... (see --help)\n"
                       "Converts PICTURE into a GROB file beside it, named after it:\n";
    for (const grob::OutputKind& kind : grob::OutputKinds())
        text += "  " + Padded(kind.option, 5) + "  " + std::string(kind.description) + " (." +
                std::string(kind.extension) + ")\n";
    text += "A name with spaces goes in double quotes. Without an option the picture\n"
            "is opened in the window; without a display an option is needed.\n";
    return text;
}

bool NoDisplay(int argc, char** argv) {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        if (const char* value = std::getenv(name); value && *value) return false;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strncmp(argv[i], "-platform=", 10) == 0)
            return false;
    return true;
}

} // namespace cmdline
