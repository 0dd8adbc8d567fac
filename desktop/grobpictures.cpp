#include "grobpictures.h"

#include "grob/checks.h"
#include "grob/list.h"
#include "grob/reader.h"
#include "grob/sprites.h"
#include "pictureloader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
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
                                       const grob::OutputKind& kind,
                                       std::optional<std::uint64_t> fileBytes) {
    if (!grob::LooksLikeBinaryGrob(bytes) || !fileBytes) return std::nullopt;
    std::optional<grob::BinaryLength> length;
    try {
        length = grob::BinaryFileLength(bytes, {});
    } catch (const grob::Error&) {
        return std::nullopt;
    }
    if (!length || !length->first || length->bytes > *fileBytes) return std::nullopt;
    bool whole = false;
    const grob::Extent size =
        grob::PictureExtent(kind, length->first->width, length->first->height, &whole);
    if (!whole || size.width == 0 || size.height == 0 ||
        grob::TooLarge(std::int64_t(size.width), std::int64_t(size.height)))
        return std::nullopt;
    return size;
}

GrobBytes ReadGrobBytes(const ReadFn& read, const std::string& name) {
    GrobBytes got;
    bool ended = false;
    // The file's next bytes, until `size` of it are at hand or it ends.
    auto upTo = [&](std::size_t size) {
        while (!ended && got.error.empty() && got.bytes.size() < size) {
            const std::size_t had = got.bytes.size();
            if (!got.bytes.resize(size)) {
                got.error = "there is not enough memory for it";
                break;
            }
            errno = 0;
            const std::int64_t n = read(got.bytes.data() + had, size - had);
            got.bytes.resize(had + std::size_t(std::max<std::int64_t>(n, 0)));
            if (n < 0) got.error = errno ? std::strerror(errno) : "reading it failed";
            ended = n <= 0;
        }
        return got.error.empty();
    };
    if (!upTo(kHeadBytes)) return got;
    if (grob::LooksLikeBinaryGrob(got.bytes)) {
        // A list is walked GROB by GROB: its start read twice as far each time
        // its fields reach beyond, at most as far as a list can reach.
        const std::size_t most = grob::kMaxListBytes + 8;
        try {
            for (;;) {
                if (const auto length = grob::BinaryFileLength(got.bytes, name)) {
                    if (upTo(length->bytes) && got.bytes.size() > length->bytes)
                        got.bytes.resize(length->bytes); // what follows is no part of it
                    break;
                }
                // Ended within its fields: the reading tells how it is cut short.
                if (ended || got.bytes.size() >= most ||
                    !upTo(std::min(2 * got.bytes.size(), most)))
                    break;
            }
        } catch (const grob::Error& e) {
            got.error = e.cause();
        }
        return got;
    }
    // Text may hold a GROB further on; anything else holds none.
    if (!ended && !grob::MayBeText(got.bytes)) got.error = "it is not a GROB";
    if (got.error.empty() && upTo(kMaxTextBytes) && !IsGrobFile(got.bytes))
        got.error = "it is not a GROB";
    return got;
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

Pictures ReadFile(const ReadFn& read, const grob::OutputKind& kind, const std::string& name) {
    const GrobBytes bytes = ReadGrobBytes(read, name);
    if (!bytes.error.empty()) return {{}, bytes.error};
    return Read(bytes.bytes, kind, name);
}

grob::Image Whole(std::span<const std::uint8_t> bytes, const std::string& name,
                  const grob::OutputKind& kind) {
    Pictures read = Read(bytes, kind, name);
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
