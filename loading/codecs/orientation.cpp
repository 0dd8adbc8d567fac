// The orientation a camera or phone records in Exif data (read by libexif,
// opened when a picture first has such data), applied to the header as the
// formats' header readers find it and to the picture, turned upright as
// browsers show such pictures. The web page has none of this: its browser
// turns pictures itself.
#include "internal.h"
#include "libraries.h"

#include <libexif/exif-data.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace codecs::detail {

int ExifOrientation(Bytes exif, const DecodeOptions& options) {
    if (options.keepStoredOrientation) return 1;
    // libexif finds the data after the "Exif\0\0" that opens a JPEG's APP1
    // segment; a PNG's eXIf chunk holds the TIFF structure alone.
    static const std::uint8_t kHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
    const bool headed = exif.size() >= 6 && std::memcmp(exif.data(), kHeader, 6) == 0;
    if (exif.size() < 8) return 1;
    if (const std::string& why = OpenLibrary(Library::Exif); !why.empty())
        throw LibraryMissing(why);
    // A camera's Exif data fits a JPEG segment (64 KiB); past kMostExif
    // bytes nothing is read.
    exif = exif.first(std::min<std::size_t>(exif.size(), kMostExif));
    std::vector<std::uint8_t> headedCopy;
    if (!headed) {
        headedCopy.reserve(exif.size() + 6);
        headedCopy.insert(headedCopy.end(), kHeader, kHeader + 6);
        headedCopy.insert(headedCopy.end(), exif.begin(), exif.end());
        exif = headedCopy;
    }
    ExifData* data = exif_data_new();
    if (!data) return 1;
    // Read as it is, nothing added, fixed or rewritten: every option of
    // libexif off (the three bits), then unknown tags skipped and maker
    // notes left alone.
    exif_data_unset_option(data, ExifDataOption(7));
    exif_data_set_option(data, EXIF_DATA_OPTION_IGNORE_UNKNOWN_TAGS);
    exif_data_set_option(data, EXIF_DATA_OPTION_DONT_CHANGE_MAKER_NOTE);
    exif_data_load_data(data, exif.data(), unsigned(exif.size()));
    int orientation = 1;
    const ExifEntry* entry = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
    if (entry && entry->format == EXIF_FORMAT_SHORT && entry->components >= 1 && entry->data &&
        entry->size >= 2)
        orientation = exif_get_short(entry->data, exif_data_get_byte_order(data));
    exif_data_unref(data);
    return orientation >= 1 && orientation <= 8 ? orientation : 1;
}

bool ApplyOrientation(Image& image, int orientation, std::string& error) {
    const int w = image.width, h = image.height;
    if (orientation < 2 || orientation > 8 || w <= 0 || h <= 0) return true;
    auto at = [&](int x, int y) -> std::uint32_t& {
        return image.pixels[std::size_t(y) * std::size_t(w) + std::size_t(x)];
    };
    if (orientation == 2 || orientation == 3) { // each row mirrored
        for (int y = 0; y < h; ++y)
            std::reverse(&at(0, y), &at(0, y) + w);
    }
    if (orientation == 3 || orientation == 4) { // the rows in reverse order
        for (int y = 0; y < h / 2; ++y)
            std::swap_ranges(&at(0, y), &at(0, y) + w, &at(0, h - 1 - y));
    }
    if (!SwapsSides(orientation)) return true;
    // 5: transposed; 6: turned a quarter clockwise; 7: transposed across the
    // other diagonal; 8: turned a quarter anticlockwise. The upright picture
    // is h wide and w high; its row y is a column of the stored one.
    std::vector<std::uint32_t> upright, row;
    try {
        upright.reserve(std::size_t(w) * std::size_t(h));
        row.resize(std::size_t(h));
    } catch (const std::bad_alloc&) {
        error = "there is not enough memory for the picture";
        return false;
    }
    for (int y = 0; y < w; ++y) {
        const int column = orientation == 5 || orientation == 6 ? y : w - 1 - y;
        const bool down = orientation == 5 || orientation == 8;
        for (int x = 0; x < h; ++x)
            row[std::size_t(x)] = at(column, down ? x : h - 1 - x);
        upright.insert(upright.end(), row.begin(), row.end());
    }
    image.pixels = std::move(upright);
    image.width = h;
    image.height = w;
    return true;
}

} // namespace codecs::detail

namespace codecs {

namespace {

// The stored header turned upright by the orientation its Exif data records.
std::optional<Header> Upright(std::optional<Header> header, detail::Reader& reader,
                              const DecodeOptions& options) try {
    if (!header) return header;
    std::vector<std::uint8_t> room;
    const Bytes exif =
        reader.whole(header->exifAt, std::min(header->exifBytes, detail::kMostExif), room);
    header->orientation = detail::ExifOrientation(exif, options);
    if (detail::SwapsSides(header->orientation)) std::swap(header->width, header->height);
    return header;
} catch (const detail::LibraryMissing&) {
    return std::nullopt; // the decoder says why
}

} // namespace

std::optional<Header> PeekHeader(Bytes bytes, const Handler* handler,
                                 const DecodeOptions& options) {
    detail::Reader reader(bytes);
    return Upright(PeekStoredHeader(bytes, handler), reader, options);
}

std::optional<Header> PeekHeader(const File& file, const Handler* handler,
                                 const DecodeOptions& options) {
    detail::Reader reader(file);
    return Upright(PeekStoredHeader(file, handler), reader, options);
}

} // namespace codecs
