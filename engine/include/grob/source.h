// GROBs as source code: the texts the calculators' tool chains take, so
// that a program's author pastes (or includes) a picture instead of typing
// its digits.
#pragma once

#include "grob/reader.h"

#include <array>
#include <span>
#include <string>
#include <string_view>

namespace grob {

// The forms, in the order of kSourceForms.
enum class SourceForm { SysRpl, Saturn, Masd, C, Xpm, NewRpl };

struct SourceFormInfo {
    SourceForm form;
    std::string_view name;      // --to NAME
    std::string_view extension; // of the file written
    std::string_view description;
};

inline constexpr std::array<SourceFormInfo, 6> kSourceForms = {{
    {SourceForm::SysRpl, "sysrpl", "s", "System RPL source (GROB ...), as RPLCOMP reads it"},
    {SourceForm::Saturn, "saturn", "a", "Saturn assembler source (NIBHEX), as SASM reads it"},
    {SourceForm::Masd, "masd", "masd",
     "MASD source ($ nibbles), as the HP 49's assembler reads it"},
    {SourceForm::C, "c", "h", "a C header (HPGCC: 4-bit GGL surfaces, 1-bit rows)"},
    {SourceForm::Xpm, "xpm", "xpm", "an XPM picture in the calculator's grays"},
    {SourceForm::NewRpl, "newrpl", "nrpl", "newRPL's BITMAPDATA text, stored under its name"},
}};

// One GROB of a source file and the name it is given there.
struct SourceSymbol {
    const GrobObject* grob = nullptr;
    std::string name;
};

// A valid identifier in every form's language made of a file name's stem
// ("walk-1.gif" -> "walk_1", "2.png" -> "_2"): letters, digits and "_",
// not starting with a digit.
std::string SymbolOf(std::string_view fileName);

// The source text of the GROBs, one symbol each, every symbol preceded by a
// comment that gives its size, kind and bytes. Lines end with LF. Throws
// GrobReadError (naming `path`) for a GROB whose size does not fit its kind.
std::string SourceText(SourceForm form, std::span<const SourceSymbol> symbols,
                       const std::string& path);

} // namespace grob
