// Checks on the bytes of picture files, made before any decoder sees them:
// what the content is, whether a bitmap, JPEG, GIF or XBM is complete,
// which entry of an icon to show, and the sizes the headers of the kinds the
// renderer draws tell. Every function reads only inside `data`.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace picturecheck {

using Bytes = std::span<const std::uint8_t>;

enum class Kind { Wmf, Emf, PackedDib, Other };

// What the content is, by its first bytes (never by the file's name).
Kind Sniff(Bytes data);

// A BMP (with file header) or packed DIB whose pixel data is all there.
bool BitmapComplete(Bytes data, bool hasFileHeader);
// A JPEG whose entropy-coded data reaches its end-of-image marker.
bool JpegComplete(Bytes data);
// A GIF whose first image's data is all there.
bool GifComplete(Bytes data);
// An X bitmap whose array holds every byte its width and height need and is closed.
bool XbmComplete(Bytes data);

// The icon or cursor entry to show: the largest, then the one with the most colours.
int BestIconEntry(Bytes data);

// A picture's size in pixels, as a header tells it.
struct Size {
    std::int64_t width = 0;
    std::int64_t height = 0;
};

// The size the renderer draws a placeable Windows metafile at: its frame
// (bounding box in units, and units per inch) at 96 dots per inch. Nothing
// when the file is not placeable or its frame is empty (the drawing's own
// extent decides then).
std::optional<Size> WmfSize(Bytes data);
// The size the renderer draws an enhanced metafile at: its frame (in
// hundredths of a millimetre) at 96 dots per inch. Nothing when the header
// is cut short or the frame has no size.
std::optional<Size> EmfSize(Bytes data);
// The size of the icon or cursor entry BestIconEntry picks, as Qt's reader
// gives it: a PNG entry's own (its IHDR); a bitmap entry's from the
// directory, a 0 there meaning its bitmap's width (half its height, which
// counts the mask too). Nothing when that entry cannot be one.
std::optional<Size> IconSize(Bytes data);

// A page of a TIFF as its directory tells it: the size as stored (0 where
// it tells none), and the orientation (1 to 8, 1 when it tells none or
// another).
struct TiffPage {
    Size size;
    int orientation = 1;
};
// The most pages a TIFF's header is read for, and the most directory
// entries looked at in all.
constexpr int kMaxTiffPages = 4096;
constexpr std::int64_t kMaxTiffEntries = 1 << 20;
// The pages of a TIFF (classic, either byte order), as libtiff counts them:
// its directories from the first along their links, up to one whose entries
// or link do not lie within the file, or a link back to one already seen.
// Nothing when it is no TIFF, has no readable first directory, or holds
// more than the most pages or entries above.
std::optional<std::vector<TiffPage>> TiffPages(Bytes data);

} // namespace picturecheck
