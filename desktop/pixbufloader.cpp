// The gdk-pixbuf loader of GROB files and lists, so that the programs that
// read pictures through gdk-pixbuf (Eye of GNOME, GTK's file choosers,
// tumbler's pixbuf thumbnailer, ...) read them: their pixels exactly as
// `veldar-convert --to png` writes them; of a list, its first GROB.
//
// A GROB's kind is told by its file's name. gdk-pixbuf hands a loader no
// name: gdk_pixbuf_new_from_file() and gdk_pixbuf_animation_new_from_file()
// give the open file (`load`, `load_animation`), whose name /proc/self/fd
// tells; a GdkPixbufLoader (and so gdk_pixbuf_new_from_file_at_size()) gives
// bytes alone (`begin_load`, `load_increment`, `stop_load`).
//
// So it is built once as the loader of the generic types
// (application/x-hp-grob, application/x-hp-grob-list, text/x-hp-grob), the
// format gdk-pixbuf finds by the bytes, which reads bytes alone as the
// program reads a file whose name says nothing, as 1-bit GROBs; and once for
// each other kind (VELDAR_PIXBUF_KIND "g16", ...), a format of its own for
// the kind's types, which a file's name gives it (application/x-hp-grob-g16,
// application/x-hp-grob-list-g16): a loader told such a type (as Eye of
// GNOME tells it the file's type) reads the kind, bytes alone too.
#define GDK_PIXBUF_ENABLE_BACKEND
#include <gdk-pixbuf/gdk-pixbuf-io.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

#include "grob/list.h"
#include "grobpictures.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

void Fail(GError** error, int code, const std::string& why) {
    g_set_error(error, GDK_PIXBUF_ERROR, code, "%s", why.c_str());
}

// The kind this loader is built for, if one.
std::optional<grob::OutputKind> OwnKind() {
#ifdef VELDAR_PIXBUF_KIND
    return grob::KindForExtension(VELDAR_PIXBUF_KIND);
#else
    return std::nullopt;
#endif
}

// The path of the file a stream reads, when it is one (not a pipe or a socket).
std::string NameOf(FILE* file) {
    const int fd = fileno(file);
    if (fd < 0) return {};
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    std::vector<char> path(PATH_MAX + 1);
    const ssize_t n = readlink(link.c_str(), path.data(), path.size());
    if (n <= 0 || std::size_t(n) >= path.size() || path[0] != '/') return {};
    return std::string(path.data(), std::size_t(n));
}

// The first GROB of the file as an RGB pixbuf; nothing, with `error` set, when there is none.
GdkPixbuf* PixbufOf(const desktop::Pictures& read, GError** error) {
    if (!read.error.empty() || read.pictures.empty()) {
        Fail(error, GDK_PIXBUF_ERROR_CORRUPT_IMAGE,
             read.error.empty() ? "it holds no GROB" : read.error);
        return nullptr;
    }
    const grob::Image& picture = read.pictures.front();
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, picture.width, picture.height);
    if (!pixbuf) {
        Fail(error, GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY, "there is not enough memory for it");
        return nullptr;
    }
    guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
    const auto stride = std::size_t(gdk_pixbuf_get_rowstride(pixbuf));
    // Each pixel 0xFFBBGGRR: its bytes R, G and B.
    for (std::size_t y = 0; y < std::size_t(picture.height); ++y)
        for (std::size_t x = 0; x < std::size_t(picture.width); ++x) {
            const std::uint32_t pixel = picture.pixels[y * std::size_t(picture.width) + x];
            guchar* to = pixels + y * stride + 3 * x;
            to[0] = guchar(pixel);
            to[1] = guchar(pixel >> 8);
            to[2] = guchar(pixel >> 16);
        }
    return pixbuf;
}

GdkPixbuf* Load(FILE* file, GError** error) {
    try {
        const std::string name = NameOf(file);
        return PixbufOf(desktop::ReadFile(
                            [file](std::uint8_t* into, std::size_t count) {
                                const std::size_t n = std::fread(into, 1, count, file);
                                return std::ferror(file) ? std::int64_t(-1) : std::int64_t(n);
                            },
                            OwnKind().value_or(desktop::KindOf(name, std::nullopt)), name),
                        error);
    } catch (const std::exception& e) {
        Fail(error, GDK_PIXBUF_ERROR_FAILED, e.what());
        return nullptr;
    }
}

// The picture as an animation of one frame, a still (GtkImage reads files so).
GdkPixbufAnimation* LoadAnimation(FILE* file, GError** error) {
    GdkPixbuf* pixbuf = Load(file, error);
    if (!pixbuf) return nullptr;
    GdkPixbufSimpleAnim* still = gdk_pixbuf_simple_anim_new(gdk_pixbuf_get_width(pixbuf),
                                                            gdk_pixbuf_get_height(pixbuf), 1.0f);
    gdk_pixbuf_simple_anim_add_frame(still, pixbuf);
    g_object_unref(pixbuf);
    return GDK_PIXBUF_ANIMATION(still);
}

// A loader fed bytes: they are kept, as far as a GROB can reach, and read at its end.
struct Incremental {
    GdkPixbufModuleSizeFunc size;
    GdkPixbufModulePreparedFunc prepared;
    GdkPixbufModuleUpdatedFunc updated;
    gpointer data;
    std::vector<std::uint8_t> bytes;
};
constexpr std::size_t kMostBytes = std::max(desktop::kMaxTextBytes, grob::kMaxListBytes + 8);

gpointer BeginLoad(GdkPixbufModuleSizeFunc size, GdkPixbufModulePreparedFunc prepared,
                   GdkPixbufModuleUpdatedFunc updated, gpointer data, GError** error) {
    try {
        return new Incremental{size, prepared, updated, data, {}};
    } catch (const std::exception&) {
        Fail(error, GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY, "there is not enough memory for it");
        return nullptr;
    }
}

gboolean LoadIncrement(gpointer context, const guchar* buffer, guint size, GError** error) {
    auto* load = static_cast<Incremental*>(context);
    try {
        const std::size_t take = std::min<std::size_t>(size, kMostBytes - load->bytes.size());
        load->bytes.insert(load->bytes.end(), buffer, buffer + take);
        return TRUE;
    } catch (const std::exception&) {
        Fail(error, GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY, "there is not enough memory for it");
        return FALSE;
    }
}

gboolean StopLoad(gpointer context, GError** error) {
    auto* load = static_cast<Incremental*>(context);
    gboolean done = FALSE;
    try {
        std::size_t at = 0;
        GdkPixbuf* pixbuf = PixbufOf(desktop::ReadFile(
                                         [&](std::uint8_t* into, std::size_t count) {
                                             const std::size_t n =
                                                 std::min(count, load->bytes.size() - at);
                                             std::copy_n(load->bytes.data() + at, n, into);
                                             at += n;
                                             return std::int64_t(n);
                                         },
                                         desktop::KindOf({}, OwnKind()), {}),
                                     error);
        if (pixbuf) {
            int width = gdk_pixbuf_get_width(pixbuf), height = gdk_pixbuf_get_height(pixbuf);
            // A size of 0 asked for: the caller wants no picture (its size was all it needed).
            if (load->size) load->size(&width, &height, load->data);
            if (width != 0 && height != 0) {
                if (load->prepared) load->prepared(pixbuf, nullptr, load->data);
                if (load->updated)
                    load->updated(pixbuf, 0, 0, gdk_pixbuf_get_width(pixbuf),
                                  gdk_pixbuf_get_height(pixbuf), load->data);
            }
            g_object_unref(pixbuf);
            done = TRUE;
        }
    } catch (const std::exception& e) {
        Fail(error, GDK_PIXBUF_ERROR_FAILED, e.what());
    }
    delete load;
    return done;
}

} // namespace

extern "C" {

G_MODULE_EXPORT void fill_vtable(GdkPixbufModule* module) {
    module->load = Load;
    module->load_animation = LoadAnimation;
    module->begin_load = BeginLoad;
    module->load_increment = LoadIncrement;
    module->stop_load = StopLoad;
}

G_MODULE_EXPORT void fill_info(GdkPixbufFormat* info) {
    // The binary forms by their header and the object's prologue (any header
    // letter; '*' in a mask is any byte), the text forms by their start.
    static GdkPixbufModulePattern signature[] = {
        {const_cast<char*>("HPHP48-*\x1E\x2B"), const_cast<char*>("       *  "), 90},
        {const_cast<char*>("HPHP49-*\x1E\x2B"), const_cast<char*>("       *  "), 90},
        {const_cast<char*>("HPHP48-*\x74\x2A"), const_cast<char*>("       *  "), 90},
        {const_cast<char*>("HPHP49-*\x74\x2A"), const_cast<char*>("       *  "), 90},
        {const_cast<char*>("GROB "), nullptr, 50},
        {const_cast<char*>("%%HP:"), nullptr, 20},
        {nullptr, nullptr, 0}};
    static const gchar* mimeTypes[] = {"application/x-hp-grob", "application/x-hp-grob-list",
                                       "text/x-hp-grob", nullptr};
    static const gchar* extensions[] = {"gro", "lst", nullptr};
    info->name = const_cast<gchar*>("grob");
    info->signature = signature;
    info->description = const_cast<gchar*>("HP 48/49 graphics object (GROB)");
    info->mime_types = const_cast<gchar**>(mimeTypes);
    info->extensions = const_cast<gchar**>(extensions);
    info->flags = 0;
    info->license = const_cast<gchar*>("GPL");
    if (const auto kind = OwnKind()) {
        // A kind's: by its types alone, never by the bytes (the generic one's).
        static GdkPixbufModulePattern none[] = {{nullptr, nullptr, 0}};
        static const std::string extension(kind->extension),
            name = "grob-" + extension,
            description = "HP 48/49 GROB (" + extension + "): " + std::string(kind->description),
            grob = "application/x-hp-grob-" + extension,
            list = "application/x-hp-grob-list-" + extension;
        static const gchar* kindTypes[] = {grob.c_str(), list.c_str(), nullptr};
        static const gchar* kindExtensions[] = {extension.c_str(), nullptr};
        info->name = const_cast<gchar*>(name.c_str());
        info->signature = none;
        info->description = const_cast<gchar*>(description.c_str());
        info->mime_types = const_cast<gchar**>(kindTypes);
        info->extensions = const_cast<gchar**>(kindExtensions);
    }
}

} // extern "C"
