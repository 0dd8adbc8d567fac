// What the formats' handlers share, and the decoders' entry points.
#include "internal.h"
#include "libraries.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace codecs {

namespace detail {

bool CheckSize(std::int64_t width, std::int64_t height, const DecodeOptions& options,
               Decoded& result) {
    std::string refusal =
        grob::PictureSizeRefusal(width, height, options.maxSide, options.maxPixels);
    if (refusal.empty()) return true;
    result.error = std::move(refusal);
    return false;
}

bool Allocate(Image& image, int width, int height, Decoded& result) {
    try {
        image.pixels.assign(std::size_t(width) * std::size_t(height), 0x00FFFFFFu);
    } catch (const std::bad_alloc&) {
        result.error = "there is not enough memory for the picture";
        return false;
    }
    image.width = width;
    image.height = height;
    return true;
}

Image Opaque(grob::MemoryRaster&& fitted) {
    Image image;
    image.width = fitted.width();
    image.height = fitted.height();
    image.pixels.reserve(std::size_t(image.width) * std::size_t(image.height));
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            image.pixels.push_back(fitted.row(y)[x] | 0xFF000000u);
    return image;
}

Image FitWhole(const Image& picture, const DecodeOptions& options) {
    return Opaque(grob::Fit({picture.pixels.data(), picture.width, picture.height, picture.width},
                            options.fit));
}

RowSink::RowSink(int width, int height, const DecodeOptions& options) : width_(width) {
    if (options.fitted && options.fits())
        fitter_.emplace(width, height, options.fit);
    else
        image_.pixels.reserve(std::size_t(width) * std::size_t(height));
    image_.width = width;
    image_.height = height;
}

void RowSink::add(const std::uint32_t* row) {
    if (fitter_)
        fitter_->add(row);
    else
        image_.pixels.insert(image_.pixels.end(), row, row + width_);
}

Image RowSink::take() {
    return fitter_ ? Opaque(fitter_->take()) : std::move(image_);
}

std::uint64_t FitMemory(int width, int height, const DecodeOptions& options) {
    int w = 0, h = 0;
    grob::FitSize(options.fit, width, height, w, h);
    // The fitted raster and its opaque copy, two rows of sums (three doubles
    // a pixel), the columns' shares (an index and a double each, for each
    // source column and fitted one) and where each fitted column starts.
    return 8 * std::uint64_t(w) * std::uint64_t(h) + 48 * std::uint64_t(w) +
           12 * (std::uint64_t(width) + std::uint64_t(w)) + 4 * (std::uint64_t(w) + 1);
}

} // namespace detail

const Handler* Sniff(Bytes bytes) {
    for (const Handler* handler : Handlers())
        if (handler->canRead(bytes)) return handler;
    return nullptr;
}

const Handler* ByName(std::string_view name) {
    for (const Handler* handler : Handlers())
        if (handler->name == name) return handler;
    return nullptr;
}

std::optional<Header> PeekStoredHeader(Bytes bytes, const Handler* handler) {
    std::optional<Header> header = handler ? handler->readHeader(bytes) : std::nullopt;
    if (header) header->fileBytes = bytes.size();
    return header;
}

Decoded Decode(Bytes bytes, const Handler* handler, const DecodeOptions& options) try {
    if (bytes.empty()) return {{}, "the file is empty"};
    if (!handler || !handler->read) return {{}, "not a picture of a kind these decoders read"};
    return handler->read(bytes, options);
} catch (const detail::LibraryMissing& missing) {
    return {{}, missing.what()};
}

} // namespace codecs
