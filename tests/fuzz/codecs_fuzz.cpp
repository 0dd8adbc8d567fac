// libFuzzer target for the decoders of their own: any bytes, read as each
// kind, must give a picture or a cause, never a crash, a hang or a leak.
#include "codecs.h"

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
        for (const codecs::DecodeOptions& how : {options, fitted}) {
            const codecs::Decoded decoded = codecs::Decode(bytes, format, how);
            if (!decoded.ok() && decoded.error.empty()) __builtin_trap();
            if (decoded.ok() &&
                decoded.image.pixels.size() !=
                    std::size_t(decoded.image.width) * std::size_t(decoded.image.height))
                __builtin_trap();
            // The header tells the size the picture is decoded at.
            if (decoded.ok() && !how.fitted &&
                (!header || header->width != decoded.image.width ||
                 header->height != decoded.image.height))
                __builtin_trap();
        }
    }
    codecs::JpegComplete(bytes);
    codecs::BitmapComplete(bytes, true);
    codecs::BitmapComplete(bytes, false);
    std::string error;
    if (codecs::DecodeGifFrames(bytes, options, &error).empty() && error.empty()) __builtin_trap();
    codecs::Decode(bytes, codecs::Sniff(bytes), {});
    return 0;
}
