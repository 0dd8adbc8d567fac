// Decoders of their own for the common picture kinds (PNG, JPEG, GIF, BMP and
// packed DIB) on Debian's libpng, libjpeg-turbo and giflib, with no Qt at
// all, and a PNG encoder. A decoded picture is composed over white into
// 0xAABBGGRR pixels, the colours exactly as the picture renderer composes
// what Qt's image readers give (render::ComposeOverWhite), and AA how opaque
// the picture was there (255 opaque, 0 clear), for masks.
//
// Each format is one handler (Handler below), in a file of its own under
// formats/: the test of its signature, its header reader (plain parsing, no
// library, so that the web page reads headers with the very same code) and
// its decoder. formats.cpp lists them in the order they are tried.
#pragma once

#include "grob/checks.h"
#include "grob/prepare.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace codecs {

using Bytes = std::span<const std::uint8_t>;

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

// A picture row by row, top row first, each pixel 0xAABBGGRR (red in the low
// byte), composed over white; AA is the picture's own opacity there.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

struct DecodeOptions {
    // The box the picture is to fit in (grob::Preparation's fit), when it
    // has one. A JPEG is then decoded at the smallest scale n/8 (n = 1..8)
    // whose upright size is still not smaller than the picture fitted into
    // this box, its proportions kept (grob::FitSize), and that fits to
    // that very size.
    grob::FitBox fit{};
    // With the box: the picture comes already fitted, exactly as grob::Fit
    // fits the picture decoded whole (enlarged by whole factors only with
    // the box's `upscale`), every pixel opaque (its top byte 255: the opacity is not
    // kept, so never ask for it where masks are wanted). PNG (not
    // interlaced), GIF, JPEG (as stored or mirrored; turned pictures once
    // whole at their decoding scale) and BMP feed their rows to the fitter
    // as they decode them, so that memory follows the fitted size rather
    // than the picture's.
    bool fitted = false;
    // The picture as stored, not turned upright by the orientation its
    // Exif data records (a PNG's eXIf chunk, a JPEG's APP1 segment).
    bool keepStoredOrientation = false;
    // Larger pictures are refused from their header, before any pixel memory
    // is taken: more than maxSide pixels on a side or maxPixels in all.
    int maxSide = grob::kMaxSide;
    std::int64_t maxPixels = grob::kMaxPixels;

    bool fits() const { return fit.any(); }
};

// What a picture's header tells before any decoding (the file walked through
// its blocks, chunks or markers, never decompressed): its size as it will be
// shown (upright once the orientation is applied; for a GIF, the canvas),
// and what the decoder's memory depends on.
struct Header {
    int width = 0;
    int height = 0;
    int frames = 1;          // a GIF's image descriptors; 1 for the other kinds
    int orientation = 1;     // what turns the stored picture upright (1: nothing)
    bool interlaced = false; // PNG Adam7; GIF: the first frame interlaced
    // GIF: the most pixels of one frame's own rectangle, and whether any
    // frame asks for what it covered to be restored afterwards (disposal 3).
    std::int64_t largestFrame = 0;
    bool restores = false;
    // What the decoder holds whatever the options, besides the rows it hands
    // on: a JPEG's coefficients, which libjpeg keeps for the whole picture
    // when it comes in several scans (progressive, or a component a scan); a
    // run-length bitmap's indices.
    std::uint64_t held = 0;
    std::size_t fileBytes = 0; // the file's size (a decoder may keep parts of it)
    // Where the file's Exif data lies (a PNG's eXIf chunk, the "Exif\0\0"
    // APP1 segment of a JPEG); no bytes when it has none.
    std::size_t exifAt = 0, exifBytes = 0;
};

// A picture file read where it lies, a bounded piece at a time, rather than
// whole in memory: an open file, and its size when it was opened. Nothing
// past that size is read, so a file that grows meanwhile gives the picture
// it held, and one that shrinks is cut short.
struct File {
    int fd = -1;
    std::uint64_t size = 0;
    // Up to into.size() bytes at `at`, never past `size`; how many were read:
    // fewer at the end of the file, or when reading fails (*error then says
    // why, an errno).
    std::size_t read(std::uint64_t at, std::span<std::uint8_t> into, int* error = nullptr) const;
};

struct Decoded {
    Image image;
    std::string error; // why there is no picture, in plain words; empty on success
    bool ok() const { return error.empty(); }
};

// One moment of an animated GIF: the whole canvas as a browser shows it,
// composed over white, and how long it stays (ms).
struct Frame {
    Image image;
    int delayMs = 100;
};
// Takes each frame in turn; false: no more are wanted, and the sink may then
// take the frame's pixels (the decoder no longer needs them).
using FrameSink = std::function<bool(Frame& frame)>;

// One picture format, as an image plugin of Qt or KDE holds one: the test
// of its signature, its header reader and its decoder, all reading the file
// through the same header reader.
struct Handler {
    std::string_view name; // "PNG", "JPEG", ...
    // Whether the bytes are of this format, by their first bytes only
    // (never by a file name).
    bool (*canRead)(Bytes bytes);
    // The header as the file stores it (no orientation applied), by plain
    // parsing (no decoder library); nothing when it is missing or damaged
    // (the decoder then says why). Sizes beyond any limit are told, not
    // refused.
    std::optional<Header> (*readHeader)(Bytes bytes);
    // An upper bound, in bytes, of the most memory the decoder takes at once
    // for a picture with this header and these options (the picture it
    // gives included): for `read`, or with `allFrames` for `readFrames`
    // with a sink (the frames the sink keeps are the caller's). Meant to be
    // set aside from a budget shared by all the pictures decoded at the
    // same time.
    std::size_t (*memory)(const Header& header, const DecodeOptions& options, bool allFrames);
    // The first (or only) picture (see Decode).
    Decoded (*read)(Bytes bytes, const DecodeOptions& options);
    // Every frame, to a sink (see DecodeGifFrames); null for the formats of
    // one picture.
    bool (*readFrames)(Bytes bytes, const DecodeOptions& options, const FrameSink& sink,
                       std::string* error) = nullptr;
    // The header, the first picture and every frame as readHeader, read
    // and readFrames give them, from a file read where it lies: the
    // decoder's memory does not grow with the file's size. Null for the
    // formats read from memory only (and readFileFrames for those of one
    // picture).
    std::optional<Header> (*readFileHeader)(const File& file) = nullptr;
    Decoded (*readFile)(const File& file, const DecodeOptions& options) = nullptr;
    bool (*readFileFrames)(const File& file, const DecodeOptions& options, const FrameSink& sink,
                           std::string* error) = nullptr;
};

// Every format, in the order they are tried (formats.cpp).
std::span<const Handler* const> Handlers();

// The format of these bytes, by their first bytes: the first handler that
// can read them (PNG, JPEG, GIF87a/89a, "BM", a bitmap info header's size
// that is not a metafile's), or null.
const Handler* Sniff(Bytes bytes);

// The handler of that name, or null.
const Handler* ByName(std::string_view name);

// The header of `bytes` as stored (the handler's readHeader, with the
// file's size), nothing for no handler. Plain parsing only.
std::optional<Header> PeekStoredHeader(Bytes bytes, const Handler* handler);

// The same with the orientation the Exif data records applied (read with
// libexif, orientation.cpp) unless the options keep the stored one: the
// size as Decode gives it.
std::optional<Header> PeekHeader(Bytes bytes, const Handler* handler,
                                 const DecodeOptions& options = {});

// The same for a file its handler reads where it lies (readFileHeader):
// the same header as from the file's bytes, the Exif data read from the
// file; nothing for a handler that reads from memory only.
std::optional<Header> PeekStoredHeader(const File& file, const Handler* handler);
std::optional<Header> PeekHeader(const File& file, const Handler* handler,
                                 const DecodeOptions& options = {});

// Decodes the first (or only) picture of `bytes` with their format's
// handler (none is refused), with the pixels the Qt loader gives today: a
// GIF is its first frame as Qt draws it (a frame that leaves the canvas
// uncovered lies on the background colour), its interlaced rows placed as
// browsers place them; a PNG is turned upright by the orientation of its
// eXIf chunk (before the IDAT data) unless the options keep it as stored.
// Damaged and cut-short data is refused with its cause, as the Qt loader
// refuses it; data that cannot hold the picture its header promises is
// refused before any pixel memory is taken. Nothing is printed and the
// process never aborts.
Decoded Decode(Bytes bytes, const Handler* handler, const DecodeOptions& options = {});
// The same from a file its handler reads where it lies (readFile): the same
// picture, or the same cause, as from the file's bytes; a file that cannot
// be read is refused with the system's cause.
Decoded Decode(const File& file, const Handler* handler, const DecodeOptions& options = {});

// Every frame of a GIF, each drawn at its place over what the previous
// frame's disposal left (0 and 1 keep it, 2 clears the frame's rectangle,
// which shows white, 3 restores what was there before the frame); the
// canvas starts clear (white) and transparent pixels leave it as it is.
// Delays of 0 or 10 ms (and frames without a delay) count as 100 ms, as
// browsers do. Every frame's rectangle and data are checked from the file
// before any is decoded (too large: refused; too little data for its
// pixels: cut short). On failure (damaged data anywhere in the file, too
// large) *error says why; a missing trailer or rubbish after the last frame
// only ends the animation.
//
// Each frame goes to `sink` as soon as it is composed (fitted when the
// options ask for it), valid only during the call: the decoder holds the
// canvas, the copy that disposal 3 restores and one fitted frame, never the
// frames already handed on. The sink returns false to stop early (not a
// failure). Returns whether the frames were decoded (or the sink stopped).
bool DecodeGifFrames(Bytes bytes, const DecodeOptions& options, const FrameSink& sink,
                     std::string* error);
// The same from a file read where it lies: the same frames, or the same
// cause, as from its bytes; a file that cannot be read fails with the
// system's cause.
bool DecodeGifFrames(const File& file, const DecodeOptions& options, const FrameSink& sink,
                     std::string* error);

// Why an animation's frames are not all kept: together they hold more
// pixels than the reader keeps at once.
inline constexpr char kTooManyFrames[] =
    "the animation has too many frames of this size to hold at once";

// The same, every frame kept: together they may hold at most 4 x maxPixels
// pixels (fitted pixels when fitted). Empty on failure (too many frames:
// kTooManyFrames).
std::vector<Frame> DecodeGifFrames(Bytes bytes, const DecodeOptions& options, std::string* error);

// How a PNG file holds a picture's pixels, and how hard it is packed.
struct PngForm {
    enum class Kind { Rgb, Gray, Palette };
    Kind kind = Kind::Rgb;
    int depth = 8; // bits a pixel (Gray, Palette: 1, 2, 4 or 8) or a channel (Rgb: 8)
    std::vector<std::uint32_t> palette{}; // Palette: its colours, 0x00BBGGRR, at most 2^depth
    int level = 6;                        // zlib's, 0 to 9
    bool filtered = true;                 // rows filtered as libpng chooses (else not at all)
};

// The smallest form that keeps every pixel of the picture exactly (the top
// byte is not written): the fewest bits a pixel, gray before a palette of as
// many bits. Gray when every pixel is: 1 bit for black and white only, 2 or
// 4 bits when every gray is one of theirs (0, 85, 170, 255; multiples of
// 17), else 8; a palette of at most 256 colours (grays or not), in order of
// their value; else 8-bit RGB. Packed as suits pictures of calculator size
// (measured by bench/codecs_bench png): zlib's level 6, rows filtered for
// 4- and 8-bit grays and RGB only.
PngForm SmallestPngForm(const std::uint32_t* pixels, int width, int height, std::ptrdiff_t stride);

// A PNG file of the picture in that form, from 0x??BBGGRR pixels, `stride`
// pixels from one row to the next. Empty on failure (a pixel the form cannot
// hold exactly among them), with *error saying why (when error is not null).
std::vector<std::uint8_t> EncodePng(const std::uint32_t* pixels, int width, int height,
                                    std::ptrdiff_t stride, const PngForm& form, std::string* error);

// The same in 8-bit RGB at zlib's default level.
std::vector<std::uint8_t> EncodePng(const std::uint32_t* pixels, int width, int height,
                                    std::ptrdiff_t stride, std::string* error);

// The same in the smallest exact form (SmallestPngForm).
std::vector<std::uint8_t> EncodePngSmallest(const std::uint32_t* pixels, int width, int height,
                                            std::ptrdiff_t stride, std::string* error);

} // namespace codecs
