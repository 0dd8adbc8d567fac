// The pieces of reading and writing GROB objects that the single GROB and
// the list share: the nibble stream of the binary form, the text as 8-bit
// characters, and one text-form GROB. Inside the engine only.
#pragma once

#include "grob/reader.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace grob::codec {

[[noreturn]] void Fail(const std::string& path, const std::string& cause);

// Prologues, as the calculators write them (most significant nibble first).
constexpr std::uint32_t kGrobPrologue = 0x02B1E;
constexpr std::uint32_t kListPrologue = 0x02A74;
constexpr std::uint32_t kListEnd = 0x0312B;
// Five hexadecimal digits, most significant first: "02B1E".
std::string PrologueText(std::uint32_t prologue);

// Checks the 8-byte header ("HPHP48-" or "HPHP49-" and a letter) and gives its series.
Series CheckHeader(std::span<const std::uint8_t> data, const std::string& path);

// The nibbles of bytes, low nibble first in each byte; numbers are read
// least significant nibble first.
class NibbleReader {
  public:
    explicit NibbleReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t left() const { return 2 * std::uint64_t{bytes_.size()} - at_; }
    // `count` (1..5) nibbles as a number; at least `count` must be left.
    std::uint32_t Take(int count);
    // `count` bytes of nibble pairs into `out`; 2 * count nibbles must be left.
    void TakeBytes(std::uint8_t* out, std::size_t count);

  private:
    std::span<const std::uint8_t> bytes_;
    std::uint64_t at_ = 0;
};

class NibbleWriter {
  public:
    void Put(std::uint32_t value, int count); // least significant nibble first
    void PutBytes(std::span<const std::uint8_t> bytes);
    std::uint64_t count() const { return count_; }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
    std::uint64_t count_ = 0;
};

// Throws GrobReadError when a GROB's size field is not what its width and
// height make (15 + 2 x its body's bytes, in nibbles).
void CheckSizeField(std::uint32_t size, std::uint32_t width, std::uint32_t height,
                    const std::string& path);
// Throws GrobReadError when the prologue read where a GROB should start is
// not a GROB's: "the object is not a GROB (its prologue is ...)".
void CheckGrobPrologue(std::uint32_t prologue, const std::string& path);
// A GROB's size, height, width and body, after its prologue has been read.
// Nothing is allocated before the stream is known to hold the whole body.
GrobObject ReadGrobFields(NibbleReader& in, Series series, const std::string& path);
// Throws GrobError(BadBody) when the body is not RowStride(width) x height bytes.
void CheckBody(const GrobObject& object, const std::string& path);
// A whole GROB object, prologue to body. Throws GrobError when a field does
// not fit or the body is not width x height.
void WriteGrobObject(NibbleWriter& out, const GrobObject& object, const std::string& path);

// The bytes as 8-bit text: UTF-16 (either byte order, with or without a
// byte-order mark) converted into `storage`, characters beyond ASCII as
// '?'; a UTF-8 byte-order mark and trailing NUL or ^Z padding (what XModem
// and Kermit leave) dropped.
std::string_view TextOf(std::span<const std::uint8_t> data, std::string& storage);
bool IsSpace(char c);
// No control bytes other than white space in text[0, end).
bool IsPlainText(std::string_view text, std::size_t end);
// The next offset from `from` where `word` stands on its own (after the
// start, white space, ';' or '{'; before white space), or npos.
std::size_t FindWord(std::string_view text, std::string_view word, std::size_t from);

// One text-form GROB: "width height digits" from `at` (just after the word
// GROB). On success `at` moves past the body; on failure `cause` says why
// and `numbers` tells whether width and height were read. Never throws.
bool ParseTextGrob(std::string_view text, std::size_t& at, GrobObject& out, std::string& cause,
                   bool& numbers);
// The first line of the text form, as the calculators write it.
inline constexpr std::string_view kTextHeader = "%%HP: T(3)A(R)F(.);\r\n";
// "GROB w h DIGITS", the body as one unbroken token, as the calculators write it.
void AppendTextGrob(std::string& text, const GrobObject& object);

} // namespace grob::codec
