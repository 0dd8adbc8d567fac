// Between the loader and the picture renderer process (plain C++, shared by
// both sides).
//
// The request: `veldar-render KIND [--fit WxH] [--opacity] [--stored]
// [--page N]`, where KIND is wmf, emf, picture (the first picture) or frames
// (every page or frame), and the file's bytes on standard input. With --fit
// each picture is fitted into W x H as grob::Fit makes it, smaller only (a
// picture that already fits is sent as it is), so that only fitted pictures
// cross the pipe; with --opacity the opacity is fitted too (see below), else
// it is left opaque; with --stored pictures are left as stored, not turned
// upright; with --page (frames only) only page or frame N, from 0, is sent.
//
// The answer, on standard output, one block a picture as soon as it is
// drawn: "VPX2", then width, height, how long an animation shows it (ms)
// and flags, as 32-bit little-endian numbers, then width x height pixels
// composed over white, each the bytes R, G, B and the picture's own opacity
// there (255: opaque). Flag 1: the picture (before any fitting) is not
// opaque throughout. A fitted picture's opacity is 255 minus the fitted gray
// of its transparency ((255 - opacity) in each channel), exactly what
// fitting that gray in the loader would give.
//
// A failure is one line on standard error and a non-zero exit status:
// kExitMemory when the picture needs more memory than the process may have
// (the loader, which set the limit, says how much that is).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace render {

constexpr char kMagic[4] = {'V', 'P', 'X', '2'};
constexpr std::size_t kHeaderBytes = 20;
constexpr std::uint32_t kTransparent = 1; // flag: not opaque throughout

constexpr int kExitFailure = 2; // the cause on standard error
constexpr int kExitWrite = 3;   // the answer could not be written
constexpr int kExitMemory = 4;  // more memory than the limit would be needed

struct BlockHeader {
    int width = 0;
    int height = 0;
    int delayMs = 0;
    bool transparent = false;
};

std::array<std::uint8_t, kHeaderBytes> EncodeHeader(const BlockHeader& header);
// A block's header, or nothing when it is not one or its picture is empty
// or over the size limits.
std::optional<BlockHeader> DecodeHeader(std::span<const std::uint8_t> bytes);

} // namespace render
