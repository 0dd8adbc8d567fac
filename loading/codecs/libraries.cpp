// The JPEG, GIF and Exif libraries, opened by their sonames (found when the
// program was configured) when a picture first needs them. The decoders call
// the libraries' functions by their own names: those names are defined here,
// hidden in this program (never exported, so the libraries' calls among their
// own functions stay within the library), and each passes the call on to the
// function found in the library.
#include "libraries.h"
#include "sharedlibrary.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include <dlfcn.h>

#include <gif_lib.h>
#include <jpeglib.h>
#include <libexif/exif-data.h>
#include <libexif/exif-utils.h>

namespace codecs::detail {

namespace {

struct JpegFunctions {
    decltype(&::jpeg_std_error) jpeg_std_error;
    decltype(&::jpeg_CreateDecompress) jpeg_CreateDecompress;
    decltype(&::jpeg_destroy_decompress) jpeg_destroy_decompress;
    decltype(&::jpeg_read_header) jpeg_read_header;
    decltype(&::jpeg_calc_output_dimensions) jpeg_calc_output_dimensions;
    decltype(&::jpeg_start_decompress) jpeg_start_decompress;
    decltype(&::jpeg_read_scanlines) jpeg_read_scanlines;
    decltype(&::jpeg_finish_decompress) jpeg_finish_decompress;
    decltype(&::jpeg_resync_to_restart) jpeg_resync_to_restart;
};

struct GifFunctions {
    decltype(&::DGifOpen) DGifOpen;
    decltype(&::DGifCloseFile) DGifCloseFile;
    decltype(&::DGifGetRecordType) DGifGetRecordType;
    decltype(&::DGifGetImageDesc) DGifGetImageDesc;
    decltype(&::DGifGetLine) DGifGetLine;
    decltype(&::DGifGetExtension) DGifGetExtension;
    decltype(&::DGifGetExtensionNext) DGifGetExtensionNext;
    decltype(&::DGifGetCode) DGifGetCode;
    decltype(&::DGifGetCodeNext) DGifGetCodeNext;
    decltype(&::GifErrorString) GifErrorString;
};

struct ExifFunctions {
    decltype(&::exif_data_new) exif_data_new;
    decltype(&::exif_data_unref) exif_data_unref;
    decltype(&::exif_data_set_option) exif_data_set_option;
    decltype(&::exif_data_unset_option) exif_data_unset_option;
    decltype(&::exif_data_load_data) exif_data_load_data;
    decltype(&::exif_data_get_byte_order) exif_data_get_byte_order;
    decltype(&::exif_content_get_entry) exif_content_get_entry;
    decltype(&::exif_get_short) exif_get_short;
};

#define VELDAR_FIND(name) Find(handle, soname, #name, f.name, found.error)

const Opened<JpegFunctions>& Jpeg() {
    static const Opened<JpegFunctions> opened =
        OpenByName<JpegFunctions>("JPEG", VELDAR_JPEG_SONAME, [](void* handle, auto& found) {
            const char* soname = VELDAR_JPEG_SONAME;
            JpegFunctions& f = found.functions;
            VELDAR_FIND(jpeg_std_error);
            VELDAR_FIND(jpeg_CreateDecompress);
            VELDAR_FIND(jpeg_destroy_decompress);
            VELDAR_FIND(jpeg_read_header);
            VELDAR_FIND(jpeg_calc_output_dimensions);
            VELDAR_FIND(jpeg_start_decompress);
            VELDAR_FIND(jpeg_read_scanlines);
            VELDAR_FIND(jpeg_finish_decompress);
            VELDAR_FIND(jpeg_resync_to_restart);
        });
    return opened;
}

const Opened<GifFunctions>& Gif() {
    static const Opened<GifFunctions> opened =
        OpenByName<GifFunctions>("GIF", VELDAR_GIF_SONAME, [](void* handle, auto& found) {
            const char* soname = VELDAR_GIF_SONAME;
            GifFunctions& f = found.functions;
            VELDAR_FIND(DGifOpen);
            VELDAR_FIND(DGifCloseFile);
            VELDAR_FIND(DGifGetRecordType);
            VELDAR_FIND(DGifGetImageDesc);
            VELDAR_FIND(DGifGetLine);
            VELDAR_FIND(DGifGetExtension);
            VELDAR_FIND(DGifGetExtensionNext);
            VELDAR_FIND(DGifGetCode);
            VELDAR_FIND(DGifGetCodeNext);
            VELDAR_FIND(GifErrorString);
        });
    return opened;
}

const Opened<ExifFunctions>& Exif() {
    static const Opened<ExifFunctions> opened =
        OpenByName<ExifFunctions>("Exif", VELDAR_EXIF_SONAME, [](void* handle, auto& found) {
            const char* soname = VELDAR_EXIF_SONAME;
            ExifFunctions& f = found.functions;
            VELDAR_FIND(exif_data_new);
            VELDAR_FIND(exif_data_unref);
            VELDAR_FIND(exif_data_set_option);
            VELDAR_FIND(exif_data_unset_option);
            VELDAR_FIND(exif_data_load_data);
            VELDAR_FIND(exif_data_get_byte_order);
            VELDAR_FIND(exif_content_get_entry);
            VELDAR_FIND(exif_get_short);
        });
    return opened;
}

#undef VELDAR_FIND

// The functions of a library the decoders have made sure of (OpenLibrary):
// reaching one that is not there is a fault of this program.
template <typename Functions> const Functions& Sure(const Opened<Functions>& opened) {
    if (!opened.error.empty()) {
        std::fprintf(stderr, "veldar: a decoder called into a library it had not opened: %s\n",
                     opened.error.c_str());
        std::abort();
    }
    return opened.functions;
}

} // namespace

const std::string& OpenLibrary(Library library) {
    switch (library) {
    case Library::Jpeg:
        return Jpeg().error;
    case Library::Gif:
        return Gif().error;
    case Library::Exif:
        return Exif().error;
    }
    static const std::string unknown = "no such library";
    return unknown;
}

} // namespace codecs::detail

using codecs::detail::Exif;
using codecs::detail::Gif;
using codecs::detail::Jpeg;
using codecs::detail::Sure;

#define VELDAR_PASS(library, result, name, parameters, ...)                                        \
    extern "C" [[gnu::visibility("hidden")]] result name parameters {                              \
        return Sure(library()).name(__VA_ARGS__);                                                  \
    }

VELDAR_PASS(Jpeg, jpeg_error_mgr*, jpeg_std_error, (jpeg_error_mgr * e), e)
VELDAR_PASS(Jpeg, void, jpeg_CreateDecompress, (j_decompress_ptr c, int v, size_t s), c, v, s)
VELDAR_PASS(Jpeg, void, jpeg_destroy_decompress, (j_decompress_ptr c), c)
VELDAR_PASS(Jpeg, int, jpeg_read_header, (j_decompress_ptr c, boolean image), c, image)
VELDAR_PASS(Jpeg, void, jpeg_calc_output_dimensions, (j_decompress_ptr c), c)
VELDAR_PASS(Jpeg, boolean, jpeg_start_decompress, (j_decompress_ptr c), c)
VELDAR_PASS(Jpeg, JDIMENSION, jpeg_read_scanlines,
            (j_decompress_ptr c, JSAMPARRAY rows, JDIMENSION most), c, rows, most)
VELDAR_PASS(Jpeg, boolean, jpeg_finish_decompress, (j_decompress_ptr c), c)
VELDAR_PASS(Jpeg, boolean, jpeg_resync_to_restart, (j_decompress_ptr c, int wanted), c, wanted)

VELDAR_PASS(Gif, GifFileType*, DGifOpen, (void* user, InputFunc read, int* error), user, read,
            error)
VELDAR_PASS(Gif, int, DGifCloseFile, (GifFileType * gif, int* error), gif, error)
VELDAR_PASS(Gif, int, DGifGetRecordType, (GifFileType * gif, GifRecordType* type), gif, type)
VELDAR_PASS(Gif, int, DGifGetImageDesc, (GifFileType * gif), gif)
VELDAR_PASS(Gif, int, DGifGetLine, (GifFileType * gif, GifPixelType* line, int length), gif, line,
            length)
VELDAR_PASS(Gif, int, DGifGetExtension, (GifFileType * gif, int* code, GifByteType** block), gif,
            code, block)
VELDAR_PASS(Gif, int, DGifGetExtensionNext, (GifFileType * gif, GifByteType** block), gif, block)
VELDAR_PASS(Gif, int, DGifGetCode, (GifFileType * gif, int* size, GifByteType** block), gif, size,
            block)
VELDAR_PASS(Gif, int, DGifGetCodeNext, (GifFileType * gif, GifByteType** block), gif, block)
VELDAR_PASS(Gif, const char*, GifErrorString, (int error), error)

VELDAR_PASS(Exif, ExifData*, exif_data_new, (void))
VELDAR_PASS(Exif, void, exif_data_unref, (ExifData * data), data)
VELDAR_PASS(Exif, void, exif_data_set_option, (ExifData * data, ExifDataOption o), data, o)
VELDAR_PASS(Exif, void, exif_data_unset_option, (ExifData * data, ExifDataOption o), data, o)
VELDAR_PASS(Exif, void, exif_data_load_data,
            (ExifData * data, const unsigned char* bytes, unsigned int size), data, bytes, size)
VELDAR_PASS(Exif, ExifByteOrder, exif_data_get_byte_order, (ExifData * data), data)
VELDAR_PASS(Exif, ExifEntry*, exif_content_get_entry, (ExifContent * content, ExifTag tag), content,
            tag)
VELDAR_PASS(Exif, ExifShort, exif_get_short, (const unsigned char* bytes, ExifByteOrder order),
            bytes, order)

#undef VELDAR_PASS
