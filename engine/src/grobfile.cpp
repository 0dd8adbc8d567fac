#include "grob/grobfile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <system_error>

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace grob {

namespace fs = std::filesystem;

GrobError::GrobError(ErrorCode code, std::string path, std::string cause)
    : Error("cannot write \"" + path + "\": " + cause, path, cause), code_(code) {}

namespace {

constexpr char kHeader48[] = "HPHP48-X";
constexpr char kHeader49[] = "HPHP49-X";

std::string ErrnoText(int err) {
    return std::strerror(err);
}

[[noreturn]] void Fail(ErrorCode code, const std::string& path, const std::string& cause) {
    throw GrobError(code, path, cause);
}

std::string KindOfSpecialFile(mode_t mode) {
    if (S_ISDIR(mode)) return "it is a folder";
    if (S_ISFIFO(mode)) return "it is a pipe, not a regular file";
    if (S_ISSOCK(mode)) return "it is a socket, not a regular file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device, not a regular file";
    return "it is not a regular file";
}

// Creates a new, uniquely named file in `folder`. The name has a fixed
// length, so any name that is legal for the target is legal beside it.
int OpenTemporary(const fs::path& folder, fs::path& tempPath, int& err) {
    // One generator a thread, started once from the system's entropy (or,
    // failing that, the process number and the time).
    thread_local std::mt19937_64 random = [] {
        std::uint64_t entropy = 0;
        if (::getrandom(&entropy, sizeof entropy, 0) != sizeof entropy)
            entropy = std::uint64_t(::getpid()) << 32 ^ std::uint64_t(std::time(nullptr));
        return std::mt19937_64(entropy);
    }();
    for (int attempt = 0; attempt < 64; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, ".grob-%010llx.tmp",
                      static_cast<unsigned long long>(random() & 0xFFFFFFFFFFull));
        tempPath = folder / name;
        // O_EXCL: fail rather than reuse a file that happens to have this name.
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return fd;
        err = errno;
        if (err != EEXIST) return -1;
    }
    return -1;
}

// For Flush::Later: one open descriptor of a file written on each file system.
std::mutex g_laterMutex;
std::map<dev_t, int> g_later;

void KeepForLaterFlush(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return;
    const std::lock_guard lock(g_laterMutex);
    if (g_later.count(info.st_dev)) return;
    const int kept = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (kept >= 0) g_later.emplace(info.st_dev, kept);
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size, int& err) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

std::array<std::uint8_t, kHeadSize> MakeHead(Series series, std::uint64_t grobWidth,
                                             std::uint64_t grobHeight, const std::string& path) {
    if (grobWidth >= kFieldLimit)
        Fail(ErrorCode::FieldOverflow, path,
             "the GROB is " + std::to_string(grobWidth) +
                 " columns wide; the width field holds at most 1048575");
    if (grobHeight >= kFieldLimit)
        Fail(ErrorCode::FieldOverflow, path,
             "the GROB is " + std::to_string(grobHeight) +
                 " rows high; the height field holds at most 1048575");
    const std::uint64_t bodyBytes = RowStride(static_cast<std::uint32_t>(grobWidth)) * grobHeight;
    const std::uint64_t size = 15 + 2 * bodyBytes;
    if (size >= kFieldLimit)
        Fail(ErrorCode::FieldOverflow, path,
             "the GROB body would be " + std::to_string(bodyBytes) +
                 " bytes; a GROB holds at most 524280");

    std::array<std::uint8_t, kHeadSize> head{};
    std::memcpy(head.data(), series == Series::HP49 ? kHeader49 : kHeader48, 8);
    const auto s = static_cast<std::uint32_t>(size);
    const auto h = static_cast<std::uint32_t>(grobHeight);
    const auto w = static_cast<std::uint32_t>(grobWidth);
    head[8] = 0x1E; // prologue 02B1E, low nibble first
    head[9] = 0x2B;
    head[10] = static_cast<std::uint8_t>((s & 0xF) << 4);
    head[11] = static_cast<std::uint8_t>(s >> 4);
    head[12] = static_cast<std::uint8_t>(s >> 12);
    head[13] = static_cast<std::uint8_t>(h);
    head[14] = static_cast<std::uint8_t>(h >> 8);
    head[15] = static_cast<std::uint8_t>(((h >> 16) & 0xF) | ((w & 0xF) << 4));
    head[16] = static_cast<std::uint8_t>(w >> 4);
    head[17] = static_cast<std::uint8_t>(w >> 12);
    return head;
}

void WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                         Flush flush) {
    if (path.empty()) Fail(ErrorCode::CannotCreate, path, "no file name given");

    // One look at the name: a link is followed (writing through it replaces
    // the file it points to, not the link), anything but a regular file is
    // refused, and an existing file that may not be written stays as it is.
    fs::path target(path);
    struct stat before {};
    bool exists = ::lstat(target.c_str(), &before) == 0;
    if (exists && S_ISLNK(before.st_mode)) {
        if (char* real = ::realpath(target.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
        exists = ::stat(target.c_str(), &before) == 0;
    }
    if (exists) {
        if (!S_ISREG(before.st_mode))
            Fail(ErrorCode::CannotCreate, path, KindOfSpecialFile(before.st_mode));
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
            Fail(ErrorCode::CannotCreate, path, ErrnoText(errno));
    }

    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    fs::path tempPath;
    int err = 0;
    int fd = OpenTemporary(folder, tempPath, err);
    if (fd < 0) Fail(ErrorCode::CannotCreate, path, ErrnoText(err));

    auto abandon = [&](const std::string& cause) {
        if (fd >= 0) ::close(fd);
        ::unlink(tempPath.c_str());
        Fail(ErrorCode::WriteFailed, path, cause);
    };

    if (!WriteAll(fd, bytes.data(), bytes.size(), err)) abandon(ErrnoText(err));
    if (flush == Flush::EachFile && ::fsync(fd) != 0) abandon(ErrnoText(errno));
    if (flush == Flush::Later) KeepForLaterFlush(fd);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0) abandon(ErrnoText(errno));

    if (exists) ::chmod(tempPath.c_str(), before.st_mode & 07777);
    if (::rename(tempPath.c_str(), target.c_str()) != 0) abandon(ErrnoText(errno));
}

bool FlushLaterFiles() {
    const std::lock_guard lock(g_laterMutex);
    int err = 0;
    for (const auto& [device, fd] : g_later) {
#ifdef __linux__
        if (::syncfs(fd) != 0 && err == 0) err = errno;
#endif
        ::close(fd);
    }
    g_later.clear();
#ifndef __linux__
    ::sync();
#endif
    errno = err;
    return err == 0;
}

} // namespace grob
