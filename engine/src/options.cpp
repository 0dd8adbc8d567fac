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

const OptionEntry* FindOption(std::string_view name) {
    for (const OptionEntry& option : kOptions)
        if (option.name == name) return &option;
    return nullptr;
}

OptionValue DefaultValue(const OptionEntry& option) {
    static const Choices defaults;
    return option.bind.get(defaults);
}

bool SameValue(const OptionEntry& option, const OptionValue& a, const OptionValue& b) {
    switch (option.type) {
    case OptionType::Flag:
        return a.flag == b.flag;
    case OptionType::Whole:
    case OptionType::Number:
        return a.number == b.number;
    case OptionType::Size:
        return a.size.width == b.size.width && a.size.height == b.size.height;
    case OptionType::Region:
        return a.region == b.region;
    case OptionType::Choice:
        return a.choice == b.choice;
    case OptionType::Path:
        return a.path == b.path;
    }
    return false;
}

bool Holds(const Requirement& need, const Choices& choices, unsigned uses) {
    const OptionEntry& other = *FindOption(need.option);
    if (!(other.use & uses)) return true;
    const OptionValue value = other.bind.get(choices);
    bool met = false;
    if (need.values.empty()) {
        met = !SameValue(other, value, DefaultValue(other));
    } else if (value.choice < other.choices.size()) {
        for (const std::string_view wanted : need.values)
            met = met || other.choices[value.choice].name == wanted;
    }
    return met != need.unless;
}

const Requirement* Unmet(const OptionEntry& option, const Choices& choices, unsigned uses) {
    for (const Requirement& need : option.needs)
        if (!Holds(need, choices, uses)) return &need;
    return nullptr;
}

namespace {

// A pattern with its "{field}"s filled in; a field `fill` does not know is kept as it is.
template <typename Fill> std::string Filled(std::string_view pattern, Fill fill) {
    std::string text;
    while (!pattern.empty()) {
        const std::size_t open = pattern.find('{');
        const std::size_t close = pattern.find('}', open);
        if (open == std::string_view::npos || close == std::string_view::npos) break;
        text += pattern.substr(0, open);
        const std::optional<std::string> filled = fill(pattern.substr(open + 1, close - open - 1));
        text += filled ? *filled : std::string(pattern.substr(open, close - open + 1));
        pattern.remove_prefix(close + 1);
    }
    return text + std::string(pattern);
}

} // namespace

std::string Refusal(const OptionEntry& option, const Requirement& need, const Choices& choices) {
    return Filled(need.refusal, [&](std::string_view field) -> std::optional<std::string> {
        if (field == "option") return "--" + std::string(option.name);
        if (field == "value") return OptionText(choices, *FindOption(need.option));
        return std::nullopt;
    });
}

Choices Applied(Choices choices, unsigned uses) {
    // Again until nothing changes: an option set back may take the effect
    // of another that needs it.
    for (bool changed = true; changed;) {
        changed = false;
        for (const OptionEntry& option : kOptions) {
            if (!(option.use & uses) || option.needs.empty() || Applies(option, choices, uses))
                continue;
            const OptionValue plain = DefaultValue(option);
            if (SameValue(option, option.bind.get(choices), plain)) continue;
            option.bind.set(choices, plain);
            changed = true;
        }
    }
    return choices;
}

Preparation Applied(const OutputKind& kind, const Preparation& preparation) {
    Choices choices;
    choices.kind = kind;
    choices.preparation = preparation;
    return Applied(std::move(choices), kConversion).preparation;
}

void CopyOptions(const Choices& from, Choices& to, unsigned uses) {
    for (const OptionEntry& option : kOptions)
        if (option.use & uses) option.bind.set(to, option.bind.get(from));
}

std::string ShownChoice(const OptionEntry& option, std::size_t choice) {
    if (choice >= option.choices.size()) return {};
    const OptionChoice& shown = option.choices[choice];
    return Filled(option.shown, [&](std::string_view field) -> std::optional<std::string> {
        std::string label(shown.label);
        if (field == "name") return std::string(shown.name);
        if (field == "label") return label;
        if (field != "Label") return std::nullopt;
        if (!label.empty() && label[0] >= 'a' && label[0] <= 'z')
            label[0] = char(label[0] - 'a' + 'A');
        return label;
    });
}

namespace bind {

std::size_t IndexOfKind(const OutputKind& kind) {
    for (std::size_t i = 0; i < kOutputKinds.size(); ++i)
        if (kOutputKinds[i].extension == kind.extension) return i;
    return 0;
}

std::size_t IndexOfDither(Dither dither) {
    for (std::size_t i = 0; i < kDitherMethods.size(); ++i)
        if (kDitherMethods[i].dither == dither) return i;
    return 0;
}

} // namespace bind

namespace {

// [-] digits [. digits] or [-] . digits, then [e [+|-] digits]: the
// decimals every front end takes, and nothing else (no blanks, no hex, no
// infinity).
bool Decimal(std::string_view text) {
    std::size_t at = text.starts_with('-') ? 1 : 0;
    const auto digits = [&] {
        const std::size_t from = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9')
            ++at;
        return at - from;
    };
    std::size_t mantissa = digits();
    if (at < text.size() && text[at] == '.') {
        ++at;
        mantissa += digits();
    }
    if (mantissa == 0) return false;
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
        if (digits() == 0) return false;
    }
    return at == text.size();
}

} // namespace

std::optional<double> ParseDecimal(std::string_view text) {
    if (text.starts_with('+')) text.remove_prefix(1);
    if (!Decimal(text)) return std::nullopt;
    double value = 0;
#if defined(__EMSCRIPTEN__)
    // The web page's C++ library reads no floating point by from_chars;
    // its C library's strtod follows no locale there.
    const std::string copy(text);
    value = std::strtod(copy.c_str(), nullptr);
#else
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc()) return std::nullopt;
#endif
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<double> ParseNumber(const OptionEntry& option, std::string_view text) {
    const auto value = ParseDecimal(text);
    if (!value) return std::nullopt;
    if (option.type == OptionType::Whole && *value != std::floor(*value)) return std::nullopt;
    if (*value < option.minimum || *value > option.maximum) return std::nullopt;
    return value;
}

std::optional<Dimensions> ParseSize(const OptionEntry& option, std::string_view text) {
    if (text == "none") return Dimensions{};
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
    return Dimensions{*width, *height};
}

std::optional<Region> ParseRegion(const OptionEntry& option, std::string_view text) {
    if (text == "none") return Region{};
    // Four whole numbers, the first ended by "x", the next two by "+".
    int numbers[4] = {};
    for (int i = 0; i < 4; ++i) {
        const std::size_t end = i == 3 ? text.size() : text.find_first_of(i == 0 ? "xX" : "+");
        if (end == std::string_view::npos || end == 0) return std::nullopt;
        const auto [ptr, ec] = std::from_chars(text.data(), text.data() + end, numbers[i]);
        if (ec != std::errc() || ptr != text.data() + end) return std::nullopt;
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    const auto within = [](int value, double low, double high) {
        return value >= low && value <= high;
    };
    if (!within(numbers[0], option.minimum, option.maximum) ||
        !within(numbers[1], option.minimum, option.maximum) ||
        !within(numbers[2], 0, option.maximum) || !within(numbers[3], 0, option.maximum))
        return std::nullopt;
    return Region{numbers[2], numbers[3], numbers[0], numbers[1]};
}

std::optional<std::size_t> ParseChoice(const OptionEntry& option, std::string_view text) {
    for (std::size_t i = 0; i < option.choices.size(); ++i)
        if (option.choices[i].name == text ||
            (!option.choices[i].alias.empty() && option.choices[i].alias == text))
            return i;
    return std::nullopt;
}

std::optional<OptionValue> ParseValue(const OptionEntry& option, std::string_view text) {
    OptionValue value;
    switch (option.type) {
    case OptionType::Flag:
        if (text != "true" && text != "false") return std::nullopt;
        value.flag = text == "true";
        return value;
    case OptionType::Whole:
    case OptionType::Number: {
        const auto number = ParseNumber(option, text);
        if (!number) return std::nullopt;
        value.number = *number;
        return value;
    }
    case OptionType::Size: {
        const auto box = ParseSize(option, text);
        if (!box) return std::nullopt;
        value.size = *box;
        return value;
    }
    case OptionType::Region: {
        const auto region = ParseRegion(option, text);
        if (!region) return std::nullopt;
        value.region = *region;
        return value;
    }
    case OptionType::Choice: {
        const auto index = ParseChoice(option, text);
        if (!index) return std::nullopt;
        value.choice = *index;
        return value;
    }
    case OptionType::Path:
        if (text.empty()) return std::nullopt;
        value.path = text;
        return value;
    }
    return std::nullopt;
}

std::string FormatValue(const OptionEntry& option, const OptionValue& value) {
    switch (option.type) {
    case OptionType::Flag:
        return value.flag ? "true" : "false";
    case OptionType::Whole:
    case OptionType::Number:
        return FormatNumber(value.number);
    case OptionType::Size:
        if (value.size.width <= 0 || value.size.height <= 0) return "none";
        return std::to_string(value.size.width) + "x" + std::to_string(value.size.height);
    case OptionType::Region:
        if (value.region.width <= 0 || value.region.height <= 0) return "none";
        return std::to_string(value.region.width) + "x" + std::to_string(value.region.height) +
               "+" + std::to_string(value.region.x) + "+" + std::to_string(value.region.y);
    case OptionType::Choice:
        return value.choice < option.choices.size() ? std::string(option.choices[value.choice].name)
                                                    : std::string();
    case OptionType::Path:
        return value.path;
    }
    return {};
}

bool SetOption(Choices& choices, const OptionEntry& option, std::string_view text) {
    const auto value = ParseValue(option, text);
    if (!value) return false;
    option.bind.set(choices, *value);
    return true;
}

std::string OptionText(const Choices& choices, const OptionEntry& option) {
    return FormatValue(option, option.bind.get(choices));
}

std::string FormatNumber(double value) {
    // The shortest text that reads back as the same number: "0.05", "20", "-100".
    char buffer[32];
#if defined(__EMSCRIPTEN__)
    // No to_chars for floating point in the web page's C++ library: the
    // fewest digits that read back alike.
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(buffer, sizeof buffer, "%.*g", digits, value);
        if (std::strtod(buffer, nullptr) == value) break;
    }
    return buffer;
#else
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc() ? std::string(buffer, end) : std::string("0");
#endif
}

} // namespace grob
