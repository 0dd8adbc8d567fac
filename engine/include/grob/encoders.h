// The seven output kinds and their encoders.
#pragma once

#include "grob/grobfile.h"
#include "grob/raster.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace grob {

// Writes the picture as a 1-bit, 2-bit or 4-bit GROB file.
void ConvertAndSave1(const PictureRaster& picture, Series series, const std::string& filename);
void ConvertAndSave2(const PictureRaster& picture, Series series, const std::string& filename);
void ConvertAndSave4(const PictureRaster& picture, Series series, const std::string& filename);
// Writes the picture as a page-flipping GROB of `pcnt` (2..5) one-bit frames.
void ConvertAndSavePF(const PictureRaster& picture, Series series, int pcnt,
                      const std::string& filename);

// One output kind: either a fixed depth (1, 2, 4 bits per pixel) or a frame
// count (2..5).
struct OutputKind {
    int depth = 1;  // bits per pixel for the fixed-depth kinds, 0 for page-flipping
    int frames = 0; // frame count for page-flipping kinds, 0 otherwise
    std::string_view extension;

    bool pageFlipping() const { return frames != 0; }
};

// The seven kinds, in the order "gro", "gro2", "gro4", "g04", "g08", "g16", "g32".
const std::vector<OutputKind>& OutputKinds();
std::optional<OutputKind> KindForExtension(std::string_view extension);

// Runs the kind's encoder.
void ConvertAndSave(const OutputKind& kind, const PictureRaster& picture, Series series,
                    const std::string& filename);

// The whole file the kind's encoder writes, built in memory. `filename` only
// names the file in error messages.
std::vector<std::uint8_t> EncodeGrob(const OutputKind& kind, const PictureRaster& picture,
                                     Series series, const std::string& filename = {});

} // namespace grob
