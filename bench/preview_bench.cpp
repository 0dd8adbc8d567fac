// From a changed option to the new preview, for a 1024 x 512 picture: the
// preparation, the conversion and the decoded view, as the preview window
// runs them on every change (goal: 30 ms at most).
#include "conversion.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

std::shared_ptr<const grob::Image> Photo() {
    static const auto photo = [] {
        grob::Image p{1024, 512, std::vector<std::uint32_t>(1024 * 512)};
        for (int y = 0; y < 512; ++y)
            for (int x = 0; x < 1024; ++x) {
                const auto r = std::uint32_t(128 + 127 * std::sin(x / 40.0));
                const auto g = std::uint32_t(y / 2);
                const auto b = std::uint32_t((x ^ y) & 255);
                p.pixels[std::size_t(y) * 1024 + std::size_t(x)] =
                    0xFF000000u | r | g << 8 | b << 16;
            }
        return std::make_shared<const grob::Image>(std::move(p));
    }();
    return photo;
}

void Preview(benchmark::State& state, std::string_view kind, grob::Preparation preparation,
             int zoom) {
    pipeline::Request request;
    request.source = pipeline::Source::Loaded(Photo());
    request.kind = *grob::KindForExtension(kind);
    request.preparation = preparation;
    request.zoom = zoom;
    request.outputs = {{pipeline::Product::Grob, pipeline::Target::Memory()},
                       {pipeline::Product::Preview, pipeline::Target::Memory()}};
    for (auto _ : state) {
        const pipeline::Result result = pipeline::Convert(request);
        benchmark::DoNotOptimize(result.made.back().image.pixels.data());
    }
}

grob::Preparation With(int fitW, int fitH, grob::Dither dither, double contrast = 0) {
    grob::Preparation p;
    p.fit = {fitW, fitH};
    p.dither = dither;
    p.contrast = contrast;
    return p;
}

BENCHMARK_CAPTURE(Preview, gro_plain_natural, "gro", grob::Preparation{}, 1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Preview, gro_fs_natural, "gro", With(0, 0, grob::Dither::FloydSteinberg), 1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Preview, g32_atkinson_natural, "g32", With(0, 0, grob::Dither::Atkinson, 20), 1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Preview, gro4_ordered_natural, "gro4", With(0, 0, grob::Dither::Ordered), 1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Preview, g16_fs_fit_131x64_zoom4, "g16",
                  With(131, 64, grob::Dither::FloydSteinberg), 4)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
