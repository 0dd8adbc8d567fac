// What the formats' handlers share: the limits, the composition over white
// with the exact rounding of Qt's raster code, the row sink and the Exif
// orientation.
#pragma once

#include "codecs.h"
#include "grob/compose.h"
#include "grob/prepare.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace codecs::detail {

// A composed pixel: its colour over white, and in the top byte how opaque
// the picture was there (255: opaque, 0: clear).
inline std::uint32_t Pack(std::uint32_t r, std::uint32_t g, std::uint32_t b,
                          std::uint32_t a = 255) {
    return r | g << 8 | b << 16 | a << 24;
}

// The composition over white is the engine's, shared with the web page.
using grob::OverWhite;

// A 16-bit channel to 8 bits, rounded as QRgba64::toArgb32 rounds.
inline std::uint32_t Div257(std::uint32_t x) {
    x += 128;
    return (x - (x >> 8)) >> 8;
}

// c * a / 65535, rounded as QRgba64::premultiplied rounds.
inline std::uint32_t Div65535(std::uint32_t x) {
    return (x + (x >> 16) + 0x8000) >> 16;
}

// A straight 16-bit colour over white, as the painter draws a 16-bit image
// onto a 32-bit one: premultiplied in 16 bits, reduced to 8, then blended.
inline std::uint32_t OverWhite16(std::uint32_t r, std::uint32_t g, std::uint32_t b,
                                 std::uint32_t a) {
    const std::uint32_t clear = 255 - Div257(a);
    return Pack(Div257(Div65535(r * a)) + clear, Div257(Div65535(g * a)) + clear,
                Div257(Div65535(b * a)) + clear, Div257(a));
}

// A picture's bytes at any place, from memory or from a file read through a
// bounded buffer: what a header reader walks and a decoder reads, the same
// way from both. From a file, a piece read when it is asked for; the next
// pieces read on from there.
class Reader {
  public:
    explicit Reader(Bytes bytes) : bytes_(bytes), size_(bytes.size()) {}
    explicit Reader(const File& file)
        : file_(&file), size_(file.size), buffer_(new std::uint8_t[kPiece]) {}
    std::uint64_t size() const { return size_; }
    // Up to `length` bytes at `at` (from a file, at most kPiece), valid
    // until the next call: fewer at the end of the data, or where reading
    // the file fails. A piece read afresh starts there, or with `backwards`
    // ends where they end, for a reader going toward the file's start.
    Bytes at(std::uint64_t at, std::size_t length, bool backwards = false);
    // The bytes from `at` on that are at hand: from memory all of them, from
    // a file what the buffer holds from there (a piece read afresh when it
    // holds none); none at the end of the data.
    Bytes rest(std::uint64_t at);
    // `length` bytes at `at` copied to `out`; false when they are not all there.
    bool copy(std::uint64_t at, std::uint8_t* out, std::size_t length);
    // `length` bytes at `at` (fewer as for `at`), from a file held in `room`.
    Bytes whole(std::uint64_t at, std::size_t length, std::vector<std::uint8_t>& room);
    // Why reading the file failed (an errno); 0 when it never did.
    int error() const { return error_; }

    static constexpr std::size_t kPiece = 128 << 10;

  private:
    Bytes bytes_;
    const File* file_ = nullptr;
    std::uint64_t size_ = 0;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::uint64_t start_ = 0; // where the buffer's bytes lie in the file
    std::size_t held_ = 0;
    int error_ = 0;
};

// Fails with the limits' message when the size is beyond the options' limits.
bool CheckSize(std::int64_t width, std::int64_t height, const DecodeOptions& options,
               Decoded& result);
// Sizes the picture's pixels (width * height); false, with the cause in
// result, when memory runs out.
bool Allocate(Image& image, int width, int height, Decoded& result);

// A fitted picture as a decoded one, every pixel opaque.
Image Opaque(grob::MemoryRaster&& fitted);
// The picture fitted whole (grob::Fit), every pixel opaque.
Image FitWhole(const Image& picture, const DecodeOptions& options);
// Rows of a picture in order, top first, either kept as they come (nothing
// is written twice) or fed to the row fitter when the options ask for the
// picture fitted.
class RowSink {
  public:
    RowSink(int width, int height, const DecodeOptions& options);
    void add(const std::uint32_t* row);
    Image take();

  private:
    int width_;
    std::optional<grob::RowFitter> fitter_;
    Image image_;
};
// The most memory a row fitter takes for a width x height picture and
// these options, the fitted picture handed on included.
std::uint64_t FitMemory(int width, int height, const DecodeOptions& options);

// The orientation (1 to 8, as Exif numbers them; 1 when none is recorded or
// the value is out of range) in Exif data: the TIFF structure a PNG's eXIf
// chunk holds, or the same after the "Exif\0\0" that opens a JPEG's APP1
// segment. Read with libexif, at most kMostExif bytes of it; LibraryMissing
// (libraries.h) when libexif cannot be opened. 1 whenever the options keep
// the stored orientation.
constexpr std::size_t kMostExif = 256 * 1024;
int ExifOrientation(Bytes exif, const DecodeOptions& options);
// The Exif data of a file whose header tells where it lies.
inline Bytes ExifOf(Bytes bytes, const Header& header) {
    return bytes.subspan(header.exifAt, header.exifBytes);
}
// Whether the orientation turns the picture a quarter (5 to 8): the upright
// picture is as wide as the stored one is high.
inline bool SwapsSides(int orientation) {
    return orientation >= 5 && orientation <= 8;
}
// Turns the picture upright from the stored orientation (2 to 8: mirrored,
// turned or both; anything else leaves it as it is), as browsers show it.
// Mirroring works in place; a quarter turn holds the picture twice while it
// works. False, with the cause in `error`, when memory runs out.
bool ApplyOrientation(Image& image, int orientation, std::string& error);

} // namespace codecs::detail
