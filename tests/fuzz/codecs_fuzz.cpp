// libFuzzer target for the decoders of their own: any bytes, read as each
// kind, must give a picture or a cause, never a crash, a hang or a leak.
#include "codecs.h"
#include "grob/prepare.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    codecs::DecodeOptions options;
    options.maxPixels = 1 << 20; // small pictures only: the fuzzer looks for faults, not size
    options.maxSide = 4096;
    codecs::DecodeOptions fitted = options; // rows into the fitter as they are decoded
    fitted.fitWidth = 131;
    fitted.fitHeight = 64;
    fitted.fitted = true;
    for (const codecs::Format format :
         {codecs::Format::Png, codecs::Format::Jpeg, codecs::Format::Gif, codecs::Format::Bmp,
          codecs::Format::Dib}) {
        const auto header = codecs::PeekHeader(bytes, format, options);
        if (header) codecs::MemoryNeeded(format, *header, fitted, true);
        const codecs::Decoded decoded = codecs::Decode(bytes, format, options);
        if (!decoded.ok() && decoded.error.empty()) __builtin_trap();
        // The rest holds where the program reads the bytes as this kind (giflib,
        // for one, also reads a "GIF9a" that the kind's signature refuses).
        if (!decoded.ok() || codecs::Sniff(bytes) != format) continue;
        if (decoded.image.pixels.size() !=
            std::size_t(decoded.image.width) * std::size_t(decoded.image.height))
            __builtin_trap();
        // The header tells the size the picture is decoded at.
        if (!header || header->width != decoded.image.width ||
            header->height != decoded.image.height)
            __builtin_trap();
        // Fitted as it is decoded, it has the size the fit gives it (a JPEG
        // too, whatever scale it is decoded at).
        const codecs::Decoded small = codecs::Decode(bytes, format, fitted);
        int w = 0, h = 0;
        grob::FittedSize({.fitWidth = 131, .fitHeight = 64}, header->width, header->height, w, h);
        if (small.ok() && (small.image.width != w || small.image.height != h)) __builtin_trap();
    }
    codecs::JpegComplete(bytes);
    codecs::BitmapComplete(bytes, true);
    codecs::BitmapComplete(bytes, false);
    std::string error;
    if (codecs::DecodeGifFrames(bytes, options, &error).empty() && error.empty()) __builtin_trap();
    return 0;
}
