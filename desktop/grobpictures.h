// GROB files as pictures for the desktop: exactly the pixels `--to png`
// writes, for the thumbnailer, the Qt image plugins (Qt 6 and Qt 5) and the
// gdk-pixbuf loader alike. Plain C++: no Qt, no GLib.
#pragma once

#include "grob/kinds.h"
#include "grob/raster.h"
#include "regularfile.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace desktop {

// A GROB's file is read from its start only as far as a GROB can reach, so
// that a file of any size costs little to tell and to read: this much of
// its start first, to tell a GROB by (its binary header, or the start of
// a text) ...
inline constexpr std::size_t kHeadBytes = 64 * 1024;
// ... and of the text forms, at most the text of the largest GROB: its body
// holds at most 524,280 bytes (its size field, 15 + twice the body's bytes
// in nibbles, at most 0xFFFFF), 1,048,560 hexadecimal digits; ASCII-encoded,
// with its prologue, fields and checksum, 1,048,584. With each digit taking
// up to two characters (digits split by spaces, lines as short as two
// digits) in UTF-16, 4 bytes each: 4,194,336 bytes, and the head's 64 KB
// more for the %%HP line and the text around it: 4,259,872 bytes.
inline constexpr std::size_t kMaxTextBytes = 4 * 1048584 + kHeadBytes;

// A file's bytes in order from its start: up to `count` of them into
// `into`; how many were read (fewer, or 0, at its end), or -1 when reading failed.
using ReadFn = std::function<std::int64_t(std::uint8_t* into, std::size_t count)>;

struct GrobBytes {
    loading::Bytes bytes; // what a GROB in the file can take
    std::string error;    // why the file holds no GROB (its other faults the reading tells)
};
// The part of a file that a GROB or a list in it can take, read no further
// than it can reach: a binary GROB or list up to its object's end as its
// size fields say (a list's walked GROB by GROB; what follows is never
// read), the text forms up to kMaxTextBytes. Anything else is refused
// after kHeadBytes, as is a binary object whose fields say what none can
// be, in the readers' words.
GrobBytes ReadGrobBytes(const ReadFn& read, const std::string& name);

// Whether the bytes (the whole file, or as much of its start as is at hand)
// are a GROB or a list of GROBs in any form this program reads: the
// loader's own registry tells them from every other kind of picture.
bool IsGrobFile(std::span<const std::uint8_t> bytes);

// The GROB's kind: the one a file's `name` tells, as it tells the program
// (walk.g16.lst: g16; any other name: 1-bit); without a name, `fallback`,
// else 1-bit.
grob::OutputKind KindOf(const std::string& name, std::optional<grob::OutputKind> fallback);

// What the header of a binary GROB or list tells before anything is
// decoded: the size in pixels of its first picture. `bytes` is the start of
// the file, grob::kMaxListBytes + 8 of them (or all), `fileBytes` its
// length. Nothing when the size is not one the reading would give: for the
// text forms (read with the rest), a damaged header, a size beyond the
// limits or not whole pixels of the kind, an empty GROB or list, or an
// object longer than the file.
std::optional<grob::Extent> HeaderSize(std::span<const std::uint8_t> bytes,
                                       const grob::OutputKind& kind,
                                       std::optional<std::uint64_t> fileBytes);

struct Pictures {
    std::vector<grob::Image> pictures; // each GROB of the file, in its shades
    std::string error;                 // why there is none
};
// Every GROB of the file as `--to png --split` writes it.
Pictures Read(std::span<const std::uint8_t> bytes, const grob::OutputKind& kind,
              const std::string& name);
// Every GROB of a file read from its start through `read`, only as far as a
// GROB in it can reach (ReadGrobBytes), then as Read reads them: what the
// image plugins and the pixbuf loader show.
Pictures ReadFile(const ReadFn& read, const grob::OutputKind& kind, const std::string& name);
// The file as `--to png` writes it, its GROBs of the kind given: its one
// GROB, or a list's side by side. Throws grob::Error, naming `name`, when it
// cannot be read.
grob::Image Whole(std::span<const std::uint8_t> bytes, const std::string& name,
                  const grob::OutputKind& kind);

} // namespace desktop
