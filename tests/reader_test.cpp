// Reading GROBs and lists of GROBs back: every kind and series round-trips
// through text, the text form is the calculators' own, text is found as
// people have it, and every kind of damage is refused with its cause.
#include "grob/encoders.h"
#include "grob/list.h"
#include "grob/player.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes B(const std::string& text) {
    return {text.begin(), text.end()};
}

Bytes Fixture(const char* name) {
    return testing_util::ReadBytes(std::string(VELDAR_TEST_DATA "/") + name);
}

Bytes Edit(Bytes bytes, std::size_t at, std::uint8_t value) {
    if (at >= bytes.size()) bytes.resize(at + 1); // longer
    bytes[at] = value;
    return bytes;
}

// What a reader says about the bytes: its cause, or "read".
template <typename Reader> std::string Cause(Reader read, const Bytes& bytes) {
    try {
        read(bytes, "bad.g04");
        return "read";
    } catch (const grob::GrobReadError& e) {
        EXPECT_NE(std::string(e.what()).find("bad.g04"), std::string::npos);
        return e.cause().empty() ? "(empty)" : e.cause();
    }
}

template <typename Reader>
void ExpectCauses(Reader read, std::vector<std::pair<Bytes, const char*>> cases) {
    for (const auto& [bytes, cause] : cases)
        EXPECT_NE(Cause(read, bytes).find(cause), std::string::npos) << Cause(read, bytes);
}

TEST(Reader, EveryKindAndSeriesRoundTrips) {
    std::mt19937 random(1206);
    for (const auto& [w, h] : {std::pair(8, 8), {13, 5}, {131, 64}, {1, 1}, {30, 9}, {17, 3}}) {
        grob::MemoryRaster picture(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                picture.setPixel(x, y, std::uint32_t(random()));
        for (const auto& kind : grob::OutputKinds())
            for (const auto series : {grob::Series::HP48, grob::Series::HP49}) {
                SCOPED_TRACE(std::string(kind.extension) + " " + std::to_string(w));
                const Bytes file = grob::EncodeGrob(kind, picture, series);
                // Binary -> text -> binary; the body is one token ending the second line.
                const Bytes text = B(grob::TextGrob(grob::ReadBinaryGrob(file, "f")));
                EXPECT_EQ(std::count(text.begin(), text.end(), ' '), 4);
                EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
                ASSERT_TRUE(grob::LooksLikeTextGrob(text));
                grob::GrobObject back = grob::ReadTextGrob(text, "t");
                back.series = series;
                EXPECT_EQ(grob::BinaryGrob(back), file);
            }
    }
}

TEST(Reader, TextFormAsTheCalculatorsWriteIt) {
    // The digits a calculator shows for this 13 x 5 GROB.
    const grob::GrobObject object{
        grob::Series::HP49, 13, 5, {0x97, 0xF3, 0x91, 0xF4, 0x93, 0xF3, 0x91, 0xE2, 0x91, 0xF4}};
    EXPECT_EQ(grob::TextGrob(object), "%%HP: T(3)A(R)F(.);\r\nGROB 13 5 793F194F393F192E194F\r\n");
    EXPECT_EQ(grob::TextGrob(object, grob::TextHeader::Without),
              "GROB 13 5 793F194F393F192E194F\r\n");
    // A calculator's file, bare and padded by XModem: the dots drawn by hand.
    const char* dots[] = {"#.......#", ".#.....#.", "..#####..",
                          "..#.#.#..", ".#######.", "#########"};
    for (const char* name : {"text-9x6.gro", "xmodem-9x6.gro"}) {
        ASSERT_TRUE(grob::LooksLikeTextGrob(Fixture(name))) << name;
        const auto shades = grob::ShadesOf(grob::ReadTextGrob(Fixture(name), name),
                                           grob::OutputKinds()[0], name, 100, 100);
        ASSERT_EQ(shades.width * shades.height, 9 * 6);
        for (int i = 0; i < 9 * 6; ++i)
            EXPECT_EQ(shades.levels[std::size_t(i)], dots[i / 9][i % 9] == '#') << i;
    }
}

TEST(Reader, TextIsFoundAsPeopleHaveIt) {
    // Among prose that says GROB first, digits split by spaces and line
    // breaks, lower case; a word of hexadecimal letters after it is prose.
    const std::string bare = "GROB 9 2 1F0001F0";
    std::vector<Bytes> forms = {
        B(std::string(5000, '.') + "\nA GROB I made:\n GROB 9 2 1f 0\n 0\n01 F0\nAdded a dot!\n"),
        B("\xEF\xBB\xBF" + bare), B("\xEF\xBB\xBF%%HP: T(3);\n" + bare),
        B(bare + "\x1A\x1A" + std::string(3, '\0'))};
    Bytes little, big = {0}; // UTF-16 of either order, with and without its mark
    for (const char c : "%%HP: T(3);\r\n" + bare)
        little.insert(little.end(), {std::uint8_t(c), 0});
    big.insert(big.end(), little.begin(), little.end() - 1);
    auto marked = [](Bytes mark, const Bytes& text) {
        mark.insert(mark.end(), text.begin(), text.end());
        return mark;
    };
    forms.insert(forms.end(),
                 {little, big, marked({0xFF, 0xFE}, little), marked({0xFE, 0xFF}, big)});
    for (const Bytes& form : forms) {
        EXPECT_TRUE(grob::LooksLikeTextGrob(form));
        const auto object = grob::ReadTextGrob(form, "p");
        EXPECT_EQ(object.width * 100 + object.height, 902u);
        EXPECT_EQ(object.body, (Bytes{0xF1, 0x00, 0x10, 0x0F})); // low digit first
    }
    // A word of one letter after the body is prose, not another digit.
    const auto cat = grob::ReadTextGrob(B("GROB 8 1 FF a cat"), "c");
    EXPECT_EQ(cat.width * 10 + cat.height, 81u);
    EXPECT_EQ(cat.body, Bytes{0xFF});
    // Binary data stays binary, even with the word in it.
    Bytes binary =
        grob::EncodeGrob(grob::OutputKinds()[0], grob::MemoryRaster(8, 8, 0), grob::Series::HP48);
    binary.insert(binary.end(), bare.begin(), bare.end());
    EXPECT_FALSE(grob::LooksLikeTextGrob(binary));
}

TEST(Reader, FixturesOfEveryHeaderLetterAndEmptyGrobs) {
    const std::tuple<const char*, const char*, grob::Series, Bytes> files[] = {
        {"r48.gro", "gro", grob::Series::HP48, {1, 0, 0, 0, 0, 0, 0, 1, 0, 1, 1, 1, 1, 1, 1, 0}},
        {"e49.gro2", "gro2", grob::Series::HP49, {0, 1, 2, 3}},
        {"w48.g04", "g04", grob::Series::HP48, {0, 1, 2, 3, 3, 2, 1, 0}}};
    for (const auto& [name, extension, series, levels] : files) {
        const auto object = grob::ReadBinaryGrob(Fixture(name), name);
        EXPECT_EQ(object.series, series);
        EXPECT_EQ(grob::ShadesOf(object, *grob::KindForExtension(extension), name, 9, 99).levels,
                  levels);
    }
    // Empty GROBs are objects: read in both forms, pictures without pixels.
    for (const auto& [w, h] : {std::pair(0u, 0u), {8u, 0u}, {0u, 5u}}) {
        const grob::GrobObject empty{grob::Series::HP48, w, h, {}};
        for (const auto& object : {grob::ReadBinaryGrob(grob::BinaryGrob(empty), "b"),
                                   grob::ReadTextGrob(B(grob::TextGrob(empty)), "t")}) {
            EXPECT_EQ(object.width * 10 + object.height, w * 10 + h);
            for (const auto& kind : grob::OutputKinds())
                EXPECT_TRUE(grob::ShadesOf(object, kind, "e", 9, 9).levels.empty());
        }
    }
}

TEST(Reader, DamageIsRefusedWithItsCause) {
    const Bytes good = grob::EncodeGrob(*grob::KindForExtension("g04"),
                                        grob::MemoryRaster(10, 3, 0), grob::Series::HP48);
    ExpectCauses(grob::ReadBinaryGrob,
                 {{Bytes(good.begin(), good.begin() + 12), "head is cut short"},
                  {Edit(good, 7, '1'), "not a letter"},
                  {Edit(good, 8, 0x1F), "prologue is 02B1F"},
                  {Edit(good, 10, good[10] | 1), "prologue is 12B1E"},
                  {Fixture("list-two-8x2.lst"), "prologue is 02A74"},
                  {Edit(good, 11, 0x03), "size field"},
                  {Bytes(good.begin(), good.end() - 1), "cut short"},
                  {Edit(good, good.size(), 0), "follow"}});
    ExpectCauses(grob::ReadTextGrob,
                 {{B("GROB 8 2 FF\r\n\r\n"), "cut short: 2 of 4 digits"},
                  {B("GROB 8 1 FG"), "hexadecimal digit: \"G\""},
                  {B("GROB 8 1 FF0"), "longer"},
                  {B("GROB 8 2\r\nFF\r\nFF\r\nFF\r\n"), "longer"}, // a third row after a break
                  {B("GROB 8 1 FF 00"), "longer"},
                  {B("A GROB: GROB x 1 FF"), "width"},
                  {B("GROB 8 x\nGROB 8 2 FF"), "cut short"}, // the first with two numbers
                  {B("GROB 99999999 99999999 0"), "larger"},
                  // 2^64 + 8: never wrapped round to a width of 8.
                  {B("GROB 18446744073709551624 1 FF"), "width is larger"},
                  {B("GROB 1048575 1048575 0"), "larger than a GROB"}, // nothing allocated
                  {B("No object here"), "holds no"}});
    // Every cut and every changed byte is read or refused with a cause.
    const Bytes text = B(grob::TextGrob(grob::ReadBinaryGrob(good, "g")));
    for (const Bytes& whole : {good, text, Fixture("list-two-8x2.lst")})
        for (std::size_t at = 0; at < whole.size(); ++at)
            for (const Bytes& bytes : {Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(at)),
                                       Edit(whole, at, whole[at] ^ 0x41)}) {
                EXPECT_NE(Cause(grob::ReadBinaryGrob, bytes), "(empty)");
                EXPECT_NE(Cause(grob::ReadTextGrob, bytes), "(empty)");
                EXPECT_NE(Cause(grob::ReadBinaryList, bytes), "(empty)");
                EXPECT_NE(Cause(grob::ReadTextList, bytes), "(empty)");
            }
    // Sizes that do not fit the kind the name gives, or the pixel limit.
    const auto object = grob::ReadBinaryGrob(good, "g"); // 10 x 6
    for (const auto& [extension, pixels] : {std::pair("g16", 100), {"gro4", 100}, {"gro", 59}})
        EXPECT_THROW(grob::ShadesOf(object, *grob::KindForExtension(extension), "g", 100, pixels),
                     grob::GrobReadError);
    EXPECT_EQ(grob::ShadesOf(object, *grob::KindForExtension("gro2"), "g", 100, 100).width, 5);
}

TEST(List, BytesWorkedOutByHandInBothForms) {
    // The nibble stream after "HPHP49-X": list 4 7 A 2 0; each GROB E 1 B 2 0,
    // size 19 as 3 1 0 0 0, height 2 0 0 0 0, width 8 0 0 0 0, body 1 8 E 7
    // (then F 0 0 F); end B 2 1 3 0. Paired low nibble first: 74 2A E0 B1 02
    // 13 00 20 00 00 08 00 10 E8 E7 B1 02 13 00 20 00 00 08 00 F0 00 BF 12 03.
    const Bytes file = Fixture("list-two-8x2.lst");
    const std::vector<grob::GrobObject> two = {{grob::Series::HP49, 8, 2, {0x81, 0x7E}},
                                               {grob::Series::HP49, 8, 2, {0x0F, 0xF0}}};
    EXPECT_EQ(grob::BinaryList(grob::Series::HP49, two), file);
    EXPECT_TRUE(grob::LooksLikeBinaryList(file));
    const grob::GrobList list = grob::ReadBinaryList(file, "l");
    EXPECT_EQ(grob::BinaryList(list.series, list.objects), file);
    const std::string text = grob::TextList(list.objects);
    EXPECT_EQ(text, "%%HP: T(3)A(R)F(.);\r\n{\r\nGROB 8 2 18E7\r\nGROB 8 2 F00F\r\n}\r\n");
    EXPECT_EQ(grob::TextList(list.objects, "l", grob::TextHeader::Without),
              "{\r\nGROB 8 2 18E7\r\nGROB 8 2 F00F\r\n}\r\n");
    for (const Bytes& form : {B(text), B("Sprites: { GROB 8 2 18E7 GROB 8 2 F00F } (two)")}) {
        EXPECT_TRUE(grob::LooksLikeTextList(form));
        EXPECT_EQ(grob::BinaryList(grob::Series::HP49, grob::ReadTextList(form, "t").objects),
                  file);
    }
    EXPECT_FALSE(grob::LooksLikeTextList(B("GROB 8 1 FF then { GROB 8 1 FF }")));
    EXPECT_FALSE(grob::LooksLikeTextList(B("x{ GROB 8 1 FF }"))); // a brace inside a word
    EXPECT_FALSE(grob::LooksLikeBinaryList(Fixture("r48.gro")));
    EXPECT_FALSE(grob::LooksLikeBinaryList(Edit(file, 10, file[10] | 1))); // prologue 12A74
    EXPECT_TRUE(grob::ReadTextList(B("{ }"), "e").objects.empty());
}

// The player's times in seconds as the calculators read them (none below
// 10 ms: WAIT 0 waits for a key), its frames centred on the screen ERASE
// gives PICT, at 0 where they are larger: 140 x 70 is at 0 on 131 x 64, 5
// rows down on 131 x 80.
TEST(Player, TimesAndPlaceWorkedOutByHand) {
    const grob::GrobObject big{grob::Series::HP48, 140, 70, Bytes(18 * 70, 0)};
    const grob::PlayedFrame frames[] = {{&big, 0}, {&big, 1500}, {&big, 2000}, {&big, 1005}};
    const std::string program = grob::PlayerProgram(frames);
    EXPECT_TRUE(program.starts_with("%%HP: T(3)A(R)F(.);\r\n\\<< { GROB 140 70 0000")) << program;
    EXPECT_NE(program.find("}\r\n{ .01 1.5 2 1.005 }\r\n"), std::string::npos);
    EXPECT_NE(program.find("{ # 0d # 5d } ELSE { # 0d # 0d } END 1\r\n"), std::string::npos);
}

TEST(Ascii, ObjectsAsAscWritesThem) {
    // The calculators' CRC, nibble by nibble, low nibble first, is CRC-16/KERMIT,
    // whose published check value for "123456789" is 0x2189.
    Bytes nibbles;
    for (const char c : std::string("123456789"))
        nibbles.insert(nibbles.end(), {std::uint8_t(c & 0xF), std::uint8_t((c >> 4) & 0xF)});
    EXPECT_EQ(grob::NibbleCrc(nibbles), 0x2189);
    // A 16 x 12 GROB over two lines of the string (tests/data/README.md).
    const Bytes good = Fixture("asc-16x12.gro");
    ASSERT_TRUE(grob::LooksLikeAsciiObject(good));
    const grob::GrobObject object = grob::ReadBinaryGrob(grob::BinaryOfAscii(good, "a"), "a");
    EXPECT_EQ(object.series, grob::Series::HP48);
    ASSERT_EQ(object.width * 100 + object.height, 1612u);
    for (std::size_t y = 0; y < 12; ++y) {
        EXPECT_EQ(object.body[2 * y], 1 << y % 8) << y;
        EXPECT_EQ(object.body[2 * y + 1], 0x80 >> y % 8) << y;
    }
    // A list: the same objects as the binary fixture.
    const Bytes list = grob::BinaryOfAscii(Fixture("asc-two-8x2.lst"), "l");
    const Bytes binary = Fixture("list-two-8x2.lst");
    EXPECT_EQ(Bytes(list.begin() + 8, list.end()), Bytes(binary.begin() + 8, binary.end()));
    // Damage: the checksum's last digit changed, a stray character, cut short.
    std::string text(good.begin(), good.end());
    ExpectCauses(grob::BinaryOfAscii,
                 {{Fixture("asc-16x12-bad.gro"), "the checksum #F767h does not match the "
                                                 "object's #E767h"},
                  {B(text.replace(30, 1, "G")), "not a hexadecimal digit: \"G\""},
                  {Bytes(good.begin(), good.end() - 4), "does not end with a quote"},
                  {B("\"E1B20\""), "cut short: 5 digits"},
                  {B("\"E1B2031\" GROB"), "cut short: 7 digits"},
                  {B("\"hello\""), "holds no ASCII-encoded object"}});
    // Text that is no encoded object, and a text GROB, are not taken for one.
    for (const char* other : {"\"E1B20 31\" is 7 digits", "GROB 8 1 FF", "\"E1B20X1000000\"",
                              "\"12345678901234\"", "\"E1B3012345678\""})
        EXPECT_FALSE(grob::LooksLikeAsciiObject(B(other))) << other;
    // Nor is a string after bytes that are not text, past the first 512.
    EXPECT_FALSE(grob::LooksLikeAsciiObject(B(std::string(600, ' ') + "\x01\"E1B2012345678\"")));
}

TEST(List, DamagedAndOversizedListsAreRefused) {
    const Bytes file = Fixture("list-two-8x2.lst");
    ExpectCauses(grob::ReadBinaryList,
                 {{Bytes(file.begin(), file.end() - 2), "does not end with 0312B"},
                  {Edit(file, 10, 0x30), "not a GROB (its prologue is 02B13)"},
                  {Edit(Edit(file, 10, 0x40), 11, 0xA7), "lists inside lists"}, // E1B20 as 47A20
                  {Edit(file, 8, 0x1E), "not a list"},
                  {Edit(file, 13, 0x15), "size field"},
                  {Bytes(file.begin(), file.begin() + 20), "cut short"},
                  {Edit(file, 8 + grob::kMaxListBytes, 0), "at most 294,912"},
                  {Edit(file, file.size(), 0), "follow"}});
    const std::string big = "GROB 8 150000 " + std::string(300000, '0') + " ";
    ExpectCauses(grob::ReadTextList,
                 {{B("{ GROB 8 1 FF"), "does not end with \"}\""},
                  {B("{ GROB 8 1 FF { GROB 8 1 FF } }"), "lists inside lists"},
                  {B("{ GROB 8 1 FF 1.5 }"), "other than a GROB: \"1.5\""},
                  {B("{ GROB 8 1 FF GROB 8 2 FF }"), "GROB 2 of the list: the body is cut short"},
                  {B("{ " + big + big + "}"), "at most 294,912"},
                  {B("GROB 8 1 FF"), "no list"}});
    // The limit counts each GROB's prologue and fields, not its body alone:
    // 26,809 GROBs of 8 x 1 take 294,904 bytes, one more 294,915. A single
    // 8 x 294,897 GROB fills the 294,912 bytes exactly.
    const grob::GrobObject dot{grob::Series::HP48, 8, 1, {0xFF}};
    EXPECT_NO_THROW(grob::BinaryList(grob::Series::HP48, std::vector(26809, dot)));
    EXPECT_THROW(grob::BinaryList(grob::Series::HP48, std::vector(26810, dot)), grob::GrobError);
    const grob::GrobObject exact{grob::Series::HP48, 8, 294897, Bytes(294897)};
    EXPECT_EQ(grob::ListObjectBytes(std::vector<grob::Extent>{{8, 294897}}), grob::kMaxListBytes);
    EXPECT_NO_THROW(grob::BinaryList(grob::Series::HP48, {exact}));
    const grob::GrobObject over{grob::Series::HP48, 8, 294898, Bytes(294898)};
    EXPECT_THROW(grob::BinaryList(grob::Series::HP48, {over}), grob::GrobError);
    // Writing what no calculator can hold is refused too.
    const std::vector<grob::GrobObject> large(2, {grob::Series::HP48, 8, 150000, Bytes(150000)});
    EXPECT_THROW(grob::BinaryList(grob::Series::HP48, large), grob::GrobError);
    EXPECT_THROW(grob::TextList(large), grob::GrobError);
}

} // namespace
