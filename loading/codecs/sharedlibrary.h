// A library opened by its soname when it is first needed, and its functions
// found in it: for the picture libraries the decoders call and the metafile
// libraries the renderer calls, so that a library that is missing or
// damaged fails only the pictures that need it, saying so.
#pragma once

#include <string>

#include <dlfcn.h>

namespace codecs::detail {

// A library's functions, or why they cannot be had.
template <typename Functions> struct Opened {
    Functions functions{};
    std::string error; // empty when every function was found
};

// Finds one function; the first that is missing is the error.
template <typename Pointer>
void Find(void* handle, const char* soname, const char* name, Pointer& pointer,
          std::string& error) {
    pointer = reinterpret_cast<Pointer>(::dlsym(handle, name));
    if (!pointer && error.empty())
        error = std::string("the library ") + soname + " has no function " + name;
}

// Opens `soname` (the `what` library, in a failure's words) and lets `find`
// find its functions. The library stays open for the rest of the process.
template <typename Functions>
Opened<Functions> OpenByName(const char* what, const char* soname,
                             void (*find)(void*, Opened<Functions>&)) {
    Opened<Functions> opened;
    // RTLD_LOCAL: its symbols stay out of the program's own lookups.
    void* handle = ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = ::dlerror();
        opened.error = std::string("the ") + what + " library (" + soname +
                       ") cannot be opened: " + (why ? why : "unknown error");
        return opened;
    }
    find(handle, opened);
    return opened;
}

} // namespace codecs::detail
