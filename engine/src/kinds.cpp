#include "grob/kinds.h"

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

std::optional<OutputKind> KindForDepth(int depth) {
    return Find([&](const OutputKind& k) { return !k.pageFlipping() && k.depth == depth; });
}

std::optional<OutputKind> KindForFrames(int frames) {
    return Find([&](const OutputKind& k) { return k.pageFlipping() && k.frames == frames; });
}

} // namespace grob
