// The program's options, declared once. The command line's parser and help,
// the preview window's controls, the preferences file, the manual page, the
// bash completion and the web page are all made from this table, so a name,
// a range or a default is written here and nowhere else.
#pragma once

#include "grob/kinds.h"
#include "grob/prepare.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace grob {

// The calculator screens: 131 x 64 (HP 48 series, HP 49G), 131 x 80 (later
// HP 49 models). The preview outlines them.
struct Screen {
    int width;
    int height;
    std::string_view models;
};
inline constexpr std::array<Screen, 2> kScreens = {{
    {131, 64, "HP 48, HP 49G"},
    {131, 80, "later HP 49"},
}};

// The fit choices: natural size, each calculator screen, any size.
struct FitPreset {
    std::string_view name;  // as the preferences file and the web page name it
    std::string_view label; // as the window shows it
    int width;              // 0 x 0: natural size; -1 x -1: any size (chosen by the user)
    int height;
};
inline constexpr std::array<FitPreset, 4> kFitPresets = {{
    {"natural", "Natural size", 0, 0},
    {"131x64", "131 x 64 (HP 48, HP 49G)", kScreens[0].width, kScreens[0].height},
    {"131x80", "131 x 80 (later HP 49)", kScreens[1].width, kScreens[1].height},
    {"any", "Any size", -1, -1},
}};
// The preset that a fit box is: natural for 0 x 0, a screen, or "any".
const FitPreset& FitPresetFor(int width, int height);

// The dithering methods, in the order of the Dither enumeration.
struct DitherMethod {
    Dither dither;
    std::string_view name;  // on the command line and in the preferences file
    std::string_view label; // in the window
};
inline constexpr std::array<DitherMethod, 4> kDitherMethods = {{
    {Dither::None, "none", "None (plain bands)"},
    {Dither::FloydSteinberg, "floyd-steinberg", "Floyd-Steinberg"},
    {Dither::Atkinson, "atkinson", "Atkinson"},
    {Dither::Ordered, "ordered", "Ordered (8 x 8 Bayer)"},
}};

// Largest side of a fit box, and of any picture this program makes.
inline constexpr int kMaxSide = 16384;
// Most pixels of a picture this program makes or accepts.
inline constexpr std::int64_t kMaxPixels = 32LL * 1024 * 1024;
// Most pixels of a preview image: a 131 x 80 screen at zoom 16 is 2.7 million.
inline constexpr std::int64_t kMaxPreviewPixels = 16LL * 1024 * 1024;
// Most parallel jobs: a few per core is plenty; more only costs memory.
inline constexpr int kJobsPerCore = 4;

enum class OptionType {
    Flag,   // present or not
    Whole,  // a whole number in [minimum, maximum]
    Number, // a decimal number in [minimum, maximum]
    Choice, // one of `choices`
    Size,   // WIDTHxHEIGHT, each side in [minimum, maximum]
    Path,   // a file or folder
};

struct OptionChoice {
    std::string_view name;  // what is typed
    std::string_view label; // what it means
};

// Where an option is used besides the command line.
enum OptionUse : unsigned {
    kCommandLine = 1, // every option
    kPreparation = 2, // part of the picture's preparation (window, web page)
    kPreviewView = 4, // the preview's own choices (window, web page)
};

struct OptionSpec {
    std::string_view name; // --name
    char shortName = 0;    // -x, or 0
    OptionType type = OptionType::Flag;
    std::string_view valueName; // in help: --name VALUE
    double minimum = 0;
    double maximum = 0;
    double byDefault = 0; // numbers; for choices the index of the default
    std::span<const OptionChoice> choices;
    std::string_view help;       // one or two sentences for --help and the manual
    std::string_view label;      // the window's label for its control; empty: none
    std::string_view preference; // key in the preferences file; empty: not kept
    unsigned use = kCommandLine;
};

namespace detail {
template <std::size_t N, typename Table, typename Make>
constexpr std::array<OptionChoice, N> ChoicesOf(const Table& table, Make make) {
    std::array<OptionChoice, N> choices{};
    for (std::size_t i = 0; i < N; ++i)
        choices[i] = make(table[i]);
    return choices;
}
} // namespace detail

inline constexpr auto kKindChoices =
    detail::ChoicesOf<kOutputKinds.size()>(kOutputKinds, [](const OutputKind& k) {
        return OptionChoice{k.extension, k.description};
    });
inline constexpr auto kDitherChoices =
    detail::ChoicesOf<kDitherMethods.size()>(kDitherMethods, [](const DitherMethod& d) {
        return OptionChoice{d.name, d.label};
    });
inline constexpr std::array<OptionChoice, 2> kSeriesChoices = {{
    {"48", "HP 48 series: header HPHP48-X"},
    {"49", "HP 49 series: header HPHP49-X"},
}};
inline constexpr std::array<OptionChoice, 1> kToChoices = {{{"png", "a PNG picture"}}};

inline constexpr std::array<OptionSpec, 18> kOptions = {{
    {"kind", 'k', OptionType::Choice, "KIND", 0, 0, 0, kKindChoices,
     "The kind of GROB to write (see below); the classic options -1 ... -g32 work too.", "Kind",
     "preview/kind", kCommandLine | kPreviewView},
    {"series",
     0,
     OptionType::Choice,
     "48|49",
     0,
     0,
     1,
     kSeriesChoices,
     "The calculator series of the header (default: a GROB's own, else the one saved by the "
     "window).",
     {},
     {},
     kCommandLine},
    {"output-dir",
     0,
     OptionType::Path,
     "DIR",
     0,
     0,
     0,
     {},
     "Write the outputs into DIR (default: beside each picture).",
     {},
     {},
     kCommandLine},
    {"jobs",
     'j',
     OptionType::Whole,
     "N",
     1,
     1000000,
     0,
     {},
     "Convert up to N pictures at once (default: the number of cores; at most 4 per core).",
     {},
     {},
     kCommandLine},
    {"to",
     0,
     OptionType::Choice,
     "png",
     0,
     0,
     0,
     kToChoices,
     "Write each picture (a GROB, say) as a PNG instead of a GROB; no --kind is needed.",
     {},
     {},
     kCommandLine},
    {"text",
     0,
     OptionType::Flag,
     {},
     0,
     0,
     0,
     {},
     "Write the GROB's text form (\"GROB w h hex...\") instead of the binary one, under the same "
     "name.",
     {},
     {},
     kCommandLine},
    {"fit",
     0,
     OptionType::Size,
     "WxH",
     1,
     kMaxSide,
     0,
     {},
     "Scale the picture down to fit inside WxH, keeping its aspect ratio (131x64: HP 48 and HP "
     "49G screens, 131x80: later HP 49 models).",
     "Fit",
     "prepare/fit",
     kCommandLine | kPreparation},
    {"upscale",
     0,
     OptionType::Flag,
     {},
     0,
     0,
     0,
     {},
     "With --fit, also enlarge smaller pictures, by whole factors.",
     "Enlarge smaller pictures (whole factors)",
     "prepare/upscale",
     kCommandLine | kPreparation},
    {"brightness",
     0,
     OptionType::Number,
     "B",
     -100,
     100,
     0,
     {},
     "Brightness, -100 to 100 (default 0).",
     "Brightness",
     "prepare/brightness",
     kCommandLine | kPreparation},
    {"contrast",
     0,
     OptionType::Number,
     "C",
     -100,
     100,
     0,
     {},
     "Contrast, -100 to 100 (default 0).",
     "Contrast",
     "prepare/contrast",
     kCommandLine | kPreparation},
    {"gamma",
     0,
     OptionType::Number,
     "G",
     0.05,
     20,
     1,
     {},
     "Gamma, 0.05 to 20; above 1 lightens the mid-tones (default 1).",
     "Gamma",
     "prepare/gamma",
     kCommandLine | kPreparation},
    {"invert",
     0,
     OptionType::Flag,
     {},
     0,
     0,
     0,
     {},
     "Invert the picture.",
     "Invert",
     "prepare/invert",
     kCommandLine | kPreparation},
    {"dither", 0, OptionType::Choice, "METHOD", 0, 0, 0, kDitherChoices,
     "Dithering in the kind's own shades: none (the plain bands), floyd-steinberg, atkinson or "
     "ordered.",
     "Dithering", "prepare/dither", kCommandLine | kPreparation},
    {"preview",
     0,
     OptionType::Path,
     "FILE|DIR",
     0,
     0,
     0,
     {},
     "Also write the calculator's view of each GROB as a PNG: FILE for one picture, or into a "
     "folder (named like the GROB, .png).",
     {},
     {},
     kCommandLine},
    {"zoom",
     0,
     OptionType::Whole,
     "N",
     1,
     16,
     2,
     {},
     "The previews' zoom, 1 to 16 (default 2).",
     "Zoom",
     "preview/zoom",
     kCommandLine | kPreviewView},
    {"quiet",
     'q',
     OptionType::Flag,
     {},
     0,
     0,
     0,
     {},
     "Show no progress, only failures.",
     {},
     {},
     kCommandLine},
    {"help", 'h', OptionType::Flag, {}, 0, 0, 0, {}, "Show this help.", {}, {}, kCommandLine},
    {"version",
     0,
     OptionType::Flag,
     {},
     0,
     0,
     0,
     {},
     "Show the program's version.",
     {},
     {},
     kCommandLine},
}};

constexpr std::span<const OptionSpec> Options() {
    return kOptions;
}
// The option of this long name; the program's own names only (a typo is a
// fault of the caller, so this never fails for them).
const OptionSpec& Option(std::string_view name);

// The value as the option's type reads it, or nothing when it is not a
// value of the option (out of range, not a number, not a choice).
std::optional<double> ParseNumber(const OptionSpec& option, std::string_view text);
struct FitBox {
    int width;
    int height;
};
std::optional<FitBox> ParseSize(const OptionSpec& option, std::string_view text);
// The index of the choice, or nothing.
std::optional<std::size_t> ParseChoice(const OptionSpec& option, std::string_view text);

// A number as the manual and the help write it: "0.05", "20", "-100".
std::string FormatNumber(double value);

} // namespace grob
