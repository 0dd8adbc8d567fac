#include "pngfile.h"

#include "codecs.h"
#include "grob/grobfile.h"

#include <QFile>

namespace pipeline {

std::vector<std::uint8_t> PngOf(const grob::Image& picture, const QString& name) {
    std::string error;
    std::vector<std::uint8_t> png = codecs::EncodePng(picture.pixels.data(), picture.width,
                                                      picture.height, picture.width, &error);
    if (png.empty())
        throw grob::GrobError(grob::ErrorCode::WriteFailed, QFile::encodeName(name).toStdString(),
                              error.empty() ? "the PNG cannot be made" : error);
    return png;
}

} // namespace pipeline
