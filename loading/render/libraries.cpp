// The metafile libraries, libwmf (whose drawing layer links libjpeg, libpng,
// FreeType and X11) and libemf2svg, opened by their sonames (found when the
// program was configured) when a metafile is first drawn, not when the
// renderer starts: one that cannot be opened fails only the metafiles that
// need it, never an SVG, an icon or a TIFF. The drawing calls the libraries'
// functions by their own names: those names are defined here, hidden in the
// renderer (so that the libraries' calls among their own functions stay
// within them), each passing the call on to the function found.
#include "render.h"
#include "sharedlibrary.h"

#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/gd.h>

#include <cstdio>
#include <cstdlib>

#include <dlfcn.h>

namespace render {

namespace {

struct WmfFunctions {
    decltype(&::wmf_api_create) wmf_api_create;
    decltype(&::wmf_api_destroy) wmf_api_destroy;
    decltype(&::wmf_gd_function) wmf_gd_function;
    decltype(&::wmf_gd_image_pixels) wmf_gd_image_pixels;
    decltype(&::wmf_mem_open) wmf_mem_open;
    decltype(&::wmf_scan) wmf_scan;
    decltype(&::wmf_display_size) wmf_display_size;
    decltype(&::wmf_play) wmf_play;
};

struct EmfFunctions {
    decltype(&::emf2svg) emf2svg;
};

using codecs::detail::Find;
using codecs::detail::OpenByName;
using codecs::detail::Opened;

#define VELDAR_FIND(name) Find(handle, soname, #name, f.name, found.error)

const Opened<WmfFunctions>& Wmf() {
    static const Opened<WmfFunctions> opened =
        OpenByName<WmfFunctions>("metafile", VELDAR_WMF_SONAME, [](void* handle, auto& found) {
            const char* soname = VELDAR_WMF_SONAME;
            WmfFunctions& f = found.functions;
            VELDAR_FIND(wmf_api_create);
            VELDAR_FIND(wmf_api_destroy);
            VELDAR_FIND(wmf_gd_function);
            VELDAR_FIND(wmf_gd_image_pixels);
            VELDAR_FIND(wmf_mem_open);
            VELDAR_FIND(wmf_scan);
            VELDAR_FIND(wmf_display_size);
            VELDAR_FIND(wmf_play);
        });
    return opened;
}

const Opened<EmfFunctions>& Emf() {
    static const Opened<EmfFunctions> opened =
        OpenByName<EmfFunctions>("metafile", VELDAR_EMF2SVG_SONAME, [](void* handle, auto& found) {
            const char* soname = VELDAR_EMF2SVG_SONAME;
            EmfFunctions& f = found.functions;
            VELDAR_FIND(emf2svg);
        });
    return opened;
}

#undef VELDAR_FIND

} // namespace

const std::string& OpenMetafileLibrary(Metafile kind) {
    return kind == Metafile::Wmf ? Wmf().error : Emf().error;
}

// The functions of a library the drawing has made sure of (OpenMetafileLibrary):
// reaching one that is not there is a fault of this program.
template <typename Functions> const Functions& Sure(const Opened<Functions>& opened) {
    if (!opened.error.empty()) {
        std::fprintf(stderr, "a metafile was drawn without its library: %s\n",
                     opened.error.c_str());
        std::abort();
    }
    return opened.functions;
}

} // namespace render

using render::Emf;
using render::Sure;
using render::Wmf;

#define VELDAR_PASS(library, result, name, parameters, ...)                                        \
    extern "C" [[gnu::visibility("hidden")]] result name parameters {                              \
        return Sure(library()).name(__VA_ARGS__);                                                  \
    }

VELDAR_PASS(Wmf, wmf_error_t, wmf_api_create,
            (wmfAPI * *api, unsigned long flags, wmfAPI_Options* o), api, flags, o)
VELDAR_PASS(Wmf, wmf_error_t, wmf_api_destroy, (wmfAPI * api), api)
VELDAR_PASS(Wmf, void, wmf_gd_function, (wmfAPI * api), api)
VELDAR_PASS(Wmf, int*, wmf_gd_image_pixels, (void* image), image)
VELDAR_PASS(Wmf, wmf_error_t, wmf_mem_open, (wmfAPI * api, unsigned char* data, long size), api,
            data, size)
VELDAR_PASS(Wmf, wmf_error_t, wmf_scan, (wmfAPI * api, unsigned long flags, wmfD_Rect* drawn), api,
            flags, drawn)
VELDAR_PASS(Wmf, wmf_error_t, wmf_display_size,
            (wmfAPI * api, unsigned int* width, unsigned int* height, double x, double y), api,
            width, height, x, y)
VELDAR_PASS(Wmf, wmf_error_t, wmf_play, (wmfAPI * api, unsigned long flags, wmfD_Rect* drawn), api,
            flags, drawn)
VELDAR_PASS(Emf, int, emf2svg,
            (char* contents, size_t length, char** out, size_t* outLength,
             generatorOptions* options),
            contents, length, out, outLength, options)

#undef VELDAR_PASS
