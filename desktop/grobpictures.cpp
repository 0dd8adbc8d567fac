#include "grobpictures.h"

#include "grob/checks.h"
#include "grob/list.h"
#include "grob/reader.h"
#include "grob/sprites.h"
#include "pictureloader.h"

#include <string_view>

namespace desktop {

bool IsGrobFile(std::span<const std::uint8_t> bytes) {
    // The registry names the GROB forms "GROB ...": binary, text, ASCII-encoded.
    return !bytes.empty() &&
           std::string_view(pictureloader::Recognise(bytes).name).starts_with("GROB");
}

grob::OutputKind KindOf(const std::string& name, std::optional<grob::OutputKind> fallback) {
    // A file's name tells it as it tells the program (any other name: 1-bit).
    if (!name.empty()) return grob::KindForFileName(name);
    return fallback.value_or(grob::OutputKinds()[0]);
}

std::optional<grob::Extent> HeaderSize(std::span<const std::uint8_t> bytes,
                                       const grob::OutputKind& kind) {
    if (!grob::LooksLikeBinaryGrob(bytes)) return std::nullopt;
    // Nibbles from the end of the 8-byte header, low nibble first in each byte.
    auto nibbles = [&](std::size_t at, int count) -> std::optional<std::uint32_t> {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i, ++at) {
            const std::size_t byte = 8 + at / 2;
            if (byte >= bytes.size()) return std::nullopt;
            value |= std::uint32_t((bytes[byte] >> (at % 2 ? 4 : 0)) & 0xF) << (4 * i);
        }
        return value;
    };
    // A list's first GROB comes after the list's own prologue.
    const std::size_t grob = grob::LooksLikeBinaryList(bytes) ? 5 : 0;
    if (nibbles(grob, 5) != 0x02B1Eu) return std::nullopt;
    const auto height = nibbles(grob + 10, 5), width = nibbles(grob + 15, 5);
    if (!height || !width) return std::nullopt;
    return grob::PictureExtent(kind, *width, *height);
}

Pictures Read(std::span<const std::uint8_t> bytes, const grob::OutputKind& kind,
              const std::string& name) {
    pictureloader::Options options;
    options.allFrames = true;
    options.grobKind = kind;
    Pictures read;
    if (!IsGrobFile(bytes)) {
        read.error = "it is not a GROB";
        return read;
    }
    loading::Picture picture = pictureloader::LoadBytes(bytes, options, name);
    if (!picture.ok()) {
        read.error = picture.error;
        return read;
    }
    for (loading::Frame& frame : picture.frames)
        read.pictures.push_back(std::move(frame.image));
    return read;
}

grob::Image Whole(std::span<const std::uint8_t> bytes, const std::string& name) {
    Pictures read = Read(bytes, KindOf(name, std::nullopt), name);
    if (!read.error.empty()) throw grob::GrobReadError(name, read.error);
    if (read.pictures.size() == 1) return std::move(read.pictures.front());
    std::vector<const grob::Image*> pictures;
    for (const grob::Image& picture : read.pictures)
        pictures.push_back(&picture);
    const grob::SheetSize size = grob::SizeOfSheet(pictures);
    if (const std::string refusal = grob::PictureSizeRefusal(size.width, size.height);
        !refusal.empty())
        throw grob::GrobReadError(name, "side by side, " + refusal);
    return grob::Sheet(pictures);
}

} // namespace desktop
