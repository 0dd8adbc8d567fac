// A loaded picture (one, or every frame of an animation, page of a TIFF or
// GROB of a list), or why there is none.
#pragma once

#include "grob/grobfile.h"
#include "grob/kinds.h"
#include "grob/raster.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace loading {

// One picture of a file.
struct Frame {
    grob::Image image; // composed over white
    // Each pixel's opacity (255 opaque, 0 clear), when it was asked for and
    // the picture has any transparency; empty otherwise.
    std::vector<std::uint8_t> opacity;
    int delayMs = 0; // how long an animation shows it; 0 for a still picture
};

struct Picture {
    // The picture; with every frame asked for, each frame, page or GROB of
    // the file in order. Empty on failure.
    std::vector<Frame> frames;
    std::string error; // empty when the picture was loaded
    // A GROB in the binary transfer form carries the calculator series in
    // its header; nothing for any other picture.
    std::optional<grob::Series> series;
    // A GROB (or list) read back: the kind its name tells; nothing for any
    // other picture.
    std::optional<grob::OutputKind> grobKind;
    // The failure: the picture renderer stopped where more memory might have
    // let it draw the picture (renderclient::Result::limited).
    bool rendererLimited = false;

    bool ok() const { return error.empty(); }
    // The first (or only) picture.
    grob::Image& image() { return frames.front().image; }
    const grob::Image& image() const { return frames.front().image; }
    // Never an empty cause: a failure always says something.
    static Picture Failure(std::string why) {
        Picture picture;
        picture.error = why.find_first_not_of(" \t\r\n") == std::string::npos ? "it cannot be read"
                                                                              : std::move(why);
        return picture;
    }
};

} // namespace loading
