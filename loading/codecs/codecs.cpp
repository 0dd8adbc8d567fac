// What the formats' handlers share, and the decoders' entry points.
#include "internal.h"
#include "libraries.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include <unistd.h>

namespace codecs {

std::size_t File::read(std::uint64_t at, std::span<std::uint8_t> into, int* error) const {
    if (at >= size) return 0;
    into = into.first(std::size_t(std::min<std::uint64_t>(into.size(), size - at)));
    std::size_t got = 0;
    while (got < into.size()) {
        const ssize_t n = ::pread(fd, into.data() + got, into.size() - got, off_t(at + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && error) *error = errno;
        if (n <= 0) break;
        got += std::size_t(n);
    }
    return got;
}

namespace detail {

Bytes Reader::at(std::uint64_t at, std::size_t length, bool backwards) {
    if (at >= size_) return {};
    if (!file_)
        return bytes_.subspan(std::size_t(at)).first(std::min<std::size_t>(length, size_ - at));
    length = std::min(length, kPiece);
    if (at < start_ || at - start_ + length > held_) {
        const std::uint64_t end = std::min<std::uint64_t>(at + length, size_);
        start_ = !backwards ? at : end > kPiece ? end - kPiece : 0;
        held_ = file_->read(start_, {buffer_.get(), kPiece}, &error_);
    }
    const std::size_t from = std::size_t(at - start_);
    if (from >= held_) return {};
    return {buffer_.get() + from, std::min(length, held_ - from)};
}

Bytes Reader::rest(std::uint64_t at) {
    if (!file_) return at < size_ ? bytes_.subspan(std::size_t(at)) : Bytes();
    if (at >= start_ && at < start_ + held_)
        return {buffer_.get() + (at - start_), std::size_t(start_ + held_ - at)};
    return this->at(at, kPiece);
}

bool Reader::copy(std::uint64_t at, std::uint8_t* out, std::size_t length) {
    if (at > size_ || length > size_ - at) return false;
    // Large pieces straight from the file, past the buffer.
    if (file_ && length > kPiece) return file_->read(at, {out, length}, &error_) == length;
    const Bytes piece = this->at(at, length);
    if (piece.size() < length) return false;
    std::memcpy(out, piece.data(), length);
    return true;
}

Bytes Reader::whole(std::uint64_t at, std::size_t length, std::vector<std::uint8_t>& room) {
    if (at >= size_) return {};
    length = std::size_t(std::min<std::uint64_t>(length, size_ - at));
    if (!file_) return bytes_.subspan(std::size_t(at), length);
    room.resize(length);
    room.resize(file_->read(at, room, &error_));
    return room;
}

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

std::optional<Header> PeekStoredHeader(const File& file, const Handler* handler) {
    std::optional<Header> header =
        handler && handler->readFileHeader ? handler->readFileHeader(file) : std::nullopt;
    if (header) header->fileBytes = std::size_t(file.size);
    return header;
}

Decoded Decode(const File& file, const Handler* handler, const DecodeOptions& options) try {
    if (file.size == 0) return {{}, "the file is empty"};
    if (!handler || !handler->readFile) return {{}, "not a picture of a kind these decoders read"};
    return handler->readFile(file, options);
} catch (const detail::LibraryMissing& missing) {
    return {{}, missing.what()};
}

Decoded Decode(Bytes bytes, const Handler* handler, const DecodeOptions& options) try {
    if (bytes.empty()) return {{}, "the file is empty"};
    if (!handler || !handler->read) return {{}, "not a picture of a kind these decoders read"};
    return handler->read(bytes, options);
} catch (const detail::LibraryMissing& missing) {
    return {{}, missing.what()};
}

} // namespace codecs
