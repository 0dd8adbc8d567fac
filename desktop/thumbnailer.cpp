// veldar-thumbnailer: the freedesktop thumbnailer of GROB files and lists.
//
//   veldar-thumbnailer [--kind KIND] -s SIZE INPUT OUTPUT [URI]
//
// Writes OUTPUT, a PNG of INPUT's pixels as `veldar-convert --to png` writes
// them (a list's GROBs side by side), fitted inside SIZE x SIZE as
// `--fit SIZExSIZE --upscale` fits a picture: smaller by averaging areas,
// larger by whole factors with sharp dots. File managers run it through
// veldar-convert.thumbnailer (and each kind's entry, which gives the kind);
// exit status 0 when the thumbnail was written,
// 1 when the file cannot be read (one line on standard error says why), 2
// for a wrong command line.
#include "grobpictures.h"

#include "grob/grobfile.h"
#include "grob/prepare.h"
#include "grob/reader.h"
#include "products.h"
#include "regularfile.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kLargestThumbnail = 4096;

int Usage() {
    std::fputs("usage: veldar-thumbnailer [--kind KIND] -s SIZE INPUT OUTPUT [URI]\n", stderr);
    return 2;
}

// The file name a URI ends with, its %XX escapes decoded ("walk.g16.lst"
// of file:///home/me/walk.g16.lst); empty when it has none.
std::string NameOfUri(std::string_view uri) {
    if (const std::size_t query = uri.find_first_of("?#"); query != std::string_view::npos)
        uri = uri.substr(0, query);
    uri = uri.substr(uri.rfind('/') == std::string_view::npos ? 0 : uri.rfind('/') + 1);
    std::string name;
    for (std::size_t i = 0; i < uri.size(); ++i) {
        int code = 0;
        if (uri[i] == '%' && i + 2 < uri.size() &&
            std::from_chars(uri.data() + i + 1, uri.data() + i + 3, code, 16).ptr ==
                uri.data() + i + 3) {
            name += char(code);
            i += 2;
        } else {
            name += uri[i];
        }
    }
    return name;
}

// The thumbnail written where it is asked, in place: a file manager may
// hold the file open and read it afterwards (tumbler does), which a file
// put in its place would never reach. A thumbnail is disposable; the
// atomic replace is kept for the user's own files.
void WriteInPlace(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    auto fail = [&](int why) {
        const std::string cause = std::strerror(why);
        return grob::Error(path + ": " + cause, path, cause);
    };
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) throw fail(errno);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int why = errno;
            ::close(fd);
            throw fail(why);
        }
        done += std::size_t(n);
    }
    if (::close(fd) != 0) throw fail(errno);
}

} // namespace

int main(int argc, char** argv) {
    // The GROBs' kind given (gro, gro2, ... g32), as each kind's entry gives
    // it: GNOME's sandbox hands a file over renamed, its URI too
    // (gnome-desktop-file-to-thumbnail.lst for walk.g16.lst).
    std::optional<grob::OutputKind> kind;
    if (argc > 2 && std::string_view(argv[1]) == "--kind") {
        if (!(kind = grob::KindForExtension(argv[2]))) return Usage();
        argc -= 2;
        argv += 2;
    }
    if ((argc != 5 && argc != 6) || std::string_view(argv[1]) != "-s") return Usage();
    const std::string_view sizeText = argv[2];
    int size = 0;
    const auto [end, error] =
        std::from_chars(sizeText.data(), sizeText.data() + sizeText.size(), size);
    if (error != std::errc() || end != sizeText.data() + sizeText.size() || size < 1 ||
        size > kLargestThumbnail)
        return Usage();
    const std::string input = argv[3], output = argv[4];
    // Else the name that tells a GROB's kind: the one the URI ends with,
    // where a sandbox handed the file over under another name but kept
    // the URI; else the file's own.
    const std::string original = argc == 6 ? NameOfUri(argv[5]) : std::string();
    if (!kind) kind = desktop::KindOf(original.empty() ? input : original, std::nullopt);
    try {
        // It runs on every file of a folder opened: only what a GROB can take is read.
        std::string why;
        // Any size: only as much of it as a GROB can take is read.
        const auto file =
            loading::RegularFile::Open(input, std::numeric_limits<std::int64_t>::max(), &why);
        if (!file) throw grob::GrobReadError(input, why);
        const desktop::GrobBytes bytes = desktop::ReadGrobBytes(
            [&](std::uint8_t* into, std::size_t count) { return file->read(into, count); }, input);
        if (!bytes.error.empty()) throw grob::GrobReadError(input, bytes.error);
        const grob::Image picture = desktop::Whole(bytes.bytes, input, *kind);
        const grob::MemoryRaster fitted = grob::Fit(picture.view(), grob::FitBox{size, size, true});
        grob::Image thumbnail{fitted.width(), fitted.height(), {}};
        const grob::PixelView view = fitted.view();
        thumbnail.pixels.assign(view.pixels, view.pixels + std::size_t(view.width) * view.height);
        for (std::uint32_t& pixel : thumbnail.pixels)
            pixel |= 0xFF000000u;
        WriteInPlace(output, pipeline::PngOf(thumbnail, output));
    } catch (const grob::Error& e) {
        std::fprintf(stderr, "veldar-thumbnailer: %s: %s\n", e.path().c_str(), e.cause().c_str());
        return 1;
    }
    return 0;
}
