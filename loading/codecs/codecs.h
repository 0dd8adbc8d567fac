// Decoders of their own for the common picture kinds (PNG, JPEG, GIF, BMP and
// packed DIB) on Debian's libpng, libjpeg-turbo and giflib, with no Qt at
// all, and a PNG encoder. A decoded picture is composed over white into
// 0xAABBGGRR pixels, the colours exactly as the picture renderer composes
// what Qt's image readers give (render::ComposeOverWhite), and AA how opaque
// the picture was there (255 opaque, 0 clear), for masks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace codecs {

enum class Format {
    Png,
    Jpeg,
    Gif,
    Bmp, // with the 14-byte "BM" file header
    Dib, // packed DIB: the info header first, no file header
    Other
};

// The kind by the first bytes only (never by a file name): the PNG
// signature, FF D8 FF, "GIF87a"/"GIF89a", "BM", or a DIB info header size
// (12, 40, 52, 56, 64, 108, 124) that is not a metafile's.
Format Sniff(std::span<const std::uint8_t> bytes);

// Whether `size` is the length of a bitmap info header this program reads
// (core, the Windows 3 header and its extensions up to version 5).
bool KnownBitmapHeaderSize(std::uint32_t size);

// Whether a BMP (with its file header) or a packed DIB holds all the pixel
// data its header promises; true for a layout it does not know (the decoder
// then decides). Reads only inside `data`.
bool BitmapComplete(std::span<const std::uint8_t> data, bool fileHeader);

// Whether a JPEG's segments reach its end-of-image marker, each within the
// data (what a file cut short lacks); true for bytes that are not a JPEG (the
// decoder then decides). Reads only inside `bytes`, scanning the
// entropy-coded data with memchr.
bool JpegComplete(std::span<const std::uint8_t> bytes);

struct Size {
    int width = 0;
    int height = 0;
};

// The picture's size from its header alone, without decoding: what the
// decoder would allocate (for a GIF, the canvas). Nothing when the header is
// missing or not of that kind.
std::optional<Size> PeekSize(std::span<const std::uint8_t> bytes, Format format);

// A picture row by row, top row first, each pixel 0xAABBGGRR (red in the low
// byte), composed over white; AA is the picture's own opacity there.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

struct DecodeOptions {
    // The box the picture is to be fitted into (grob::FittedSize), when both
    // are > 0. A JPEG is then decoded at the smallest scale n/8 (n = 1..8)
    // whose upright size is still not smaller than the picture fitted into
    // the box, its proportions kept.
    int fitWidth = 0;
    int fitHeight = 0;
    // With a box: hand back the picture already fitted, its rows fitted as
    // they are decoded (grob::RowFitter), so that memory follows the fitted
    // size; the pixels are exactly grob::Fit's of the picture decoded
    // without it, every one opaque (for a picture whose opacity is not
    // needed). `upscale` enlarges a smaller picture as the fit would.
    bool shrinkOnLoad = false;
    bool upscale = false;
    // Keep the picture as stored: a JPEG's Exif orientation is not applied.
    bool keepOrientation = false;
    // Larger pictures are refused from their header, before any pixel memory
    // is taken: more than maxSide pixels on a side or maxPixels in all.
    int maxSide = 16384;
    std::int64_t maxPixels = 32LL * 1024 * 1024;
};

struct Decoded {
    Image image;
    std::string error; // why there is no picture, in plain words; empty on success
    bool ok() const { return error.empty(); }
};

// Decodes the first (or only) picture of `bytes`, which hold `format`
// (Other is refused), with the pixels the Qt loader gives today: a GIF is
// its first frame as Qt draws it (a frame that leaves the canvas uncovered
// lies on the background colour); EXIF orientation is not applied. Damaged
// and cut-short data is refused with its cause, as the Qt loader refuses
// it; nothing is printed and the process never aborts.
Decoded Decode(std::span<const std::uint8_t> bytes, Format format,
               const DecodeOptions& options = {});

// One moment of an animated GIF: the whole canvas as a browser shows it,
// composed over white, and how long it stays (ms).
struct Frame {
    Image image;
    int delayMs = 100;
};

// Every frame of a GIF, each drawn at its place over what the previous
// frame's disposal left (0 and 1 keep it, 2 clears the frame's rectangle,
// which shows white, 3 restores what was there before the frame); the
// canvas starts clear (white) and transparent pixels leave it as it is.
// Delays of 0 or 10 ms (and frames without a delay) count as 100 ms, as
// browsers do. The frames together may hold at most 4 x maxPixels pixels.
// On failure (damaged data anywhere in the file, too large) the result is
// empty and *error says why; a missing trailer or rubbish after the last
// frame only ends the animation.
std::vector<Frame> DecodeGifFrames(std::span<const std::uint8_t> bytes,
                                   const DecodeOptions& options, std::string* error);

// A PNG file of the picture (8-bit RGB, default compression) from 0x??BBGGRR
// pixels, `stride` pixels from one row to the next. Empty on failure, with
// *error saying why (when error is not null).
std::vector<std::uint8_t> EncodePng(const std::uint32_t* pixels, int width, int height,
                                    std::ptrdiff_t stride, std::string* error);

} // namespace codecs
