// The encoders: a picture in, the whole GROB file out.
#pragma once

#include "grob/grobfile.h"
#include "grob/kinds.h"
#include "grob/prepare.h"
#include "grob/raster.h"
#include "grob/reader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace grob {

// The unused bits at the end of each row: the columns past the GROB's width
// in the last byte of every row (of every frame of a page-flipping GROB).
// The classic bytes hold what the picture's outside reads as there (the
// 1-bit kind sets them); Clear leaves them 0. A calculator's PVIEW never
// shows them, but the HP 50g's stack draws a GROB's whole bytes, so set
// padding shows there as dark columns beside a GROB whose width is not a
// multiple of 8.
enum class Padding { Classic, Clear };

// Clears the unused bits at the end of each row of the object.
void ClearPadding(GrobObject& object);

// Writes the picture as a 1-bit, 2-bit or 4-bit GROB file.
void ConvertAndSave1(const PictureRaster& picture, Series series, const std::string& filename);
void ConvertAndSave2(const PictureRaster& picture, Series series, const std::string& filename);
void ConvertAndSave4(const PictureRaster& picture, Series series, const std::string& filename);
// Writes the picture as a page-flipping GROB of `pcnt` (2..5) one-bit frames.
void ConvertAndSavePF(const PictureRaster& picture, Series series, int pcnt,
                      const std::string& filename);

// The GROB object of the picture in the kind: its body encoded, its fields
// checked (GrobError when they do not fit) before any memory is taken. A
// picture in memory is read a row at a time; any other raster pixel by
// pixel through its reads (the reference path). `padding` chooses the
// unused bits at the end of each row.
GrobObject EncodeObject(const OutputKind& kind, const PixelView& picture, Series series,
                        const std::string& filename = {}, Padding padding = Padding::Classic);
GrobObject EncodeObject(const OutputKind& kind, const PictureRaster& picture, Series series,
                        const std::string& filename = {}, Padding padding = Padding::Classic);
// The object of the picture prepared as `preparation` asks: fitted, toned
// and dithered, or exactly the plain conversion when it is neutral.
GrobObject EncodeObject(const OutputKind& kind, const PixelView& picture, Series series,
                        const Preparation& preparation, const std::string& filename = {},
                        Padding padding = Padding::Classic);

// The whole file the kind's encoder writes, built in memory. `filename` only
// names the file in error messages. A picture in memory is read a row at a
// time; any other raster pixel by pixel through its reads (the reference path).
std::vector<std::uint8_t> EncodeGrob(const OutputKind& kind, const PixelView& picture,
                                     Series series, const std::string& filename = {});
std::vector<std::uint8_t> EncodeGrob(const OutputKind& kind, const PictureRaster& picture,
                                     Series series, const std::string& filename = {});

// The whole file of the picture prepared as `preparation` asks: fitted,
// toned and dithered, or exactly the plain conversion when it is neutral.
std::vector<std::uint8_t> EncodePrepared(const OutputKind& kind, const PixelView& picture,
                                         Series series, const Preparation& preparation,
                                         const std::string& filename = {});

// Encodes and writes the file; the size check comes before anything touches the disk.
void ConvertAndSave(const OutputKind& kind, const PixelView& picture, Series series,
                    const std::string& filename, Flush flush = Flush::EachFile);
void ConvertAndSave(const OutputKind& kind, const PictureRaster& picture, Series series,
                    const std::string& filename);

} // namespace grob
