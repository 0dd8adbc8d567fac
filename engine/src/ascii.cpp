// ASCII-encoded objects (->ASC and ASC-> on the HP 48): the object's
// nibbles as hexadecimal digits with the calculators' CRC after them.
#include "grob/reader.h"

#include "grobcodec.h"

#include <array>
#include <cstdio>

namespace grob {

namespace {

using codec::Fail;

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The prologue and the checksum: the fewest digits an encoded object has.
constexpr std::size_t kLeastDigits = 5 + 4;

// The quoted string that holds an encoded object: from its first digit to
// its closing quote (npos when there is none). `digits` counts its digits;
// `bad` is where the first character that is neither a digit nor white
// space stands (npos when there is none).
struct Quoted {
    std::size_t start = std::string_view::npos;
    std::size_t end = std::string_view::npos;
    std::size_t digits = 0;
    std::size_t bad = std::string_view::npos;
};

Quoted FindQuoted(std::string_view text) {
    Quoted quoted;
    // The first quote whose string starts as an object does: five digits
    // of a prologue 02xxx, least significant first ("E1B20" for 02B1E).
    for (std::size_t at = text.find('"'); at != std::string_view::npos;
         at = text.find('"', at + 1)) {
        const std::string_view head = text.substr(at + 1, 5);
        bool digits = head.size() == 5;
        for (const char c : head)
            digits = digits && DigitValue(c) >= 0;
        if (!digits || head[3] != '2' || head[4] != '0') continue;
        quoted.start = at + 1;
        break;
    }
    if (quoted.start == std::string_view::npos) return quoted;
    for (std::size_t i = quoted.start; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            quoted.end = i;
            break;
        }
        if (DigitValue(c) >= 0)
            ++quoted.digits;
        else if (!codec::IsSpace(c) && quoted.bad == std::string_view::npos)
            quoted.bad = i;
    }
    return quoted;
}

std::string Hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "#%04Xh", value & 0xFFFFu);
    return text;
}

} // namespace

std::uint16_t NibbleCrc(std::span<const std::uint8_t> nibbles) {
    unsigned crc = 0;
    for (const std::uint8_t nibble : nibbles)
        crc = (crc >> 4) ^ (((crc ^ nibble) & 0xFu) * 0x1081u);
    return static_cast<std::uint16_t>(crc);
}

bool LooksLikeAsciiObject(std::span<const std::uint8_t> data) {
    std::string storage;
    const std::string_view text = codec::TextOf(data, storage);
    if (!codec::IsPlainText(text, 512)) return false;
    const Quoted quoted = FindQuoted(text);
    return quoted.end != std::string_view::npos && quoted.bad == std::string_view::npos &&
           quoted.digits >= kLeastDigits && codec::IsPlainText(text, quoted.start);
}

std::vector<std::uint8_t> BinaryOfAscii(std::span<const std::uint8_t> data,
                                        const std::string& path) {
    std::string storage;
    const std::string_view text = codec::TextOf(data, storage);
    const Quoted quoted = FindQuoted(text);
    if (quoted.start == std::string_view::npos)
        Fail(path, "it holds no ASCII-encoded object (a quoted string of hexadecimal digits)");
    if (quoted.bad != std::string_view::npos &&
        (quoted.end == std::string_view::npos || quoted.bad < quoted.end)) {
        const char c = text[quoted.bad];
        Fail(path,
             std::string("the encoded object holds a character that is not a hexadecimal "
                         "digit: ") +
                 (c > 0x20 && c < 0x7F ? std::string("\"") + c + '"' : "a control character"));
    }
    if (quoted.end == std::string_view::npos)
        Fail(path, "the encoded object is cut short: its string does not end with a quote");
    if (quoted.digits < kLeastDigits)
        Fail(path, "the encoded object is cut short: " + std::to_string(quoted.digits) +
                       " digits, too few for an object and its checksum");
    std::vector<std::uint8_t> nibbles;
    nibbles.reserve(quoted.digits);
    for (std::size_t i = quoted.start; i < quoted.end; ++i)
        if (const int value = DigitValue(text[i]); value >= 0)
            nibbles.push_back(static_cast<std::uint8_t>(value));
    const std::size_t count = nibbles.size() - 4;
    unsigned stored = 0;
    for (std::size_t i = 0; i < 4; ++i)
        stored |= unsigned{nibbles[count + i]} << (4 * i);
    const unsigned computed = NibbleCrc(std::span(nibbles).first(count));
    if (stored != computed)
        Fail(path, "the checksum " + Hex4(stored) + " does not match the object's " +
                       Hex4(computed) + ": the encoded text was changed or cut");
    codec::NibbleWriter out;
    static constexpr std::array<std::uint8_t, 8> kHeader = {'H', 'P', 'H', 'P', '4', '8', '-', 'X'};
    out.PutBytes(kHeader);
    for (std::size_t i = 0; i < count; ++i)
        out.Put(nibbles[i], 1);
    return std::move(out.bytes());
}

} // namespace grob
