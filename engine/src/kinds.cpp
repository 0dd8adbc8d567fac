#include "grob/kinds.h"

#include <string>

namespace grob {

namespace {

template <typename Match> std::optional<OutputKind> Find(Match match) {
    for (const OutputKind& kind : kOutputKinds)
        if (match(kind)) return kind;
    return std::nullopt;
}

} // namespace

std::optional<OutputKind> KindForExtension(std::string_view extension) {
    return Find([&](const OutputKind& k) { return k.extension == extension; });
}

std::optional<OutputKind> KindForOption(std::string_view option) {
    return Find([&](const OutputKind& k) { return k.option == option; });
}

OutputKind KindForFileName(std::string_view name) {
    if (const auto slash = name.find_last_of('/'); slash != std::string_view::npos)
        name.remove_prefix(slash + 1);
    std::string lower(name);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    std::string_view file = lower;
    if (file.size() > 4 && file.substr(file.size() - 4) == ".lst") file.remove_suffix(4);
    const auto dot = file.find_last_of('.');
    if (dot == std::string_view::npos) return kOutputKinds[0];
    return KindForExtension(file.substr(dot + 1)).value_or(kOutputKinds[0]);
}

std::optional<OutputKind> KindForDepth(int depth) {
    return Find([&](const OutputKind& k) { return !k.pageFlipping() && k.depth == depth; });
}

std::optional<OutputKind> KindForFrames(int frames) {
    return Find([&](const OutputKind& k) { return k.pageFlipping() && k.frames == frames; });
}

std::string ShownBy(const OutputKind& kind) {
    if (!kind.pageFlipping() && kind.depth == 1)
        return "Shown as it is by PVIEW on every HP 48 and HP 49.";
    const std::string shades = std::to_string(kind.shades());
    if (kind.pageFlipping())
        return "Its " + shades +
               " shades need a grayscale program on the calculator that shows its " +
               std::to_string(kind.frames) + " frames in turn; PVIEW shows them stacked, " +
               std::to_string(kind.frames) + " times as high.";
    return "Its " + shades + " shades need a grayscale program on the calculator that reads " +
           std::to_string(kind.depth) + " bits a dot; PVIEW shows them as dots side by side, " +
           std::to_string(kind.depth) + " times as wide.";
}

} // namespace grob
