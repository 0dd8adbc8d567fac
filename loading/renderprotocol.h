// Between the loader and the picture renderer process. The loader runs
// `veldar-render wmf`, `veldar-render emf` or `veldar-render picture` and
// writes the file's bytes to its standard input; the renderer answers on
// standard output with "VPX1", width and height as 32-bit little-endian
// numbers, then width x height pixels composed over white, each the bytes
// R, G, B, 255 (an RGBX image); or it fails with one line on standard error.
#pragma once

#include "grob/raster.h"

#include <QByteArray>

#include <optional>

namespace render {

constexpr char kMagic[] = "VPX1";
constexpr qsizetype kHeaderBytes = 12;

// The answer's header for a picture of this size.
QByteArray AnswerHeader(int width, int height);
// The picture of an answer, or nothing for anything that is not a whole
// answer within the size limits.
std::optional<grob::Image> DecodeAnswer(const QByteArray& answer);

} // namespace render
