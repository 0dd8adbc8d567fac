// Encoder speed against the floor: one plain pass that reads every pixel of
// the picture once and sums its three channels.
#include "grob/encoders.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

grob::MemoryRaster MakePicture(int w, int h) {
    grob::MemoryRaster picture(w, h);
    std::mt19937 random(42);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            picture.setPixel(x, y, static_cast<std::uint32_t>(random()));
    return picture;
}

const grob::MemoryRaster& Picture(int w, int /*h*/) {
    static const grob::MemoryRaster large = MakePicture(1024, 512);
    static const grob::MemoryRaster small = MakePicture(131, 64);
    return w == 1024 ? large : small;
}

void BM_Floor(benchmark::State& state) {
    const auto& picture =
        Picture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        unsigned total = 0;
        const grob::PixelView view = picture.view();
        for (int y = 0; y < picture.height(); ++y) {
            const std::uint32_t* row = view.row(y);
            for (int x = 0; x < picture.width(); ++x)
                total += (row[x] & 255u) + ((row[x] >> 8) & 255u) + ((row[x] >> 16) & 255u);
        }
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * picture.width() * picture.height());
}

void Encode(benchmark::State& state, std::string_view extension) {
    const auto& picture =
        Picture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const grob::OutputKind kind = *grob::KindForExtension(extension);
    for (auto _ : state) {
        auto file = grob::EncodeGrob(kind, picture, grob::Series::HP49);
        benchmark::DoNotOptimize(file.data());
    }
    state.SetItemsProcessed(state.iterations() * picture.width() * picture.height());
}

void BM_Encode_gro(benchmark::State& s) {
    Encode(s, "gro");
}
void BM_Encode_gro2(benchmark::State& s) {
    Encode(s, "gro2");
}
void BM_Encode_gro4(benchmark::State& s) {
    Encode(s, "gro4");
}
void BM_Encode_g04(benchmark::State& s) {
    Encode(s, "g04");
}
void BM_Encode_g08(benchmark::State& s) {
    Encode(s, "g08");
}
void BM_Encode_g16(benchmark::State& s) {
    Encode(s, "g16");
}
void BM_Encode_g32(benchmark::State& s) {
    Encode(s, "g32");
}

#define SIZES Args({1024, 512})->Args({131, 64})
BENCHMARK(BM_Floor)->SIZES;
BENCHMARK(BM_Encode_gro)->SIZES;
BENCHMARK(BM_Encode_gro2)->SIZES;
BENCHMARK(BM_Encode_gro4)->SIZES;
BENCHMARK(BM_Encode_g04)->SIZES;
BENCHMARK(BM_Encode_g08)->SIZES;
BENCHMARK(BM_Encode_g16)->SIZES;
BENCHMARK(BM_Encode_g32)->SIZES;

} // namespace

BENCHMARK_MAIN();
