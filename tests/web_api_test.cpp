// The web page's API (web/api.h) natively, as the page calls it: the bytes
// of each series and the text forms, transparency composed with the
// desktop's own arithmetic, and what is refused before any decoding.
#include "api.h"
#include "codecs.h"
#include "grob/viewer.h"
#include "option_values.h"
#include "pictureloader.h"
#include "render.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> Result() {
    return {veldar_result(), veldar_result() + veldar_result_size()};
}

std::string Text() {
    return {reinterpret_cast<const char*>(veldar_result()), veldar_result_size()};
}

std::vector<std::uint8_t> Fixture(const std::string& name) {
    return testing_util::ReadBytes(VELDAR_TEST_DATA "/" + name);
}

} // namespace

TEST(WebApi, EachSeriesAndBothTextForms) {
    // A black and a white pixel: a 1-bit GROB of 2 x 1, its first dot set
    // and, as the classic bytes have it, the row's unused bits too (FD).
    // Nibbles low first: prologue 02B1E, size 00011 (15 + 2 x 1 byte),
    // height 00001, width 00002, the body.
    const std::uint8_t rgba[] = {0, 0, 0, 255, 255, 255, 255, 255};
    const std::vector<std::uint8_t> object = {0x1E, 0x2B, 0x10, 0x01, 0x00, 0x01,
                                              0x00, 0x20, 0x00, 0x00, 0xFD};
    for (const char* header : {"HPHP48-X", "HPHP49-X"}) {
        SCOPED_TRACE(header);
        const int series = header[5] == '8' ? 48 : 49;
        const std::string settings = "kind=gro\nseries=" + std::to_string(series);
        ASSERT_EQ(veldar_encode(rgba, 2, 1, settings.c_str()), 0) << veldar_message();
        std::vector<std::uint8_t> wanted(header, header + 8);
        wanted.insert(wanted.end(), object.begin(), object.end());
        const std::vector<std::uint8_t> grob = Result();
        EXPECT_EQ(grob, wanted);
        ASSERT_EQ(veldar_text(grob.data(), grob.size(), 0), 0);
        EXPECT_EQ(Text(), "%%HP: T(3)A(R)F(.);\r\nGROB 2 1 DF\r\n");
        ASSERT_EQ(veldar_text(grob.data(), grob.size(), 1), 0);
        EXPECT_EQ(Text(), "GROB 2 1 DF\r\n");
    }
    // The padding cleared (the page's check box): the row's unused bits 0.
    const auto encode = [&](const std::string& settings) {
        return veldar_encode(rgba, 2, 1, ("series=48\nclear-padding=true\n" + settings).c_str());
    };
    ASSERT_EQ(encode(""), 0) << veldar_message();
    EXPECT_EQ(Result().back(), 0x01);
    // A quarter turn clockwise: 1 x 2, the black dot on top (size 0000F + 4,
    // height 2, width 1).
    ASSERT_EQ(encode("rotate=90"), 0) << veldar_message();
    std::vector<std::uint8_t> turned = Result();
    ASSERT_EQ(turned.size(), 8u + 12u);
    EXPECT_EQ(turned[13], 0x02); // the height's low byte
    EXPECT_EQ((turned[15] >> 4) | (turned[16] << 4), 1);
    EXPECT_EQ(turned[18], 0x01);
    EXPECT_EQ(turned[19], 0x00);
    // Mirrored left to right: the black dot second.
    ASSERT_EQ(encode("flip=horizontal"), 0) << veldar_message();
    EXPECT_EQ(Result().back(), 0x02);
    // The crop: the white dot alone; one outside is refused in words.
    ASSERT_EQ(encode("crop=1x1+1+0"), 0) << veldar_message();
    EXPECT_EQ(Result().back(), 0x00);
    EXPECT_EQ(encode("crop=1x1+2+0"), 1);
    EXPECT_EQ(std::string(veldar_message()),
              "the crop 1x1+2+0 lies outside the picture, which is 2 x 1 pixels");
    // The table's names and values only, as the preferences file takes
    // them: not a turn or a threshold the table does not allow, not a
    // number that is none (the same setter refuses them everywhere).
    std::vector<std::string> refused{"rotate=45", "fit=131x", "kind=g17", "colour=red", "invert"};
    for (const grob::OptionEntry& option : grob::Options())
        if (testing_util::Numeric(option))
            for (const std::string& value : testing_util::NotValues(option))
                refused.push_back(std::string(option.name) + '=' + value);
    for (const std::string& setting : refused) {
        EXPECT_EQ(encode(setting), 1) << setting;
        EXPECT_NE(std::string(veldar_message()), "") << setting;
    }
    // A threshold where it has no effect is left out, as the table says: a
    // 4-shade GROB is the same with it and without it.
    ASSERT_EQ(encode("kind=gro2\nbrightness=10"), 0);
    const std::vector<std::uint8_t> plain = Result();
    ASSERT_EQ(encode("kind=gro2\nbrightness=10\nthreshold=40"), 0);
    EXPECT_EQ(Result(), plain);
    // The 1-bit kind: black lightened to 26 is white from 20 up.
    ASSERT_EQ(encode("brightness=10\nthreshold=20"), 0);
    EXPECT_EQ(Result().back(), 0x00);
}

TEST(WebApi, TransparencyComposedAsTheDesktopComposesIt) {
    // Every colour at every opacity: x the colour, y the opacity.
    QImage straight(256, 256, QImage::Format_ARGB32);
    std::vector<std::uint8_t> rgba;
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            const QRgb pixel = qRgba(x, 255 - x, x ^ 0x5A, y);
            straight.setPixel(x, y, pixel);
            rgba.insert(rgba.end(), {std::uint8_t(qRed(pixel)), std::uint8_t(qGreen(pixel)),
                                     std::uint8_t(qBlue(pixel)), std::uint8_t(y)});
        }
    }
    veldar_compose(rgba.data(), 256, 256);
    const QImage desktop = render::ComposeOverWhite(straight); // bytes R, G, B, opacity
    int differing = 0;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            for (int c = 0; c < 3; ++c)
                differing += rgba[std::size_t(y * 256 + x) * 4 + std::size_t(c)] !=
                             desktop.constScanLine(y)[x * 4 + c];
    EXPECT_EQ(differing, 0);
    // By hand: red 152 at opacity 229 is 136.50 premultiplied, which Qt's
    // rounding makes 136; with the 26 of white showing through, 162.
    EXPECT_EQ(rgba[std::size_t(229 * 256 + 152) * 4], 162);
}

// Pictures too large refused from their header alone, by the page as by the
// program's loader: the fixtures, and headers built here byte by byte (GIFs
// whose first frame gives the size behind colour tables of every size, a
// top-down bitmap, the same as a packed DIB). What is no picture or a list
// is the page's to tell apart.
TEST(WebApi, TooLargeRefusedFromTheHeaderAsTheProgramRefusesIt) {
    using Bytes = std::vector<std::uint8_t>;
    const auto le = [](Bytes& b, std::int64_t value, int size) {
        for (int i = 0; i < size; ++i)
            b.push_back(std::uint8_t(value >> 8 * i));
    };
    std::vector<Bytes> pictures;
    std::vector<std::string> sizes;
    for (const int n : {0, 3, 7}) {
        Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, std::uint8_t(0x80 | n), 0, 0};
        const Bytes table(3 * (std::size_t(2) << n)); // the colour table, black throughout
        gif.insert(gif.end(), table.begin(), table.end());
        // The frame: at N, N, 8192 x 8192, no table of its own; the screen
        // is as wide and high as it reaches.
        gif.push_back(0x2C);
        for (const int field : {n, n, 8192, 8192})
            le(gif, field, 2);
        gif.insert(gif.end(), {0, 2, 0, 0x3B}); // code size 2, no data, the trailer
        pictures.push_back(gif);
        sizes.push_back(std::to_string(8192 + n) + " x " + std::to_string(8192 + n));
    }
    Bytes bmp = {'B', 'M'};
    for (const auto& [value, size] :
         {std::pair{54, 4}, {0, 4}, {54, 4}, {40, 4}, {8192, 4}, {-8192, 4}, {1, 2}, {24, 2}})
        le(bmp, value, size);
    bmp.resize(54); // no compression, the rest 0
    pictures.push_back(bmp);
    pictures.push_back(Bytes(bmp.begin() + 14, bmp.end()));
    sizes.resize(pictures.size(), "8192 x 8192");
    const std::string limits = " pixels; at most 16384 x 16384 and 32 million pixels are accepted";
    for (const auto& [name, size] : {std::pair{"huge.png", "20000 x 20000"},
                                     {"huge.gif", "20000 x 20000"},
                                     {"huge.jpg", "8000 x 6000"},
                                     {"huge.bmp", "20000 x 100"}}) {
        pictures.push_back(Fixture(name));
        sizes.push_back(size);
    }
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        const Bytes& bytes = pictures[i];
        SCOPED_TRACE(sizes[i] + " " + std::to_string(i));
        const std::string refusal = "the picture is " + sizes[i] + limits;
        EXPECT_EQ(veldar_peek_picture(bytes.data(), bytes.size()), 1);
        EXPECT_EQ(veldar_message(), refusal);
        const auto header = pictureloader::Recognise(bytes).header(bytes, {});
        ASSERT_TRUE(header.has_value());
        EXPECT_EQ(pictureloader::LoadBytes(bytes).error, refusal);
    }
    const auto small = Fixture("codecs-interlaced.png");
    ASSERT_EQ(veldar_peek_picture(small.data(), small.size()), 0);
    EXPECT_EQ(veldar_result_info(0), 12);
    EXPECT_EQ(veldar_result_info(1), 8);
    const auto list = Fixture("list-two-8x2.lst");
    EXPECT_EQ(veldar_peek_picture(list.data(), list.size()), 3);
    EXPECT_EQ(veldar_is_grob(list.data(), list.size()), 1);
    // A list's GROBs one at a time; a kind chosen reads 8 dots as 2 of 4 shades.
    ASSERT_EQ(veldar_read_grob(list.data(), list.size(), "list-two-8x2.lst", -1, 1), 0);
    EXPECT_EQ(veldar_result_width() * 10 + veldar_result_info(2), 82);
    ASSERT_EQ(veldar_read_grob(list.data(), list.size(), "list-two-8x2.lst", 1, 0), 0);
    EXPECT_EQ(veldar_result_width() * 10 + veldar_result_info(1), 41);
    EXPECT_EQ(veldar_read_grob(list.data(), list.size(), "list-two-8x2.lst", -1, 2), 1);
    EXPECT_STREQ(veldar_message(), "it has no GROB 3");
}

TEST(WebApi, DecodedByTheProgramsDecoders) {
    // Upright and composed as the decoders give it, fitted as a conversion
    // asks (a JPEG at a smaller scale first), every frame when asked for.
    const std::vector<std::uint8_t> jpeg = Fixture("codecs-photo-orient6.jpg");
    for (const char* settings : {"", "fit=40x30\nrotate=90"}) {
        SCOPED_TRACE(settings);
        ASSERT_EQ(veldar_decode(jpeg.data(), jpeg.size(), settings, 0), 0) << veldar_message();
        codecs::DecodeOptions options;
        if (*settings) options = {.fit = {30, 40}, .fitted = true};
        const codecs::Decoded decoded = codecs::Decode(jpeg, codecs::Sniff(jpeg), options);
        ASSERT_TRUE(decoded.ok());
        EXPECT_EQ(veldar_result_width(), *settings ? 27 : 159);
        EXPECT_EQ(veldar_result_height(), decoded.image.height);
        const auto* pixels = reinterpret_cast<const std::uint8_t*>(decoded.image.pixels.data());
        EXPECT_EQ(Result(), std::vector(pixels, pixels + 4 * decoded.image.pixels.size()));
    }
    const std::vector<std::uint8_t> gif = Fixture("codecs-frames.gif");
    ASSERT_EQ(veldar_decode(gif.data(), gif.size(), "", 1), 0);
    EXPECT_EQ(veldar_result_info(0), 4);
    // The frames one after another, as the decoder composes them, with
    // their delays (codecs-frames.gif: 4 x 4, 200, 100, 50 and 100 ms).
    {
        std::string error;
        std::vector<std::uint8_t> frames;
        for (const codecs::Frame& frame : codecs::DecodeGifFrames(gif, {}, &error)) {
            const auto* pixels = reinterpret_cast<const std::uint8_t*>(frame.image.pixels.data());
            frames.insert(frames.end(), pixels, pixels + 4 * frame.image.pixels.size());
        }
        EXPECT_EQ(frames.size(), 4u * 4 * 4 * 4) << error;
        EXPECT_EQ(veldar_result_width() * 10 + veldar_result_height(), 44);
        EXPECT_EQ(Result(), frames);
        const int delays[] = {200, 100, 50, 100};
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(veldar_result_number(i), delays[i]);
    }
    // One frame on a canvas of exactly as many pixels as a picture may
    // have is held; the frames of a GIF damaged in its last are refused,
    // and a refusal leaves no result behind.
    const std::vector<std::uint8_t> limit = Fixture("limit-16384x2048.gif");
    ASSERT_EQ(veldar_decode(limit.data(), limit.size(), "", 1), 0) << veldar_message();
    EXPECT_EQ(veldar_result_info(0), 1);
    std::vector<std::uint8_t> damaged = gif;
    damaged.end()[-4] = 0xFF; // the last frame's first code, 7, not yet in its table
    EXPECT_EQ(veldar_decode(damaged.data(), damaged.size(), "", 1), 1);
    EXPECT_STREQ(veldar_message(),
                 "the GIF data is damaged (Image is defective, decoding aborted)");
    EXPECT_EQ(veldar_result_size() + veldar_result_info(0), 0u);
    // Frames together as large as one picture may be: four frames of a
    // 16384 x 2048 canvas are too many (the page then shows the first),
    // the first alone is given.
    const std::vector<std::uint8_t> wide = Fixture("gif-wide-canvas.gif");
    ASSERT_EQ(veldar_decode(wide.data(), wide.size(), "", 1), 1);
    EXPECT_STREQ(veldar_message(),
                 "the animation has too many frames of this size to hold at once");
    EXPECT_EQ(veldar_result_size() + veldar_result_width() + veldar_result_info(0), 0u);
    ASSERT_EQ(veldar_decode(wide.data(), wide.size(), "", 0), 0);
    EXPECT_EQ(veldar_result_size(), std::size_t(16384) * 2048 * 4);
    const std::vector<std::uint8_t> scans = Fixture("codecs-scans.jpg");
    EXPECT_EQ(veldar_decode(scans.data(), scans.size(), "", 0), 1);
}

TEST(WebApi, SpritesListOfTilesAndMasks) {
    // 16 x 8: the right tile clear throughout (its colour black), so left
    // out; the left one black but for row 0's right half, which is white,
    // and rows 4-7 at opacity 128 on the left, 127 on the right.
    std::vector<std::uint8_t> rgba;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            const std::uint8_t shade = y == 0 && x >= 4 && x < 8 ? 255 : 0;
            const std::uint8_t opacity = x >= 8 ? 0 : y < 4 ? 255 : x < 4 ? 128 : 127;
            rgba.insert(rgba.end(), {shade, shade, shade, opacity});
        }
    // kind gro, HP 49, no preparation; tiles 8 x 8, skip empty, masks.
    std::vector<std::uint8_t> twice = rgba;
    twice.insert(twice.end(), rgba.begin(), rgba.end());
    const auto sprites = [&](int frames, int tileWidth, int tilePad, int text,
                             const std::string& more = {}) {
        const std::string settings =
            more + "kind=gro\nskip-empty=true\nmask=true\ntile=" + std::to_string(tileWidth) +
            "x8\nframes=" + (frames ? "true" : "false") +
            "\ntile-pad=" + (tilePad ? "true" : "false") + "\ntext=" + (text ? "true" : "false");
        return veldar_sprites(twice.data(), 16, 8, 1 + frames, 0, settings.c_str());
    };
    // Each row a byte, its first dot the low bit; in the text, low digit first.
    // The GROB: 0F, then FF (black), then 0F (127 composed is still dark).
    // The mask: dark where at least half opaque: FF, then 0F.
    ASSERT_EQ(sprites(0, 8, 0, 1), 0) << veldar_message();
    EXPECT_EQ(Text(), "%%HP: T(3)A(R)F(.);\r\n{\r\nGROB 8 8 F0FFFFFFF0F0F0F0\r\n"
                      "GROB 8 8 FFFFFFFFF0F0F0F0\r\n}\r\n");
    EXPECT_EQ(std::string(veldar_message()), "tiles kept: 1 of 2");
    // The mask dark from opacity 127, or only from 129: rows 4-7 all dark, or none.
    ASSERT_EQ(sprites(0, 8, 0, 1, "mask-opacity=127\n"), 0) << veldar_message();
    EXPECT_NE(Text().find("GROB 8 8 FFFFFFFFFFFFFFFF\r\n}"), std::string::npos) << Text();
    ASSERT_EQ(sprites(0, 8, 0, 1, "mask-opacity=129\n"), 0) << veldar_message();
    EXPECT_NE(Text().find("GROB 8 8 FFFFFFFF00000000\r\n}"), std::string::npos) << Text();
    // Binary: header 8 bytes; prologue 5 nibbles, each GROB 20 + 16, end 5.
    ASSERT_EQ(sprites(0, 8, 0, 0), 0);
    EXPECT_EQ(veldar_result_size(), 8u + (5 + 2 * 36 + 5) / 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(veldar_result()), 8), "HPHP49-X");
    // Two frames (the same picture twice): tiles 1 and 3 of 4 kept.
    ASSERT_EQ(sprites(1, 8, 0, 1), 0);
    EXPECT_EQ(veldar_result_info(0), 4);
    EXPECT_EQ(std::string(veldar_message()), "tiles kept: 1, 3 of 4");
    ASSERT_EQ(sprites(0, 5, 0, 1), 1);
    EXPECT_EQ(std::string(veldar_message()),
              "the picture is 16 x 8 pixels, not a whole number of 5 x 8 tiles: 1 pixels over "
              "across and 0 down (choose to pad the last tiles)");
    // Padded: four 5 x 8 tiles across, the fourth padded; the last two clear.
    ASSERT_EQ(sprites(0, 5, 1, 1), 0) << veldar_message();
    EXPECT_EQ(std::string(veldar_message()), "tiles kept: 1-2 of 4");
    // What goes with tiles has no effect without them: no tiles to keep.
    ASSERT_EQ(veldar_sprites(twice.data(), 16, 8, 1, 0, "skip-empty=true\ntile=none\nfit=none"), 0);
    EXPECT_EQ(std::string(veldar_message()), "");
    // 2000 x 1000: its GROB fits in a list (250,010 bytes), not with its
    // mask too; refused before any is made, as the program refuses it.
    const std::vector<std::uint8_t> wide(std::size_t(2000) * 1000 * 4, 255);
    EXPECT_EQ(veldar_sprites(wide.data(), 2000, 1000, 1, 0, "kind=gro"), 0);
    EXPECT_EQ(veldar_sprites(wide.data(), 2000, 1000, 1, 0, "kind=gro\nmask=true"), 2);
    EXPECT_TRUE(
        std::string(veldar_message()).ends_with("fit the pictures smaller, or make several lists"))
        << veldar_message();
}

TEST(WebApi, ViewerProgramOfTheGrobAndTheViewerAlone) {
    // A 3 x 2 picture of four grays: each grayscale kind's GROB, of either
    // series, with the viewer in one program, as --viewer writes photo.prg.
    const std::uint8_t rgba[] = {0,   0,   0,   255, 85, 85, 85, 255, 170, 170, 170, 255,
                                 255, 255, 255, 255, 0,  0,  0,  255, 170, 170, 170, 255};
    const auto& kinds = grob::OutputKinds();
    int made = 0;
    for (std::size_t k = 0; k < kinds.size(); ++k)
        for (const int series : {48, 49}) {
            const std::string kind(kinds[k].extension);
            SCOPED_TRACE(kind + " HP " + std::to_string(series));
            const std::string settings = "kind=" + kind + "\nseries=" + std::to_string(series);
            ASSERT_EQ(veldar_encode(rgba, 3, 2, settings.c_str()), 0) << veldar_message();
            const std::vector<std::uint8_t> file = Result();
            if (kinds[k].shades() < 4) {
                // The 1-bit GROB has no shades to show: refused in words.
                EXPECT_EQ(veldar_viewer_program(file.data(), file.size(), int(k)), 1);
                EXPECT_NE(std::string(veldar_message()).find("1-bit"), std::string::npos)
                    << veldar_message();
                continue;
            }
            grob::GrobObject object = grob::ReadBinaryGrob(file, "photo." + kind);
            object.kind = kinds[k];
            const std::vector<std::uint8_t> wanted = grob::ViewerProgram(
                series == 48 ? grob::Series::HP48 : grob::Series::HP49, object, "photo." + kind);
            ASSERT_EQ(veldar_viewer_program(file.data(), file.size(), int(k)), 0)
                << veldar_message();
            const std::vector<std::uint8_t> program = Result();
            EXPECT_EQ(program, wanted);
            EXPECT_NE(program, file);
            EXPECT_EQ(std::string(program.begin(), program.begin() + 6),
                      "HPHP" + std::to_string(series));
            // The viewer's code is in it, after the frames and the shades.
            const auto code = grob::ViewerCode();
            EXPECT_GT(program.size(), file.size() + code.size() / 2);
            ++made;
        }
    EXPECT_EQ(made, 2 * 6);
    // An index that is no kind's, or a damaged GROB: refused.
    ASSERT_EQ(veldar_encode(rgba, 3, 2, "kind=gro2"), 0);
    const std::vector<std::uint8_t> twoBit = Result();
    EXPECT_EQ(veldar_viewer_program(twoBit.data(), twoBit.size(), -1), 1);
    EXPECT_EQ(veldar_viewer_program(twoBit.data(), twoBit.size(), int(kinds.size())), 1);
    const std::vector<std::uint8_t> damaged(twoBit.begin(), twoBit.end() - 2);
    EXPECT_EQ(veldar_viewer_program(damaged.data(), damaged.size(), 1), 1);
    EXPECT_NE(std::string(veldar_message()), "");

    // The viewer alone, GV, for each series.
    for (const int series : {48, 49}) {
        ASSERT_EQ(veldar_viewer_file(series), 0) << veldar_message();
        EXPECT_EQ(Result(),
                  grob::ViewerFile(series == 48 ? grob::Series::HP48 : grob::Series::HP49))
            << series;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(veldar_result()), 6),
                  "HPHP" + std::to_string(series));
    }
    EXPECT_NE(Result(), std::vector<std::uint8_t>());
    EXPECT_EQ(veldar_viewer_file(50), 1);
}
