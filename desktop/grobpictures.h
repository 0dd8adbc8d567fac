// GROB files as pictures for the desktop: exactly the pixels `--to png`
// writes, for the thumbnailer and the Qt image plugin alike.
#pragma once

#include "grob/kinds.h"
#include "grob/raster.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace desktop {

// Whether the bytes (the whole file, or as much of its start as is at hand)
// are a GROB or a list of GROBs in any form this program reads: the
// loader's own registry tells them from every other kind of picture.
bool IsGrobFile(std::span<const std::uint8_t> bytes);

// The GROB's kind: the one a file's `name` tells, as it tells the program
// (walk.g16.lst: g16; any other name: 1-bit); without a name, `fallback`,
// else 1-bit.
grob::OutputKind KindOf(const std::string& name, std::optional<grob::OutputKind> fallback);

// What the file's header tells before anything is decoded: the size in
// pixels of its first picture (a binary GROB or list); nothing for the
// text forms, whose size is read with the rest.
std::optional<grob::Extent> HeaderSize(std::span<const std::uint8_t> bytes,
                                       const grob::OutputKind& kind);

struct Pictures {
    std::vector<grob::Image> pictures; // each GROB of the file, in its shades
    std::string error;                 // why there is none
};
// Every GROB of the file as `--to png --split` writes it.
Pictures Read(std::span<const std::uint8_t> bytes, const grob::OutputKind& kind,
              const std::string& name);
// The file as `--to png` writes it: its one GROB, or a list's side by side.
// Throws grob::Error when it cannot be read.
grob::Image Whole(std::span<const std::uint8_t> bytes, const std::string& name);

} // namespace desktop
