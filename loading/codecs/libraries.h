// The JPEG, GIF and Exif libraries are opened when a picture first needs
// them, not when the program starts: a run over PNG sprites never loads
// them, which is most of what starting such a run would cost otherwise.
#pragma once

#include <stdexcept>
#include <string>

namespace codecs::detail {

enum class Library { Jpeg, Gif, Exif };

// Opens the library (once a process, from whichever thread asks first) and
// finds every function the decoders call in it: an empty string when all is
// there, else why not in plain words, e.g. "the JPEG library (libjpeg.so.62)
// cannot be opened: ...". Asked again, it answers the same.
const std::string& OpenLibrary(Library library);

// What the Exif reader throws when its library cannot be opened, for the
// decoders' entry points to turn into the picture's error.
struct LibraryMissing : std::runtime_error {
    using std::runtime_error::runtime_error;
};

} // namespace codecs::detail
