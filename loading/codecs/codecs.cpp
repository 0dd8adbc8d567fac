#include "internal.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace codecs {

namespace detail {

bool TooLarge(std::int64_t width, std::int64_t height, const DecodeOptions& options) {
    return width > options.maxSide || height > options.maxSide ||
           width * height > options.maxPixels;
}

std::string TooLargeText(std::int64_t width, std::int64_t height, const DecodeOptions& options) {
    return "the picture is " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels; at most " + std::to_string(options.maxSide) + " x " +
           std::to_string(options.maxSide) + " and " +
           std::to_string(options.maxPixels / (1024 * 1024)) + " million pixels are accepted";
}

bool CheckSize(std::int64_t width, std::int64_t height, const DecodeOptions& options,
               Decoded& result) {
    if (!TooLarge(width, height, options)) return true;
    result.error = TooLargeText(width, height, options);
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

bool RowOutput::start(int width, int height, const DecodeOptions& options, Decoded& result) {
    try {
        if (options.shrinkOnLoad && options.fitWidth > 0 && options.fitHeight > 0) {
            grob::Preparation fit;
            fit.fitWidth = options.fitWidth;
            fit.fitHeight = options.fitHeight;
            fit.upscale = options.upscale;
            fitter_.emplace(width, height, fit);
            scratch_.resize(std::size_t(width));
        } else {
            image_.pixels.resize(std::size_t(width) * std::size_t(height));
            image_.width = width;
            image_.height = height;
        }
    } catch (const std::bad_alloc&) {
        result.error = "there is not enough memory for the picture";
        return false;
    }
    return true;
}

void RowOutput::done() {
    if (fitter_)
        fitter_->add(scratch_.data());
    else
        ++next_;
}

void RowOutput::finish(Decoded& result) {
    if (fitter_) {
        grob::MemoryRaster fitted = fitter_->take();
        image_.width = fitted.width();
        image_.height = fitted.height();
        image_.pixels.resize(std::size_t(image_.width) * std::size_t(image_.height));
        for (int y = 0; y < image_.height; ++y)
            std::transform(fitted.row(y), fitted.row(y) + image_.width,
                           image_.pixels.begin() + std::ptrdiff_t(y) * image_.width,
                           [](std::uint32_t pixel) { return pixel | 0xFF000000u; });
    }
    result.image = std::move(image_);
}

} // namespace detail

namespace {

std::uint32_t U32At(std::span<const std::uint8_t> b, std::size_t at) {
    if (b.size() < at + 4) return 0;
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}

bool StartsWith(std::span<const std::uint8_t> b, const char* text, std::size_t n) {
    return b.size() >= n && std::memcmp(b.data(), text, n) == 0;
}

} // namespace

Format Sniff(std::span<const std::uint8_t> bytes) {
    if (StartsWith(bytes, "\x89PNG\r\n\x1a\n", 8)) return Format::Png;
    if (StartsWith(bytes, "\xFF\xD8\xFF", 3)) return Format::Jpeg;
    if (StartsWith(bytes, "GIF87a", 6) || StartsWith(bytes, "GIF89a", 6)) return Format::Gif;
    if (StartsWith(bytes, "BM", 2)) return Format::Bmp;
    return KnownBitmapHeaderSize(U32At(bytes, 0)) ? Format::Dib : Format::Other;
}

bool KnownBitmapHeaderSize(std::uint32_t size) {
    switch (size) {
    case 12:
    case 40:
    case 52:
    case 56:
    case 64:
    case 108:
    case 124:
        return true;
    default:
        return false;
    }
}

std::optional<Size> PeekSize(std::span<const std::uint8_t> bytes, Format format) {
    switch (format) {
    case Format::Png:
        return detail::PeekPng(bytes);
    case Format::Jpeg:
        return detail::PeekJpeg(bytes);
    case Format::Gif:
        return detail::PeekGif(bytes);
    case Format::Bmp:
    case Format::Dib:
        return detail::PeekBmp(bytes, format == Format::Bmp);
    case Format::Other:
        break;
    }
    return std::nullopt;
}

Decoded Decode(std::span<const std::uint8_t> bytes, Format format, const DecodeOptions& options) {
    if (bytes.empty()) return {{}, "the file is empty"};
    switch (format) {
    case Format::Png:
        return detail::DecodePng(bytes, options);
    case Format::Jpeg:
        return detail::DecodeJpeg(bytes, options);
    case Format::Gif:
        return detail::DecodeGif(bytes, options);
    case Format::Bmp:
    case Format::Dib:
        return detail::DecodeBmp(bytes, format == Format::Bmp, options);
    case Format::Other:
        break;
    }
    return {{}, "not a picture of a kind these decoders read"};
}

} // namespace codecs
