// The formats the decoders of their own read, in the order they are tried.
// Each is a handler in a file of its own under formats/ (the test of its
// signature, its header reader and its decoder): a new format is one file
// there and its two lines here.
#include "codecs.h"

namespace codecs {

namespace formats {
extern const Handler kPng;  // formats/png.cpp
extern const Handler kJpeg; // formats/jpeg.cpp
extern const Handler kGif;  // formats/gif.cpp
extern const Handler kBmp;  // formats/bmp.cpp: with the 14-byte "BM" file header
extern const Handler kDib;  // formats/bmp.cpp: the info header first, no file header
} // namespace formats

std::span<const Handler* const> Handlers() {
    static constexpr const Handler* kHandlers[] = {
        &formats::kPng, &formats::kJpeg, &formats::kGif, &formats::kBmp, &formats::kDib,
    };
    return kHandlers;
}

} // namespace codecs
