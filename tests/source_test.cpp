// GROBs as source code, worked out by hand: a 5 x 6 arrow (rows 04 0A 0A 11
// 1F 04) and an 8 x 1 picture of 2 page-flipping frames (rows 81 and 83:
// levels 3 1 0 0 0 0 0 3). The C and XPM forms are also read back by their
// own tools: the C compiler and ImageMagick.
#include "assembler.h"
#include "grob/source.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

const grob::GrobObject kArrow{grob::Series::HP49, 5, 6, {0x04, 0x0A, 0x0A, 0x11, 0x1F, 0x04}};
const grob::GrobObject kFlip{grob::Series::HP49, 8, 2, {0x81, 0x83}, *grob::KindForFrames(2)};

void WriteText(const std::string& path, const std::string& text) {
    testing_util::WriteBytes(path, {text.begin(), text.end()});
}

std::string Source(grob::SourceForm form, const grob::GrobObject& object) {
    const grob::SourceSymbol symbols[] = {{&object, "arrow"}};
    return grob::SourceText(form, symbols, "arrow.png");
}

TEST(Source, EachFormOfTheArrow) {
    const std::string size = ": 5 x 6 dots (gro), 32 nibbles (16 bytes) with its prologue\n";
    EXPECT_EQ(Source(grob::SourceForm::SysRpl, kArrow),
              "* arrow" + size + "GROB 00016 600005000040A0A011F140\n");
    EXPECT_EQ(
        Source(grob::SourceForm::Saturn, kArrow),
        "* arrow" + size +
            "arrow\n        CON(5)  =DOGROB\n        REL(5)  arrow_end\n"
            "        CON(5)  6\n        CON(5)  5\n        NIBHEX  40A0A011F140\narrow_end\n");
    EXPECT_EQ(Source(grob::SourceForm::Masd, kArrow),
              "!NO CODE\n% arrow" + size + "*arrow\n$E1B20 $B1000 $60000 $50000\n$40A0A011F140\n@");
    EXPECT_NE(Source(grob::SourceForm::C, kArrow)
                  .find("[6] = {\n    0x04, 0x0A, 0x0A, 0x11, 0x1F, 0x04,\n};"),
              std::string::npos);
    EXPECT_NE(Source(grob::SourceForm::C, kFlip).find("[1] = {\n    (int)0xF000005F,\n};"),
              std::string::npos);
    EXPECT_NE(Source(grob::SourceForm::Xpm, kFlip)
                  .find("\"8 1 4 1\",\n\"0 c #FFFFFF\",\n\"1 c #AAAAAA\",\n\"2 c #555555\",\n"
                        "\"3 c #000000\",\n\"31000003\"\n};\n"),
              std::string::npos);
    // Arrow pixel i at bit i: 0x09F8A944, whose 2-bit parts sum to 20.
    EXPECT_EQ(Source(grob::SourceForm::NewRpl, kArrow),
              "@ arrow: 5 x 6 pixels (gro), 4 bytes\nBITMAPDATA MONO 5 6\nCfipRQ\n'arrow' STO\n");
    EXPECT_NE(Source(grob::SourceForm::NewRpl, kFlip).find("BITMAPDATA 16GR 8 1\n8AAAX7\n"),
              std::string::npos);
    EXPECT_EQ(grob::SymbolOf("dir.x/2 walk-1.gif"), "_2_walk_1");
}

// The C header compiled with every warning as an error, its arrays printed;
// the XPM read by ImageMagick as 8-bit grays.
TEST(Source, ReadBackByTheirTools) {
    const testing_util::ScratchDir dir;
    const grob::SourceSymbol symbols[] = {{&kArrow, "arrow"}, {&kFlip, "flip"}};
    WriteText(dir.file("a.h"), grob::SourceText(grob::SourceForm::C, symbols, "a"));
    WriteText(dir.file("main.c"),
              "#include <stdio.h>\n#include \"a.h\"\nint main(void) {\n"
              "  for (int i = 0; i < 6; ++i) printf(\"%02X\", arrow[i]);\n"
              "  printf(\" %d %d %d %d %08X\", arrow_width, arrow_height, flip_width, flip_height, "
              "(unsigned)flip[0]);\n  return 0;\n}\n");
    const std::string c = "cd '" + dir.path().string() + "' && ";
    ASSERT_EQ(std::system((c + "cc -std=c99 -Wall -Wextra -pedantic -Werror -o main main.c && "
                               "./main > out.txt")
                              .c_str()),
              0);
    const std::vector<std::uint8_t> out = testing_util::ReadBytes(dir.file("out.txt"));
    EXPECT_EQ(std::string(out.begin(), out.end()), "040A0A111F04 5 6 8 1 F000005F");
    WriteText(dir.file("f.xpm"),
              grob::SourceText(grob::SourceForm::Xpm, std::span(symbols).subspan(1), "f"));
    ASSERT_EQ(std::system((c + "convert f.xpm -depth 8 gray:f.raw").c_str()), 0);
    EXPECT_EQ(testing_util::ReadBytes(dir.file("f.raw")),
              (std::vector<std::uint8_t>{0x00, 0xAA, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}));
}

} // namespace

// The Saturn assembler form, assembled by the program's own Saturn
// assembler (which follows SASM's directives: labels in the first column,
// CON, REL, NIBHEX): each symbol's nibbles are the GROB object's, prologue
// 02B1E to the last row.
TEST(Source, SaturnFormAssemblesToTheObjects) {
    const grob::SourceSymbol symbols[] = {{&kArrow, "arrow"}, {&kFlip, "flip"}};
    const std::string source =
        "=DOGROB EQU #02B1E\n" + grob::SourceText(grob::SourceForm::Saturn, symbols, "a.png");
    EXPECT_EQ(saturn::Hex(saturn::Assemble(source)),
              // 02B1E, length 32 - 5 (#0001B), height 6, width 5, the rows.
              "E1B20B100060000500004"
              "0A0A011F140"
              // 02B1E, length 15 + 2 x 2 (#00013), height 2, width 8, the rows.
              "E1B2031000200008000018"
              "38");
}
