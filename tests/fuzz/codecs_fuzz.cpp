// libFuzzer target for the decoders of their own: any bytes, read as each
// kind, must give a picture or a cause, never a crash, a hang or a leak; a
// picture fitted while it is decoded must be the picture decoded whole and
// then fitted (a JPEG, decoded smaller for the box, of the same size); what
// the header reader says (the program's and the web page's alike) must
// hold; and a decoded picture written as a PNG in
// its smallest form must read back to the same pixels.
#include "codecs.h"
#include "grob/prepare.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace {

// The pictures whose fitting and PNG writing are checked too: small ones,
// for speed.
constexpr std::size_t kChecked = 1 << 16;

void Check(bool holds) {
    if (!holds) __builtin_trap();
}

codecs::Image FittedAfter(const codecs::Image& whole, const codecs::DecodeOptions& options) {
    const grob::MemoryRaster fitted =
        grob::Fit({whole.pixels.data(), whole.width, whole.height, whole.width}, options.fit);
    codecs::Image image{fitted.width(), fitted.height(), {}};
    for (int y = 0; y < fitted.height(); ++y)
        for (int x = 0; x < fitted.width(); ++x)
            image.pixels.push_back(std::uint32_t(fitted.point(x, y)) | 0xFF000000u);
    return image;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    codecs::DecodeOptions options;
    options.maxPixels = 1 << 20; // small pictures only: the fuzzer looks for faults, not size
    options.maxSide = 4096;
    // The box from the last byte: shrink, enlarge or keep.
    codecs::DecodeOptions fit = options;
    fit.fitted = true;
    fit.fit = {size ? 1 + data[size - 1] % 23 : 7, size > 1 ? 1 + data[size - 2] % 17 : 5,
               size > 2 && (data[size - 3] & 1)};
    fit.keepStoredOrientation = size > 2 && (data[size - 3] & 2);
    options.keepStoredOrientation = fit.keepStoredOrientation;
    for (const codecs::Handler* format : codecs::Handlers()) {
        const auto header = codecs::PeekHeader(bytes, format, options);
        // The web page's reading of the header, without the orientation.
        Check(header.has_value() == codecs::PeekStoredHeader(bytes, format).has_value());
        if (header) format->memory(*header, fit, true);
        const codecs::Decoded decoded = codecs::Decode(bytes, format, options);
        Check(decoded.ok() || !decoded.error.empty());
        if (!decoded.ok()) continue;
        const codecs::Image& image = decoded.image;
        Check(image.pixels.size() == std::size_t(image.width) * std::size_t(image.height));
        // Where the program reads the bytes as this kind: the header tells the
        // size, and fitted as it is decoded the picture is the one fitted
        // after decoding; a JPEG, decoded smaller for the box, has the size
        // of that fit whatever scale it is decoded at.
        const bool sniffed = codecs::Sniff(bytes) == format;
        if (sniffed)
            Check(header && header->width == image.width && header->height == image.height);
        if (image.pixels.size() > kChecked) continue;
        if (sniffed) {
            const codecs::Decoded fitted = codecs::Decode(bytes, format, fit);
            if (format->name == "JPEG") {
                const codecs::Image after = FittedAfter(image, fit);
                Check(fitted.ok() && fitted.image.width == after.width &&
                      fitted.image.height == after.height);
            } else {
                Check(fitted.ok() && fitted.image.pixels == FittedAfter(image, fit).pixels);
            }
        }
        std::string error;
        const auto png = codecs::EncodePngSmallest(image.pixels.data(), image.width, image.height,
                                                   image.width, &error);
        const codecs::Decoded back = codecs::Decode(png, codecs::Sniff(png), {});
        Check(back.ok() && back.image.pixels.size() == image.pixels.size());
        for (std::size_t i = 0; i < image.pixels.size(); ++i)
            Check((back.image.pixels[i] ^ image.pixels[i]) << 8 == 0);
    }
    codecs::JpegComplete(bytes);
    codecs::BitmapComplete(bytes, true);
    codecs::BitmapComplete(bytes, false);
    std::string error;
    if (codecs::DecodeGifFrames(bytes, options, &error).empty()) Check(!error.empty());
    codecs::DecodeGifFrames(
        bytes, fit, [](const codecs::Frame&) { return true; }, &error);
    return 0;
}
