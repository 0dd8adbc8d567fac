#include "grob/options.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace grob {

const FitPreset& FitPresetFor(int width, int height) {
    for (const FitPreset& preset : kFitPresets)
        if (preset.width == width && preset.height == height) return preset;
    return width <= 0 || height <= 0 ? kFitPresets.front() : kFitPresets.back();
}

const OptionEntry& Option(std::string_view name) {
    for (const OptionEntry& option : kOptions)
        if (option.name == name) return option;
    std::abort(); // a name that is not in the table: the program's own mistake
}

std::optional<double> ParseNumber(const OptionEntry& option, std::string_view text) {
    if (text.empty()) return std::nullopt;
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (*begin == '+') ++begin;
    double value = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
    if (option.type == OptionType::Whole && value != std::floor(value)) return std::nullopt;
    if (value < option.minimum || value > option.maximum) return std::nullopt;
    return value;
}

std::optional<FitBox> ParseSize(const OptionEntry& option, std::string_view text) {
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string_view::npos) return std::nullopt;
    auto side = [&](std::string_view part) -> std::optional<int> {
        int value = 0;
        const auto [ptr, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (part.empty() || ec != std::errc() || ptr != part.data() + part.size())
            return std::nullopt;
        if (value < option.minimum || value > option.maximum) return std::nullopt;
        return value;
    };
    const auto width = side(text.substr(0, x));
    const auto height = side(text.substr(x + 1));
    if (!width || !height) return std::nullopt;
    return FitBox{*width, *height};
}

std::optional<std::size_t> ParseChoice(const OptionEntry& option, std::string_view text) {
    for (std::size_t i = 0; i < option.choices.size(); ++i)
        if (option.choices[i].name == text) return i;
    return std::nullopt;
}

std::string FormatNumber(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", value);
    return buffer;
}

} // namespace grob
