// veldar-thumbnailer: the freedesktop thumbnailer of GROB files and lists.
//
//   veldar-thumbnailer -s SIZE INPUT OUTPUT
//
// Writes OUTPUT, a PNG of INPUT's pixels as `veldar-convert --to png` writes
// them (a list's GROBs side by side), fitted inside SIZE x SIZE as
// `--fit SIZExSIZE --upscale` fits a picture: smaller by averaging areas,
// larger by whole factors with sharp dots. File managers run it through
// veldar-convert.thumbnailer; exit status 0 when the thumbnail was written,
// 1 when the file cannot be read (one line on standard error says why), 2
// for a wrong command line.
#include "grobpictures.h"

#include "grob/grobfile.h"
#include "grob/prepare.h"
#include "grob/reader.h"
#include "products.h"
#include "regularfile.h"

#include <charconv>
#include <cstdio>
#include <limits>
#include <string>
#include <string_view>

namespace {

constexpr int kLargestThumbnail = 4096;

int Usage() {
    std::fputs("usage: veldar-thumbnailer -s SIZE INPUT OUTPUT\n", stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5 || std::string_view(argv[1]) != "-s") return Usage();
    const std::string_view sizeText = argv[2];
    int size = 0;
    const auto [end, error] =
        std::from_chars(sizeText.data(), sizeText.data() + sizeText.size(), size);
    if (error != std::errc() || end != sizeText.data() + sizeText.size() || size < 1 ||
        size > kLargestThumbnail)
        return Usage();
    const std::string input = argv[3], output = argv[4];
    try {
        // It runs on every file of a folder opened: only what a GROB can take is read.
        std::string why;
        // Any size: only as much of it as a GROB can take is read.
        const auto file = loading::RegularFile::Open(
            input, std::numeric_limits<std::int64_t>::max(), &why);
        if (!file) throw grob::GrobReadError(input, why);
        const desktop::GrobBytes bytes = desktop::ReadGrobBytes(
            [&](std::uint8_t* into, std::size_t count) { return file->read(into, count); }, input);
        if (!bytes.error.empty()) throw grob::GrobReadError(input, bytes.error);
        const grob::Image picture = desktop::Whole(bytes.bytes, input);
        const grob::MemoryRaster fitted = grob::Fit(picture.view(), grob::FitBox{size, size, true});
        grob::Image thumbnail{fitted.width(), fitted.height(), {}};
        const grob::PixelView view = fitted.view();
        thumbnail.pixels.assign(view.pixels, view.pixels + std::size_t(view.width) * view.height);
        for (std::uint32_t& pixel : thumbnail.pixels)
            pixel |= 0xFF000000u;
        grob::WriteFileAtomically(output, pipeline::PngOf(thumbnail, output));
    } catch (const grob::Error& e) {
        std::fprintf(stderr, "veldar-thumbnailer: %s: %s\n", e.path().c_str(), e.cause().c_str());
        return 1;
    }
    return 0;
}
