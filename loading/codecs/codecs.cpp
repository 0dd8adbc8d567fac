#include "internal.h"

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

} // namespace detail

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
