// Between the loader and the picture renderer process. The loader runs
// `veldar-render wmf`, `veldar-render emf`, `veldar-render picture` or
// `veldar-render frames` (every page or frame) and writes the file's bytes
// to its standard input; the renderer answers on standard output with one
// block a picture: "VPX1", width, height and how long an animation shows it
// (ms) as 32-bit little-endian numbers, then width x height pixels composed
// over white, each the bytes R, G, B and the picture's own opacity there
// (255: opaque). Or it fails with one line on standard error.
#pragma once

#include "grob/raster.h"

#include <QByteArray>

#include <vector>

namespace render {

constexpr char kMagic[] = "VPX1";
constexpr qsizetype kHeaderBytes = 16;

// A block's header for a picture of this size.
QByteArray AnswerHeader(int width, int height, int delayMs = 0);

struct Answer {
    grob::Image image; // the opacity left in each pixel's top byte
    int delayMs = 0;
};
// The pictures of an answer; none for anything that is not whole blocks
// within the size limits (each picture's, and four pictures' worth in all).
std::vector<Answer> DecodeAnswers(const QByteArray& answer);

} // namespace render
