// Sprites, sheets and animations through the pipeline: tiles in order,
// refused or padded, empty ones left out; masks at half opacity; lists that
// round-trip through PNGs for every kind and series; numbered files; and
// the output plan that never lets a run replace one of its own pictures.
#include "conversion.h"
#include "grob/list.h"
#include "loader.h"
#include "targets.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace {

using pipeline::Output;
using pipeline::Product;
using pipeline::Target;

class Sprites : public ::testing::Test {
  protected:
    testing_util::ScratchDir dir;

    std::string path(const std::string& name) const { return dir.file(name); }
    std::string save(const std::string& name, const QImage& image) {
        image.save(QString::fromStdString(path(name)), "png");
        return path(name);
    }
    pipeline::Request request(const std::string& picture, const char* kind = "gro") {
        pipeline::Request r;
        r.source = pipeline::Source::File(picture);
        r.kind = *grob::KindForExtension(kind);
        r.series = grob::Series::HP48;
        return r;
    }
    // The GROBs of a list file.
    std::vector<grob::GrobObject> listed(const std::string& name) {
        return grob::ReadBinaryList(testing_util::ReadBytes(path(name)), "l").objects;
    }
};

// Dot (x, y) of a 1-bit GROB: set (dark) or not.
bool Dark(const grob::GrobObject& g, int x, int y) {
    return (g.body[std::size_t(y) * grob::RowStride(g.width) + std::size_t(x / 8)] >> (x % 8)) & 1;
}

// A sheet of 16 x 16 tiles from a pattern, row by row: B black, W white,
// H black at half opacity (128), C clear.
QImage Tiles(const std::vector<std::string>& rows) {
    QImage sheet(int(rows[0].size()) * 16, int(rows.size()) * 16, QImage::Format_ARGB32);
    for (int y = 0; y < sheet.height(); ++y)
        for (int x = 0; x < sheet.width(); ++x) {
            const char c = rows[std::size_t(y / 16)][std::size_t(x / 16)];
            sheet.setPixel(x, y,
                           c == 'B'   ? qRgba(0, 0, 0, 255)
                           : c == 'W' ? qRgba(255, 255, 255, 255)
                           : c == 'H' ? qRgba(0, 0, 0, 128)
                                      : qRgba(0, 0, 0, 0));
        }
    return sheet;
}

TEST_F(Sprites, TilesInOrderRefusedOrPaddedAndEmptyOnesLeftOut) {
    const QImage sheet = Tiles({"BWB", "WBW"});
    pipeline::Request r = request(save("sheet.png", sheet));
    r.cutting.tileWidth = r.cutting.tileHeight = 16;
    r.outputs = {{Product::List, Target::File(path("sheet.lst"))}};
    ASSERT_TRUE(pipeline::Convert(r).ok());
    auto tiles = listed("sheet.lst");
    ASSERT_EQ(tiles.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_EQ(Dark(tiles[i], 3, 3), i % 2 == 0) << i; // row by row: black, white, black, ...

    // Fitted, each tile on its own: six of 8 x 8 (the sheet fitted first
    // would be 8 x 5, not one whole tile).
    r.preparation.fit = {8, 8};
    ASSERT_TRUE(pipeline::Convert(r).ok());
    tiles = listed("sheet.lst");
    ASSERT_EQ(tiles.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_TRUE(tiles[i].width == 8 && Dark(tiles[i], 3, 3) == (i % 2 == 0)) << i;
    r.preparation = {};

    // The README's own example; ink at half opacity is ink, clear is empty.
    r.source = pipeline::Source::File(save("eight.png", Tiles({"BBHW", "BCWW"})));
    r.cutting.skipEmpty = true;
    const pipeline::Result kept = pipeline::Convert(r);
    ASSERT_TRUE(kept.ok()) << kept.line();
    EXPECT_EQ(listed("sheet.lst").size(), 4u);
    EXPECT_EQ(kept.notes, std::vector<std::string>{"tiles kept: 1-3, 5 of 8"});

    // 40 x 32: 8 pixels over across; refused, or padded with white and clear.
    r.source = pipeline::Source::File(save("narrow.png", sheet.copy(0, 0, 40, 32)));
    r.cutting.skipEmpty = false;
    const pipeline::Result refused = pipeline::Convert(r);
    EXPECT_EQ(refused.line(), path("narrow.png") +
                                  ": the picture is 40 x 32 pixels, not a whole number of 16 x 16 "
                                  "tiles: 8 pixels over across and 0 down (--tile-pad pads it "
                                  "with white)");
    r.cutting.tilePad = true;
    r.cutting.masks = true;
    ASSERT_TRUE(pipeline::Convert(r).ok());
    tiles = listed("sheet.lst"); // each tile, then its mask
    ASSERT_EQ(tiles.size(), 12u);
    EXPECT_TRUE(Dark(tiles[4], 7, 3));  // the black part of the third tile
    EXPECT_FALSE(Dark(tiles[4], 8, 3)); // its padding: white
    EXPECT_TRUE(Dark(tiles[5], 7, 3));  // its mask: opaque there
    EXPECT_FALSE(Dark(tiles[5], 8, 3)); // clear in the padding
}

TEST_F(Sprites, MasksAreDarkFromHalfOpacity) {
    // Black at opacity 125, 127 (light), 128 (50 %: dark), 130, and opaque.
    QImage sprite(5, 1, QImage::Format_ARGB32);
    const int alphas[] = {125, 127, 128, 130, 255};
    for (int x = 0; x < 5; ++x)
        sprite.setPixel(x, 0, qRgba(0, 0, 0, alphas[x]));
    pipeline::Request r = request(save("sprite.png", sprite), "g04");
    r.cutting.masks = true;
    r.outputs = {{Product::List, Target::File(path("sprite.lst"))},
                 {Product::Grob, Target::Numbered(path("sprite.g04"))}};
    const pipeline::Result made = pipeline::Convert(r);
    ASSERT_TRUE(made.ok()) << made.line();
    EXPECT_FALSE(made.fullMasks);
    const auto grobs = listed("sprite.lst");
    ASSERT_EQ(grobs.size(), 2u); // the sprite, then its mask
    EXPECT_EQ(grobs[1].width, 5u);
    EXPECT_EQ(grobs[1].height, 1u);
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(Dark(grobs[1], x, 0), alphas[x] >= 128) << alphas[x];
    EXPECT_TRUE(std::filesystem::exists(path("sprite-01.g04")));
    EXPECT_TRUE(std::filesystem::exists(path("sprite-01.mask.gro")));

    // No transparency at all: full masks, which the run says once.
    QImage opaque(2, 2, QImage::Format_RGB32);
    opaque.fill(Qt::white);
    r.source = pipeline::Source::File(save("opaque.png", opaque));
    EXPECT_TRUE(pipeline::Convert(r).fullMasks);
    EXPECT_TRUE(Dark(listed("sprite.lst")[1], 1, 1));

    // Fitted, the opacity with the picture: 10 x 2, clear in its left four
    // columns, fits 5 x 1 with the first two dots clear.
    QImage wide(10, 2, QImage::Format_ARGB32);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 10; ++x)
            wide.setPixel(x, y, qRgba(0, 0, 0, x < 4 ? 0 : 255));
    r.source = pipeline::Source::File(save("wide.png", wide));
    r.preparation.fit = {5, 1};
    ASSERT_FALSE(pipeline::Convert(r).fullMasks);
    const grob::GrobObject mask = listed("sprite.lst")[1];
    ASSERT_EQ(mask.width, 5u);
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(Dark(mask, x, 0), x >= 2) << x;
}

// A loaded picture fitted once for a run of previews (the window's cache)
// is encoded as any other: 13 x 1, the last dot dark, its padding cleared.
TEST_F(Sprites, FittedFromTheCacheAsAnyOther) {
    auto line = std::make_shared<grob::Image>(
        grob::Image{13, 1, std::vector<std::uint32_t>(13, 0xFFFFFFFFu)});
    line->pixels[12] = 0xFF000000u;
    pipeline::Request r;
    r.source = pipeline::Source::Loaded(line);
    r.preparation.fit = {131, 64};
    r.padding = grob::Padding::Clear;
    r.outputs = {{Product::Grob, Target::Memory()}};
    pipeline::FitCache cache;
    pipeline::Context context;
    context.fitCache = &cache;
    const pipeline::Result made = pipeline::Convert(r, context);
    ASSERT_TRUE(made.ok()) << made.line();
    EXPECT_EQ(made.object.body, (std::vector<std::uint8_t>{0x00, 0x10}));
}

// A picture file the window holds is held open, not read whole: an
// animation with 64 MiB of a hole after its end opened without the hole's
// memory, each frame decoded from the file as it is asked for, and a frame
// converted from the file as held (twelve dots on a 16 x 1 canvas, frame i
// adding dot i, black for odd i).
TEST_F(Sprites, HeldFileReadWhereItLies) {
    QByteArray gif = testing_util::WideAnimation();
    gif.replace(6, 4, QByteArray("\x10\0\x01\0", 4));
    const std::string name = path("dots.gif");
    testing_util::WriteAll(QString::fromStdString(name), gif);
    std::filesystem::resize_file(name, std::uintmax_t(gif.size()) + (64 << 20));
    const auto resident = [] {
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
            if (line.starts_with("VmRSS:")) return std::stoll(line.substr(6)) * 1024;
        return 0ll;
    };
    const long long before = resident();
    std::string error;
    const auto held = pipeline::HeldPicture::Open(name, {}, error);
    ASSERT_TRUE(held) << error;
    EXPECT_LT(resident() - before, 16 << 20);
    EXPECT_EQ(held->frames(), 12);
    const auto last = held->frame(11, nullptr, &error);
    ASSERT_TRUE(last) << error;
    EXPECT_EQ(last->pixels[11], 0xFF000000u);
    pipeline::Request r = request(name);
    r.source = pipeline::Source::Held(held->file(), name, 5);
    r.outputs = {{Product::Grob, Target::Memory()}};
    const pipeline::Result made = pipeline::Convert(r);
    ASSERT_TRUE(made.ok()) << made.line();
    for (int x = 0; x < 16; ++x)
        EXPECT_EQ(Dark(made.object, x, 0), x <= 5 && x % 2 == 1) << x;
}

// Pictures -> list -> PNGs -> list: the same bytes, for every kind and series.
TEST_F(Sprites, ListsRoundTripThroughPngs) {
    std::vector<std::string> pictures;
    for (int i = 0; i < 3; ++i) {
        QImage picture(9 + 4 * i, 5 + i, QImage::Format_RGB32);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                picture.setPixel(x, y, qRgb(x * 23 % 256, y * 41 % 256, (x + y + i) * 17 % 256));
        pictures.push_back(
            save(std::string("p").append(std::to_string(i)).append(".png"), picture));
    }
    for (const grob::OutputKind& kind : grob::OutputKinds())
        for (const grob::Series series : {grob::Series::HP48, grob::Series::HP49}) {
            const std::string ext(kind.extension);
            SCOPED_TRACE(ext);
            const std::string list = std::string("all.").append(ext).append(".lst");
            pipeline::Request r = request(pictures[0], kind.extension.data());
            r.series = series;
            r.more = {pipeline::Source::File(pictures[1]), pipeline::Source::File(pictures[2])};
            r.outputs = {{Product::List, Target::File(path(list))}};
            ASSERT_TRUE(pipeline::Convert(r).ok());
            // The list's GROBs as numbered PNGs, in their true shades.
            pipeline::Request split = request(path(list));
            split.wholeLists = true;
            split.outputs = {{Product::PicturePng, Target::Numbered(path("back.png"))}};
            const pipeline::Result back = pipeline::Convert(split);
            ASSERT_TRUE(back.ok()) << back.line();
            ASSERT_EQ(back.written.size(), 3u);
            pipeline::Request again = r;
            again.source = pipeline::Source::File(back.written[0]);
            again.more = {pipeline::Source::File(back.written[1]),
                          pipeline::Source::File(back.written[2])};
            again.outputs = {{Product::List, Target::File(path("again.lst"))}};
            ASSERT_TRUE(pipeline::Convert(again).ok());
            EXPECT_EQ(testing_util::ReadBytes(path("again.lst")),
                      testing_util::ReadBytes(path(list)));
        }
    // All of them side by side with a one-pixel gap, when not split.
    pipeline::Request sheet = request(path("all.gro.lst"));
    sheet.wholeLists = true;
    sheet.outputs = {{Product::PicturePng, Target::File(path("sheet.png"))}};
    ASSERT_TRUE(pipeline::Convert(sheet).ok());
    EXPECT_EQ(QImage(QString::fromStdString(path("sheet.png"))).size(), QSize(9 + 13 + 17 + 2, 7));
    // An empty list is said alike in both forms.
    testing_util::WriteBytes(path("empty.lst"), grob::BinaryList(grob::Series::HP48, {}));
    const std::string text = "%%HP: T(3)A(R)F(.);\r\n{\r\n}\r\n";
    testing_util::WriteBytes(path("empty.txt"), {text.begin(), text.end()});
    for (const char* name : {"empty.lst", "empty.txt"}) {
        pipeline::Request empty = request(path(name));
        empty.outputs = {{Product::Grob, Target::Memory()}};
        EXPECT_EQ(pipeline::Convert(empty).cause, "the list holds no GROB") << name;
    }
}

// Every output of a run, numbered names, masks, lists and previews
// included, is compared with every picture of the run before any work.
TEST_F(Sprites, NoOutputReplacesAPictureOfTheRun) {
    QImage dot(16, 8, QImage::Format_RGB32);
    dot.fill(Qt::black);
    const std::string a = save("a.png", dot), b = save("b.png", dot), w = save("w.png", dot);
    auto clashes = [](const std::vector<pipeline::Request>& run) {
        std::vector<std::string> said;
        for (const pipeline::Clash& clash : pipeline::CheckTargets(run))
            said.push_back(std::to_string(clash.request) + " " + clash.file + ": " + clash.cause);
        return said;
    };
    // A list whose output is one of its own further pictures.
    pipeline::Request list = request(a);
    list.more = {pipeline::Source::File(b)};
    list.outputs = {{Product::List, Target::File(b)}};
    EXPECT_EQ(clashes({list}), std::vector<std::string>{"0 " + b + ": the list of " + a +
                                                        " would replace the picture " + b});

    // Numbered tiles against a GROB given as another picture of the run.
    const std::string w01 = path("w-01.gro");
    testing_util::WriteBytes(w01, {1});
    pipeline::Request tiles = request(w);
    tiles.cutting.tileWidth = tiles.cutting.tileHeight = 8;
    tiles.outputs = {{Product::Grob, Target::Numbered(path("w.gro"))}};
    pipeline::Request grob = request(w01);
    grob.outputs = {{Product::Grob, Target::File(w01)}};
    EXPECT_EQ(clashes({tiles, grob}),
              (std::vector<std::string>{
                  "0 " + w01 + ": the GROB of " + w + " would replace the picture " + w01,
                  "1 " + w01 + ": it is the picture itself; it is not replaced"}));
    // Numbered masks and previews against the outputs of other requests.
    pipeline::Request masks = request(a);
    masks.cutting.masks = true;
    masks.outputs = {{Product::Grob, Target::Numbered(path("w.gro"))}};
    pipeline::Request one = request(b);
    one.outputs = {{Product::GrobText, Target::File(path("w-03.mask.gro"))}};
    EXPECT_EQ(clashes({masks, one}),
              std::vector<std::string>{"1 " + path("w-03.mask.gro") + ": the GROB of " + b +
                                       " would replace the GROB of " + a});
    pipeline::Request previews = request(b);
    previews.cutting.frames = true;
    previews.outputs = {{Product::PreviewPng, Target::Numbered(path("w.gro"))}};
    EXPECT_EQ(clashes({masks, previews}).size(), 1u);

    // A numbered file that already exists as a link to a picture of the run.
    ASSERT_EQ(::symlink(a.c_str(), path("w-02.gro").c_str()), 0);
    EXPECT_EQ(clashes({tiles, request(a)}),
              std::vector<std::string>{"0 " + path("w-02.gro") + ": the GROB of " + w +
                                       " would replace the picture " + a});
    // -o through a link to the picture.
    ASSERT_EQ(::symlink(a.c_str(), path("link.gro").c_str()), 0);
    pipeline::Request linked = request(a);
    linked.outputs = {{Product::Grob, Target::File(path("link.gro"))}};
    EXPECT_EQ(clashes({linked}), std::vector<std::string>{"0 " + path("link.gro") +
                                                          ": it is the picture itself; it is not "
                                                          "replaced"});
    // -o as another name of the picture (a hard link: one file, two paths).
    ASSERT_EQ(::link(a.c_str(), path("hard.gro").c_str()), 0);
    linked.outputs = {{Product::Grob, Target::File(path("hard.gro"))}};
    EXPECT_EQ(clashes({linked}).size(), 1u);
    // On FAT two names that differ only in case are one file: checked on a
    // FAT image where one can be mounted (as root, with dosfstools), else in
    // a folder taken to be caseless.
    const std::string fat = path("fat");
    const bool mounted = ::geteuid() == 0 && std::system(("{ mkdir " + fat + " && mkfs.vfat -C " +
                                                          fat + ".img 512 && mount -o loop " + fat +
                                                          ".img " + fat + "; } >/dev/null 2>&1")
                                                             .c_str()) == 0;
    if (!mounted) {
        std::filesystem::create_directories(fat);
        pipeline::TreatAsCaseless(fat);
    }
    pipeline::Request upper = request(a), lower = request(b), numbered = request(w);
    upper.outputs = {{Product::Grob, Target::File(fat + "/W.GRO")}};
    lower.outputs = {{Product::Grob, Target::File(fat + "/w.gro")}};
    numbered.outputs = {{Product::Grob, Target::Numbered(fat + "/W.GRO")}};
    const std::string tile = fat + "/w-01.gro";
    testing_util::WriteBytes(tile, {1});
    EXPECT_EQ(clashes({upper, lower, request(tile), numbered}),
              (std::vector<std::string>{
                  "1 " + fat + "/w.gro: the GROB of " + b + " would replace the GROB of " + a,
                  "3 " + tile + ": the GROB of " + w + " would replace the picture " + tile}));
    // And the picture itself under another case.
    const std::string own = save("fat/Own.png", dot);
    pipeline::Request itself = request(own);
    itself.outputs = {{Product::Grob, Target::File(fat + "/OWN.PNG")}};
    EXPECT_EQ(clashes({itself}), std::vector<std::string>{"0 " + fat +
                                                          "/OWN.PNG: it is the "
                                                          "picture itself; it is not replaced"});
    if (mounted) {
        EXPECT_EQ(std::system(("umount " + fat).c_str()), 0);
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
