// A picture's transparency composed over white, with the arithmetic of Qt's
// painter, for every front end: the decoders of their own, the picture
// renderer (through Qt itself) and the web page all give the same colours;
// and over another gray (--background) from there, where they all meet.
#pragma once

#include <cstdint>

namespace grob {

// c * a / 255, rounded as Qt's qPremultiply rounds.
constexpr std::uint32_t Premultiply8(std::uint32_t c, std::uint32_t a) {
    const std::uint32_t t = c * a;
    return (t + (t >> 8) + 0x80) >> 8;
}

// A straight (not premultiplied) 8-bit colour over white, per channel
// round(c * a / 255) + 255 - a, as 0xAABBGGRR: red in the low byte, and in
// the top byte how opaque the picture was there (255 opaque, 0 clear).
constexpr std::uint32_t OverWhite(std::uint32_t r, std::uint32_t g, std::uint32_t b,
                                  std::uint32_t a) {
    const std::uint32_t clear = 255 - a;
    return (Premultiply8(r, a) + clear) | (Premultiply8(g, a) + clear) << 8 |
           (Premultiply8(b, a) + clear) << 16 | a << 24;
}

// A colour composed over white by OverWhite (its opacity in the top byte)
// composed over the gray `background` instead: the white's share taken back
// and the gray's added as the painter adds it, round(g * (255 - a) / 255);
// as 0xAABBGGRR, the opacity kept. Over white it is the colour as it was.
constexpr std::uint32_t OverGray(std::uint32_t overWhite, std::uint32_t background) {
    const std::uint32_t clear = 255 - (overWhite >> 24);
    const std::uint32_t field = Premultiply8(background, clear);
    std::uint32_t out = overWhite & 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8)
        out |= (((overWhite >> shift) & 255u) - clear + field) << shift;
    return out;
}

} // namespace grob
