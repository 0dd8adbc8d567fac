// The grayscale viewer: a machine-code program for the HP 48 that shows a
// page-flipping GROB's shades by flipping the screen between its frames
// (its source: engine/saturn/viewer.a, assembled by the build). On the
// calculator it takes the GROB in level 2 and its number of shades (4, 8,
// 16 or 32) in level 1, and runs until a key is pressed.
#pragma once

#include "grob/grobfile.h"
#include "grob/kinds.h"
#include "grob/reader.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace grob {

// The smallest frame the viewer shows: the screen, 131 x 64 on an HP 48
// (and the HP 49G), 131 x 80 on the HP 49g+ and 50g, which show 80 lines
// from the display's start whatever the line count says. It shows the top
// left of larger frames.
inline constexpr std::uint32_t kViewerWidth = 131;
// The extension of the programs written for the calculator: the viewer's
// (photo.prg) and the player's (walk.prg).
inline constexpr std::string_view kProgramExtension = "prg";
constexpr std::uint32_t ViewerHeight(Series series) {
    return series == Series::HP48 ? 64 : 80;
}

// The viewer's Code object, prologue to end, as nibbles in memory order.
std::span<const std::uint8_t> ViewerCode();

// The viewer alone, as a binary transfer file of the series: stored under
// a name (GV, say) it is run as `GROB 16 GV`.
std::vector<std::uint8_t> ViewerFile(Series series);
// The viewer alone as text: MASD source of the HP 49 series' built-in
// assembler ("256 ATTACH" then ASM turns it into the viewer). The HP 48
// has no text form of machine code: it takes the binary file.
std::string ViewerMasdText();

// Frames the viewer can show, made of a conversion's result: a
// page-flipping GROB stays as it is, frames smaller than the screen of the
// GROB's series centred on white frames of its size; a 2-bit or 4-bit grayscale GROB is
// split into the 2 or 4 frames of the page-flipping kind of as many shades
// (the level of each dot kept). Throws GrobReadError naming `path` for a
// 1-bit GROB or one whose size does not fit its kind.
GrobObject ViewerFrames(const GrobObject& grob, const std::string& path);
// The number of shades the viewer is told for a GROB of that kind.
int ViewerShades(const OutputKind& kind);

// The picture with its viewer in one binary transfer file of the series: a
// program that puts the GROB (ViewerFrames) and its number of shades on the
// stack and runs the viewer; stored under a name and run, it shows the
// picture until a key is pressed and leaves the GROB on the stack.
std::vector<std::uint8_t> ViewerProgram(Series series, const GrobObject& grob,
                                        const std::string& path);

} // namespace grob
