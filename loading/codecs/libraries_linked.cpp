// The JPEG, GIF and Exif libraries linked into the program rather than
// opened when a picture first needs them (libraries.cpp): the web page's
// WebAssembly, which links them statically, having no libraries to open.
// The decoders call the libraries' functions by their own names either way.
#include "libraries.h"

namespace codecs::detail {

const std::string& OpenLibrary(Library) {
    static const std::string there; // every library is linked in
    return there;
}

} // namespace codecs::detail
