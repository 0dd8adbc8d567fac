#include "filenames.h"

#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

namespace filenames {

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

int Utf8Sequence(const unsigned char* p, const unsigned char* end, char32_t& code) {
    const unsigned char lead = p[0];
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    int length = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, code = lead & 0x07u;
    } else {
        return 0;
    }
    if (end - p < length) return 0;
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        code = (code << 6) | (p[i] & 0x3Fu);
    }
    // No overlong forms, no surrogates, nothing past U+10FFFF.
    if (code < minimum || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
    return length;
}

namespace {

bool Stat(const std::string& name, struct stat& info) {
    return !name.empty() && ::stat(name.c_str(), &info) == 0;
}

} // namespace

std::string Printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    auto octal = [&](unsigned byte) {
        out += '\\';
        out += char('0' + ((byte >> 6) & 7));
        out += char('0' + ((byte >> 3) & 7));
        out += char('0' + (byte & 7));
    };
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        char32_t code = 0;
        const int length = Utf8Sequence(p, end, code);
        if (length == 0) {
            octal(*p++);
        } else if (code < 0x20 || code == 0x7F || (code >= 0x80 && code <= 0x9F)) {
            for (int i = 0; i < length; ++i)
                octal(p[i]);
            p += length;
        } else {
            out.append(reinterpret_cast<const char*>(p), std::size_t(length));
            p += length;
        }
    }
    return out;
}

bool Exists(const std::string& name) {
    struct stat info {};
    return Stat(name, info);
}

bool IsFolder(const std::string& name) {
    struct stat info {};
    return Stat(name, info) && S_ISDIR(info.st_mode);
}

std::string Absolute(const std::string& name) {
    if (!name.empty() && name.front() == '/') return name;
    char* here = ::getcwd(nullptr, 0);
    if (!here) return name;
    std::string folder = here;
    std::free(here);
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder + name;
}

std::string_view FileName(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view Folder(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return {};
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::string Join(std::string_view folder, std::string_view name) {
    if (folder.empty()) return std::string(name);
    std::string path(folder);
    if (path.back() != '/') path += '/';
    return path.append(name);
}

} // namespace filenames
