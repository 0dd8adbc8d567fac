#include "regularfile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace loading {

namespace {

std::string NotRegular(mode_t mode) {
    if (S_ISDIR(mode)) return "it is a folder";
    if (S_ISFIFO(mode)) return "it is a pipe, not a regular file";
    if (S_ISSOCK(mode)) return "it is a socket, not a regular file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device, not a regular file";
    return "it is not a regular file";
}

} // namespace

bool Bytes::resize(std::size_t size) {
    if (size == size_) return true;
    void* grown = std::realloc(data_.get(), std::max<std::size_t>(size, 1));
    if (!grown) return false;
    data_.release();
    data_.reset(static_cast<std::uint8_t*>(grown));
    size_ = size;
    return true;
}

std::optional<RegularFile> RegularFile::Open(const std::string& path, std::int64_t maxBytes,
                                             std::string* error) {
    auto fail = [&](std::string why) -> std::optional<RegularFile> {
        if (error) *error = std::move(why);
        return std::nullopt;
    };
    if (path.empty()) return fail("no file name");
    // O_NONBLOCK: opening a pipe must not wait for a writer; the check after
    // opening decides, so that a file swapped meanwhile is caught too.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return fail(errno == ENOENT ? "no such file" : std::strerror(errno));
    RegularFile file(fd, 0, maxBytes);
    struct stat info {};
    if (::fstat(fd, &info) != 0) return fail(std::strerror(errno));
    if (!S_ISREG(info.st_mode)) return fail(NotRegular(info.st_mode));
    if (info.st_size > maxBytes) return fail("the file is too large");
    file.size_ = std::uint64_t(info.st_size);
    return file;
}

RegularFile::~RegularFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::optional<Bytes> RegularFile::readAll(std::string* error) const {
    auto fail = [&](std::string why) -> std::optional<Bytes> {
        if (error) *error = std::move(why);
        return std::nullopt;
    };
    const std::int64_t maxBytes = maxBytes_;
    Bytes data;
    if (!data.resize(std::size_t(size_))) return fail("there is not enough memory for it");
    std::size_t got = 0;
    // Read what is there, up to the limit, even if the file grew meanwhile.
    for (;;) {
        if (got == data.size()) {
            if (std::int64_t(got) > maxBytes) return fail("the file is too large");
            if (!data.resize(
                    std::size_t(std::min<std::int64_t>(maxBytes + 1, std::int64_t(got) + 65536))))
                return fail("there is not enough memory for it");
        }
        const std::int64_t n = read(data.data() + got, data.size() - got);
        if (n < 0) return fail(std::strerror(errno));
        if (n == 0) break;
        got += std::size_t(n);
    }
    if (std::int64_t(got) > maxBytes) return fail("the file is too large");
    data.resize(got);
    return data;
}

std::int64_t RegularFile::read(std::uint8_t* into, std::size_t count) const {
    std::size_t got = 0;
    while (got < count) {
        const ssize_t n = ::read(fd_, into + got, count - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        got += std::size_t(n);
    }
    return std::int64_t(got);
}

std::optional<Bytes> ReadRegularFile(const std::string& path, std::int64_t maxBytes,
                                     std::string* error) {
    const auto file = RegularFile::Open(path, maxBytes, error);
    if (!file) return std::nullopt;
    return file->readAll(error);
}

} // namespace loading
