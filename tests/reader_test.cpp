// Reading GROBs back: every kind and series round-trips, and every kind of
// damage is refused with its cause.
#include "grob/encoders.h"
#include "grob/reader.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using Bytes = std::vector<std::uint8_t>;

// The picture a GROB shows, in the grays that its kind's encoder takes back.
grob::MemoryRaster GrayPicture(const Bytes& file, const grob::OutputKind& kind) {
    const auto shades =
        grob::ShadesOf(grob::ReadBinaryGrob(file, "f"), kind, "f", 1 << 14, 1 << 25);
    grob::MemoryRaster gray(shades.width, shades.height);
    for (int y = 0; y < shades.height; ++y)
        for (int x = 0; x < shades.width; ++x)
            gray.setPixel(
                x, y,
                grob::GrayOfShade(kind, shades.levels[std::size_t(y) * shades.width + x]) *
                    0x010101u);
    return gray;
}

TEST(Reader, EveryKindAndSeriesRoundTrips) {
    std::mt19937 random(1206);
    for (int round = 0; round < 20; ++round) {
        grob::MemoryRaster picture(1 + int(random() % 30), 1 + int(random() % 9));
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                picture.setPixel(x, y, std::uint32_t(random()));
        for (const auto& kind : grob::OutputKinds())
            for (const auto series : {grob::Series::HP48, grob::Series::HP49}) {
                SCOPED_TRACE(std::string(kind.extension) + " round " + std::to_string(round));
                const Bytes file = grob::EncodeGrob(kind, picture, series);
                // GROB -> picture -> the same kind again.
                EXPECT_EQ(grob::EncodeGrob(kind, GrayPicture(file, kind), series), file);
                // Binary -> text -> binary.
                const std::string text = grob::TextGrob(grob::ReadBinaryGrob(file, "f"));
                const std::span textBytes(reinterpret_cast<const std::uint8_t*>(text.data()),
                                          text.size());
                ASSERT_TRUE(grob::LooksLikeTextGrob(textBytes));
                grob::GrobObject back = grob::ReadTextGrob(textBytes, "t");
                back.series = series;
                EXPECT_EQ(grob::BinaryGrob(back), file);
            }
    }
}

TEST(Reader, TextFormAsPeopleWriteIt) {
    // Among other text, digits split by spaces and line breaks, lower case.
    const std::string post =
        std::string(5000, '.') + "\nHere is my sprite:\n  GROB 9 2 1f 0\n 0\n01 F0\nEnjoy!\n";
    ASSERT_TRUE(
        grob::LooksLikeTextGrob({reinterpret_cast<const std::uint8_t*>(post.data()), post.size()}));
    const auto object =
        grob::ReadTextGrob({reinterpret_cast<const std::uint8_t*>(post.data()), post.size()}, "p");
    EXPECT_EQ(object.width, 9u);
    EXPECT_EQ(object.height, 2u);
    EXPECT_EQ(object.body, (Bytes{0xF1, 0x00, 0x10, 0x0F})); // low digit first
}

TEST(Reader, DamageIsRefusedWithItsCause) {
    const Bytes good = grob::EncodeGrob(*grob::KindForExtension("g04"),
                                        grob::MemoryRaster(10, 3, 0), grob::Series::HP48);
    auto changed = [&](std::size_t at, std::uint8_t value) {
        Bytes b = good;
        b[at] = value;
        return b;
    };
    const std::pair<Bytes, const char*> binary[] = {
        {Bytes(good.begin(), good.begin() + 12), "head is cut short"},
        {changed(7, '1'), "not a letter"},
        {changed(8, 0x1F), "prologue"},
        {changed(11, 0x03), "size field"},
        {Bytes(good.begin(), good.end() - 1), "cut short"},
        {[&] {
             Bytes b = good;
             b.push_back(0);
             return b;
         }(),
         "follow"},
    };
    for (const auto& [bytes, cause] : binary) {
        try {
            grob::ReadBinaryGrob(bytes, "bad.g04");
            ADD_FAILURE() << cause;
        } catch (const grob::GrobReadError& e) {
            EXPECT_NE(e.cause().find(cause), std::string::npos) << e.cause();
            EXPECT_NE(std::string(e.what()).find("bad.g04"), std::string::npos);
        }
    }
    const std::pair<std::string, const char*> text[] = {
        {"GROB 8 2 FF", "cut short"},
        {"GROB 8 1 FG", "hexadecimal"},
        {"GROB 8 1 FF0", "longer"},
        {"GROB x 1 FF", "width"},
        {"GROB 99999999 99999999 0", "larger"},
        {"GROB 1048575 1048575 0", "larger than a GROB"}, // nothing is allocated for it
    };
    for (const auto& [t, cause] : text) {
        try {
            grob::ReadTextGrob({reinterpret_cast<const std::uint8_t*>(t.data()), t.size()}, "t");
            ADD_FAILURE() << t;
        } catch (const grob::GrobReadError& e) {
            EXPECT_NE(e.cause().find(cause), std::string::npos) << t << ": " << e.cause();
        }
    }
    // Sizes that do not fit the kind the name gives, or the pixel limit.
    const auto object = grob::ReadBinaryGrob(good, "g"); // 10 x 6
    EXPECT_THROW(grob::ShadesOf(object, *grob::KindForExtension("g16"), "g", 100, 100),
                 grob::GrobReadError);
    EXPECT_THROW(grob::ShadesOf(object, *grob::KindForExtension("gro4"), "g", 100, 100),
                 grob::GrobReadError);
    EXPECT_THROW(grob::ShadesOf(object, *grob::KindForExtension("gro"), "g", 100, 59),
                 grob::GrobReadError);
    EXPECT_EQ(grob::ShadesOf(object, *grob::KindForExtension("gro2"), "g", 100, 100).width, 5);
}

} // namespace
