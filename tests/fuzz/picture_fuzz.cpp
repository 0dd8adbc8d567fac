// libFuzzer target: the code that sees a picture file's bytes before any
// decoder does (content sniffing, the completeness checks, the icon entry
// chooser), the GROB and list readers in every form, and the decoding of the
// picture renderer's answer (its block headers).
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
    for (const bool binary : {true, false}) {
        try {
            const grob::GrobObject object =
                binary ? grob::ReadBinaryGrob(span, "f") : grob::ReadTextGrob(span, "f");
            for (const auto& kind : grob::OutputKinds())
                grob::ShadesOf(object, kind, "f", 4096, 1 << 20);
        } catch (const grob::GrobReadError&) {
        }
        try {
            binary ? grob::ReadBinaryList(span, "f") : grob::ReadTextList(span, "f");
        } catch (const grob::GrobReadError&) {
        }
    }
    grob::LooksLikeTextGrob(span);
    grob::LooksLikeTextList(span);
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
