#include "grob/shades.h"

#include <gtest/gtest.h>

namespace {

using grob::MemoryRaster;

struct ShadeCase {
    std::uint32_t colour;
    int one, two, four;
};

TEST(Shades, NamedColoursAndTheOutsideValue) {
    const ShadeCase cases[] = {
        {0x000000, 1, 3, 15}, {0xFFFFFF, 0, 0, 0},  {0x808080, 0, 1, 7},  {0x7F7F7F, 1, 2, 8},
        {0x0000FF, 1, 2, 10}, {0x00FF00, 1, 2, 10}, {0xFF0000, 1, 2, 10},
    };
    for (const ShadeCase& c : cases) {
        MemoryRaster picture(1, 1, c.colour);
        SCOPED_TRACE(c.colour);
        EXPECT_EQ(grob::Get1bit(picture, 0, 0), c.one);
        EXPECT_EQ(grob::Get2bit(picture, 0, 0), c.two);
        EXPECT_EQ(grob::Get4bit(picture, 0, 0), c.four);
    }
    // Points right of and below the picture read as -1: sum 255, like pure red.
    MemoryRaster picture(1, 1, 0);
    for (auto [x, y] : {std::pair{1, 0}, std::pair{0, 1}, std::pair{7, 3}}) {
        EXPECT_EQ(picture.point(x, y), -1);
        EXPECT_EQ(grob::Get1bit(picture, x, y), 1);
        EXPECT_EQ(grob::Get2bit(picture, x, y), 2);
        EXPECT_EQ(grob::Get4bit(picture, x, y), 10);
    }
}

TEST(Shades, PageFlippingBits) {
    MemoryRaster picture(3, 1, 0);
    picture.setPixel(1, 0, 0xFFFFFF);
    picture.setPixel(2, 0, 0x808080); // mean 128
    for (int pcnt = 2; pcnt <= 5; ++pcnt) {
        for (int pg = 0; pg < pcnt; ++pg) {
            EXPECT_EQ(grob::GetPF(picture, pcnt, pg, 0, 0), 1);
            EXPECT_EQ(grob::GetPF(picture, pcnt, pg, 1, 0), 0);
            // Only the top frame (pg = pcnt - 1, bit 7) sees the set bit of 128.
            EXPECT_EQ(grob::GetPF(picture, pcnt, pg, 2, 0), pg == pcnt - 1 ? 0 : 1);
        }
    }
    // Outside: mean 85 = 01010101, inverted: 1 for bits 7, 5, 3 and 0 for 6, 4.
    const int expected[8] = {-1, -1, -1, 1, 0, 1, 0, 1};
    for (int k = 3; k <= 7; ++k)
        EXPECT_EQ(grob::GetPF(picture, 5, k - 3, 3, 0), expected[k]) << "bit " << k;
}

} // namespace
