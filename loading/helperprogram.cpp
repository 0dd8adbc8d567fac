#include "helperprogram.h"

#include <algorithm>
#include <climits>

#include <sys/stat.h>
#include <unistd.h>

#ifndef VELDAR_LIBEXEC_DIR
#define VELDAR_LIBEXEC_DIR ""
#endif

namespace loading {

std::string HelperProgram(std::string_view name) {
    char self[PATH_MAX] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string folder;
    if (n > 0) {
        folder.assign(self, std::size_t(n));
        const std::size_t slash = folder.rfind('/');
        folder.erase(slash == std::string::npos ? 0 : std::max<std::size_t>(slash, 1));
    }
    const std::string moved = folder.empty() ? folder : folder + "/../libexec/veldar-convert";
    for (const std::string& dir : {folder, std::string(VELDAR_LIBEXEC_DIR), moved}) {
        if (dir.empty()) continue;
        const std::string candidate = dir + '/' + std::string(name);
        struct stat info {};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

} // namespace loading
