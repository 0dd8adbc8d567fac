// Texts that are no value of a numeric option of the table: not numbers,
// not finite, too large for a double, just past either end, a fraction
// where a whole number is wanted.
#pragma once

#include "grob/options.h"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace testing_util {

inline bool Numeric(const grob::OptionEntry& option) {
    return option.type == grob::OptionType::Whole || option.type == grob::OptionType::Number;
}

inline std::vector<std::string> NotValues(const grob::OptionEntry& option) {
    const bool whole = option.type == grob::OptionType::Whole;
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<std::string> texts{
        "nan",
        "-nan",
        "inf",
        "-inf",
        "infinity",
        "1e999",
        "-1e999",
        "1e",
        grob::FormatNumber(whole ? option.minimum - 1 : std::nextafter(option.minimum, -inf)),
        grob::FormatNumber(whole ? option.maximum + 1 : std::nextafter(option.maximum, inf))};
    if (whole) texts.push_back(grob::FormatNumber(option.minimum + 0.5));
    return texts;
}

} // namespace testing_util
