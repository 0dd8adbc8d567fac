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

} // namespace grob
