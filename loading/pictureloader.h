// Picture loading: a path (or the bytes of a file) in, a picture or the
// reason there is none out. The common kinds are decoded here by decoders of
// their own, GROBs by the engine's reader, and everything else by the
// picture renderer, a process of its own.
//
// One registry of formats, walked once: each format with the test of its
// signature, what its header tells before any decoding (when it has one),
// and its loader. Each kind is told by its own signature first; text is
// searched for a GROB only when it is no other known kind; whatever is left
// goes to the renderer.
#pragma once

#include "codecs.h"
#include "grob/kinds.h"
#include "grob/prepare.h"
#include "picture.h"
#include "picturelimits.h"
#include "renderclient.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace pictureloader {

using Bytes = std::span<const std::uint8_t>;

struct Options {
    std::string renderer; // the picture renderer to run; empty: RendererPath()
    // The renderer's limits (see renderclient.h): the clock, only for a
    // renderer that answers nothing; its address space in bytes (a share of
    // the run's memory); its processor time.
    int timeoutMs = renderclient::kDefaultWaitMs;
    std::uint64_t renderMemoryBytes = renderclient::kDefaultMemoryBytes;
    int renderCpuSeconds = renderclient::kDefaultCpuSeconds;
    // The box each picture loaded is to be fitted into, as grob::Fit fits
    // it (enlarged by whole factors only with `upscale`), for a caller that
    // fits each picture it loads (not one that cuts tiles first): a JPEG is
    // decoded at the smallest of 1/2 .. 1/8 of its size that still covers
    // the fitted size; without `opacity` the common kinds come fitted,
    // their rows fitted as they are decoded, so that memory follows the
    // fitted size; and what the renderer draws comes back fitted (smaller
    // only, the opacity too), so that only fitted pictures cross from it.
    grob::FitBox fit{};
    // The picture as stored, not turned upright by the orientation its Exif
    // data records.
    bool keepStoredOrientation = false;
    // Every frame of an animated GIF, page of a multi-page TIFF and GROB of
    // a list, rather than the first alone.
    bool allFrames = false;
    // With allFrames, only this frame, page or GROB (from 0) is kept: an
    // animation's frames before it are decoded and let go one by one, the
    // renderer's pages read past, so that one frame's memory is held
    // whatever their number. A file with fewer is a failure. -1: every one.
    int onlyFrame = -1;
    // Every GROB of a list even without allFrames (a list seen as one sheet).
    bool wholeLists = false;
    // Each frame's opacity (for masks).
    bool opacity = false;
    // The gray transparent parts are composed over (255: white, as decoded).
    int background = 255;
    // A GROB's kind when its name does not tell it ("Open as kind...").
    std::optional<grob::OutputKind> grobKind;
};

// What a header tells before any decoding: the picture's size in pixels
// (upright, as it will be loaded), how many pictures the file holds (0 when
// the header does not say), and the most memory its loading with the
// options takes in this process, the pictures it gives included (0 when not
// known). For a kind the renderer draws, also what the largest picture it
// draws takes there, whole (0 when not known; Qt's own start not counted).
// And what the header refuses besides the picture's size: another page
// too large, more than can be held at once (empty when nothing).
struct Header {
    int width = 0;
    int height = 0;
    int pictures = 0;
    std::uint64_t memory = 0;
    std::uint64_t drawing = 0;
    std::string refusal;
};

// One format of the registry; the common kinds are the decoders' handlers
// (codecs::Handlers()), each as one entry.
struct Format {
    std::string_view name;
    // Whether the bytes are of this format, by their content only.
    std::function<bool(Bytes bytes)> recognises;
    // What the header tells; empty when the format has no header to read
    // (a GROB is read whole at once, a metafile only by drawing it).
    std::function<std::optional<Header>(Bytes bytes, const Options& options)> header;
    // The picture. `name` tells a GROB's kind by its extension.
    std::function<loading::Picture(Bytes bytes, const Options& options, const std::string& name)>
        load;
    // For a format told by its first bytes whose decoder reads a file where
    // it lies (PNG, JPEG, GIF, BMP, DIB): the header and the picture (or an
    // animation's frames) from the open file, as `header` and `load` give
    // them from its bytes, in the memory of the picture and a bounded buffer
    // whatever the file's size. Null for the others.
    std::function<std::optional<Header>(const codecs::File& file, const Options& options)>
        fileHeader = nullptr;
    std::function<loading::Picture(const codecs::File& file, const Options& options)> loadFile =
        nullptr;
    // Drawn by the picture renderer, within options.renderMemoryBytes.
    bool rendered = false;
};

// The format of these bytes: the first of the registry that recognises
// them (the renderer, which tries whatever Qt reads, when none does).
const Format& Recognise(Bytes bytes);

// Loads JPEG, GIF, BMP, DIB (with or without file header), ICO, CUR, WMF,
// EMF, GROBs and lists of GROBs in the binary and the text form, and every
// other kind Qt reads. A GROB's kind (gro, gro2, ..., g32) is told by the
// file name's extension, whatever its case, any other name being a plain
// 1-bit GROB. A file that cannot be read whole, or that is not a regular
// file, is a failure. Pictures larger than the limits are refused from
// their header where they have one (Refusal).
loading::Picture Load(const std::string& path, const Options& options = {});
// The same for a file's bytes (standard input, say); `name` tells a GROB's kind.
loading::Picture LoadBytes(Bytes bytes, const Options& options = {}, const std::string& name = {});

// What a header refuses: a picture larger than the limits, or what else it
// refuses (Header::refusal); empty when nothing.
std::string Refusal(const Header& header);

// Where the picture renderer lives (beside the program, or installed).
std::string RendererPath();

} // namespace pictureloader
