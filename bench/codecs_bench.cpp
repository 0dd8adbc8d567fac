// The decoders of their own against Qt's readers, in one process, and the
// PNG writer's forms and packing.
//   codecs_bench time              decode times: a 32-megapixel JPEG whole and
//                                  for a 131 x 64 box, a 131 x 64 PNG
//   codecs_bench compare FILE...   for each file: same pixels as the Qt loader?
//   codecs_bench own FILE [W H]    decode once with the own decoders (for the
//   codecs_bench qt FILE           peak memory under /usr/bin/time), or with Qt
//   codecs_bench png               PNG size and time of the seven kinds' GROBs
//                                  of 131 x 64, by form, zlib level and filter
#include "codecs.h"
#include "grob/encoders.h"
#include "grob/prepare.h"
#include "grob/reader.h"
#include "render.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImageWriter>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <span>
#include <vector>

namespace {

std::span<const std::uint8_t> Span(const QByteArray& b) {
    return {reinterpret_cast<const std::uint8_t*>(b.constData()), std::size_t(b.size())};
}

QImage ByQt(const QByteArray& bytes, QString* error = nullptr) {
    render::Rendered picture = render::ReadWithQt(bytes);
    if (error) *error = picture.error;
    return picture.ok() ? render::ComposeOverWhite(std::move(picture.image)) : QImage();
}

codecs::Decoded Own(const QByteArray& bytes, int fitW = 0, int fitH = 0) {
    codecs::DecodeOptions options;
    options.fit = {fitW, fitH};
    return codecs::Decode(Span(bytes), codecs::Sniff(Span(bytes)), options);
}

QByteArray Picture(int w, int h, const char* format) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = qRgb((x * 7 + y) & 255, (x ^ y) & 255, (y * 3) & 255);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, format).write(image);
    return bytes;
}

// The median of `runs` timings of `work`, in milliseconds.
double Median(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

int Time() {
    const QByteArray jpeg = Picture(8192, 4096, "jpeg");
    const QByteArray png = Picture(131, 64, "png");
    std::printf("32-megapixel JPEG (8192 x 4096, %lld bytes), median of 5:\n",
                static_cast<long long>(jpeg.size()));
    std::printf("  Qt reader + composition  %8.1f ms\n", Median(5, [&] { ByQt(jpeg); }));
    std::printf("  own, whole               %8.1f ms\n", Median(5, [&] { Own(jpeg); }));
    std::printf("  own, for a 131 x 64 box  %8.1f ms (decoded at %d x %d)\n",
                Median(5, [&] { Own(jpeg, 131, 64); }), Own(jpeg, 131, 64).image.width,
                Own(jpeg, 131, 64).image.height);
    std::printf("131 x 64 PNG (%lld bytes), median of 2000:\n", static_cast<long long>(png.size()));
    std::printf("  Qt reader + composition  %8.3f ms\n", Median(2000, [&] { ByQt(png); }));
    std::printf("  own                      %8.3f ms\n", Median(2000, [&] { Own(png); }));
    return 0;
}

int Compare(int argc, char** argv) {
    int differing = 0;
    for (int i = 2; i < argc; ++i) {
        QFile file(QString::fromLocal8Bit(argv[i]));
        if (!file.open(QIODevice::ReadOnly)) continue;
        const QByteArray bytes = file.readAll();
        QString qtError;
        const QImage qt = ByQt(bytes, &qtError);
        const codecs::Decoded own = Own(bytes);
        std::printf("%s: ", argv[i]);
        if (qt.isNull() || !own.ok()) {
            std::printf("Qt %s, own %s\n", qt.isNull() ? qPrintable(qtError) : "reads it",
                        own.ok() ? "reads it" : own.error.c_str());
            differing += qt.isNull() != !own.ok();
            continue;
        }
        long long count = 0;
        int firstX = -1, firstY = -1;
        std::uint32_t qtFirst = 0;
        if (qt.width() == own.image.width && qt.height() == own.image.height) {
            for (int y = 0; y < qt.height(); ++y) {
                const auto* line = reinterpret_cast<const std::uint32_t*>(qt.constScanLine(y));
                for (int x = 0; x < qt.width(); ++x)
                    if ((line[x] & 0xFFFFFFu) !=
                            own.image.pixels[std::size_t(y) * qt.width() + x] &&
                        count++ == 0) {
                        firstX = x;
                        firstY = y;
                        qtFirst = line[x] & 0xFFFFFFu;
                    }
            }
        } else {
            count = -1;
        }
        if (count == 0)
            std::printf("same %d x %d\n", qt.width(), qt.height());
        else if (count < 0)
            std::printf("size differs: Qt %d x %d, own %d x %d\n", qt.width(), qt.height(),
                        own.image.width, own.image.height);
        else
            std::printf("%lld pixels differ, the first at %d, %d: Qt %06x, own %06x\n", count,
                        firstX, firstY, qtFirst,
                        own.image.pixels[std::size_t(firstY) * own.image.width + firstX]);
        differing += count != 0;
    }
    return differing ? 1 : 0;
}

// The seven kinds' GROBs of a 131 x 64 picture (a smooth plasma over the
// whole range of grays), plainly and dithered, as --to png reads them back, each written
// in 8-bit RGB at zlib's default level (the earlier writer) and in its
// smallest exact form at each level, filtered or not.
int PngForms() {
    grob::MemoryRaster picture(131, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 131; ++x) {
            const double v = 127.5 + 70 * std::sin(x / 9.0) * std::cos(y / 7.0) +
                             70 * std::sin((x + 2 * y) / 23.0 + std::sin(x * y / 400.0));
            const auto g = std::uint32_t(std::clamp(v, 0.0, 255.0));
            picture.setPixel(x, y, g * 0x010101u ^ ((x * y) & 7u));
        }
    std::vector<std::pair<std::string, grob::Image>> grobs;
    for (const grob::OutputKind& kind : grob::OutputKinds())
        for (const grob::Dither dither : {grob::Dither::None, grob::Dither::FloydSteinberg}) {
            grob::Preparation p;
            p.dither = dither;
            const auto file =
                grob::EncodePrepared(kind, picture.view(), grob::Series::HP49, p, "b");
            grobs.emplace_back(std::string(kind.extension) +
                                   (dither == grob::Dither::None ? "" : " fs"),
                               grob::PictureOfGrob(grob::ReadBinaryGrob(file, "b"), kind, "b",
                                                   "the GROB", 16384, 1 << 25));
        }
    std::printf("%-9s %-12s %s\n", "GROB", "form",
                "bytes / microseconds at zlib levels 1, 3, 6, 9");
    for (const auto& [name, image] : grobs) {
        auto row = [&](const char* label, codecs::PngForm form) {
            std::printf("%-9s %-12s", name.c_str(), label);
            for (const int level : {1, 3, 6, 9}) {
                form.level = level;
                std::size_t size = 0;
                const double ms = Median(201, [&] {
                    size = codecs::EncodePng(image.pixels.data(), image.width, image.height,
                                             image.width, form, nullptr)
                               .size();
                });
                std::printf(" %5zu / %4.0f", size, ms * 1000);
            }
            std::printf("\n");
        };
        codecs::PngForm form =
            codecs::SmallestPngForm(image.pixels.data(), image.width, image.height, image.width);
        const std::string label =
            (form.kind == codecs::PngForm::Kind::Gray ? "gray " : "palette ") +
            std::to_string(form.depth);
        row("rgb 8", {});
        form.filtered = false;
        row((label + "").c_str(), form);
        form.filtered = true;
        row((label + " f").c_str(), form);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QByteArray mode = argc > 1 ? argv[1] : "";
    if (mode == "time") return Time();
    if (mode == "compare") return Compare(argc, argv);
    if (mode == "png") return PngForms();

    if ((mode == "own" || mode == "qt") && argc >= 3) {
        QFile file(QString::fromLocal8Bit(argv[2]));
        if (!file.open(QIODevice::ReadOnly)) return 2;
        const QByteArray bytes = file.readAll();
        // The first decode in the process, image plugins and all.
        const auto start = std::chrono::steady_clock::now();
        bool ok = false;
        int w = 0, h = 0;
        if (mode == "qt") {
            const QImage image = ByQt(bytes);
            ok = !image.isNull();
            w = image.width();
            h = image.height();
        } else {
            const codecs::Decoded d =
                argc >= 5 ? Own(bytes, std::atoi(argv[3]), std::atoi(argv[4])) : Own(bytes);
            ok = d.ok();
            w = d.image.width;
            h = d.image.height;
        }
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        std::printf("%s: %d x %d in %.2f ms (the first decode in the process)\n", mode.constData(),
                    w, h, ms);
        return ok ? 0 : 1;
    }
    std::fprintf(stderr,
                 "usage: codecs_bench time | compare FILE... | own FILE [W H] | qt FILE | png\n");
    return 2;
}
