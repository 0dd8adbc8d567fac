// Lists of GROBs, for sprites and animations: the calculators' list object
// "{ GROB ... GROB ... }" in the binary transfer form and the text form.
#pragma once

#include "grob/reader.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace grob {

// The largest list object (prologue to end marker) a calculator can hold:
// 288 KB, the most RAM any HP 48 or HP 49 model gives its user memory (an
// HP 48SX with 128 KB cards merged in both ports: 32 + 2 x 128 KB; an HP
// 48GX merges one port, 256 KB; the HP 49G, 49g+ and 50g keep 256 KB of
// their 512 KB as user memory). An object cannot be larger than the memory
// that holds it, so longer lists are refused when written and when read.
constexpr std::size_t kMaxListBytes = 288 * 1024;

// The bytes of a list object (prologue to end marker, the header not
// counted) holding GROBs of these sizes in dots, half a byte rounded up.
std::uint64_t ListObjectBytes(std::span<const Extent> grobs);
// The bytes of one GROB object of this size in dots (prologue to its
// body's end), and why such a GROB is more than a calculator can hold
// (larger than kMaxListBytes), followed by `hint` when one is given; empty
// when it is not.
std::uint64_t GrobObjectBytes(const Extent& dots);
std::string GrobSizeRefusal(const Extent& dots, std::string_view hint);
// Why a list of GROBs of these sizes is refused (larger than kMaxListBytes),
// followed by `hint` when one is given; empty when it is not.
std::string ListSizeRefusal(std::span<const Extent> grobs, std::string_view hint);

// The GROBs of a list, in order; each carries the series of the file.
struct GrobList {
    Series series = Series::HP49; // from a binary header; the text form has none
    std::vector<GrobObject> objects;
};

// Whether the bytes hold a list: the binary header followed by the list
// prologue 02A74; or text (as LooksLikeTextGrob takes it) in which a "{"
// followed by "GROB", "{" or "}" comes before any standalone "GROB".
bool LooksLikeBinaryList(std::span<const std::uint8_t> data);
bool LooksLikeTextList(std::span<const std::uint8_t> data);

// The binary file: the 8-byte header, the list prologue 02A74, each GROB
// (prologue 02B1E, size, height, width, body) as a stream of nibbles, low
// nibble first in each byte (inside a list the objects are not
// byte-aligned), and the end marker 0312B. Throws GrobError(FieldOverflow)
// for a GROB whose fields do not fit or a list beyond kMaxListBytes, and
// GrobError(BadBody) for a body that is not RowStride(width) x height bytes.
std::vector<std::uint8_t> BinaryList(Series series, const std::vector<GrobObject>& objects,
                                     const std::string& path = {});
// The text form: "%%HP: T(3)A(R)F(.);" (unless left out), then "{", each
// GROB on a line of its own with its body as one unbroken token, and "}";
// lines end with CR LF. Throws as BinaryList does.
std::string TextList(const std::vector<GrobObject>& objects, const std::string& path = {},
                     TextHeader header = TextHeader::With);

// The GROBs of a list file, in either form. Throws GrobReadError (with a
// non-empty cause) for a list that is damaged, does not end with 0312B (or
// "}"), holds another object than a GROB (its prologue named) or another
// list, or is larger than kMaxListBytes. Nothing is allocated beyond what
// the file can fill. Trailing bytes after a binary list are refused; text
// may surround a text list. An empty list gives no objects.
GrobList ReadBinaryList(std::span<const std::uint8_t> data, const std::string& path);
GrobList ReadTextList(std::span<const std::uint8_t> data, const std::string& path);

// How far a binary GROB or list file reaches, as the fields of its object
// say, so that nothing after it need be read: its length to the object's
// end, the 8-byte header included (a GROB's size field; a list's GROBs'
// size fields walked to its end marker), and the size in dots of its GROB
// or of a list's first (none for an empty list).
struct BinaryLength {
    std::uint64_t bytes = 0;
    std::optional<Extent> first;
};
// `start` is the start of the file, as much of it as is at hand; nothing
// when a field the length needs lies beyond it. Throws GrobReadError, in
// the readers' words, when the start is not a binary GROB or list, or a
// field says what none can be: a size field that does not match its width
// and height (so no GROB goes beyond what its fields hold), an object in a
// list that is not a GROB, a list longer than kMaxListBytes (told from the
// size fields, however little of it is at hand). The bytes are not
// otherwise checked: a body is not looked at.
std::optional<BinaryLength> BinaryFileLength(std::span<const std::uint8_t> start,
                                             const std::string& path);

} // namespace grob
