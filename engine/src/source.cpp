#include "grob/source.h"

#include "grob/grobfile.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace grob {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";
// The pictures a source file is made of come from this program's GROBs,
// which are far below these; they only bound ShadesOf's allocation.
constexpr std::int64_t kMaxSide = std::int64_t(1) << 24;
constexpr std::int64_t kMaxPixels = std::int64_t(1) << 30;

// The Saturn's nibbles of a field of five, least significant first.
void AppendField(std::string& text, std::uint32_t value) {
    for (int i = 0; i < 5; ++i, value >>= 4)
        text += kHex[value & 15];
}

// The body's nibbles in memory order: each byte low nibble first.
std::string BodyDigits(const GrobObject& object) {
    std::string digits;
    digits.reserve(object.body.size() * 2);
    for (const std::uint8_t byte : object.body)
        digits.append({kHex[byte & 15], kHex[byte >> 4]});
    return digits;
}

// The object's size field: itself, height, width and body, in nibbles.
std::uint32_t ObjectLength(const GrobObject& object) {
    return 15 + std::uint32_t(object.body.size()) * 2;
}

std::string Number(std::uint64_t value) {
    return std::to_string(value);
}

// The size line of a GROB in the Saturn forms.
std::string GrobSize(const GrobObject& object) {
    const std::uint32_t nibbles = ObjectLength(object) + 5;
    return Number(object.width) + " x " + Number(object.height) + " dots (" +
           std::string(object.kind.extension) + "), " + Number(nibbles) + " nibbles (" +
           Number(nibbles / 2) + (nibbles % 2 ? ".5" : "") + " bytes) with its prologue";
}

// System RPL, as HP's RPL compiler takes a GROB: "GROB", five hexadecimal
// digits (most significant first) counting the digits that follow, then
// the height and the width as five-nibble fields and the body, all in the
// order the nibbles lie in memory: the same digits as the text form's body.
void SysRpl(std::string& text, const SourceSymbol& symbol) {
    const GrobObject& object = *symbol.grob;
    std::string digits;
    AppendField(digits, object.height);
    AppendField(digits, object.width);
    digits += BodyDigits(object);
    char length[6];
    for (int i = 0; i < 5; ++i)
        length[i] = kHex[(digits.size() >> (4 * (4 - i))) & 15];
    length[5] = 0;
    text += "* " + symbol.name + ": " + GrobSize(object) + "\n";
    text += "GROB " + std::string(length) + " " + digits + "\n";
}

// Saturn assembler (SASM): a label in the first column, the opcode and its
// field in the columns after it; the prologue's address (=DOGROB), the
// length as the distance to the label after the object (REL(5)), height
// and width, then the body's nibbles as NIBHEX lines, which SASM stores in
// the order written, 16 to a line.
void Saturn(std::string& text, const SourceSymbol& symbol) {
    const GrobObject& object = *symbol.grob;
    const std::string end = symbol.name + "_end";
    text += "* " + symbol.name + ": " + GrobSize(object) + "\n";
    text += symbol.name + "\n";
    text += "        CON(5)  =DOGROB\n";
    text += "        REL(5)  " + end + "\n";
    text += "        CON(5)  " + Number(object.height) + "\n";
    text += "        CON(5)  " + Number(object.width) + "\n";
    const std::string digits = BodyDigits(object);
    for (std::size_t at = 0; at < digits.size(); at += 16)
        text += "        NIBHEX  " + digits.substr(at, 16) + "\n";
    text += end + "\n";
}

// MASD, the HP 49's built-in assembler: "*label", then the whole object as
// $ directives, whose hexadecimal digits MASD stores in the order written:
// the prologue 02B1E (E1B20 in memory), the length, height, width and the
// body, 64 digits to a line; comments start with %.
void Masd(std::string& text, const SourceSymbol& symbol) {
    const GrobObject& object = *symbol.grob;
    std::string head = "E1B20";
    AppendField(head, ObjectLength(object));
    std::string size, width;
    AppendField(size, object.height);
    AppendField(width, object.width);
    text += "% " + symbol.name + ": " + GrobSize(object) + "\n";
    text += "*" + symbol.name + "\n";
    text.append("$").append(head, 0, 5).append(" $").append(head, 5).append(" $" + size);
    text.append(" $" + width + "\n");
    const std::string digits = BodyDigits(object);
    for (std::size_t at = 0; at < digits.size(); at += 64)
        text.append("$").append(digits, at, 64).append("\n");
}

// A kind's levels (0 light .. shades - 1 dark) as GGL's 16 grays (0 white,
// 15 black), evenly spaced and rounded.
int Gray16(int level, int shades) {
    return (level * 15 + (shades - 1) / 2) / (shades - 1);
}

std::string Hex(std::uint32_t value, int digits) {
    std::string text(std::size_t(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4)
        text[std::size_t(i)] = kHex[value & 15];
    return text;
}

// C for HPGCC. The 1-bit kind: the GROB's rows of bytes as they are (each
// row whole bytes, the leftmost dot in the low bit, 1 black). The others: a
// 4-bit surface of GGL: pixel (x, y) is nibble (width * y + x) of the
// surface counted from the low nibble of its first int, eight to an int,
// 15 black; the array is the surface's addr.
void C(std::string& text, const SourceSymbol& symbol, const std::string& path) {
    const GrobObject& object = *symbol.grob;
    const std::string& name = symbol.name;
    const bool oneBit = !object.kind.pageFlipping() && object.kind.depth == 1;
    const ShadePicture picture = ShadesOf(object, object.kind, path, kMaxSide, kMaxPixels);
    std::vector<std::string> items;
    if (oneBit) {
        for (const std::uint8_t byte : object.body)
            items.push_back("0x" + Hex(byte, 2));
    } else {
        std::vector<std::uint32_t> words((picture.levels.size() + 7) / 8);
        for (std::size_t i = 0; i < picture.levels.size(); ++i)
            words[i / 8] |= std::uint32_t(Gray16(picture.levels[i], picture.shades))
                            << (4 * (i % 8));
        for (const std::uint32_t word : words)
            items.push_back(word > 0x7FFFFFFFu ? "(int)0x" + Hex(word, 8) : "0x" + Hex(word, 8));
    }
    const std::size_t bytes = oneBit ? items.size() : items.size() * 4;
    text += "/* " + name + ": " + Number(std::uint64_t(picture.width)) + " x " +
            Number(std::uint64_t(picture.height)) + " pixels (" +
            std::string(object.kind.extension) + "), " + Number(bytes) + " bytes: " +
            (oneBit ? "rows of " + Number(RowStride(object.width)) +
                          (RowStride(object.width) == 1 ? " byte" : " bytes") +
                          ", the leftmost dot in the low bit, 1 black */\n"
                    : "a 4-bit GGL surface, 8 pixels an int, the left one in the low nibble, "
                      "15 black */\n");
    text += "#define " + name + "_width " + Number(std::uint64_t(picture.width)) + "\n";
    text += "#define " + name + "_height " + Number(std::uint64_t(picture.height)) + "\n";
    text += std::string("static const ") + (oneBit ? "unsigned char " : "int ") + name + "[" +
            Number(std::max<std::size_t>(items.size(), 1)) + "] = {";
    const std::size_t perLine = oneBit ? 12 : 6;
    for (std::size_t i = 0; i < items.size(); ++i)
        text += (i % perLine == 0 ? "\n    " : " ") + items[i] + ",";
    text += "\n};\n";
}

// XPM (XPM 3, a C array of strings named <symbol>_xpm): the picture in its
// true grays (level 0 white, the darkest black, the grays between evenly
// spaced), one character a pixel, "c #RRGGBB" colours. HPGCC's
// hpg_load_xpm_gray16 reads the same file right: it takes the header's four
// numbers, each colour's "c #RRGGBB", and turns it into its own value (255
// black) by weighing red, green and blue (weights summing to 1024, so a
// true gray keeps its value) and inverting, which gives the level back.
// XPM readers read a file's first array: one symbol a file shows in them,
// the others are for a program that includes the file.
void Xpm(std::string& text, const SourceSymbol& symbol, const std::string& path) {
    constexpr std::string_view kKeys = "0123456789ABCDEFGHIJKLMNOPQRSTUV";
    const GrobObject& object = *symbol.grob;
    const ShadePicture picture = ShadesOf(object, object.kind, path, kMaxSide, kMaxPixels);
    text += "/* " + symbol.name + ": " + Number(std::uint64_t(picture.width)) + " x " +
            Number(std::uint64_t(picture.height)) + " pixels (" +
            std::string(object.kind.extension) + "), " + Number(picture.shades) + " grays, " +
            Number(picture.levels.size()) + " bytes of pixels */\n";
    text += "static char *" + symbol.name + "_xpm[] = {\n";
    text += '"';
    text += Number(std::uint64_t(picture.width)) + " " + Number(std::uint64_t(picture.height)) +
            " " + Number(picture.shades) + " 1\",\n";
    for (int level = 0; level < picture.shades; ++level) {
        const std::string gray = Hex(GrayOfShade(object.kind, level), 2);
        text.append(1, '"').append(1, kKeys[std::size_t(level)]).append(" c #");
        text.append(gray).append(gray).append(gray).append("\",\n");
    }
    for (int y = 0; y < picture.height; ++y) {
        text += "\"";
        for (int x = 0; x < picture.width; ++x)
            text +=
                kKeys[picture.levels[std::size_t(y) * std::size_t(picture.width) + std::size_t(x)]];
        text += y + 1 < picture.height ? "\",\n" : "\"\n";
    }
    text += "};\n";
}

// newRPL's text form of a bitmap, as its compiler reads it and its
// decompiler writes it: "BITMAPDATA", the mode (MONO, one bit a pixel, 1
// black; 16GR, four bits, 0 white, 15 black), width and height in decimal,
// then the pixels (row after row with no padding, pixel i at bit i, or
// nibble i, of the 32-bit words, counted from the low end) as words of six
// base-64 characters (A-Z a-z 0-9 + /): bits 31..2 in five characters, most
// significant first, then one holding bits 1..0 and, above them, the sum of
// the word's sixteen 2-bit parts modulo 16; a space after every eight
// words. Then 'name' STO keeps it under the symbol's name.
void NewRpl(std::string& text, const SourceSymbol& symbol, const std::string& path) {
    constexpr std::string_view kBase64 =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const GrobObject& object = *symbol.grob;
    const bool oneBit = !object.kind.pageFlipping() && object.kind.depth == 1;
    const ShadePicture picture = ShadesOf(object, object.kind, path, kMaxSide, kMaxPixels);
    const unsigned bits = oneBit ? 1 : 4;
    std::vector<std::uint32_t> words((picture.levels.size() * bits + 31) / 32);
    for (std::size_t i = 0; i < picture.levels.size(); ++i) {
        const int level = picture.levels[i];
        const std::uint32_t value = oneBit ? std::uint32_t(level) : Gray16(level, picture.shades);
        words[i * bits / 32] |= value << (i * bits % 32);
    }
    text += "@ " + symbol.name + ": " + Number(std::uint64_t(picture.width)) + " x " +
            Number(std::uint64_t(picture.height)) + " pixels (" +
            std::string(object.kind.extension) + "), " + Number(words.size() * 4) + " bytes\n";
    text += std::string("BITMAPDATA ") + (oneBit ? "MONO " : "16GR ") +
            Number(std::uint64_t(picture.width)) + " " + Number(std::uint64_t(picture.height));
    for (std::size_t k = 0; k < words.size(); ++k) {
        const std::uint32_t word = words[k];
        unsigned sum = 0;
        for (int pair = 0; pair < 16; ++pair)
            sum += (word >> (2 * pair)) & 3;
        if (k % 8 == 0) text += k % 64 == 0 ? "\n" : " ";
        for (int c = 0; c < 5; ++c)
            text += kBase64[(word >> (26 - 6 * c)) & 63];
        text += kBase64[(word & 3) | (sum & 15) << 2];
    }
    text += "\n'" + symbol.name + "' STO\n";
}

} // namespace

std::string SymbolOf(std::string_view fileName) {
    const std::size_t slash = fileName.find_last_of("/\\");
    if (slash != std::string_view::npos) fileName.remove_prefix(slash + 1);
    if (const std::size_t dot = fileName.find('.'); dot != 0 && dot != std::string_view::npos)
        fileName = fileName.substr(0, dot);
    std::string name;
    for (const char c : fileName) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        name += letter || (c >= '0' && c <= '9') ? c : '_';
    }
    if (name.empty()) return "grob";
    if (name[0] >= '0' && name[0] <= '9') name = std::string(1, '_').append(name);
    return name;
}

std::string SourceText(SourceForm form, std::span<const SourceSymbol> symbols,
                       const std::string& path) {
    std::string text;
    if (form == SourceForm::Xpm) text += "/* XPM */\n";
    // MASD makes a Code object of its source unless told !NO CODE: a file of
    // one GROB assembles to the GROB itself (ASM, library 256), several to a
    // Code object holding them at their labels.
    if (form == SourceForm::Masd && symbols.size() == 1) text += "!NO CODE\n";
    for (std::size_t i = 0; i < symbols.size(); ++i) {
        if (i > 0) text += "\n";
        switch (form) {
        case SourceForm::SysRpl:
            SysRpl(text, symbols[i]);
            break;
        case SourceForm::Saturn:
            Saturn(text, symbols[i]);
            break;
        case SourceForm::Masd:
            Masd(text, symbols[i]);
            break;
        case SourceForm::C:
            C(text, symbols[i], path);
            break;
        case SourceForm::Xpm:
            Xpm(text, symbols[i], path);
            break;
        case SourceForm::NewRpl:
            NewRpl(text, symbols[i], path);
            break;
        }
    }
    // A MASD source ends at an @, its last character.
    if (form == SourceForm::Masd) text += "@";
    return text;
}

} // namespace grob
