#include "grob/player.h"

#include "grobcodec.h"

#include <algorithm>

namespace grob {

namespace {

// Seconds as the calculators read them: ".05", "1.5", "2".
std::string Seconds(int ms) {
    ms = std::max(ms, 10);
    std::string text = std::to_string(ms / 1000);
    if (text == "0") text.clear();
    if (const int part = ms % 1000; part != 0) {
        std::string digits = std::to_string(1000 + part).substr(1);
        digits.erase(digits.find_last_not_of('0') + 1);
        text += "." + digits;
    }
    return text;
}

// Where a frame of `size` starts so that it is centred on a screen side of
// `screen` dots (at 0 when it is larger).
std::string Centre(std::uint32_t screen, std::uint32_t size) {
    return "# " + std::to_string(size < screen ? (screen - size) / 2 : 0) + "d";
}

} // namespace

std::string PlayerProgram(std::span<const PlayedFrame> frames) {
    // The frames' place: the largest frame centred (an animation's frames
    // share its canvas, so they are all of one size).
    std::uint32_t width = 0, height = 0;
    for (const PlayedFrame& frame : frames) {
        width = std::max(width, frame.grob->width);
        height = std::max(height, frame.grob->height);
    }
    const std::string x = Centre(kPlayerWidth, width);
    std::string text(codec::kTextHeader);
    text += "\\<< {";
    std::string times = "{";
    for (const PlayedFrame& frame : frames) {
        text += " ";
        codec::AppendTextGrob(text, *frame.grob);
        text += "\r\n";
        times.append(" ").append(Seconds(frame.delayMs));
    }
    text.append("}\r\n").append(times).append(" }\r\n");
    // IF, not IFTE: IFTE evaluates the clause it chooses, and a list
    // evaluated is its elements on the stack.
    text += "ERASE IF PICT SIZE SWAP DROP # 80d == THEN\r\n";
    // The place on the screen ERASE gives PICT: 131 x 80, else 131 x 64.
    for (const std::string& part :
         {std::string("{ "), x, std::string(" "), Centre(std::uint32_t(kPlayerHeights[1]), height),
          std::string(" } ELSE { "), x, std::string(" "),
          Centre(std::uint32_t(kPlayerHeights[0]), height), std::string(" } END 1\r\n")})
        text.append(part);
    text += "\\-> f d p i\r\n"
            "\\<< { # 0d # 0d } PVIEW\r\n"
            "  WHILE KEY NOT REPEAT\r\n"
            "    PICT p f i GET REPL d i GET WAIT\r\n"
            "    i f SIZE MOD 1 + 'i' STO\r\n"
            "  END DROP\r\n"
            "\\>>\r\n"
            "\\>>\r\n";
    return text;
}

} // namespace grob
