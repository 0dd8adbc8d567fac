// The calculator's view: each shade's colour, every dot visible next to the
// screens' outlines, and the pixel cap.
#include "grob/encoders.h"
#include "grob/options.h"
#include "preview.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t At(const grob::Image& image, int x, int y) {
    return image.pixels[std::size_t(y) * std::size_t(image.width) + std::size_t(x)];
}

TEST(Preview, PageFlippingFramesCountByTheirBitsWeight) {
    // A 2-frame GROB of 1 x 1 picture pixels: the first frame carries the
    // heavier bit. Gray 64 sets only the first frame (mean 64 = 01000000:
    // bit 7 clear -> dark in frame one, bit 6 set -> light in frame two),
    // gray 128 only the second.
    const grob::OutputKind g04 = *grob::KindForExtension("g04");
    const auto only = [&](std::uint32_t gray) {
        const Bytes file =
            grob::EncodeGrob(g04, grob::MemoryRaster(1, 1, gray * 0x010101u), grob::Series::HP48);
        return At(preview::DrawFile(file, g04, 1), preview::kMargin, preview::kMargin);
    };
    // Light C5 CF B4 towards dark 1F 2A 24: two thirds of the way is
    // 197 - 110.7, 207 - 110, 180 - 96; one third 197 - 55.3, 207 - 55, 180 - 48.
    EXPECT_EQ(only(64), preview::Rgb(86, 97, 84));     // level 2 of 3
    EXPECT_EQ(only(128), preview::Rgb(142, 152, 132)); // level 1 of 3
    EXPECT_EQ(only(0), preview::kLcdDark);
    EXPECT_EQ(only(255), preview::kLcdLight);
}

TEST(Preview, OutlinesNeverCoverADot) {
    // A black 131 x 64 picture fills the HP 48 screen; a 200 x 100 one runs
    // past both screens.
    for (const auto& [w, h] : {std::pair{131, 64}, std::pair{200, 100}, std::pair{8, 8}})
        for (const int zoom : {1, 2, 3}) {
            const grob::OutputKind gro = grob::OutputKinds()[0];
            const Bytes file =
                grob::EncodeGrob(gro, grob::MemoryRaster(w, h, 0), grob::Series::HP48);
            const grob::Image view = preview::DrawFile(file, gro, zoom);
            int outline = 0;
            for (int y = 0; y < view.height; ++y)
                for (int x = 0; x < view.width; ++x) {
                    const bool dot = x >= preview::kMargin && x < preview::kMargin + w * zoom &&
                                     y >= preview::kMargin && y < preview::kMargin + h * zoom;
                    if (dot) {
                        ASSERT_EQ(At(view, x, y), preview::kLcdDark) << x << "," << y;
                    }
                    outline += At(view, x, y) == preview::kOutline;
                }
            // The outlines are there: at least the left edge of the larger screen.
            EXPECT_GE(outline, 64 * zoom) << w << "x" << h << " zoom " << zoom;
            // The top-left corner of the screens, just outside the first dot.
            EXPECT_EQ(At(view, preview::kMargin - 1, preview::kMargin - 1), preview::kOutline);
        }
}

TEST(Preview, SizeIsCappedBeforeAnythingIsDrawn) {
    // A 131 x 80 screen at zoom 16 is well within the cap.
    EXPECT_EQ(preview::ZoomWithin(131, 80, 16), 16);
    // A 1 x 4096 picture: 2,104 x 65,544 at zoom 16; zoom 5 gives 663 x 20,488.
    EXPECT_EQ(preview::ZoomWithin(1, 4096, 16), 5);
    EXPECT_EQ(preview::ZoomWithin(16384, 16384, 2), 0);
    grob::ShadePicture huge{4096, 4096, 2, std::vector<std::uint8_t>(4096 * 4096)};
    EXPECT_THROW(preview::Draw(huge, 2), std::length_error);
}

} // namespace
