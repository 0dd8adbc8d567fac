// A program for the calculator that plays GROBs as an animation: the frames
// of a GIF, say, each shown for its own time, until a key is pressed.
#pragma once

#include "grob/reader.h"

#include <span>
#include <string>

namespace grob {

// One frame of the animation and how long it is shown.
struct PlayedFrame {
    const GrobObject* grob = nullptr;
    int delayMs = 0; // below 10 ms: 10 ms (WAIT 0 would wait for a key)
};

// The screens the program centres its frames on: the HP 48's and HP 49G's
// 131 x 64, and the 131 x 80 of the later HP 49 models.
inline constexpr int kPlayerWidth = 131;
inline constexpr int kPlayerHeights[] = {64, 80};

// A UserRPL program in the calculators' text form (the "%%HP:" line, then
// the program with the transfer trigraphs: \<< \>> \->), which every HP 48
// and HP 49 model runs: it holds the frames as a list of GROBs and their
// times as a list of seconds; clears PICT to the screen's size (ERASE),
// shows it (PVIEW) and, until a key is pressed, puts each frame in turn into
// it (REPL), centred on the screen it finds, and waits its time (WAIT).
std::string PlayerProgram(std::span<const PlayedFrame> frames);

} // namespace grob
