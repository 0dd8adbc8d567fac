// The Saturn assembler against encodings worked out by hand from the
// published Saturn instruction table (nibbles in memory order; numbers low
// nibble first; relative jumps counted from the offset field, from the end
// of GOSUB's and GOSUBL's instruction, from after GOLONG's prefix), and the
// grayscale viewer built with it: its Code object, its files and the frames
// it is given.
#include "assembler.h"
#include "grob/viewer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Assembled(const std::string& source) {
    return saturn::Hex(saturn::Assemble(source));
}

TEST(SaturnAssembler, EncodesEachInstructionAsTheTableGivesIt) {
    const std::pair<const char*, const char*> cases[] = {
        // Memory through D0 and D1: the A and B fields' short forms, other
        // fields, and a count of nibbles.
        {"A=DAT0 A", "142"},
        {"C=DAT1 B", "14F"},
        {"DAT0=C X", "1543"},
        {"DAT0=A P", "1500"},
        {"C=DAT0 W", "1567"},
        {"A=DAT1 4", "15B3"},
        {"DAT0=A 2", "1581"},
        {"C=DAT0 1", "15E0"},
        // Pointers.
        {"D0=A", "130"},
        {"AD0EX", "132"},
        {"D1=C", "135"},
        {"D0=D0+ 10", "169"},
        {"D1=D1+ 5", "174"},
        {"D1=D1- 1", "1C0"},
        {"D0=(5) #00120", "1B02100"},
        {"D0=(2) #00128", "1982"},
        {"D1=(5) #00138", "1F83100"},
        {"D1=(2) #38", "1D83"},
        {"D0=(4) #0125", "1A5210"},
        {"D1=(4) #0138", "1E8310"},
        // Loads, P, scratch registers.
        {"LC(5) #02B1E", "34E1B20"},
        {"LC(3) #1FF", "32FF1"},
        {"LA(2) #1F", "80821F1"},
        {"P= 3", "23"},
        {"R0=A", "100"},
        {"R1=C", "109"},
        {"A=R3", "113"},
        {"C=R4", "11C"},
        {"AR2EX", "122"},
        // Register arithmetic: the A field's one-nibble forms, the others
        // with their field.
        {"A=A+B A", "C0"},
        {"C=C+C A", "C6"},
        {"C=C+D A", "CB"},
        {"A=A-1 A", "CC"},
        {"D=D+1 A", "E7"},
        {"A=A-C A", "EA"},
        {"A=0 W", "AF0"},
        {"B=A W", "AF8"},
        {"C=A W", "AF6"},
        {"D=C A", "D7"},
        {"C=0 P", "A82"},
        {"B=A WP", "A98"},
        {"A=A-B WP", "B10"},
        {"B=B-C WP", "B11"},
        {"CSR A", "F6"},
        {"ASL W", "BF0"},
        {"CSRB", "81E"},
        {"CSLC", "812"},
        {"C=C+CON A,7", "818F26"},
        {"C=C-CON A,16", "818FAF"},
        {"B=B-CON WP,3", "818192"},
        // Bits, the keyboard, interrupts.
        {"ABIT=0 5", "80845"},
        {"ABIT=1 0", "80850"},
        {"CBIT=0 15", "8088F"},
        {"OUT=C", "801"},
        {"C=IN", "803"},
        {"INTOFF", "808F"},
        {"INTON", "8080"},
        {"SETHEX", "04"},
        {"RTN", "01"},
        {"PC=(A)", "808C"},
        // Absolute jumps to ROM entries.
        {"GOVLNG #05143", "8D34150"},
        {"GOSBVL #0679B", "8FB9760"},
        // Directives.
        {"CON(5) #02DCC", "CCD20"},
        {"NIBHEX 8A0", "8A0"}};
    for (const auto& [line, nibbles] : cases)
        EXPECT_EQ(Assembled(std::string("        ") + line), nibbles) << line;
}

TEST(SaturnAssembler, CountsJumpsFromWhereEachInstructionDoes) {
    // Forward over two nibbles to the label at 6: GOTO from 1, GOSUB from 4.
    EXPECT_EQ(Assembled(" GOTO there\n NIBHEX 00\nthere"), "650000");
    EXPECT_EQ(Assembled(" GOSUB there\n NIBHEX 00\nthere"), "720000");
    // GOC from 1 to 5; GONC back from 2 to 0 (-2).
    EXPECT_EQ(Assembled(" GOC there\n NIBHEX 00\nthere"), "44000");
    EXPECT_EQ(Assembled("back NIBHEX 0\n GONC back"), "05EF");
    // GOLONG from 2 to 8; GOSUBL from 6 to 8.
    EXPECT_EQ(Assembled(" GOLONG there\n NIBHEX 00\nthere"), "8C600000");
    EXPECT_EQ(Assembled(" GOSUBL there\n NIBHEX 00\nthere"), "8E200000");
    // A test's GOYES counts from itself: forward 2, and back 5 to 0.
    EXPECT_EQ(Assembled(" ?A=0 A\n GOYES next\nnext"), "8A820");
    EXPECT_EQ(Assembled("back ?ABIT=1 15\n GOYES back"), "8087FBF");
    EXPECT_EQ(Assembled(" ?C>A A\n RTNYES"), "8B200");
    EXPECT_EQ(Assembled(" ?A=C W\n RTNYES"), "97200");
    EXPECT_EQ(Assembled(" ?B<C A\n RTNYES"), "8B500");
    // REL(5) from its own field; EQU names, with + and -.
    EXPECT_EQ(Assembled(" REL(5) end\n NIBHEX 0\nend"), "600000");
    EXPECT_EQ(Assembled("=ONE EQU 1\n CON(2) =ONE+#10-2"), "F0");
}

TEST(SaturnAssembler, RefusesWhatItCannotEncodeNamingTheLine) {
    const std::pair<std::string, int> cases[] = {
        {" RTN\n FROB A", 2},                                        // no such instruction
        {" GOYES there\nthere", 1},                                  // GOYES without a test
        {" ?A=0 A\n RTN", 2},                                        // a test without GOYES
        {" ?A=0 A", 1},                                              // a test at the end
        {" GOC far\n NIBHEX " + std::string(300, '0') + "\nfar", 1}, // too far
        {"x RTN\nx RTN", 2},                                         // a label twice
        {" GOVLNG =NOWHERE", 1},                                     // an unknown symbol
        {" A=0 Q", 1},                                               // not a field
        {" D0=D0+ 17", 1}};                                          // 1..16 nibbles
    for (const auto& [source, line] : cases) {
        try {
            saturn::Assemble(source);
            ADD_FAILURE() << "assembled: " << source;
        } catch (const saturn::AssemblyError& error) {
            EXPECT_EQ(error.line, line) << source << ": " << error.what();
        }
    }
}

std::string Nibbles(std::span<const std::uint8_t> nibbles) {
    return saturn::Hex({nibbles.begin(), nibbles.end()});
}

// The bytes of a file as nibbles, low nibble first, after the header.
std::string FileNibbles(const std::vector<std::uint8_t>& file) {
    std::string text;
    for (std::size_t i = 8; i < file.size(); ++i)
        text += std::string{"0123456789ABCDEF"[file[i] & 15], "0123456789ABCDEF"[file[i] >> 4]};
    return text;
}

TEST(GrayViewer, IsACodeObjectThatSavesAndRestoresTheRplPointers) {
    const std::string code = Nibbles(grob::ViewerCode());
    ASSERT_GT(code.size(), 200u);
    EXPECT_EQ(code.substr(0, 5), "CCD20"); // the Code prologue 02DCC
    // Its length counts itself and what follows.
    const std::string length(code.rbegin() + long(code.size()) - 10,
                             code.rbegin() + long(code.size()) - 5);
    EXPECT_EQ(std::stoul(length, nullptr, 16), code.size() - 5);
    EXPECT_EQ(code.substr(10, 7), "8FB9760");              // GOSBVL SAVPTR first
    EXPECT_NE(code.find("142164808C"), std::string::npos); // and on with RPL at the end
    // C=IN twice, in C=0 A / C=IN / CBIT=0 15 / RTN, an odd number of
    // nibbles apart: one of them is at an even address wherever the code lands.
    const std::size_t first = code.find("D28038088F01");
    const std::size_t second = code.find("D28038088F01", first + 1);
    ASSERT_NE(second, std::string::npos);
    EXPECT_EQ((second - first) % 2, 1u);
    EXPECT_NE(code.find("8F2D760"), std::string::npos); // GOSBVL GETPTR
    EXPECT_NE(code.find("1B82100"), std::string::npos); // D0=(5) LINECOUNT
    EXPECT_NE(code.find("1F83100"), std::string::npos); // D1=(5) TIMER2
    // The bytes the build assembles from the source: change them knowingly.
    std::uint64_t hash = 1469598103934665603u;
    for (const char c : code)
        hash = (hash ^ std::uint8_t(c)) * 1099511628211u;
    EXPECT_EQ(code.size(), 842u);
    EXPECT_EQ(hash, 16700383605571276387u) << code;
}

TEST(GrayViewer, FilesHoldTheCodeObject) {
    const auto file = grob::ViewerFile(grob::Series::HP48);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 8), "HPHP48-X");
    const std::string code = Nibbles(grob::ViewerCode());
    EXPECT_EQ(FileNibbles(file).substr(0, code.size()), code);
    EXPECT_EQ(file.size(), 8 + (code.size() + 1) / 2);
    const auto file49 = grob::ViewerFile(grob::Series::HP49);
    EXPECT_EQ(std::string(file49.begin(), file49.begin() + 8), "HPHP49-X");
    // MASD's form: the same digits in $ lines, between !NO CODE and @.
    const std::string masd = grob::ViewerMasdText();
    EXPECT_NE(masd.find("\n!NO CODE\n$" + code.substr(0, 64) + "\n"), std::string::npos);
    EXPECT_EQ(masd.back(), '@');
    std::string digits;
    for (std::size_t at = masd.find('$'); at != std::string::npos; at = masd.find('$', at + 1))
        digits += masd.substr(at + 1, masd.find('\n', at) - at - 1);
    EXPECT_EQ(digits, code);
}

// A 2-bit GROB of two pixels, levels 3 and 1: columns 0 and 1 (level 3's
// bits 0 and 1) and column 2 (level 1's bit 0) set: 0x07.
const grob::GrobObject kTwoPixels{grob::Series::HP48, 4, 1, {0x07}, *grob::KindForDepth(2)};

TEST(GrayViewer, SplitsAGrayscaleGrobIntoCentredFramesHeaviestFirst) {
    const grob::GrobObject frames = grob::ViewerFrames(kTwoPixels, "two.gro2");
    EXPECT_EQ(frames.kind.extension, "g04");
    EXPECT_EQ(frames.width, 131u);
    EXPECT_EQ(frames.height, 128u);
    ASSERT_EQ(frames.body.size(), 17u * 128);
    // Centred on 131 x 64: at column 64 (byte 8, bit 0), row 31. Frame 0
    // holds the levels' bit 1 (only level 3's), frame 1 their bit 0.
    std::vector<std::uint8_t> expected(17 * 128, 0);
    expected[31 * 17 + 8] = 0x01;
    expected[(64 + 31) * 17 + 8] = 0x03;
    EXPECT_EQ(frames.body, expected);
    // A page-flipping GROB of the screen's size is given as it is.
    const grob::GrobObject again = grob::ViewerFrames(frames, "two.g04");
    EXPECT_EQ(again.body, frames.body);
    EXPECT_EQ(again.height, 128u);
    // For the HP 49 series, frames of the 49g+'s and 50g's 80 lines.
    grob::GrobObject later = kTwoPixels;
    later.series = grob::Series::HP49;
    const grob::GrobObject tall = grob::ViewerFrames(later, "two.gro2");
    EXPECT_EQ(tall.height, 160u);
    EXPECT_EQ(tall.body[(80 + 39) * 17 + 8], 0x03); // frame 1, row (80 - 1) / 2
    // A 1-bit GROB has no shades to show.
    EXPECT_THROW(grob::ViewerFrames({grob::Series::HP48, 8, 1, {0x01}}, "one.gro"),
                 grob::GrobReadError);
}

TEST(GrayViewer, ProgramPutsTheFramesAndTheirShadesBeforeTheViewer) {
    const auto file = grob::ViewerProgram(grob::Series::HP48, kTwoPixels, "two.gro2");
    EXPECT_EQ(std::string(file.begin(), file.begin() + 8), "HPHP48-X");
    const std::string nibbles = FileNibbles(file);
    // The program's prologue 02D9D, then the GROB: 02B1E, its length
    // (15 + 2 x 17 x 128 = 4367 = #0110F), height 128, width 131.
    EXPECT_EQ(nibbles.substr(0, 25), "D9D20E1B20F0110"
                                     "08000"
                                     "38000");
    // After the body the real number 4 (exponent 0, the mantissa's
    // leading digit last, sign 0), the viewer, and the program's end.
    const std::size_t after = 25 + 2 * 17 * 128;
    EXPECT_EQ(nibbles.substr(after, 21), "33920"
                                         "000"
                                         "00000000000"
                                         "4"
                                         "0");
    const std::string code = Nibbles(grob::ViewerCode());
    EXPECT_EQ(nibbles.substr(after + 21, code.size()), code);
    EXPECT_EQ(nibbles.substr(after + 21 + code.size(), 5), "B2130");
    // A 16-shade GROB is told 16: 1.6 x 10^1.
    const grob::GrobObject sixteen{grob::Series::HP48, 4, 4, {0, 0, 0, 0}, *grob::KindForFrames(4)};
    const std::string tail = FileNibbles(grob::ViewerProgram(grob::Series::HP48, sixteen, "s.g16"));
    EXPECT_NE(tail.find("33920"
                        "100"
                        "0000000000"
                        "61"
                        "0" +
                        code.substr(0, 10)),
              std::string::npos);
}

} // namespace
