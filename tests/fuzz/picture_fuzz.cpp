// libFuzzer target: the code that sees a picture file's bytes before any
// decoder does (content sniffing, the completeness checks, the icon entry
// chooser, the sizes the renderer's kinds tell), the GROB and list readers in every form, and the
// decoding of the picture renderer's answer (its block headers).
#include "grob/list.h"
#include "picturecheck.h"
#include "renderprotocol.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> span(data, size);
    picturecheck::Sniff(span);
    picturecheck::BitmapComplete(span, true);
    picturecheck::BitmapComplete(span, false);
    picturecheck::JpegComplete(span);
    picturecheck::GifComplete(span);
    picturecheck::XbmComplete(span);
    picturecheck::BestIconEntry(span);
    // The sizes the headers of the renderer's kinds tell, bounded whatever the file holds.
    for (const auto size :
         {picturecheck::WmfSize(span), picturecheck::EmfSize(span), picturecheck::IconSize(span)})
        if (size && (size->width < 0 || size->height < 0)) __builtin_trap();
    if (const auto pages = picturecheck::TiffPages(span))
        if (pages->empty() || pages->size() > std::size_t(picturecheck::kMaxTiffPages))
            __builtin_trap();
    // A binary file the readers take reaches, as its fields say, exactly to its end.
    auto reaches = [&] {
        try {
            const auto length = grob::BinaryFileLength(span, "f");
            if (!length || length->bytes != size) __builtin_trap();
        } catch (const grob::Error&) {
            __builtin_trap();
        }
    };
    for (const bool binary : {true, false}) {
        try {
            const grob::GrobObject object =
                binary ? grob::ReadBinaryGrob(span, "f") : grob::ReadTextGrob(span, "f");
            if (binary) reaches();
            for (const auto& kind : grob::OutputKinds())
                grob::ShadesOf(object, kind, "f", 4096, 1 << 20);
        } catch (const grob::GrobReadError&) {
        }
        try {
            binary ? grob::ReadBinaryList(span, "f") : grob::ReadTextList(span, "f");
            if (binary) reaches();
        } catch (const grob::GrobReadError&) {
        }
    }
    try {
        grob::BinaryFileLength(span.first(size / 2), "f"); // half a file, as at hand
    } catch (const grob::Error&) {
    }
    // A start ruled out as text rules out the whole.
    const bool text = grob::LooksLikeTextGrob(span) || grob::LooksLikeTextList(span) ||
                      grob::LooksLikeAsciiObject(span);
    if (text && size >= 16 && !grob::MayBeText(span.first(std::max<std::size_t>(16, size / 2))))
        __builtin_trap();
    if (grob::LooksLikeAsciiObject(span)) {
        try {
            const auto binary = grob::BinaryOfAscii(span, "f");
            grob::LooksLikeBinaryList(binary) ? (void)grob::ReadBinaryList(binary, "f")
                                              : (void)grob::ReadBinaryGrob(binary, "f");
        } catch (const grob::Error&) {
        }
    }
    // The renderer's block header, framed as the loader receives it.
    std::vector<std::uint8_t> framed(render::kMagic, render::kMagic + 4);
    framed.insert(framed.end(), data, data + std::min<std::size_t>(size, 16));
    render::DecodeHeader(framed);
    render::DecodeHeader(span);
    return 0;
}
