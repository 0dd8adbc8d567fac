// The program's options, declared once. The command line's parser, help and
// refusals, the window's controls and what they enable, the preferences
// file, the status line, the manual page, the bash completion and the web
// page are all made from this table, so a name, a range, a default or the
// rule of when an option has its effect is written here and nowhere else.
#pragma once

#include "grob/checks.h"
#include "grob/grobfile.h"
#include "grob/kinds.h"
#include "grob/prepare.h"
#include "grob/source.h"
#include "grob/sprites.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

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
inline constexpr std::array<DitherMethod, 6> kDitherMethods = {{
    {Dither::None, "none", "None (plain bands)"},
    {Dither::FloydSteinberg, "floyd-steinberg", "Floyd-Steinberg"},
    {Dither::Atkinson, "atkinson", "Atkinson"},
    {Dither::Ordered, "ordered", "Ordered (8 x 8 Bayer)"},
    {Dither::Search, "search", "Search (the best dots, slower)"},
    {Dither::BlueNoise, "blue-noise", "Blue noise (dots stay in place)"},
}};

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
    Region, // WIDTHxHEIGHT+X+Y, each side in [minimum, maximum], X and Y in [0, maximum]
    Path,   // a file or folder
};

struct OptionChoice {
    std::string_view name;  // what is typed
    std::string_view label; // what it means
    std::string_view alias; // another spelling that is taken too ("-g16" for "g16")
};

// A size in pixels: a fit box's, a tile's; 0 x 0 for none.
struct Dimensions {
    int width = 0;
    int height = 0;
};

// Everything the options set: one conversion's choices (the kind, series,
// preparation, previews, cutting and forms) and the run's own (where the
// outputs go, how many at once, what is said). Every front end fills one
// through the table's bindings, so an option means the same everywhere.
struct Choices {
    OutputKind kind = kOutputKinds[0];
    std::optional<Series> series; // nothing: a GROB's own, else the one saved
    Preparation preparation;
    int zoom = 2; // of the previews
    Cutting cutting;
    bool text = false;            // the text form instead of the binary one
    bool bare = false;            // the text form without its "%%HP:" line
    bool clearPadding = false;    // the unused bits at the end of each row cleared
    bool oversize = false;        // a GROB larger than a calculator holds written all the same
    bool keepOrientation = false; // pictures as stored, not turned upright by their Exif data
    bool list = false;            // every GROB of a run in one list object
    bool split = false;           // a list's pictures as numbered PNGs
    bool player = false;          // a program for the calculator that plays the GROBs
    int delay = 0;                // the player's time for each frame, in ms (0: the picture's)
    bool viewer = false;          // each GROB with the calculator's grayscale viewer, a program
    std::string send;             // a serial device the files written are sent to
    std::size_t protocol = 0;     // how: an index into kSendProtocols
    int baud = 9600;
    bool toPng = false;    // each picture as a PNG instead of a GROB
    int sourceForm = -1;   // --to a source form: an index into kSourceForms (-1: none)
    std::string output;    // the one picture's output ("-": standard output)
    std::string outputDir; // empty: beside each picture
    std::string preview;   // a PNG file or a folder for the calculator's views
    int jobs = 0;          // 0: one a core
    bool quiet = false;
    bool verbose = false;
    bool help = false;
    bool version = false;
};

// A choice's value when none of its choices is chosen (--to without it).
inline constexpr std::size_t kNoChoice = std::size_t(-1);

// One option's value, in the member its type uses.
struct OptionValue {
    bool flag = false;      // Flag
    double number = 0;      // Whole, Number
    Dimensions size;        // Size; 0 x 0 for none (natural size)
    Region region;          // Region; 0 x 0 for none
    std::size_t choice = 0; // Choice: an index into the option's choices, or kNoChoice
    std::string path;       // Path
};

// Where an option's value lives in Choices: set it, and read it back.
struct Binding {
    void (*set)(Choices&, const OptionValue&) = nullptr;
    OptionValue (*get)(const Choices&) = nullptr;
};

// Where an option is used besides the command line.
enum OptionUse : unsigned {
    kCommandLine = 1, // every option
    kPreparation = 2, // part of the picture's preparation (window, web page)
    kPreviewView = 4, // the preview's own choices (window, web page)
    kEncoding = 8,    // how the GROB's bytes are written, whatever the picture (window, web page)
    kCutting = 16,    // the sprite tools: frames, tiles, masks (window, web page)
    kSending = 32,    // how files are sent to a calculator (the window's Send to calculator)
};
// The options every front end with controls has: what a conversion is made
// of, whoever asks for it. The others are the command line's own.
inline constexpr unsigned kConversion = kPreparation | kPreviewView | kEncoding | kCutting;

// When an option has its effect: another option of the table has one of
// `values` (its choices' names; none listed: any value but its default), or
// with `unless`, has not. An option given where one of its requirements
// does not hold is refused by the command line, disabled in the window,
// hidden on the web page, and left out of a conversion and of the words
// that describe one.
struct Requirement {
    std::string_view option;
    std::span<const std::string_view> values = {};
    bool unless = false;
    // The command line's refusal: "{option}" stands for the option given
    // (--threshold), "{value}" for the other option's value.
    std::string_view refusal = {};
};

struct OptionEntry {
    std::string_view name = {}; // --name
    char shortName = 0;         // -x, or 0
    OptionType type = OptionType::Flag;
    std::string_view valueName = {}; // in help: --name VALUE
    double minimum = 0;
    double maximum = 0;
    double byDefault = 0; // numbers; for choices the index of the default
    std::span<const OptionChoice> choices = {};
    std::string_view help = {};       // one or two sentences for --help and the manual
    std::string_view label = {};      // the window's label for its control; empty: none
    std::string_view preference = {}; // key in the preferences file; empty: not kept
    unsigned use = kCommandLine;
    std::string_view manual = {}; // more for the manual page, after `help`
    // The help of the window and the web page, where `help` speaks of the
    // command line or of names typed there; empty: `help` says it.
    std::string_view web = {};
    // When it has its effect (all of them must hold).
    std::span<const Requirement> needs = {};
    // A choice as a control shows it: "{name}", "{label}", or "{Label}"
    // (the label with a capital) stand for the choice's own.
    std::string_view shown = "{Label}";
    // Number: the step of a control's arrows (a step below 1 shows
    // decimals). Size and Region: the size a control offers first.
    double step = 1;
    Dimensions offered = {};
    // Size: the boxes a control offers by name (natural size, the screens, any).
    std::span<const FitPreset> presets = {};
    Binding bind = {};

    // The help in a window's words.
    std::string_view shownHelp() const { return web.empty() ? help : web; }
};

// The requirements of the table, named for what they ask.
namespace needs {
inline constexpr std::string_view kOneBit[] = {"gro"};
inline constexpr std::string_view kPng[] = {"png"};
// Anything that makes a GROB: not with --to png.
inline constexpr Requirement kGrob = {
    "to", kPng, true, "--to png writes a PNG, not a GROB: {option} goes with a GROB only"};
// Anything that prepares a picture for a GROB.
inline constexpr Requirement kPrepared = {
    "to", kPng, true,
    "--to png writes each picture as it is: {option} prepares a picture for a GROB "
    "(--kind)"};
inline constexpr Requirement kGrobs = {
    "to", kPng, true, "--to png writes pictures, not GROBs: {option} goes with a GROB (--kind)"};
// The --to forms that write GROBs as source code.
inline constexpr std::string_view kSources[] = {"sysrpl", "saturn", "masd", "c", "xpm", "newrpl"};
// A GROB file's own form: not with a source form.
inline constexpr Requirement kGrobFile = {
    "to", kSources, true, "--to {value} writes source code: {option} goes with a GROB file only"};
inline constexpr Requirement kGrobAlone[] = {kGrob};
inline constexpr Requirement kGrobFileAlone[] = {kGrob, kGrobFile};
inline constexpr Requirement kPreparedAlone[] = {kPrepared};
inline constexpr Requirement kGrobsAlone[] = {kGrobs};
inline constexpr Requirement kBare[] = {
    kGrob,
    kGrobFile,
    {"text", {}, false, "{option} leaves out the text form's %%HP: line: it goes with --text"}};
inline constexpr Requirement kUpscale[] = {kPrepared,
                                           {"fit", {}, false, "{option} goes with --fit"}};
inline constexpr Requirement kThreshold[] = {
    kPrepared,
    {"kind", kOneBit, false,
     "{option} splits black from white: it goes with the 1-bit kind (gro), not {value}, whose "
     "shades are its own"},
    {"dither", {}, true, "{option} splits black from white without dithering: not with --dither"}};
inline constexpr Requirement kPreview[] = {
    {"to",
     {},
     true,
     "--to png writes each picture as it is: {option} draws the calculator's view of a GROB "
     "(--kind)"}};
inline constexpr Requirement kZoom[] = {
    {"preview", {}, false, "{option} sets the previews' zoom: it goes with --preview"}};
inline constexpr Requirement kOutputDir[] = {
    {"output", {}, true, "-o names the output file itself: no --output-dir (-d) with it"}};
inline constexpr Requirement kTiles[] = {{"tile", {}, false, "{option} goes with --tile"}};
inline constexpr Requirement kMasks[] = {{"mask", {}, false, "{option} goes with --mask"}};
inline constexpr Requirement kPlayer[] = {
    kGrob,
    kGrobFile,
    {"kind", kOneBit, false,
     "{option} plays black and white frames: it goes with the 1-bit kind (gro), not {value}"},
    {"text", {}, true, "{option} writes a program, always in the text form: not with --text"},
    {"mask", {}, true, "{option} plays the frames, not their masks: not with --mask"}};
inline constexpr Requirement kViewer[] = {
    kGrob,
    kGrobFile,
    {"kind", kOneBit, true,
     "{option} shows a GROB's shades: it goes with a grayscale kind, not the 1-bit gro"},
    {"text",
     {},
     true,
     "{option} writes machine code, which an HP 48 takes in the binary form only: not with "
     "--text"},
    {"list", {}, true, "{option} writes one program a GROB: not with --list"},
    {"player", {}, true, "{option} shows a still picture's shades: not with --player"},
    {"mask", {}, true, "{option} shows the GROBs, not their masks: not with --mask"}};
inline constexpr Requirement kDelay[] = {
    {"player", {}, false, "{option} sets the player's time for each frame: it goes with --player"}};
inline constexpr Requirement kSend[] = {
    {"to", kPng, true, "--to png writes pictures for a computer: {option} sends GROBs"},
    {"to", kSources, true, "--to {value} writes source code for a computer: {option} sends GROBs"}};
inline constexpr Requirement kSendSettings[] = {
    {"send", {}, false, "{option} says how files are sent: it goes with --send"}};
inline constexpr std::string_view kFillOrPad[] = {"fill", "pad"};
inline constexpr Requirement kFitMode[] = {kPrepared,
                                           {"fit", {}, false, "{option} goes with --fit"}};
inline constexpr Requirement kAnchor[] = {
    kPrepared, {"fit-mode", kFillOrPad, false, "{option} goes with --fit-mode fill or pad"}};
inline constexpr Requirement kLinear[] = {
    kPrepared, {"dither", {}, false, "{option} dithers in linear light: it goes with --dither"}};
inline constexpr Requirement kSplit[] = {
    {"to", kPng, false, "{option} writes numbered PNGs: it goes with --to png"}};
} // namespace needs

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
        return OptionChoice{k.extension, k.description, k.option};
    });
inline constexpr auto kDitherChoices =
    detail::ChoicesOf<kDitherMethods.size()>(kDitherMethods, [](const DitherMethod& d) {
        return OptionChoice{d.name, d.label, {}};
    });
inline constexpr std::array<OptionChoice, 2> kSeriesChoices = {{
    {"48", "HP 48 series: header HPHP48-X", {}},
    {"49", "HP 49 series: header HPHP49-X", {}},
}};
// The labels read before the option's own: "a quarter clockwise turn".
inline constexpr std::array<OptionChoice, 4> kTurnChoices = {{
    {"0", "none", {}},
    {"90", "a quarter clockwise", {}},
    {"180", "a half", {}},
    {"270", "a quarter anticlockwise", {}},
}};
inline constexpr std::array<OptionChoice, 3> kFlipChoices = {{
    {"none", "none", {}},
    {"horizontal", "left to right", {}},
    {"vertical", "top to bottom", {}},
}};
// How --send sends: the names the option takes, in the order of sending::Protocol.
inline constexpr std::array<OptionChoice, 2> kProtocolChoices = {
    {{"kermit", "Kermit (the calculator in SERVER mode)", {}},
     {"xmodem", "XModem (the calculator waiting in XRECV)", {}}}};
// How a picture meets its fit box, in the order of FitMode; where it lies, in
// the order of Anchor.
inline constexpr std::array<OptionChoice, 3> kFitModeChoices = {
    {{"inside", "Inside the box (proportions kept)", {}},
     {"fill", "Fill the box (the overflow cut off)", {}},
     {"pad", "Pad to the box (a field around it)", {}}}};
inline constexpr std::array<OptionChoice, 5> kAnchorChoices = {{{"center", "Centre", {}},
                                                                {"top", "Top", {}},
                                                                {"bottom", "Bottom", {}},
                                                                {"left", "Left", {}},
                                                                {"right", "Right", {}}}};
// --to png, then the source forms in the order of kSourceForms.
inline constexpr std::array<OptionChoice, 1 + kSourceForms.size()> kToChoices = [] {
    std::array<OptionChoice, 1 + kSourceForms.size()> choices{};
    choices[0] = {"png", "a PNG picture", {}};
    for (std::size_t i = 0; i < kSourceForms.size(); ++i)
        choices[i + 1] = {kSourceForms[i].name, kSourceForms[i].description, {}};
    return choices;
}();

// The bindings of the table's entries, by the type of the member they set.
namespace bind {
template <auto Member> constexpr Binding Flag() {
    return {[](Choices& c, const OptionValue& v) { c.*Member = v.flag; },
            [](const Choices& c) {
                OptionValue v;
                v.flag = c.*Member;
                return v;
            }};
}
template <auto Member> constexpr Binding PrepareFlag() {
    return {[](Choices& c, const OptionValue& v) { c.preparation.*Member = v.flag; },
            [](const Choices& c) {
                OptionValue v;
                v.flag = c.preparation.*Member;
                return v;
            }};
}
template <auto Member> constexpr Binding PrepareNumber() {
    return {[](Choices& c, const OptionValue& v) { c.preparation.*Member = v.number; },
            [](const Choices& c) {
                OptionValue v;
                v.number = c.preparation.*Member;
                return v;
            }};
}
template <auto Member> constexpr Binding PrepareWhole() {
    return {[](Choices& c, const OptionValue& v) { c.preparation.*Member = int(v.number); },
            [](const Choices& c) {
                OptionValue v;
                v.number = c.preparation.*Member;
                return v;
            }};
}
// A choice kept as an enumeration whose values are the choices' indices.
template <auto Member> constexpr Binding PrepareChoice() {
    return {[](Choices& c, const OptionValue& v) {
                using Enum = std::remove_reference_t<decltype(c.preparation.*Member)>;
                c.preparation.*Member = Enum(v.choice);
            },
            [](const Choices& c) {
                OptionValue v;
                v.choice = std::size_t(c.preparation.*Member);
                return v;
            }};
}
template <auto Member> constexpr Binding Index() {
    return {[](Choices& c, const OptionValue& v) { c.*Member = v.choice; },
            [](const Choices& c) {
                OptionValue v;
                v.choice = c.*Member;
                return v;
            }};
}
template <auto Member> constexpr Binding CutFlag() {
    return {[](Choices& c, const OptionValue& v) { c.cutting.*Member = v.flag; },
            [](const Choices& c) {
                OptionValue v;
                v.flag = c.cutting.*Member;
                return v;
            }};
}
template <auto Member> constexpr Binding Whole() {
    return {[](Choices& c, const OptionValue& v) { c.*Member = int(v.number); },
            [](const Choices& c) {
                OptionValue v;
                v.number = c.*Member;
                return v;
            }};
}
template <auto Member> constexpr Binding Path() {
    return {[](Choices& c, const OptionValue& v) { c.*Member = v.path; },
            [](const Choices& c) {
                OptionValue v;
                v.path = c.*Member;
                return v;
            }};
}
std::size_t IndexOfKind(const OutputKind& kind);
std::size_t IndexOfDither(Dither dither);
} // namespace bind

// clang-format off
inline constexpr std::array<OptionEntry, 46> kOptions = {{
    {.name = "kind", .shortName = 'k', .type = OptionType::Choice, .valueName = "KIND",
     .choices = kKindChoices,
     .help = "The kind of GROB to write (see below); the classic options -1 ... -g32 work too.",
     .label = "Kind", .preference = "preview/kind", .use = kCommandLine | kPreviewView,
     .manual = "The frames of a page-flipping GROB are the bits of each dot's darkness, the "
               "heaviest first: the first frame in the file carries bit 7 of 255 minus the dot's "
               "brightness, the next bit 6, and so on; a viewer shows each frame twice as long as "
               "the one after it.",
     .web = "What the calculator gets: the ordinary black and white GROB, or one with shades "
            "(2 or 4 bits a dot side by side, or 2 to 5 frames shown in turn) for a grayscale "
            "display program.",
     .needs = needs::kGrobAlone, .shown = "{label} (.{name})",
     .bind = {[](Choices& c, const OptionValue& v) { c.kind = kOutputKinds[v.choice]; },
              [](const Choices& c) {
                  OptionValue v;
                  v.choice = bind::IndexOfKind(c.kind);
                  return v;
              }}},
    {.name = "series", .type = OptionType::Choice, .valueName = "48|49", .byDefault = 1,
     .choices = kSeriesChoices,
     .help = "The calculator series of the header (default: a GROB's own, else the one saved "
             "by the window).",
     .label = "Series",
     .web = "The calculator the file is for: each reads only files with its own first 8 "
            "bytes, HPHP48-X for the HP 48 series, HPHP49-X for the HP 49G, 49g+, 48gII and "
            "50g.",
     .needs = needs::kGrobFileAlone, .shown = "{label}",
     .bind = {[](Choices& c, const OptionValue& v) {
                  c.series = v.choice == 0 ? Series::HP48 : Series::HP49;
              },
              [](const Choices& c) {
                  OptionValue v;
                  v.choice = c.series == Series::HP48 ? 0 : 1;
                  return v;
              }}},
    {.name = "output", .shortName = 'o', .type = OptionType::Path, .valueName = "FILE",
     .help = "Write the output of the one picture given to FILE, or to standard output when "
             "FILE is -.",
     .manual = "With several pictures use --output-dir instead.",
     .bind = bind::Path<&Choices::output>()},
    {.name = "output-dir", .shortName = 'd', .type = OptionType::Path, .valueName = "DIR",
     .help = "Write the outputs into DIR, made if missing (default: beside each picture).",
     .manual = "The outputs keep the names they would have beside their pictures.",
     .needs = needs::kOutputDir,
     .bind = bind::Path<&Choices::outputDir>()},
    {.name = "jobs", .shortName = 'j', .type = OptionType::Whole, .valueName = "N",
     .minimum = 1, .maximum = 1000000,
     .help = "Convert up to N pictures at once (default: the number of cores; at most 4 per "
             "core).",
     .bind = bind::Whole<&Choices::jobs>()},
    {.name = "to", .type = OptionType::Choice, .valueName = "FORM", .choices = kToChoices,
     .help = "Write each picture (a GROB, say) as a PNG instead of a GROB (no --kind is "
             "needed), or its GROBs as source code for a calculator's tool chain.",
     .manual = "The PNG is named like the picture with .png in place of its extension; a GROB "
               "is drawn in its shades. A source form writes every GROB of a picture (its "
               "frames, tiles and masks; with --list, of every picture) into one file named "
               "like the picture: sysrpl (.s), saturn (.a), masd (.masd), c (.h), xpm (.xpm) or "
               "newrpl (.nrpl), "
               "each GROB a symbol named after the file (walk, or walk_0, walk_1 ... and "
               "walk_0_mask ...), with a comment giving its size, kind and bytes.",
     .bind = {[](Choices& c, const OptionValue& v) {
                  c.toPng = v.choice == 0;
                  c.sourceForm = v.choice > 0 && v.choice != kNoChoice ? int(v.choice) - 1 : -1;
              },
              [](const Choices& c) {
                  OptionValue v;
                  v.choice = c.toPng              ? 0
                             : c.sourceForm >= 0 ? std::size_t(c.sourceForm) + 1
                                                 : kNoChoice;
                  return v;
              }}},
    {.name = "clear-padding", .type = OptionType::Flag,
     .help = "Clear the unused dots at the end of each row (the classic bytes set them): for "
             "the HP 50g, whose stack draws a GROB's whole bytes, so that a GROB whose width is "
             "not a multiple of 8 shows no dark columns beside it there.",
     .label = "Clear the padding dots (HP 50g stack)", .preference = "convert/clear-padding",
     .use = kCommandLine | kEncoding,
     .manual = "For every kind, masks and lists too: the columns past the width in the last byte "
               "of each row (of each frame). PVIEW never shows them; the picture's dots are the "
               "same either way.",
     .needs = needs::kGrobAlone,
     .bind = bind::Flag<&Choices::clearPadding>()},
    {.name = "oversize", .type = OptionType::Flag,
     .help = "Write a GROB larger than any calculator holds (288 KB) all the same, for an "
             "emulator or a computer, instead of refusing it.",
     .manual = "Without it, a GROB whose object would take more than 294,912 bytes (288 KB, the "
               "most user memory of any HP 48 or HP 49) is refused, as a list is: a 1024 x 768 "
               "photo as a 4-bit GROB is 393,226 bytes; --fit 131x64 makes it 2,762. The classic "
               "form and the window write it and say so.",
     .needs = needs::kGrobAlone,
     .bind = bind::Flag<&Choices::oversize>()},
    {.name = "keep-orientation", .type = OptionType::Flag,
     .help = "Keep each picture as stored: do not turn a photo upright by the orientation its "
             "Exif data records.",
     .manual = "By default a photo from a phone or camera is turned upright first, as viewers "
               "show it (JPEG and PNG Exif data, and what Qt reads of TIFF and WebP), and its "
               "size is its upright size; this gives the stored picture, as earlier versions "
               "did.",
     .bind = bind::Flag<&Choices::keepOrientation>()},
    {.name = "fit", .type = OptionType::Size, .valueName = "WxH", .minimum = 1,
     .maximum = kMaxSide,
     .help = "Scale the picture down to fit inside WxH, keeping its aspect ratio (131x64: HP 48 "
             "and HP 49G screens, 131x80: later HP 49 models).",
     .label = "Fit", .preference = "prepare/fit", .use = kCommandLine | kPreparation,
     .manual = "Areas are averaged; each side is 1 to 16384.",
     .web = "Scale the picture down to fit a calculator's screen (131 x 64: HP 48 and HP 49G; "
            "131 x 80: later HP 49 models) or any size, keeping its proportions. At natural "
            "size each pixel is a dot.",
     .needs = needs::kPreparedAlone, .offered = {kScreens[0].width, kScreens[0].height}, .presets = kFitPresets,
     .bind = {[](Choices& c, const OptionValue& v) {
                  c.preparation.fit.width = v.size.width;
                  c.preparation.fit.height = v.size.height;
              },
              [](const Choices& c) {
                  OptionValue v;
                  v.size = {c.preparation.fit.width, c.preparation.fit.height};
                  return v;
              }}},
    {.name = "fit-mode", .type = OptionType::Choice, .valueName = "MODE",
     .choices = kFitModeChoices,
     .help = "With --fit: inside (the default: the whole picture inside WxH), fill (exactly "
             "WxH, the overflow cut off) or pad (exactly WxH, a field of --background around "
             "the picture).",
     .label = "Fit mode", .preference = "prepare/fit-mode", .use = kCommandLine | kPreparation,
     .manual = "A portrait photo fitted into 131x64 is 48 x 64 inside; fill keeps the middle "
               "band (or the part --anchor names) of the picture in the box's proportions and "
               "gives 131 x 64; pad gives 131 x 64 with the 48 x 64 picture in the middle. "
               "Enlarging still needs --upscale: a smaller picture is filled or padded as it is.",
     .web = "How the picture meets the fit: inside it, its proportions kept; filling it, the "
            "overflow cut off; or padded to exactly its size with a field around it.",
     .needs = needs::kFitMode,
     .bind = bind::PrepareChoice<&Preparation::fitMode>()},
    {.name = "anchor", .type = OptionType::Choice, .valueName = "SIDE",
     .choices = kAnchorChoices,
     .help = "With --fit-mode fill or pad, where the picture lies: center (the default), top, "
             "bottom, left or right.",
     .label = "Anchor", .preference = "prepare/anchor", .use = kCommandLine | kPreparation,
     .manual = "A fill keeps that side of the picture (as it stands before --rotate); a pad "
               "puts the picture against that side of the field.",
     .web = "Which part of the picture a fill keeps, or where a padded picture lies on its field.",
     .needs = needs::kAnchor,
     .bind = bind::PrepareChoice<&Preparation::anchor>()},
    {.name = "background", .type = OptionType::Whole, .valueName = "GRAY", .minimum = 0,
     .maximum = 255, .byDefault = 255,
     .help = "The gray, 0 (black) to 255 (white, the default), that transparent parts of a "
             "picture are composed over, and of the field around a picture with --fit-mode pad.",
     .label = "Background gray", .preference = "prepare/background",
     .use = kCommandLine | kPreparation,
     .manual = "Partly transparent pixels are mixed with it as a painter mixes them. Masks "
               "(--mask) are made from the opacity itself, whatever the background.",
     .web = "The gray, from 0 (black) to 255 (white), under the picture's transparent parts and "
            "around a padded picture; it is dithered like the picture.",
     .needs = needs::kPreparedAlone,
     .bind = bind::PrepareWhole<&Preparation::background>()},
    {.name = "upscale", .type = OptionType::Flag,
     .help = "With --fit, also enlarge smaller pictures, by whole factors.",
     .label = "Enlarge smaller pictures (whole factors)", .preference = "prepare/upscale",
     .use = kCommandLine | kPreparation,
     .web = "Also enlarge a picture smaller than the fit, by a whole factor, so that its pixels "
            "stay sharp squares.",
     .needs = needs::kUpscale,
     .bind = {[](Choices& c, const OptionValue& v) { c.preparation.fit.upscale = v.flag; },
              [](const Choices& c) {
                  OptionValue v;
                  v.flag = c.preparation.fit.upscale;
                  return v;
              }}},
    {.name = "brightness", .type = OptionType::Number, .valueName = "B", .minimum = -100,
     .maximum = 100, .help = "Brightness, -100 to 100 (default 0).", .label = "Brightness",
     .preference = "prepare/brightness", .use = kCommandLine | kPreparation,
     .needs = needs::kPreparedAlone,
     .bind = bind::PrepareNumber<&Preparation::brightness>()},
    {.name = "contrast", .type = OptionType::Number, .valueName = "C", .minimum = -100,
     .maximum = 100, .help = "Contrast, -100 to 100 (default 0).", .label = "Contrast",
     .preference = "prepare/contrast", .use = kCommandLine | kPreparation,
     .needs = needs::kPreparedAlone,
     .bind = bind::PrepareNumber<&Preparation::contrast>()},
    {.name = "gamma", .type = OptionType::Number, .valueName = "G", .minimum = 0.05,
     .maximum = 20, .byDefault = 1,
     .help = "Gamma, 0.05 to 20; above 1 lightens the mid-tones (default 1).", .label = "Gamma",
     .preference = "prepare/gamma", .use = kCommandLine | kPreparation,
     .needs = needs::kPreparedAlone, .step = 0.1,
     .bind = bind::PrepareNumber<&Preparation::gamma>()},
    {.name = "invert", .type = OptionType::Flag, .help = "Invert the picture.",
     .label = "Invert", .preference = "prepare/invert", .use = kCommandLine | kPreparation,
     .needs = needs::kPreparedAlone,
     .bind = bind::PrepareFlag<&Preparation::invert>()},
    {.name = "crop", .type = OptionType::Region, .valueName = "WxH+X+Y", .minimum = 1,
     .maximum = kMaxSide,
     .help = "Keep only the part of each picture W x H pixels large whose top left corner is X "
             "pixels from the left and Y from the top, before it is turned and fitted.",
     .label = "Crop", .preference = "prepare/crop", .use = kCommandLine | kPreparation,
     .manual = "The picture is taken upright, as viewers show it. A part reaching past the "
               "picture's edges keeps what lies within them; a part entirely outside is refused. "
               "Every frame is cropped alike; with --tile the part is cut into tiles.",
     .web = "Keep only a part of the picture, in its pixels: its width and height, and how far "
            "its top left corner is from the picture's left and top. The part is then turned "
            "and fitted.",
     .needs = needs::kPreparedAlone, .offered = {kScreens[0].width, kScreens[0].height},
     .bind = {[](Choices& c, const OptionValue& v) {
                  c.preparation.crop = v.region.any() ? v.region : Region{};
              },
              [](const Choices& c) {
                  OptionValue v;
                  if (c.preparation.cropped()) v.region = c.preparation.crop;
                  return v;
              }}},
    {.name = "rotate", .type = OptionType::Choice, .valueName = "DEGREES",
     .choices = kTurnChoices,
     .help = "Turn each picture clockwise by 90, 180 or 270 degrees before it is fitted.",
     .label = "Turn", .preference = "prepare/rotate", .use = kCommandLine | kPreparation,
     .manual = "Each frame and each tile is turned on its own; --fit is the turned picture's "
               "box.",
     .web = "Turn the picture clockwise before it is fitted: for a picture drawn sideways, or "
            "a screen held on its side.",
     .needs = needs::kPreparedAlone, .shown = "{name}°: {label}",
     .bind = {[](Choices& c, const OptionValue& v) { c.preparation.turn = int(v.choice) * 90; },
              [](const Choices& c) {
                  OptionValue v;
                  v.choice = std::size_t(((c.preparation.turn / 90) % 4 + 4) % 4);
                  return v;
              }}},
    {.name = "flip", .type = OptionType::Choice, .valueName = "DIRECTION",
     .choices = kFlipChoices,
     .help = "Mirror each picture, left to right (horizontal) or top to bottom (vertical), "
             "after any --rotate.",
     .label = "Mirroring", .preference = "prepare/flip", .use = kCommandLine | kPreparation,
     .web = "Mirror the picture left to right or top to bottom, after it is turned.",
     .needs = needs::kPreparedAlone,
     .bind = {[](Choices& c, const OptionValue& v) {
                  c.preparation.flip = static_cast<Flip>(v.choice);
              },
              [](const Choices& c) {
                  OptionValue v;
                  v.choice = static_cast<std::size_t>(c.preparation.flip);
                  return v;
              }}},
    {.name = "threshold", .type = OptionType::Whole, .valueName = "T", .minimum = 1,
     .maximum = 255, .byDefault = kPlainThreshold,
     .help = "For the 1-bit kind without --dither: the gray, 1 to 255, from which a dot is "
             "white (default 128, the plain conversion's).",
     .label = "Threshold", .preference = "prepare/threshold", .use = kCommandLine | kPreparation,
     .manual = "The gray is the picture's luminance after brightness, contrast, gamma and "
               "invert. Lower keeps more of a dark drawing's lines white; higher keeps more of "
               "a light one's dark. The grayscale kinds and dithering keep their own levels: "
               "dithering passes on each dot's difference from the level it gets, so a moved "
               "split would change the pattern of the dots, not how dark the picture comes out; "
               "with --dither, --brightness, --contrast and --gamma move the tones instead.",
     .web = "For the 1-bit kind without dithering: the gray, 1 to 255, from which a dot is "
            "white (128 by default). Lower it to lighten, raise it to keep faint lines dark.",
     .needs = needs::kThreshold,
     .bind = bind::PrepareWhole<&Preparation::threshold>()},
    {.name = "dither", .type = OptionType::Choice, .valueName = "METHOD",
     .choices = kDitherChoices,
     .help = "Dithering in the kind's own shades: none (the plain bands), floyd-steinberg, "
             "atkinson, ordered, search (the dots closest to the picture as an eye sees "
             "them, found by search; slower) or blue-noise (an ordered map of blue noise: "
             "no grid, and dots that stay in place from frame to frame).",
     .label = "Dithering", .preference = "prepare/dither", .use = kCommandLine | kPreparation,
     .manual = "With every preparation option at its default the output is the plain "
               "conversion, byte for byte. search starts from Floyd-Steinberg's dots and changes "
               "a dot, or swaps two neighbours, wherever that brings the dots closer to the "
               "picture seen through a blur of 1.2 dots (an eye looking at a small screen), for "
               "up to 8 passes; for every kind, level by level.",
     .web = "Mixes the kind's own shades in fine patterns to show the tones between them: best "
            "for photographs. Floyd-Steinberg is the smoothest, Atkinson the crispest, ordered a "
            "regular grid; search finds the dots closest to the picture as an eye sees them "
            "(slower); none gives plain bands, best for drawings and text.",
     .needs = needs::kPreparedAlone,
     .bind = {[](Choices& c, const OptionValue& v) {
                  c.preparation.dither = kDitherMethods[v.choice].dither;
              },
              [](const Choices& c) {
                  OptionValue v;
                  v.choice = bind::IndexOfDither(c.preparation.dither);
                  return v;
              }}},
    {.name = "linear", .type = OptionType::Flag,
     .help = "With --dither, dither in linear light: the picture's grays and the kind's levels "
             "compared as the light they give (sRGB decoded), not as their numbers.",
     .label = "Dither in linear light", .preference = "prepare/linear",
     .use = kCommandLine | kPreparation,
     .manual = "A mid gray (128) then gets about a fifth of its dots white, as much light as "
               "the gray gives, rather than half; pictures come out darker in the mid-tones and "
               "match the light of the original on a screen that shows sRGB.",
     .web = "Dither by the light the grays give rather than by their numbers: mid-tones come "
            "out darker, as their light is.",
     .needs = needs::kLinear,
     .bind = bind::PrepareFlag<&Preparation::linear>()},
    {.name = "preview", .type = OptionType::Path, .valueName = "FILE|DIR",
     .help = "Also write the calculator's view of each GROB as a PNG: FILE for one picture, or "
             "into a folder, made if missing (named like the GROB, .png).",
     .needs = needs::kPreview,
     .bind = bind::Path<&Choices::preview>()},
    {.name = "zoom", .type = OptionType::Whole, .valueName = "N", .minimum = 1, .maximum = 16,
     .byDefault = 2, .help = "The previews' zoom, 1 to 16 (default 2).", .label = "Zoom",
     .preference = "preview/zoom", .use = kCommandLine | kPreviewView,
     .web = "How large the preview is drawn: each dot as a square of this many pixels a side. "
            "It does not change the GROB.",
     .needs = needs::kZoom,
     .bind = bind::Whole<&Choices::zoom>()},
    {.name = "frames", .type = OptionType::Flag,
     .help = "Every frame of an animated GIF, page of a TIFF or GROB of a list, not the "
             "first alone: one GROB each.",
     .label = "Every frame (of an animation, a TIFF, a list)", .use = kCommandLine | kCutting,
     .manual = "Each frame is the whole picture as a browser shows it at that moment; each goes "
               "through the same preparation.",
     .web = "Every frame of an animated GIF, not the first alone: one GROB each, each "
            "through the same preparation.",
     .bind = bind::CutFlag<&Cutting::frames>()},
    {.name = "tile", .type = OptionType::Size, .valueName = "WxH", .minimum = 1,
     .maximum = kMaxSide,
     .help = "Cut each picture into WxH tiles, left to right, top to bottom: one GROB each.",
     .label = "Cut into tiles", .use = kCommandLine | kCutting,
     .manual = "A picture that is not a whole number of tiles is refused, saying by how much.",
     .web = "Cut the picture into tiles of this size, left to right, top to bottom: one "
            "GROB each. A picture that is not a whole number of tiles is refused, saying by how "
            "much.",
     .offered = {16, 16},
     .bind = {[](Choices& c, const OptionValue& v) {
                  c.cutting.tileWidth = v.size.width;
                  c.cutting.tileHeight = v.size.height;
              },
              [](const Choices& c) {
                  OptionValue v;
                  v.size = {c.cutting.tileWidth, c.cutting.tileHeight};
                  return v;
              }}},
    {.name = "tile-pad", .type = OptionType::Flag,
     .help = "With --tile, pad the last row and column of tiles with white (and clear) "
             "instead of refusing.",
     .label = "Pad the last row and column with white", .use = kCommandLine | kCutting,
     .web = "Pad the last row and column of tiles with white (and clear) instead of refusing "
            "a picture that is not a whole number of tiles.",
     .needs = needs::kTiles,
     .bind = bind::CutFlag<&Cutting::tilePad>()},
    {.name = "skip-empty", .type = OptionType::Flag,
     .help = "With --tile, leave out tiles that are white or clear throughout, and say which "
             "remain.",
     .label = "Leave out empty tiles", .use = kCommandLine | kCutting,
     .web = "Leave out the tiles that are white or clear throughout, and say which remain.",
     .needs = needs::kTiles,
     .bind = bind::CutFlag<&Cutting::skipEmpty>()},
    {.name = "mask", .type = OptionType::Flag,
     .help = "After each picture's GROB, a 1-bit mask of its size, dark where the picture is "
             "at least half opaque.",
     .label = "A mask after each GROB", .use = kCommandLine | kCutting,
     .manual = "As files, walk-01.mask.gro beside walk-01.g16. A picture with no transparency "
               "gets a full mask, said once.",
     .needs = needs::kGrobsAlone,
     .bind = bind::CutFlag<&Cutting::masks>()},
    {.name = "mask-opacity", .type = OptionType::Whole, .valueName = "A", .minimum = 1,
     .maximum = 255, .byDefault = kPlainThreshold,
     .help = "With --mask, how opaque a pixel must be, 1 to 255, for its mask dot to be dark "
             "(default 128: at least half).",
     .label = "Mask dark from opacity", .use = kCommandLine | kCutting,
     .manual = "A fitted mask takes the opacity of the area each dot covers. Lower it to keep "
               "an edge that is mostly clear, raise it to keep only what is nearly opaque.",
     .web = "How opaque, 1 to 255, a pixel must be for its mask dot to be dark: 128 takes what "
            "is at least half opaque; lower keeps soft edges, higher only what is nearly solid.",
     .needs = needs::kMasks,
     .bind = {[](Choices& c, const OptionValue& v) { c.cutting.maskOpacity = int(v.number); },
              [](const Choices& c) {
                  OptionValue v;
                  v.number = c.cutting.maskOpacity;
                  return v;
              }}},
    {.name = "list", .type = OptionType::Flag,
     .help = "All the GROBs (frames, tiles, masks, every picture given) in one list object, "
             "named after the first picture: walk.g16.lst.",
     .manual = "With --text, the list in the text form. A list larger than 288 KB, the most "
               "user memory of any HP 48 or HP 49, is refused. Without --list, several GROBs from "
               "one picture are numbered files: walk-01.g16, walk-02.g16, ...",
     .web = "All the GROBs (frames, tiles, masks) in one list object, named after the "
            "picture: walk.g16.lst. A list larger than 288 KB, the most user memory of any HP 48 "
            "or HP 49, is refused.",
     .needs = needs::kGrobsAlone,
     .bind = bind::Flag<&Choices::list>()},
    {.name = "player", .type = OptionType::Flag,
     .help = "A program for the calculator that plays the GROBs (an animation's frames, every "
             "picture given) in turn until a key is pressed: walk.prg.",
     .manual = "A UserRPL program in the text form, for every HP 48 and HP 49 model: it holds "
               "the frames and their times (each frame's own in a GIF, else 100 ms; --delay sets "
               "one for all), clears PICT to the screen's size, centres the frames on it (131 x "
               "64, or 131 x 80 on the later HP 49 models) and shows them in turn. Send it and "
               "run it: a key ends it. Several pictures, or --frames, give one player of all.",
     .needs = needs::kPlayer,
     .bind = bind::Flag<&Choices::player>()},
    {.name = "viewer", .type = OptionType::Flag,
     .help = "Write each GROB of a grayscale kind with the calculator's grayscale viewer, in one "
             "program that shows its shades when run, until a key is pressed: photo.prg. Without "
             "pictures, write the viewer alone (GV).",
     .label = "With the grayscale viewer (.prg)", .preference = "convert/viewer",
     .use = kCommandLine | kEncoding,
     .manual = "In the binary form, for the HP 48 series and (on the SD card, run with "
               "EVAL) the HP 49g+ and 50g: the program holds the GROB's frames (a 2-bit or 4-bit "
               "GROB split into 2 or 4 page-flipping frames, a picture smaller than the screen, "
               "131 x 64 or 131 x 80 for the HP 49 series, centred on it), its number of shades "
               "and the viewer, a Code object that flips the screen between the frames 64 times "
               "a second, each for as long as its weight asks, so that every dot shows its shade. "
               "Run it: any key but ON ends it and leaves the GROB on the stack. The viewer alone "
               "(--viewer without pictures: GV, or -o FILE) shows a page-flipping GROB of at "
               "least 131 x 64 dots a frame given with its number of shades: GROB 16 GV. With "
               "--series 49 and --text it is written as MASD source for the HP 49 series' "
               "built-in assembler.",
     .web = "Download each GROB of a grayscale kind with the calculator's grayscale viewer, in "
            "one program for the HP 48 series that shows its shades when run, until a key is "
            "pressed: photo.prg.",
     .needs = needs::kViewer,
     .bind = bind::Flag<&Choices::viewer>()},
    {.name = "delay", .type = OptionType::Whole, .valueName = "MS", .minimum = 10,
     .maximum = 60000,
     .help = "With --player, show each frame MS milliseconds (default: the animation's own "
             "times).",
     .needs = needs::kDelay,
     .bind = bind::Whole<&Choices::delay>()},
    {.name = "send", .type = OptionType::Path, .valueName = "DEVICE",
     .help = "Send each file written to the calculator on the serial DEVICE (/dev/ttyUSB0, ...), "
             "by Kermit to an HP 48 in SERVER mode or an HP 49g+ or 50g, or by XModem to XRECV "
             "(--protocol).",
     .label = "Serial line", .preference = "send/device", .use = kCommandLine | kSending,
     .manual = "Kermit stores each file under its name up to the first dot, in capitals (walk.g16 "
               "as WALK); XRECV is given the name on the calculator. The transfers run C-Kermit "
               "(kermit) and lrzsz's sx, which must be installed. A file the calculator refuses "
               "(an HP 48 given an HP 49 file says \"Invalid Syntax\"), no answer and a lost "
               "line are each said, and the run ends with status 1.",
     
     .needs = needs::kSend,
     .bind = bind::Path<&Choices::send>()},
    {.name = "protocol", .type = OptionType::Choice, .valueName = "PROTOCOL",
     .choices = kProtocolChoices,
     .help = "With --send: kermit (the default; the calculator in SERVER mode) or xmodem (the "
             "calculator waiting in XRECV).",
     .label = "Protocol", .preference = "send/protocol", .use = kCommandLine | kSending,
     .needs = needs::kSendSettings,
     .bind = bind::Index<&Choices::protocol>()},
    {.name = "baud", .type = OptionType::Whole, .valueName = "N", .minimum = 1200,
     .maximum = 115200, .byDefault = 9600,
     .help = "With --send, the line's speed (default 9600, every model's own; the HP 48 goes no "
             "higher).",
     .label = "Speed (baud)", .preference = "send/baud", .use = kCommandLine | kSending,
     .needs = needs::kSendSettings,
     .bind = bind::Whole<&Choices::baud>()},
    {.name = "split", .type = OptionType::Flag,
     .help = "With --to png, the GROBs of a list (or the frames) as numbered PNGs instead of one "
             "sheet side by side.",
     .needs = needs::kSplit,
     .bind = bind::Flag<&Choices::split>()},
    {.name = "text", .type = OptionType::Flag,
     .help = "Write the GROB's text form (\"GROB w h hex...\") instead of the binary one, under "
             "the same name.",
     .label = "The text form (with its %%HP: line)", .use = kCommandLine | kCutting,
     .manual = "The body is one unbroken run of hexadecimal digits, each byte low digit first, "
               "as the calculators write it.",
     .web = "The GROB as text (\"GROB w h hex...\") under the %%HP: line that tells the "
            "calculator how to read it, instead of the binary form: for a transfer as text.",
     .needs = needs::kGrobFileAlone,
     .bind = bind::Flag<&Choices::text>()},
    {.name = "bare", .type = OptionType::Flag,
     .help = "With --text, leave out the %%HP: line: the bare object, as a calculator's command "
             "line, an emulator's paste and STR-> of a file from an SD card take it.",
     .manual = "A file sent by Kermit keeps the line, which tells the calculator how the text is "
               "translated; an HP 49g+ or 50g reads a text file from its SD card as a string, "
               "which STR-> turns into the GROB only without the line.",
     .needs = needs::kBare,
     .bind = bind::Flag<&Choices::bare>()},
    {.name = "quiet", .shortName = 'q', .type = OptionType::Flag,
     .help = "Show no progress and no summary, only failures.",
     .bind = bind::Flag<&Choices::quiet>()},
    {.name = "verbose", .shortName = 'v', .type = OptionType::Flag,
     .help = "Say each file written (picture -> output, bytes) on standard output, or on "
             "standard error when an output goes to standard output.",
     .bind = bind::Flag<&Choices::verbose>()},
    {.name = "help", .shortName = 'h', .type = OptionType::Flag, .help = "Show this help.",
     .bind = bind::Flag<&Choices::help>()},
    {.name = "version", .shortName = 'V', .type = OptionType::Flag,
     .help = "Show the program's version.",
     .bind = bind::Flag<&Choices::version>()},
}};
// clang-format on
// Every entry of the table is an option: the size above counts them.
constexpr bool EveryEntryNamed() {
    for (const OptionEntry& option : kOptions)
        if (option.name.empty()) return false;
    return true;
}
static_assert(EveryEntryNamed(),
              "an empty entry: the table's size counts more options than it has");
// Every entry sets a choice and reads it back (checked by the tests: the
// sanitizers' builds cannot compare function addresses at compile time).
constexpr bool EveryEntryBound() {
    for (const OptionEntry& option : kOptions)
        if (!option.bind.set || !option.bind.get) return false;
    return true;
}

constexpr std::span<const OptionEntry> Options() {
    return kOptions;
}
// The option of this long name, found when the program is compiled: a name
// that is none of the table's does not compile.
consteval const OptionEntry& Option(std::string_view name) {
    for (const OptionEntry& option : kOptions)
        if (option.name == name) return option;
    throw "no option of this name";
}
// The option of a name read at run time (a preferences key, the web page's
// settings); null when there is none.
const OptionEntry* FindOption(std::string_view name);

// Every requirement names an option of the table, and lists values only of
// a choice, each one of its choices.
constexpr bool EveryRequirementNamesAnOption() {
    for (const OptionEntry& option : kOptions)
        for (const Requirement& need : option.needs) {
            // By its place in the table (the sanitizers' builds compare no
            // addresses at compile time).
            std::size_t other = kOptions.size();
            for (std::size_t i = 0; i < kOptions.size(); ++i)
                if (kOptions[i].name == need.option) other = i;
            if (other == kOptions.size()) return false;
            if (!need.values.empty() && kOptions[other].type != OptionType::Choice) return false;
            for (const std::string_view value : need.values) {
                bool known = false;
                for (const OptionChoice& choice : kOptions[other].choices)
                    known = known || choice.name == value;
                if (!known) return false;
            }
        }
    return true;
}
static_assert(EveryRequirementNamesAnOption(),
              "a requirement names no option, or a value its option does not have");

// Whether the requirement holds for these choices. One on an option
// outside `uses` (one the asker does not have, as the window has no --to)
// holds.
bool Holds(const Requirement& need, const Choices& choices, unsigned uses = kCommandLine);
// The first requirement of the option that does not hold; null when it
// has its effect.
const Requirement* Unmet(const OptionEntry& option, const Choices& choices,
                         unsigned uses = kCommandLine);
inline bool Applies(const OptionEntry& option, const Choices& choices,
                    unsigned uses = kCommandLine) {
    return Unmet(option, choices, uses) == nullptr;
}
// The command line's refusal of an option given where the requirement does not hold.
std::string Refusal(const OptionEntry& option, const Requirement& need, const Choices& choices);
// The choices with every option among `uses` that does not have its effect
// set back to its default: what a conversion is made with.
Choices Applied(Choices choices, unsigned uses = kConversion);
// The preparation that has its effect for this kind.
Preparation Applied(const OutputKind& kind, const Preparation& preparation);
// The option's default value.
OptionValue DefaultValue(const OptionEntry& option);
// Whether two values of the option are the same.
bool SameValue(const OptionEntry& option, const OptionValue& a, const OptionValue& b);
// The options among `uses` (and only they) as `from` has them.
void CopyOptions(const Choices& from, Choices& to, unsigned uses);
// A choice as a control shows it (the option's `shown`).
std::string ShownChoice(const OptionEntry& option, std::size_t choice);

// A decimal number written with a "." (whatever the locale), an optional
// sign and exponent; nothing for anything else, infinities and NaN included.
std::optional<double> ParseDecimal(std::string_view text);
// The value as the option's type reads it, or nothing when it is not a
// value of the option (out of range, not a number, not a choice).
std::optional<double> ParseNumber(const OptionEntry& option, std::string_view text);
// WIDTHxHEIGHT, or "none" for none (0 x 0: natural size, no tiles).
std::optional<Dimensions> ParseSize(const OptionEntry& option, std::string_view text);
// WIDTHxHEIGHT+X+Y, or "none" for no part at all (0 x 0).
std::optional<Region> ParseRegion(const OptionEntry& option, std::string_view text);
// The index of the choice (by its name or its other spelling), or nothing.
std::optional<std::size_t> ParseChoice(const OptionEntry& option, std::string_view text);
// Any option's value from its text: a flag from "true" or "false" (as the
// preferences file keeps it), a number, a size, a choice, a path (not
// empty). Nothing when the text is not one of the option's values.
std::optional<OptionValue> ParseValue(const OptionEntry& option, std::string_view text);
// The value as ParseValue reads it back.
std::string FormatValue(const OptionEntry& option, const OptionValue& value);
// Sets the option in `choices` from its text; false, changing nothing, when
// the text is not one of its values.
bool SetOption(Choices& choices, const OptionEntry& option, std::string_view text);
// The option's value in `choices`, as text.
std::string OptionText(const Choices& choices, const OptionEntry& option);

// A number as the manual and the help write it: "0.05", "20", "-100".
std::string FormatNumber(double value);

} // namespace grob
