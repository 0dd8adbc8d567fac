// Sprites, sheets and animations through the pipeline: tiles in order,
// refused or padded, empty ones left out; masks at half opacity; lists that
// round-trip through PNGs for every kind and series; numbered files.
#include "conversion.h"
#include "grob/list.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QTemporaryDir>

namespace {

using pipeline::Output;
using pipeline::Product;
using pipeline::Target;

class Sprites : public ::testing::Test {
  protected:
    QTemporaryDir dir;

    QString save(const QString& name, const QImage& image) {
        const QString path = dir.filePath(name);
        image.save(path, "png");
        return path;
    }
    pipeline::Request request(const QString& picture, const char* kind = "gro") {
        pipeline::Request r;
        r.source = pipeline::Source::File(picture);
        r.kind = *grob::KindForExtension(kind);
        r.series = grob::Series::HP48;
        return r;
    }
    // The GROBs of a list file.
    std::vector<grob::GrobObject> listed(const QString& path) {
        const auto bytes = testing_util::ReadBytes(path.toStdString());
        return grob::ReadBinaryList(bytes, "l").objects;
    }
};

// Dot (x, y) of a 1-bit GROB: set (dark) or not.
bool Dark(const grob::GrobObject& g, int x, int y) {
    return (g.body[std::size_t(y) * grob::RowStride(g.width) + std::size_t(x / 8)] >> (x % 8)) & 1;
}

TEST_F(Sprites, TilesInOrderRefusedOrPaddedAndEmptyOnesLeftOut) {
    // 3 x 2 tiles of 16 x 16: black, white (empty), black / white, black, white.
    QImage sheet(48, 32, QImage::Format_RGB32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x)
            sheet.setPixel(x, y, (x / 16 + y / 16) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    pipeline::Request r = request(save("sheet.png", sheet));
    r.cutting.tileWidth = r.cutting.tileHeight = 16;
    r.outputs = {{Product::List, Target::File(dir.filePath("sheet.lst"))}};
    ASSERT_TRUE(pipeline::Convert(r).ok());
    auto tiles = listed(dir.filePath("sheet.lst"));
    ASSERT_EQ(tiles.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_EQ(Dark(tiles[i], 3, 3), i % 2 == 0) << i; // row by row: black, white, black, ...

    r.cutting.skipEmpty = true;
    const pipeline::Result kept = pipeline::Convert(r);
    EXPECT_EQ(listed(dir.filePath("sheet.lst")).size(), 3u);
    EXPECT_EQ(kept.note, "tiles kept: 1, 3, 5 of 6");

    // 40 x 32: 8 pixels over across; refused, or padded with white.
    r.source = pipeline::Source::File(save("narrow.png", sheet.copy(0, 0, 40, 32)));
    r.cutting.skipEmpty = false;
    const pipeline::Result refused = pipeline::Convert(r);
    EXPECT_EQ(refused.line(), dir.filePath("narrow.png") +
                                  ": the picture is 40 x 32 pixels, not a whole number of 16 x 16 "
                                  "tiles: 8 pixels over across and 0 down (--tile-pad pads it "
                                  "with white)");
    r.cutting.tilePad = true;
    ASSERT_TRUE(pipeline::Convert(r).ok());
    tiles = listed(dir.filePath("sheet.lst"));
    ASSERT_EQ(tiles.size(), 6u);
    EXPECT_TRUE(Dark(tiles[2], 7, 3));  // the black part of the third tile
    EXPECT_FALSE(Dark(tiles[2], 8, 3)); // its padding
}

TEST_F(Sprites, MasksAreDarkFromHalfOpacity) {
    // Black at opacity 125 (49 %), 128 (50 %) and 130 (51 %), and opaque.
    QImage sprite(4, 1, QImage::Format_ARGB32);
    const int alphas[] = {125, 128, 130, 255};
    for (int x = 0; x < 4; ++x)
        sprite.setPixel(x, 0, qRgba(0, 0, 0, alphas[x]));
    pipeline::Request r = request(save("sprite.png", sprite), "g04");
    r.cutting.masks = true;
    r.outputs = {{Product::List, Target::File(dir.filePath("sprite.lst"))},
                 {Product::Grob, Target::Numbered(dir.filePath("sprite.g04"))}};
    ASSERT_TRUE(pipeline::Convert(r).ok());
    const auto grobs = listed(dir.filePath("sprite.lst"));
    ASSERT_EQ(grobs.size(), 2u); // the sprite, then its mask
    EXPECT_EQ(grobs[1].width, 4u);
    EXPECT_EQ(grobs[1].height, 1u);
    EXPECT_FALSE(Dark(grobs[1], 0, 0));
    EXPECT_TRUE(Dark(grobs[1], 1, 0));
    EXPECT_TRUE(Dark(grobs[1], 2, 0));
    EXPECT_TRUE(Dark(grobs[1], 3, 0));
    EXPECT_TRUE(QFile::exists(dir.filePath("sprite-01.g04")));
    EXPECT_TRUE(QFile::exists(dir.filePath("sprite-01.mask.gro")));

    // No transparency at all: full masks, and said once.
    QImage opaque(2, 2, QImage::Format_RGB32);
    opaque.fill(Qt::white);
    r.source = pipeline::Source::File(save("opaque.png", opaque));
    const pipeline::Result full = pipeline::Convert(r);
    EXPECT_EQ(full.note, "no transparency: every mask is full");
    EXPECT_TRUE(Dark(listed(dir.filePath("sprite.lst"))[1], 1, 1));
}

// Pictures -> list -> PNGs -> list: the same bytes, for every kind and series.
TEST_F(Sprites, ListsRoundTripThroughPngs) {
    QStringList pictures;
    for (int i = 0; i < 3; ++i) {
        QImage picture(9 + 4 * i, 5 + i, QImage::Format_RGB32);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                picture.setPixel(x, y, qRgb(x * 23 % 256, y * 41 % 256, (x + y + i) * 17 % 256));
        pictures << save(QStringLiteral("p%1.png").arg(i), picture);
    }
    for (const grob::OutputKind& kind : grob::OutputKinds())
        for (const grob::Series series : {grob::Series::HP48, grob::Series::HP49}) {
            const QString ext = QString::fromLatin1(kind.extension.data(), kind.extension.size());
            SCOPED_TRACE(ext.toStdString());
            const QString list = dir.filePath("all." + ext + ".lst");
            pipeline::Request r = request(pictures[0], kind.extension.data());
            r.series = series;
            r.more = {pipeline::Source::File(pictures[1]), pipeline::Source::File(pictures[2])};
            r.outputs = {{Product::List, Target::File(list)}};
            ASSERT_TRUE(pipeline::Convert(r).ok());
            // The list's GROBs as numbered PNGs, in their true shades.
            pipeline::Request split = request(list);
            split.cutting.frames = true;
            split.outputs = {{Product::PicturePng, Target::Numbered(dir.filePath("back.png"))}};
            const pipeline::Result back = pipeline::Convert(split);
            ASSERT_TRUE(back.ok()) << back.line().toStdString();
            ASSERT_EQ(back.written.size(), 3u);
            pipeline::Request again = r;
            again.source = pipeline::Source::File(back.written[0]);
            again.more = {pipeline::Source::File(back.written[1]),
                          pipeline::Source::File(back.written[2])};
            again.outputs = {{Product::List, Target::File(dir.filePath("again.lst"))}};
            ASSERT_TRUE(pipeline::Convert(again).ok());
            EXPECT_EQ(testing_util::ReadAll(dir.filePath("again.lst")),
                      testing_util::ReadAll(list));
        }
    // All of them side by side with a one-pixel gap, when not split.
    pipeline::Request sheet = request(dir.filePath("all.gro.lst"));
    sheet.cutting.frames = true;
    sheet.outputs = {{Product::PicturePng, Target::File(dir.filePath("sheet.png"))}};
    ASSERT_TRUE(pipeline::Convert(sheet).ok());
    EXPECT_EQ(QImage(dir.filePath("sheet.png")).size(), QSize(9 + 13 + 17 + 2, 7));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
