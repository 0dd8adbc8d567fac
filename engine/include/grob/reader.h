// Reading GROBs back: the binary transfer form this program writes, and the
// calculators' text form ("GROB width height hex-digits"), both checked
// field by field against the file before anything is allocated.
#pragma once

#include "grob/grobfile.h"
#include "grob/kinds.h"
#include "grob/raster.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace grob {

// A GROB file that cannot be read: which file and what is wrong with it.
class GrobReadError : public Error {
  public:
    GrobReadError(std::string path, std::string cause);
};

// One graphics object: its size in GROB columns and rows and its body,
// RowStride(width) bytes a row, leftmost column in the lowest bit; the kind
// it was made as (or, read from a file, the kind its name tells) and the
// series of its header. The encoders hand one to whoever needs it; it
// becomes bytes only where bytes leave (BinaryGrob, TextGrob, lists).
struct GrobObject {
    Series series = Series::HP49; // from a binary header; the text form has none
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> body;
    OutputKind kind = OutputKinds()[0];
};

// Whether the bytes start as a binary GROB file or hold a text-form GROB.
// Both are also true for a list of GROBs (list.h): ask about lists first.
// Text may be 8-bit (a UTF-8 byte-order mark is skipped) or UTF-16 of
// either byte order, with or without its mark, and may end in NUL or ^Z
// padding; any other control byte before "GROB" or in the first 512 bytes
// marks binary data.
bool LooksLikeBinaryGrob(std::span<const std::uint8_t> data);
bool LooksLikeTextGrob(std::span<const std::uint8_t> data);
// Whether a file that starts with these bytes (at least 16 of them, so that
// UTF-16 is told as in the whole file) may hold a GROB in a text form: text
// as above, not empty, with no control byte other than white space in its
// first 512 characters. False rules out every text form (a text GROB or
// list, an ASCII-encoded object), whatever follows the bytes.
bool MayBeText(std::span<const std::uint8_t> start);

// The object of a binary file: "HPHP48-" or "HPHP49-" and any letter, the
// GROB prologue, size, height, width and body. `path` names the file in errors.
GrobObject ReadBinaryGrob(std::span<const std::uint8_t> data, const std::string& path);
// The object of a text form: an optional "%%HP: ...;" line, then "GROB",
// width, height and the body's hexadecimal digits (each byte low digit
// first, white space anywhere between digits); other text may surround it,
// in the encodings LooksLikeTextGrob takes. Every standalone "GROB" is
// tried in turn and the first that reads is taken; when none does, the
// cause is that of the first one followed by a width and a height. A body
// that ends early, or is followed by more digits (after a line break too),
// is refused. Empty GROBs ("GROB 8 0") are read. Every GrobReadError of
// the reader has a non-empty cause.
GrobObject ReadTextGrob(std::span<const std::uint8_t> data, const std::string& path);

// Whether the text form starts with the line "%%HP: T(3)A(R)F(.);". A file
// sent to a calculator over Kermit in text mode needs it; the bare object
// is what the calculator's command line (and an emulator's, pasted) and
// STR-> of a file read from an SD card take.
enum class TextHeader { With, Without };

// ASCII-encoded objects, as the HP 48's ->ASC writes them and ASC-> reads
// them (archives and newsgroup posts carry binary objects so): a string in
// quotes holding the object's nibbles as hexadecimal digits, in the order
// they lie in memory, then the four digits of its checksum (the
// calculators' CRC over those nibbles, least significant digit first),
// broken into lines of 64 characters. Whether the bytes hold one: text (as
// LooksLikeTextGrob takes it) in which a quote is followed by hexadecimal
// digits (white space between them) that start with a prologue (02xxx) and
// run to a closing quote.
bool LooksLikeAsciiObject(std::span<const std::uint8_t> data);
// The calculators' CRC of a run of nibbles (one a byte, 0..15): what ->ASC
// appends and BYTES shows.
std::uint16_t NibbleCrc(std::span<const std::uint8_t> nibbles);
// The object of an ASCII-encoded string as the binary transfer file an HP 48
// sends ("HPHP48-X", then the object's nibbles, low nibble first in each
// byte), to be read as any binary file is. Throws GrobReadError when the
// string is cut short, holds a character that is not a digit, or its
// checksum does not match the object's.
std::vector<std::uint8_t> BinaryOfAscii(std::span<const std::uint8_t> data,
                                        const std::string& path);

// The text form of an object, as the calculators write it: the line
// "%%HP: T(3)A(R)F(.);" (unless left out), then "GROB width height " and
// the body's digits as one unbroken token (a calculator's parser ends the
// body at a line break), then CR LF; lines end with CR LF.
std::string TextGrob(const GrobObject& object, TextHeader header = TextHeader::With);
// The binary file of an object.
std::vector<std::uint8_t> BinaryGrob(const GrobObject& object, const std::string& path = {});

// A GROB of a kind seen as a picture: `width` x `height` pixels, each with
// its shade level 0 (light) .. kind.shades() - 1 (dark), row by row.
struct ShadePicture {
    int width = 0;
    int height = 0;
    int shades = 2;
    std::vector<std::uint8_t> levels;
};

// Throws GrobReadError when the object's size does not fit the kind (a
// grayscale width that is not a whole number of pixels, a page-flipping
// height that is not a whole number of frames) or when the picture would
// be larger than `maxPixels` or `maxSide` on a side. An empty GROB (no
// columns or no rows) gives a picture without pixels, whatever the kind.
ShadePicture ShadesOf(const GrobObject& object, const OutputKind& kind, const std::string& path,
                      std::int64_t maxSide, std::int64_t maxPixels);

// The level's true gray (equal red, green and blue): level 0 white (255),
// the darkest level black (0), the levels between evenly spaced (255 * k /
// (shades - 1), rounded). Each is a gray that the kind's encoder turns into
// the same level again; for every kind and level the evenly spaced gray
// already is one (were it not, the nearest that is would be given).
std::uint8_t GrayOfShade(const OutputKind& kind, int level);

// A GROB of a kind as a picture: each level in its true gray (GrayOfShade),
// pixels 0xFFBBGGRR, at natural size. Throws GrobReadError, naming `which`
// ("the GROB", "GROB 3 of the list"), for a GROB that shows nothing, and as
// ShadesOf throws.
Image PictureOfGrob(const GrobObject& object, const OutputKind& kind, const std::string& path,
                    const std::string& which, std::int64_t maxSide, std::int64_t maxPixels);

} // namespace grob
