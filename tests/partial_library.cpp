// A picture library's file, named by its soname, that has all its functions
// but the last the program looks for: the pictures that need it are refused
// when it is opened, before any of its functions is called (each here ends
// the program).
#include <cstdlib>

#define VELDAR_HAS(name)                                                                           \
    extern "C" [[noreturn]] void name();                                                           \
    void name() {                                                                                  \
        std::abort();                                                                              \
    }

#if defined(VELDAR_PARTIAL_JPEG) // no jpeg_resync_to_restart
VELDAR_HAS(jpeg_std_error)
VELDAR_HAS(jpeg_CreateDecompress)
VELDAR_HAS(jpeg_destroy_decompress)
VELDAR_HAS(jpeg_read_header)
VELDAR_HAS(jpeg_calc_output_dimensions)
VELDAR_HAS(jpeg_start_decompress)
VELDAR_HAS(jpeg_read_scanlines)
VELDAR_HAS(jpeg_finish_decompress)
#elif defined(VELDAR_PARTIAL_GIF)  // no GifErrorString
VELDAR_HAS(DGifOpen)
VELDAR_HAS(DGifCloseFile)
VELDAR_HAS(DGifGetRecordType)
VELDAR_HAS(DGifGetImageDesc)
VELDAR_HAS(DGifGetLine)
VELDAR_HAS(DGifGetExtension)
VELDAR_HAS(DGifGetExtensionNext)
VELDAR_HAS(DGifGetCode)
VELDAR_HAS(DGifGetCodeNext)
#elif defined(VELDAR_PARTIAL_EXIF) // no exif_get_short
VELDAR_HAS(exif_data_new)
VELDAR_HAS(exif_data_unref)
VELDAR_HAS(exif_data_set_option)
VELDAR_HAS(exif_data_unset_option)
VELDAR_HAS(exif_data_load_data)
VELDAR_HAS(exif_data_get_byte_order)
VELDAR_HAS(exif_content_get_entry)
#endif
