#include "pngfile.h"

#include "codecs.h"
#include "grob/grobfile.h"

namespace pipeline {

std::vector<std::uint8_t> PngOf(const grob::Image& picture, const std::string& name) {
    std::string error;
    std::vector<std::uint8_t> png = codecs::EncodePngSmallest(
        picture.pixels.data(), picture.width, picture.height, picture.width, &error);
    if (png.empty())
        throw grob::GrobError(grob::ErrorCode::WriteFailed, name,
                              error.empty() ? "the PNG cannot be made" : error);
    return png;
}

} // namespace pipeline
