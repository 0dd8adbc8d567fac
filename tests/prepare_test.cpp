// Preparing pictures: fitting, and each dithering method against values
// worked out by hand from its kernel, and on flat grays.
#include "grob/checks.h"
#include "grob/encoders.h"
#include "grob/halftone.h"
#include "grob/prepare.h"
#include "grob/reader.h"
#include "grob/sprites.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <random>

namespace {

using grob::MemoryRaster;

MemoryRaster Flat(int w, int h, int gray) {
    return MemoryRaster(w, h, std::uint32_t(gray) * 0x010101u);
}

// Brightness levels (0 black .. shades - 1 white) the encoder writes for the prepared picture.
std::vector<int> Levels(const MemoryRaster& picture, const grob::OutputKind& kind,
                        grob::Dither dither) {
    const grob::Preparation p{.dither = dither};
    const auto bytes =
        grob::EncodeGrob(kind, grob::Prepare(picture.view(), kind, p), grob::Series::HP49);
    const auto shades =
        grob::ShadesOf(grob::ReadBinaryGrob(bytes, "p"), kind, "p", 1 << 14, 1 << 24);
    std::vector<int> levels;
    for (const std::uint8_t level : shades.levels)
        levels.push_back(shades.shades - 1 - level);
    return levels;
}

// A one-row or small picture of the given grays.
MemoryRaster Grays(int w, std::initializer_list<int> grays) {
    MemoryRaster picture(w, int(grays.size()) / w);
    int i = 0;
    for (const int gray : grays) {
        picture.setPixel(i % w, i / w, std::uint32_t(gray) * 0x010101u);
        ++i;
    }
    return picture;
}

TEST(Prepare, EachMethodFollowsItsKernel) {
    const grob::OutputKind gro = *grob::KindForExtension("gro");
    const auto fs = grob::Dither::FloydSteinberg;
    // Floyd–Steinberg on 64-gray 2 x 2: errors 64, 92, then the second row,
    // left to right like the first, has 101.25 at its left end (black) and
    // 64 + 4 + 28.75 + 44.30 = 141.05 at its right end, which turns white (a
    // serpentine second row would have turned the left end white).
    EXPECT_EQ(Levels(Flat(2, 2, 64), gro, fs), (std::vector{0, 0, 0, 1}));
    // What is passed on is kept within black and white. 120 is black (error
    // 120); 250 + 52.5 = 302.5 is white with no error to pass on, so 85 gets
    // only 37.5 and stays black (had the error of 302.5 been passed on,
    // 85 + 37.5 + 8.9 = 131.4 would have turned white). 40 + 7.5 + 53.6 is
    // black. The inverted picture, whose carried value falls below 0, gives
    // the inverted dots.
    EXPECT_EQ(Levels(Grays(2, {120, 250, 85, 40}), gro, fs), (std::vector{0, 1, 0, 0}));
    EXPECT_EQ(Levels(Grays(2, {135, 5, 170, 215}), gro, fs), (std::vector{1, 0, 1, 1}));
    // Halfway between two levels goes to the lighter one: 124 + 8 * 7 / 16
    // is exactly 127.5, and so is 131 - 3.5.
    EXPECT_EQ(Levels(Grays(2, {8, 124}), gro, fs), (std::vector{0, 1}));
    EXPECT_EQ(Levels(Grays(2, {247, 131}), gro, fs), (std::vector{1, 1}));
    // Atkinson on 112-gray 3 x 1: 112 + 112 / 8 = 126 stays black, then
    // 112 + 14 + 15.75 turns white (with 1/6 shares the middle would have turned).
    EXPECT_EQ(Levels(Flat(3, 1, 112), gro, grob::Dither::Atkinson), (std::vector{0, 0, 1}));
    // Ordered: at 128 the cells of the 8 x 8 Bayer matrix below 32 are white.
    const auto ordered = Levels(Flat(8, 8, 128), gro, grob::Dither::Ordered);
    EXPECT_EQ(ordered[0], 1);  // threshold 0
    EXPECT_EQ(ordered[1], 0);  // threshold 32
    EXPECT_EQ(ordered[8], 0);  // threshold 48
    EXPECT_EQ(ordered[18], 1); // threshold 4
    // None: the encoder's own bands, today's result.
    EXPECT_EQ(Levels(Flat(2, 1, 200), gro, grob::Dither::None), (std::vector{1, 1}));
}

TEST(Prepare, FlatGraysAverageToThemselvesInEveryKind) {
    // The README's figures, over 32 x 32 dots, every gray, every kind:
    // Floyd-Steinberg 1.2 %, ordered 0.8 %; Atkinson, which lets a quarter of
    // each error go, 12.2 % with 2 levels, 4 % with 4 and 2 % from 8 up.
    for (const auto& kind : grob::OutputKinds())
        for (const auto dither :
             {grob::Dither::FloydSteinberg, grob::Dither::Atkinson, grob::Dither::Ordered}) {
            const double within = dither == grob::Dither::FloydSteinberg ? 0.012
                                  : dither == grob::Dither::Ordered      ? 0.008
                                  : kind.shades() == 2                   ? 0.122
                                  : kind.shades() == 4                   ? 0.04
                                                                         : 0.02;
            for (int gray = 0; gray < 256; ++gray) {
                const auto levels = Levels(Flat(32, 32, gray), kind, dither);
                double shown = 0;
                for (const int level : levels)
                    shown += double(level) / (kind.shades() - 1);
                shown /= double(levels.size());
                EXPECT_NEAR(shown, gray / 255.0, within)
                    << kind.extension << " " << grob::NameOfDither(dither) << " gray " << gray;
                // Atkinson's 2 levels: gray 31 all black, gray 224 all white.
                if (dither == grob::Dither::Atkinson && kind.shades() == 2 &&
                    (gray == 31 || gray == 224)) {
                    EXPECT_EQ(shown, gray == 224 ? 1 : 0);
                }
            }
        }
}

TEST(Prepare, FitAveragesAreasKeepsTheAspectAndUpscalesOnlyWhenAsked) {
    // 4 x 2: black and white columns in pairs; halved, each pixel is their mean.
    MemoryRaster stripes(4, 2, 0xFFFFFF);
    for (int y = 0; y < 2; ++y) {
        stripes.setPixel(0, y, 0);
        stripes.setPixel(2, y, 0x00FF00);
    }
    grob::Preparation half;
    half.fit = {2, 1};
    const MemoryRaster fitted = grob::Fit(stripes.view(), half);
    ASSERT_EQ(fitted.width(), 2);
    ASSERT_EQ(fitted.height(), 1);
    EXPECT_EQ(fitted.point(0, 0), 0x808080); // 127.5 rounds up
    EXPECT_EQ(fitted.point(1, 0), 0x80FF80);
    // 3 x 3 black with a white middle, into 2 x 2: each pixel covers 1.5 x
    // 1.5 source pixels, a quarter of the middle one: 255 / 4 / 2.25 = 28.3.
    MemoryRaster middle(3, 3, 0);
    middle.setPixel(1, 1, 0xFFFFFF);
    const MemoryRaster quarters = grob::Fit(middle.view(), grob::FitBox{2, 2});
    EXPECT_EQ(quarters.point(0, 0), 0x1C1C1C);
    EXPECT_EQ(quarters.point(1, 1), 0x1C1C1C);

    auto size = [](int w, int h, int fw, int fh, bool up) {
        const grob::Preparation p{.fit = {fw, fh, up}};
        int ow = 0, oh = 0;
        grob::FittedSize(p, w, h, ow, oh);
        return std::pair{ow, oh};
    };
    EXPECT_EQ(size(1024, 512, 131, 64, false), std::pair(128, 64));
    EXPECT_EQ(size(1024, 512, 131, 80, false), std::pair(131, 66));
    EXPECT_EQ(size(100, 300, 131, 64, false), std::pair(21, 64));
    EXPECT_EQ(size(40, 20, 131, 64, false), std::pair(40, 20)); // smaller: left alone
    EXPECT_EQ(size(40, 20, 131, 64, true), std::pair(120, 60)); // three times, sharp
    EXPECT_EQ(size(40, 40, 131, 64, true), std::pair(40, 40));  // 1.6 times: once
    MemoryRaster dot(1, 1, 0x123456);
    const MemoryRaster block = grob::Fit(dot.view(), grob::FitBox{3, 3, true});
    EXPECT_EQ(block.width(), 3);
    EXPECT_EQ(block.point(2, 2), 0x123456);
}

// Fed a row at a time, the fitter gives the fitted picture once the last row
// is in. 3 x 2 into 2 x 2 is 2 x 1: each dot covers 1.5 columns of both rows,
// (10 + 20 + (40 + 60) / 2) / 3 = 26.7 and ((40 + 60) / 2 + 100 + 200) / 3 =
// 116.7 in red, (245 + 235 + (215 + 195) / 2) / 3 = 228.3 and 138.3 in green.
// Awkward ratios keep, bit for bit, the pixels the whole-picture area
// averaging gave before rows were streamed (an FNV-1a hash of them, top
// bytes included: a copy keeps them, scaling clears them).
// Fill and pad, worked out by hand on a 4 x 8 picture whose rows 0 and 3
// are black: filled into 4 x 4 it keeps rows 2-5 (centred), 0-3 (top) or
// 4-7 (bottom); padded into 8 x 8 on black it lies in columns 2-5, or 4-7
// against the right.
TEST(Prepare, FilledOrPaddedToTheBox) {
    MemoryRaster picture(4, 8);
    for (int x = 0; x < 4; ++x)
        picture.setPixel(x, 0, 0), picture.setPixel(x, 3, 0);
    auto dots = [](const MemoryRaster& r, bool column) {
        std::string s;
        for (int i = 0; i < (column ? r.height() : r.width()); ++i)
            s += (column ? r.view().row(i)[0] : r.view().row(1)[i]) == 0 ? '#' : '.';
        return s;
    };
    grob::Preparation p;
    p.fit = {4, 4};
    p.fitMode = grob::FitMode::Fill;
    for (const auto& [anchor, column] : {std::pair{grob::Anchor::Center, ".#.."},
                                         {grob::Anchor::Top, "#..#"},
                                         {grob::Anchor::Bottom, "...."}}) {
        p.anchor = anchor;
        EXPECT_EQ(dots(grob::Fit(picture.view(), p), true), column);
    }
    p = {};
    p.fit = {8, 8};
    p.fitMode = grob::FitMode::Pad;
    p.background = 0;
    EXPECT_EQ(dots(grob::Fit(picture.view(), p), false), "##....##");
    p.anchor = grob::Anchor::Right;
    EXPECT_EQ(dots(grob::Fit(picture.view(), p), false), "####....");
    int w = 0, h = 0;
    grob::FittedSize(p, 4, 8, w, h);
    EXPECT_EQ(std::pair(w, h), std::pair(8, 8));
}

// The search: a flat quarter gray gets a quarter of the dots dark (the
// mean kept), a line one dot wide survives whole, and the difference seen
// never grows from the halftone it starts from.
TEST(Prepare, SearchedHalftone) {
    const grob::OutputKind gro = *grob::KindForExtension("gro");
    grob::Preparation p;
    p.dither = grob::Dither::Search;
    const MemoryRaster flat = grob::Prepare(MemoryRaster(32, 32, 0xBFBFBF).view(), gro, p);
    int dark = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            dark += flat.view().row(y)[x] == 0;
    EXPECT_NEAR(dark, 256, 10);
    MemoryRaster line(16, 16);
    for (int y = 0; y < 16; ++y)
        line.setPixel(7, y, 0);
    const MemoryRaster kept = grob::Prepare(line.view(), gro, p);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(kept.view().row(y)[x] & 0xFFFFFFu, x == 7 ? 0u : 0xFFFFFFu) << x << ',' << y;
    std::mt19937 random(7);
    std::vector<double> picture(24 * 24);
    std::vector<int> start(picture.size());
    for (std::size_t i = 0; i < picture.size(); ++i)
        picture[i] = double(random() % 256), start[i] = int(random() % 4);
    const double grays[] = {0, 85, 170, 255};
    const grob::SearchedHalftone found = grob::SearchHalftone(picture, 24, 24, grays, start);
    EXPECT_LT(found.endError, found.startError * 0.5);
}

// The blue-noise map holds each of its 4096 thresholds once: a flat gray g
// over a 64 x 64 tile at 1 bit darkens exactly the dots whose threshold
// (r + 0.5) / 4096 is at least g / 255: 3068 dots for gray 64, 1028 for 191.
TEST(Prepare, BlueNoiseMapEveryThresholdOnce) {
    const grob::OutputKind gro = *grob::KindForExtension("gro");
    grob::Preparation p;
    p.dither = grob::Dither::BlueNoise;
    for (const auto& [gray, expected] : {std::pair{64u, 3068}, {191u, 1028}}) {
        const MemoryRaster out =
            grob::Prepare(MemoryRaster(64, 64, gray * 0x010101u).view(), gro, p);
        int dark = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                dark += out.view().row(y)[x] == 0;
        EXPECT_EQ(dark, expected) << gray;
    }
}

// Dithered in linear light, a flat gray 128 gives as much light as it
// does on the screen: ((128 / 255 + 0.055) / 1.055)^2.4 = 0.2159 of its dots
// white, where its number gives half.
TEST(Prepare, DitheredInLinearLight) {
    const grob::OutputKind gro = *grob::KindForExtension("gro");
    grob::Preparation p;
    p.dither = grob::Dither::FloydSteinberg;
    for (const auto& [linear, white] : {std::pair{false, 512}, {true, 221}}) {
        p.linear = linear;
        const MemoryRaster out = grob::Prepare(MemoryRaster(32, 32, 0x808080).view(), gro, p);
        int lit = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                lit += out.view().row(y)[x] != 0;
        EXPECT_NEAR(lit, white, 12) << linear;
    }
}

TEST(Prepare, FitRowByRowKeepsEveryBit) {
    const std::uint32_t rows[2][3] = {{0x00F50A, 0x00D728, 0x009B64},
                                      {0x00EB14, 0x00C33C, 0x0037C8}};
    grob::RowFitter fitter(3, 2, {2, 2});
    fitter.add(rows[0]);
    EXPECT_FALSE(fitter.done());
    EXPECT_EQ(fitter.take().width(), 0);
    fitter.add(rows[1]);
    ASSERT_TRUE(fitter.done());
    MemoryRaster two = fitter.take();
    ASSERT_EQ(two.width(), 2);
    ASSERT_EQ(two.height(), 1);
    EXPECT_EQ(two.row(0)[0], 0x00E41Bu);
    EXPECT_EQ(two.row(0)[1], 0x008A75u);

    struct Case {
        int w, h, fitW, fitH;
        bool upscale;
        int outW, outH;
        std::uint64_t hash;
    };
    for (const Case& c : {
             Case{1009, 503, 131, 64, false, 128, 64, 0x642e44ed62a0af07ull}, // primes
             Case{1, 1000, 131, 64, false, 1, 64, 0x7e49ee1dfc364319ull},
             Case{997, 1, 131, 64, false, 131, 1, 0xb3f60acd38166620ull},
             Case{131, 64, 131, 64, false, 131, 64, 0xbc14830ab56cfdeaull},  // exactly the box
             Case{7, 3, 131, 64, true, 126, 54, 0x48a37f49d877a0cbull},      // 18 times
             Case{263, 129, 131, 64, false, 130, 64, 0x76f983276dc4fa93ull}, // just under half
         }) {
        SCOPED_TRACE(c.w);
        std::vector<std::uint32_t> pixels(std::size_t(c.w) * std::size_t(c.h));
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x)
                pixels[std::size_t(y) * std::size_t(c.w) + std::size_t(x)] =
                    (std::uint32_t(x * 73 + y * 151) ^ std::uint32_t(x * y * 7)) * 2654435761u;
        MemoryRaster fitted =
            grob::Fit({pixels.data(), c.w, c.h, c.w}, grob::FitBox{c.fitW, c.fitH, c.upscale});
        ASSERT_EQ(fitted.width(), c.outW);
        ASSERT_EQ(fitted.height(), c.outH);
        std::uint64_t hash = 1469598103934665603ull;
        for (int y = 0; y < c.outH; ++y)
            for (int x = 0; x < c.outW; ++x)
                for (int i = 0; i < 4; ++i)
                    hash = (hash ^ ((fitted.row(y)[x] >> (8 * i)) & 255u)) * 1099511628211ull;
        EXPECT_EQ(hash, c.hash);
    }
}

// The picture a GROB shows, in its kind's true shades.
MemoryRaster GrayPicture(const std::vector<std::uint8_t>& file, const grob::OutputKind& kind) {
    const auto shades =
        grob::ShadesOf(grob::ReadBinaryGrob(file, "f"), kind, "f", 1 << 14, 1 << 25);
    MemoryRaster gray(shades.width, shades.height);
    for (int i = 0; i < shades.width * shades.height; ++i)
        gray.setPixel(i % shades.width, i / shades.width,
                      grob::GrayOfShade(kind, shades.levels[std::size_t(i)]) * 0x010101u);
    return gray;
}

TEST(Prepare, LuminanceAndTheLevelGrays) {
    // Rec. 601: red 76245 / 1000, green 150185 / 1000, blue 29570 / 1000, rounded
    // down after + 0.5; a gray keeps its value. A fit alone yields grays too.
    const std::pair<std::uint32_t, std::uint32_t> luminance[] = {
        {0x0000FF, 0x4C}, {0x00FF00, 0x96}, {0xFF0000, 0x1D}, {0x7B7B7B, 0x7B}};
    MemoryRaster picture(4, 1);
    for (int x = 0; x < 4; ++x)
        picture.setPixel(x, 0, luminance[x].first);
    const MemoryRaster gray =
        grob::Prepare(picture.view(), grob::OutputKinds()[0], {.fit = {4, 1}});
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(gray.point(x, 0), luminance[x].second * 0x010101) << x;
    // True shades, evenly spaced: 255 * k / 7 for the eight of g08.
    const int eight[] = {255, 219, 182, 146, 109, 73, 36, 0};
    for (int level = 0; level < 8; ++level)
        EXPECT_EQ(grob::GrayOfShade(*grob::KindForExtension("g08"), level), eight[level]);
    // A GROB of flat blocks of every level (where an error measured against
    // anything but the level's gray piles up) and random colours, seen in
    // its true shades, converts to the same bytes: plainly, and prepared
    // with any dithering for its own kind.
    std::mt19937 random(77);
    for (const auto& kind : grob::OutputKinds()) {
        MemoryRaster source(16, 64 * kind.shades() + 16);
        for (int y = 0; y < source.height(); ++y)
            for (int x = 0; x < 16; ++x)
                source.setPixel(x, y,
                                y < source.height() - 16
                                    ? grob::GrayOfShade(kind, y / 64) * 0x010101u
                                    : std::uint32_t(random()));
        const auto file = grob::EncodeGrob(kind, source, grob::Series::HP49);
        const MemoryRaster truth = GrayPicture(file, kind);
        EXPECT_EQ(grob::EncodeGrob(kind, truth, grob::Series::HP49), file);
        for (const auto dither : {grob::Dither::None, grob::Dither::FloydSteinberg,
                                  grob::Dither::Atkinson, grob::Dither::Ordered}) {
            const grob::Preparation p{.fit = {16, truth.height()}, .dither = dither};
            EXPECT_EQ(
                grob::EncodeGrob(kind, grob::Prepare(truth.view(), kind, p), grob::Series::HP49),
                file)
                << kind.extension << " " << grob::NameOfDither(dither);
        }
    }
}

// Turning and mirroring, worked out by hand on a picture of six letters
//   A B C
//   D E F
// and the fit box being the turned picture's.
TEST(Prepare, TurnedClockwiseThenMirroredThenFitted) {
    MemoryRaster letters(3, 2);
    for (int i = 0; i < 6; ++i)
        letters.setPixel(i % 3, i / 3, std::uint32_t('A' + i));
    auto rows = [](const MemoryRaster& picture) {
        std::string text;
        for (int y = 0; y < picture.height(); ++y) {
            if (y) text += '/';
            for (int x = 0; x < picture.width(); ++x)
                text += char(picture.point(x, y));
        }
        return text;
    };
    struct Case {
        int turn;
        grob::Flip flip;
        const char* rows;
    };
    const Case cases[] = {
        {0, grob::Flip::None, "ABC/DEF"},         {90, grob::Flip::None, "DA/EB/FC"},
        {180, grob::Flip::None, "FED/CBA"},       {270, grob::Flip::None, "CF/BE/AD"},
        {0, grob::Flip::Horizontal, "CBA/FED"},   {0, grob::Flip::Vertical, "DEF/ABC"},
        {90, grob::Flip::Horizontal, "AD/BE/CF"}, {90, grob::Flip::Vertical, "FC/EB/DA"},
    };
    // Cropped first (clipped to the picture), then turned.
    const grob::Preparation right{.crop = {1, 0, 2, 2}};
    EXPECT_EQ(rows(grob::Fit(letters.view(), right)), "BC/EF");
    grob::Preparation turnedRight = right;
    turnedRight.turn = 90;
    EXPECT_EQ(rows(grob::Fit(letters.view(), turnedRight)), "EB/FC");
    const grob::Preparation past{.crop = {2, 1, 5, 5}};
    EXPECT_EQ(rows(grob::Prepare(letters.view(), grob::OutputKinds()[0], past)), "F");
    const grob::Preparation outside{.crop = {3, 0, 1, 1}};
    int cw = -1, ch = -1;
    grob::FittedSize(outside, 3, 2, cw, ch);
    EXPECT_EQ(cw, 0);
    EXPECT_EQ(grob::CropRefusal(3, 2, outside),
              "the crop 1x1+3+0 lies outside the picture, which is 3 x 2 pixels");
    EXPECT_EQ(grob::CropRefusal(4, 2, outside), "");
    for (const Case& c : cases) {
        const grob::Preparation p{.turn = c.turn, .flip = c.flip};
        EXPECT_EQ(rows(grob::Turn(letters.view(), p)), c.rows) << c.turn << " " << int(c.flip);
        // Turned alone, the picture keeps its colours: the letters, not their grays.
        EXPECT_EQ(rows(grob::Prepare(letters.view(), grob::OutputKinds()[0], p)), c.rows);
        EXPECT_EQ(p.neutral(), c.turn == 0 && c.flip == grob::Flip::None);
    }

    // 256 x 128, black on its left half: a quarter turn puts that half on
    // top, and 64 x 131 is the box of the turned picture (128 x 256), halved.
    MemoryRaster halves(256, 128, 0xFFFFFF);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x)
            halves.setPixel(x, y, 0);
    const grob::Preparation quarter{.fit = {64, 131}, .turn = 90};
    int w = 0, h = 0;
    grob::FittedSize(quarter, 256, 128, w, h);
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 128);
    grob::Preparation enlarged = quarter;
    enlarged.fit.upscale = true;
    const grob::FitBox before = grob::FitBeforeTurning(enlarged);
    EXPECT_EQ(before.width, 131);
    EXPECT_EQ(before.height, 64);
    EXPECT_TRUE(before.upscale);
    const MemoryRaster fitted = grob::Fit(halves.view(), quarter);
    ASSERT_EQ(fitted.width(), 64);
    ASSERT_EQ(fitted.height(), 128);
    for (int y = 0; y < 128; y += 9)
        for (int x = 0; x < 64; x += 7)
            EXPECT_EQ(fitted.point(x, y), y < 64 ? 0u : 0xFFFFFFu) << x << "," << y;
    // Turned the other way, the same box: that half below.
    const MemoryRaster other = grob::Fit(halves.view(), {.fit = {64, 131}, .turn = 270});
    ASSERT_EQ(other.width(), 64);
    ASSERT_EQ(other.height(), 128);
    EXPECT_EQ(other.point(30, 20), 0xFFFFFFu);
    EXPECT_EQ(other.point(30, 100), 0u);

    // A mask turns with its picture: the opaque left column comes on top.
    grob::Sprite sprite{std::make_shared<const grob::Image>(
                            grob::Image{2, 3, std::vector<std::uint32_t>(6, 0xFF000000u)}),
                        {255, 0, 255, 0, 255, 0},
                        1};
    const grob::GrobObject mask =
        grob::MaskOf(sprite, {.turn = 90}, {}, grob::Series::HP49, "m", grob::Padding::Clear);
    ASSERT_EQ(mask.width, 3u);
    ASSERT_EQ(mask.height, 2u);
    EXPECT_EQ(mask.body[0], 0x07); // top row: three dark dots, first dot the lowest bit
    EXPECT_EQ(mask.body[1] & 0x07, 0x00);
    // Mirrored left to right: the opaque column on the right, each row's second dot.
    const grob::GrobObject mirrored = grob::MaskOf(sprite, {.flip = grob::Flip::Horizontal}, {},
                                                   grob::Series::HP49, "m", grob::Padding::Clear);
    EXPECT_EQ(mirrored.body[0], 0x02);
    EXPECT_EQ(mirrored.body[2], 0x02);
}

// The 1-bit threshold: the plain band at 128 by default, moved when asked,
// after the tone; the grayscale kinds and dithering keep their own levels.
TEST(Prepare, ThresholdMovesTheOneBitBandOnly) {
    const MemoryRaster grays = Grays(6, {99, 100, 127, 128, 199, 200});
    const grob::OutputKind& oneBit = grob::OutputKinds()[0];
    auto dots = [&](const grob::Preparation& p, const grob::OutputKind& kind) {
        const auto shades = grob::ShadesOf(
            grob::ReadBinaryGrob(
                grob::EncodePrepared(kind, grays.view(), grob::Series::HP49, p, "t"), "t"),
            kind, "t", 1 << 14, 1 << 24);
        std::string text;
        for (const std::uint8_t level : shades.levels)
            text += char('0' + level);
        return text;
    };
    // 1 is black.
    EXPECT_EQ(dots({}, oneBit), "111000");
    EXPECT_TRUE(grob::Preparation{.threshold = 128}.neutral());
    EXPECT_EQ(dots({.threshold = 100}, oneBit), "100000");
    EXPECT_EQ(dots({.threshold = 200}, oneBit), "111110");
    EXPECT_EQ(dots({.threshold = 255}, oneBit), "111111");
    // Inverted first: 255 - 99 = 156 and so on.
    EXPECT_EQ(dots({.invert = true, .threshold = 100}, oneBit), "000011");
    const grob::OutputKind g4 = *grob::KindForExtension("gro4");
    EXPECT_EQ(dots({.threshold = 200}, g4), dots({}, g4));
    EXPECT_EQ(dots({.dither = grob::Dither::Ordered, .threshold = 200}, oneBit),
              dots({.dither = grob::Dither::Ordered}, oneBit));
}

} // namespace
