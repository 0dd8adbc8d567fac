// What the decoders share: the limits, the composition over white with the
// exact rounding of Qt's raster code, and each kind's entry points.
#pragma once

#include "codecs.h"
#include "grob/compose.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace codecs::detail {

using Bytes = std::span<const std::uint8_t>;

// A composed pixel: its colour over white, and in the top byte how opaque
// the picture was there (255: opaque, 0: clear).
inline std::uint32_t Pack(std::uint32_t r, std::uint32_t g, std::uint32_t b,
                          std::uint32_t a = 255) {
    return r | g << 8 | b << 16 | a << 24;
}

// The composition over white is the engine's, shared with the web page.
using grob::OverWhite;

// A 16-bit channel to 8 bits, rounded as QRgba64::toArgb32 rounds.
inline std::uint32_t Div257(std::uint32_t x) {
    x += 128;
    return (x - (x >> 8)) >> 8;
}

// c * a / 65535, rounded as QRgba64::premultiplied rounds.
inline std::uint32_t Div65535(std::uint32_t x) {
    return (x + (x >> 16) + 0x8000) >> 16;
}

// A straight 16-bit colour over white, as the painter draws a 16-bit image
// onto a 32-bit one: premultiplied in 16 bits, reduced to 8, then blended.
inline std::uint32_t OverWhite16(std::uint32_t r, std::uint32_t g, std::uint32_t b,
                                 std::uint32_t a) {
    const std::uint32_t clear = 255 - Div257(a);
    return Pack(Div257(Div65535(r * a)) + clear, Div257(Div65535(g * a)) + clear,
                Div257(Div65535(b * a)) + clear, Div257(a));
}

bool TooLarge(std::int64_t width, std::int64_t height, const DecodeOptions& options);
std::string TooLargeText(std::int64_t width, std::int64_t height, const DecodeOptions& options);
// Fails with the limits' message when the size is beyond them.
bool CheckSize(std::int64_t width, std::int64_t height, const DecodeOptions& options,
               Decoded& result);
// Sizes the picture's pixels (width * height); false, with the cause in
// result, when memory runs out.
bool Allocate(Image& image, int width, int height, Decoded& result);

Decoded DecodePng(Bytes bytes, const DecodeOptions& options);
Decoded DecodeJpeg(Bytes bytes, const DecodeOptions& options);
Decoded DecodeGif(Bytes bytes, const DecodeOptions& options);
Decoded DecodeBmp(Bytes bytes, bool fileHeader, const DecodeOptions& options);

std::optional<Size> PeekPng(Bytes bytes);
std::optional<Size> PeekJpeg(Bytes bytes);
std::optional<Size> PeekGif(Bytes bytes);
std::optional<Size> PeekBmp(Bytes bytes, bool fileHeader);

} // namespace codecs::detail
