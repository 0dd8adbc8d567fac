#include "grob/checks.h"
#include "grob/encoders.h"
#include "grob/shades.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using grob::MemoryRaster;
using grob::Series;
using Bytes = std::vector<std::uint8_t>;
using testing_util::ReadBytes;
using testing_util::ScratchDir;

constexpr std::uint32_t kBlack = 0x000000, kWhite = 0xFFFFFF, kGrey = 0x808080;

Bytes Header48() {
    return {'H', 'P', 'H', 'P', '4', '8', '-', 'X'};
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

MemoryRaster Row(std::initializer_list<std::uint32_t> pixels) {
    MemoryRaster picture(static_cast<int>(pixels.size()), 1);
    int x = 0;
    for (std::uint32_t p : pixels)
        picture.setPixel(x++, 0, p);
    return picture;
}

grob::OutputKind Kind(std::string_view ext) {
    return grob::KindForExtension(ext).value();
}

TEST(Encoders, WorkedExamplesByteForByte) {
    ScratchDir dir;
    const std::string out = dir.file("out.gro");

    grob::ConvertAndSave1(MemoryRaster(8, 1, kBlack), Series::HP48, out);
    EXPECT_EQ(ReadBytes(out), Concat(Header48(), {0x1E, 0x2B, 0x10, 0x01, 0x00, 0x01, 0x00, 0x80,
                                                  0x00, 0x00, 0xFF}));

    grob::ConvertAndSave1(Row({kBlack, kWhite, kBlack}), Series::HP48, out);
    EXPECT_EQ(ReadBytes(out), Concat(Header48(), {0x1E, 0x2B, 0x10, 0x01, 0x00, 0x01, 0x00, 0x30,
                                                  0x00, 0x00, 0xFD}));

    grob::ConvertAndSave2(Row({kBlack, kGrey, kWhite}), Series::HP48, out);
    EXPECT_EQ(ReadBytes(out), Concat(Header48(), {0x1E, 0x2B, 0x10, 0x01, 0x00, 0x01, 0x00, 0x60,
                                                  0x00, 0x00, 0x87}));

    grob::ConvertAndSave4(Row({kBlack, kWhite, kBlack}), Series::HP48, out);
    EXPECT_EQ(ReadBytes(out), Concat(Header48(), {0x1E, 0x2B, 0x30, 0x01, 0x00, 0x01, 0x00, 0xC0,
                                                  0x00, 0x00, 0x0F, 0xAF}));

    grob::ConvertAndSavePF(MemoryRaster(8, 1, kGrey), Series::HP48, 2, out);
    EXPECT_EQ(ReadBytes(out), Concat(Header48(), {0x1E, 0x2B, 0x30, 0x01, 0x00, 0x02, 0x00, 0x80,
                                                  0x00, 0x00, 0x00, 0xFF}));

    // The HP 49 series changes the header and nothing else.
    grob::ConvertAndSave4(Row({kBlack, kWhite, kBlack}), Series::HP49, out);
    const Bytes hp49 = ReadBytes(out);
    EXPECT_EQ(std::string(hp49.begin(), hp49.begin() + 8), "HPHP49-X");
    EXPECT_EQ(Bytes(hp49.begin() + 8, hp49.end()),
              Bytes({0x1E, 0x2B, 0x30, 0x01, 0x00, 0x01, 0x00, 0xC0, 0x00, 0x00, 0x0F, 0xAF}));
}

// The frames of a page-flipping GROB weigh heaviest first: frame j (0 the
// first in the file) carries bit 7 - j of the inverted brightness. A ramp
// of 32 dots, dot x of gray 251 - 8x (inverted 8x + 4, whose top five bits
// are x): frame j's dots are bit 4 - j of x, so the 1-bit rows are the
// counting patterns, worked out by hand.
TEST(Encoders, PageFlippingFramesHeaviestFirst) {
    MemoryRaster ramp(32, 1);
    for (int x = 0; x < 32; ++x)
        ramp.setPixel(x, 0, 0x010101u * std::uint32_t(251 - 8 * x));
    const Bytes frames[] = {{0x00, 0x00, 0xFF, 0xFF},
                            {0x00, 0xFF, 0x00, 0xFF},
                            {0xF0, 0xF0, 0xF0, 0xF0},
                            {0xCC, 0xCC, 0xCC, 0xCC},
                            {0xAA, 0xAA, 0xAA, 0xAA}};
    for (const int count : {4, 5}) {
        Bytes body;
        for (int j = 0; j < count; ++j)
            body = Concat(body, frames[j]);
        EXPECT_EQ(
            grob::EncodeObject(Kind(count == 4 ? "g16" : "g32"), ramp.view(), Series::HP48).body,
            body);
    }
}

TEST(Encoders, PaddingClassicOrCleared) {
    // Bytes worked out by hand: a 13 x 5 1-bit GROB (a diagonal from the top
    // left, and the last column dark), three padding dots a row; a gro4 of 3
    // pixels (white, black, gray: levels 0, 15, 7), 12 columns, so the high
    // half of each row's second byte is padding; a g04 of 5 pixels (white,
    // black, 170, 85, white), two frames of 5 dots, three padding dots a row.
    MemoryRaster diagonal(13, 5, kWhite);
    for (int y = 0; y < 5; ++y) {
        diagonal.setPixel(y, y, kBlack);
        diagonal.setPixel(12, y, kBlack);
    }
    const MemoryRaster gray = Row({kWhite, kBlack, kGrey});
    const MemoryRaster frames = Row({kWhite, kBlack, 0xAAAAAA, 0x555555, kWhite});
    const MemoryRaster eight =
        Row({kBlack, kWhite, kWhite, kWhite, kWhite, kWhite, kWhite, kBlack});
    struct Case {
        std::string_view kind;
        const MemoryRaster& picture;
        Bytes head, classic, cleared;
    };
    const Case cases[] = {
        {"gro",
         diagonal,
         {0x1E, 0x2B, 0x30, 0x02, 0x00, 0x05, 0x00, 0xD0, 0x00, 0x00},
         {0x01, 0xF0, 0x02, 0xF0, 0x04, 0xF0, 0x08, 0xF0, 0x10, 0xF0},
         {0x01, 0x10, 0x02, 0x10, 0x04, 0x10, 0x08, 0x10, 0x10, 0x10}},
        // The outside reads as level 10 (0xA) in the padding half.
        {"gro4",
         gray,
         {0x1E, 0x2B, 0x30, 0x01, 0x00, 0x01, 0x00, 0xC0, 0x00, 0x00},
         {0xF0, 0xA7},
         {0xF0, 0x07}},
        // The outside's mean, 85, sets the first frame's padding, not the second's.
        {"g04",
         frames,
         {0x1E, 0x2B, 0x30, 0x01, 0x00, 0x02, 0x00, 0x50, 0x00, 0x00},
         {0xEA, 0x06},
         {0x0A, 0x06}},
        // 8 wide: no padding, nothing cleared (the last dot stays dark).
        {"gro",
         eight,
         {0x1E, 0x2B, 0x10, 0x01, 0x00, 0x01, 0x00, 0x80, 0x00, 0x00},
         {0x81},
         {0x81}},
    };
    for (const Case& c : cases) {
        const Bytes classic = Concat(Concat(Header48(), c.head), c.classic);
        const Bytes cleared = Concat(Concat(Header48(), c.head), c.cleared);
        EXPECT_EQ(grob::EncodeGrob(Kind(c.kind), c.picture, Series::HP48), classic) << c.kind;
        const grob::ViewRaster reference(c.picture.view()); // read pixel by pixel
        for (const grob::PictureRaster* picture :
             {static_cast<const grob::PictureRaster*>(&c.picture),
              static_cast<const grob::PictureRaster*>(&reference)}) {
            EXPECT_EQ(grob::BinaryGrob(grob::EncodeObject(Kind(c.kind), *picture, Series::HP48, {},
                                                          grob::Padding::Clear)),
                      cleared)
                << c.kind;
        }
        // Prepared pictures go the same way.
        grob::Preparation invert;
        invert.invert = true;
        const grob::GrobObject inverted = grob::EncodeObject(
            Kind(c.kind), c.picture.view(), Series::HP48, invert, {}, grob::Padding::Clear);
        const std::size_t last = grob::RowStride(inverted.width) - 1;
        if (inverted.width % 8 != 0) {
            EXPECT_EQ(inverted.body[last] >> (inverted.width % 8), 0) << c.kind;
        }
    }
}

TEST(Encoders, PaddingFromOutsideReads) {
    // A 1-pixel-wide white picture: every padding column comes from -1.
    const MemoryRaster white(1, 2, kWhite);
    const std::pair<std::string_view, std::uint8_t> cases[] = {
        {"gro", 0xFE}, {"gro2", 0xA8}, {"gro4", 0xA0}};
    for (auto [ext, byte] : cases) {
        const Bytes file = grob::EncodeGrob(Kind(ext), white, Series::HP48);
        ASSERT_EQ(file.size(), 20u) << ext;
        EXPECT_EQ(file[18], byte) << ext;
        EXPECT_EQ(file[19], byte) << ext;
    }
    EXPECT_EQ(grob::EncodeGrob(Kind("gro"), MemoryRaster(1, 1, kBlack), Series::HP48)[18], 0xFF);

    // A white picture 10 wide: the second byte of each row has bits 2..7 from
    // outside, FC in the frames for bits 7, 5, 3 and 00 for bits 6, 4.
    const Bytes frames = grob::EncodeGrob(Kind("g32"), MemoryRaster(10, 1, kWhite), Series::HP48);
    ASSERT_EQ(frames.size(), 18u + 5 * 2);
    const std::uint8_t second[5] = {0xFC, 0x00, 0xFC, 0x00, 0xFC};
    for (int j = 0; j < 5; ++j) {
        EXPECT_EQ(frames[18 + 2 * j], 0x00) << j;
        EXPECT_EQ(frames[19 + 2 * j], second[j]) << j;
    }

    // Widths that fill whole bytes have no padding: a black picture is all FF.
    for (auto [ext, width] : {std::pair{"gro", 8}, {"gro2", 4}, {"gro4", 2}, {"g16", 16}}) {
        const Bytes file =
            grob::EncodeGrob(Kind(ext), MemoryRaster(width, 3, kBlack), Series::HP48);
        for (std::size_t i = 18; i < file.size(); ++i)
            ASSERT_EQ(file[i], 0xFF) << ext << " byte " << i;
    }
}

TEST(Encoders, HeadFieldsForEachKind) {
    struct Case {
        std::string_view ext;
        int w, h;
        Bytes head;
        std::size_t size;
    };
    const Case cases[] = {
        {"g04", 10, 3, {0x1E, 0x2B, 0x70, 0x02, 0x00, 0x06, 0x00, 0xA0, 0x00, 0x00}, 30},
        {"g32", 131, 64, {0x1E, 0x2B, 0xF0, 0xA8, 0x02, 0x40, 0x01, 0x30, 0x08, 0x00}, 5458},
        {"g08", 8, 1, {0x1E, 0x2B, 0x50, 0x01, 0x00, 0x03, 0x00, 0x80, 0x00, 0x00}, 21},
        // Width 9: stride 2, seven padding columns.
        {"gro", 9, 1, {0x1E, 0x2B, 0x30, 0x01, 0x00, 0x01, 0x00, 0x90, 0x00, 0x00}, 20},
        {"gro", 7, 1, {0x1E, 0x2B, 0x10, 0x01, 0x00, 0x01, 0x00, 0x70, 0x00, 0x00}, 19},
        // Width or height 0: S = 15 and no body.
        {"gro", 0, 5, {0x1E, 0x2B, 0xF0, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00}, 18},
        {"gro4", 5, 0, {0x1E, 0x2B, 0xF0, 0x00, 0x00, 0x00, 0x00, 0x40, 0x01, 0x00}, 18},
        {"g16", 0, 0, {0x1E, 0x2B, 0xF0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, 18},
    };
    for (const Case& c : cases) {
        const Bytes file =
            grob::EncodeGrob(Kind(c.ext), MemoryRaster(c.w, c.h, kWhite), Series::HP48);
        SCOPED_TRACE(std::string(c.ext) + " " + std::to_string(c.w) + "x" + std::to_string(c.h));
        EXPECT_EQ(file.size(), c.size);
        EXPECT_EQ(Bytes(file.begin() + 8, file.begin() + 18), c.head);
    }
}

TEST(Encoders, SizeLimits) {
    // Height 70,000 at width 8: S = 140,015, written.
    const Bytes tall = grob::EncodeGrob(Kind("gro"), MemoryRaster(8, 70000, kBlack), Series::HP48);
    ASSERT_EQ(tall.size(), 18u + 70000);
    EXPECT_EQ(Bytes(tall.begin() + 13, tall.begin() + 16), Bytes({0x70, 0x11, 0x81}));
    EXPECT_EQ(tall[10] >> 4 | tall[11] << 4 | tall[12] << 12, 140015);

    // Body 524,280 bytes: S = 0xFFFFF is the largest accepted.
    const Bytes largest =
        grob::EncodeGrob(Kind("gro"), MemoryRaster(8 * 8, 65535, kWhite), Series::HP48);
    EXPECT_EQ(largest.size(), 18u + 524280);
    EXPECT_EQ(Bytes(largest.begin() + 10, largest.begin() + 13), Bytes({0xF0, 0xFF, 0xFF}));

    auto overflows = [](const grob::OutputKind& kind, int w, int h) {
        try {
            grob::EncodeGrob(kind, MemoryRaster(w, h), Series::HP48, "big.gro");
        } catch (const grob::GrobError& e) {
            EXPECT_EQ(e.code(), grob::ErrorCode::FieldOverflow);
            EXPECT_NE(std::string(e.what()).find("big.gro"), std::string::npos);
            return true;
        }
        return false;
    };
    EXPECT_TRUE(overflows(Kind("gro"), 8, 524281));   // S = 0x100001
    EXPECT_FALSE(overflows(Kind("gro"), 0, 1048575)); // height at the limit, no body
    EXPECT_TRUE(overflows(Kind("gro"), 0, 1048576));  // height past the limit
    EXPECT_TRUE(overflows(Kind("gro4"), 262144, 0));  // GROB width 4W = 0x100000
    EXPECT_FALSE(overflows(Kind("gro4"), 262143, 0));
    EXPECT_TRUE(overflows(Kind("g32"), 8, 104857)); // 5 x H rows: S past the limit
    EXPECT_FALSE(overflows(Kind("g32"), 8, 104856));
    // The check before any work draws the line where the encoder does, a row
    // of 16,383 dots taking 2,048 whole bytes: 256 of them are 524,288 bytes.
    for (const int h : {255, 256})
        EXPECT_EQ(grob::SizeOfConversion(16383, h, Kind("gro"), {}, grob::kCommandLineHints)
                      .refusal.empty(),
                  !overflows(Kind("gro"), 16383, h))
            << h;

    // An overflow touches no file.
    ScratchDir dir;
    const std::string out = dir.file("big.gro");
    EXPECT_THROW(grob::ConvertAndSave1(MemoryRaster(8, 524281), Series::HP48, out),
                 grob::GrobError);
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_THROW(grob::ConvertAndSavePF(MemoryRaster(2, 2), Series::HP48, 6, out), grob::GrobError);
    EXPECT_EQ(dir.entries(), 0u);
}

TEST(Encoders, FastPathMatchesPlainReads) {
    std::mt19937 random(20261206);
    for (int round = 0; round < 60; ++round) {
        const int w = static_cast<int>(random() % 40);
        const int h = static_cast<int>(random() % 12);
        // A view with slack at the end of each row and rubbish in the top
        // bytes, as a picture held by the window has.
        const int stride = w + static_cast<int>(random() % 4);
        std::vector<std::uint32_t> pixels(static_cast<std::size_t>(stride) * h);
        for (auto& p : pixels) {
            // Mix of arbitrary colours and greys that sit on band edges.
            const auto grey = static_cast<std::uint32_t>(random() % 256);
            p = (random() % 2 ? static_cast<std::uint32_t>(random()) : grey * 0x010101u) |
                static_cast<std::uint32_t>(random()) << 24;
        }
        const grob::PixelView view{pixels.data(), w, h, stride};
        const grob::ViewRaster plain(view);
        for (const auto& kind : grob::OutputKinds()) {
            SCOPED_TRACE(std::string(kind.extension) + " " + std::to_string(w) + "x" +
                         std::to_string(h));
            ASSERT_EQ(grob::EncodeGrob(kind, view, Series::HP49),
                      grob::EncodeGrob(kind, plain, Series::HP49));
        }
    }
    // Every channel sum, on both paths.
    MemoryRaster sums(766, 1);
    for (int s = 0; s <= 765; ++s)
        sums.setPixel(s, 0,
                      static_cast<std::uint32_t>(std::min(s, 255) |
                                                 std::clamp(s - 255, 0, 255) << 8 |
                                                 std::clamp(s - 510, 0, 255) << 16));
    for (const auto& kind : grob::OutputKinds())
        EXPECT_EQ(grob::EncodeGrob(kind, sums, Series::HP48),
                  grob::EncodeGrob(kind, grob::ViewRaster(sums.view()), Series::HP48))
            << kind.extension;
}

} // namespace
