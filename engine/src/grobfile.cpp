#include "grob/grobfile.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <system_error>

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
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

// Temporary files in flight. Each write names its temporary file in an
// entry of a list that only grows (entries are reused, never freed), so that
// a signal handler can walk it without locks or allocation and remove them.
struct InFlight {
    enum State : int { Free, Opening, Named };
    std::atomic<int> state{Opening};
    char path[PATH_MAX] = {};
    InFlight* next = nullptr;
};
std::atomic<InFlight*> g_inFlight{nullptr};
std::atomic<bool> g_ending{false}; // a signal is ending the program: no new file
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// SIGINT, SIGTERM or SIGHUP: the files in flight removed, then the signal
// ends the program as it would have (its exit status says so).
extern "C" void RemoveInFlightAndEnd(int signal) {
    g_ending.store(true);
    for (InFlight* entry = g_inFlight.load(); entry; entry = entry->next) {
        // A file being made in another thread has its name in a moment.
        int state = entry->state.load();
        for (int wait = 0; state == InFlight::Opening && wait < 1000; ++wait) {
            const timespec pause{0, 100000};
            ::nanosleep(&pause, nullptr);
            state = entry->state.load();
        }
        if (state == InFlight::Named) ::unlink(entry->path);
    }
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    ::sigaction(signal, &byDefault, nullptr);
    ::raise(signal);
}

// A write that meets the end of the program (its temporary file removed,
// or none to be made) waits for the end, which is a moment away, rather than
// report a failure the user did not have.
[[noreturn]] void AwaitTheEnd() {
    for (;;)
        ::pause();
}

sigset_t EndingSignals() {
    sigset_t set;
    ::sigemptyset(&set);
    for (const int signal : kEndingSignals)
        ::sigaddset(&set, signal);
    return set;
}

// At the first write: the handler, for each of the signals whose action is
// still the default (one the program ignores or handles stays so).
void CatchEndingSignals() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (const int signal : kEndingSignals) {
            struct sigaction now {};
            if (::sigaction(signal, nullptr, &now) != 0 || (now.sa_flags & SA_SIGINFO) != 0 ||
                now.sa_handler != SIG_DFL)
                continue;
            struct sigaction clean {};
            clean.sa_handler = RemoveInFlightAndEnd;
            clean.sa_mask = EndingSignals();
            clean.sa_flags = SA_RESTART;
            ::sigaction(signal, &clean, nullptr);
        }
    });
}

// Whether this thread holds the ending signals back for good
// (HoldEndingSignalsInThisThread).
thread_local bool t_heldForGood = false;

// The ending signals held back in this thread while it lives, so that the
// handler never runs here between a file's creation and its naming (nothing
// to do in a thread that holds them for good).
class EndingSignalsHeld {
  public:
    EndingSignalsHeld() : active_(!t_heldForGood) {
        if (!active_) return;
        const sigset_t held = EndingSignals();
        ::pthread_sigmask(SIG_BLOCK, &held, &before_);
    }
    ~EndingSignalsHeld() {
        if (active_) ::pthread_sigmask(SIG_SETMASK, &before_, nullptr);
    }
    EndingSignalsHeld(const EndingSignalsHeld&) = delete;
    EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;

  private:
    bool active_;
    sigset_t before_{};
};

// One temporary file in flight: its entry, freed once the file has been
// renamed or removed.
class InFlightEntry {
  public:
    InFlightEntry() {
        for (InFlight* entry = g_inFlight.load(); entry; entry = entry->next) {
            int free = InFlight::Free;
            if (entry->state.compare_exchange_strong(free, InFlight::Opening)) {
                entry_ = entry;
                return;
            }
        }
        entry_ = new InFlight; // Opening; never freed
        InFlight* head = g_inFlight.load();
        do
            entry_->next = head;
        while (!g_inFlight.compare_exchange_weak(head, entry_));
    }
    ~InFlightEntry() { entry_->state.store(InFlight::Free); }
    InFlightEntry(const InFlightEntry&) = delete;
    InFlightEntry& operator=(const InFlightEntry&) = delete;
    InFlight& operator*() const { return *entry_; }
    InFlight* operator->() const { return entry_; }

  private:
    InFlight* entry_;
};

// Creates a new, uniquely named file in `folder`, locked (flock) for as long
// as it is open, and names it in `entry`. The name has a fixed length, so
// any name that is legal for the target is legal beside it.
int OpenTemporary(const fs::path& folder, fs::path& tempPath, InFlight& entry, int& err) {
    // One generator a thread, started once from the system's entropy (or,
    // failing that, the process number and the time).
    thread_local std::mt19937_64 random = [] {
        std::uint64_t entropy = 0;
        if (::getrandom(&entropy, sizeof entropy, 0) != sizeof entropy)
            entropy = std::uint64_t(::getpid()) << 32 ^ std::uint64_t(std::time(nullptr));
        return std::mt19937_64(entropy);
    }();
    const EndingSignalsHeld held;
    for (int attempt = 0; attempt < 64; ++attempt) {
        if (g_ending.load()) {
            entry.state.store(InFlight::Free);
            AwaitTheEnd();
        }
        char name[32];
        std::snprintf(name, sizeof name, ".grob-%010llx.tmp",
                      static_cast<unsigned long long>(random() & 0xFFFFFFFFFFull));
        tempPath = folder / name;
        // O_EXCL: fail rather than reuse a file that happens to have this name.
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            // Never contended: the file is new. Its lock tells a later run
            // that it is being written (see ClearStaleTemporaries).
            ::flock(fd, LOCK_EX | LOCK_NB);
            if (tempPath.native().size() < sizeof entry.path) {
                std::memcpy(entry.path, tempPath.c_str(), tempPath.native().size() + 1);
                entry.state.store(InFlight::Named);
            } else {
                entry.state.store(InFlight::Free);
            }
            return fd;
        }
        err = errno;
        if (err != EEXIST) break;
    }
    entry.state.store(InFlight::Free);
    return -1;
}

// The start of this run, to tell the temporary files of earlier runs.
const timespec g_runStart = [] {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now;
}();

// A name this program gives its temporary files: .grob-XXXXXXXXXX.tmp.
bool IsTemporaryName(const char* name) {
    if (std::strlen(name) != 20 || std::strncmp(name, ".grob-", 6) != 0 ||
        std::strcmp(name + 16, ".tmp") != 0)
        return false;
    for (int i = 6; i < 16; ++i)
        if (!std::isdigit(static_cast<unsigned char>(name[i])) && (name[i] < 'a' || name[i] > 'f'))
            return false;
    return true;
}

// At the first write into a folder in this run: the temporary files of this
// program that an earlier run left there (a run killed by SIGKILL, which
// cannot be caught, or by a power cut) are removed. Only the user's own,
// made before this run started, and only those that nobody is writing: a
// writer holds its file's lock, and a file is removed only when its lock can
// be had without waiting. A folder that cannot be read is left as it is.
void ClearStaleTemporaries(const fs::path& folder) {
    static std::mutex mutex;
    static std::set<std::string> cleared; // the folders, as they were named
    {
        const std::lock_guard lock(mutex);
        if (!cleared.insert(folder.native()).second) return;
    }
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    DIR* list = ::fdopendir(dir);
    if (!list) {
        ::close(dir);
        return;
    }
    while (const dirent* item = ::readdir(list)) {
        if (!IsTemporaryName(item->d_name)) continue;
        struct stat file {};
        if (::fstatat(dir, item->d_name, &file, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(file.st_mode) || file.st_uid != ::geteuid() ||
            file.st_mtim.tv_sec + 2 > g_runStart.tv_sec) // the file system's clock is coarse
            continue;
        const int fd = ::openat(dir, item->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat opened {};
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0 &&
            opened.st_dev == file.st_dev && opened.st_ino == file.st_ino)
            ::unlinkat(dir, item->d_name, 0);
        ::close(fd);
    }
    ::closedir(list);
}

// For Flush::Later: one open descriptor of a file written on each file system.
std::mutex g_laterMutex;
std::map<dev_t, int> g_later;

void KeepForLaterFlush(int fd, const struct stat& info) {
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
        // The owner's write bit answers for the owner (an access list's owner
        // entry is that bit); anyone else asks the system.
        static const uid_t self = ::geteuid();
        const bool ownWritable = before.st_uid == self && (before.st_mode & S_IWUSR) != 0;
        if (!ownWritable && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
            Fail(ErrorCode::CannotCreate, path, ErrnoText(errno));
    }

    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    CatchEndingSignals();
    ClearStaleTemporaries(folder);
    fs::path tempPath;
    int err = 0;
    const InFlightEntry entry;
    int fd = OpenTemporary(folder, tempPath, *entry, err);
    if (fd < 0) Fail(ErrorCode::CannotCreate, path, ErrnoText(err));
    // The lock is held until the file has its final name.
    const int lock = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);

    auto abandon = [&](const std::string& cause) {
        if (g_ending.load()) AwaitTheEnd();
        if (fd >= 0) ::close(fd);
        ::unlink(tempPath.c_str());
        if (lock >= 0) ::close(lock);
        Fail(ErrorCode::WriteFailed, path, cause);
    };

    if (!WriteAll(fd, bytes.data(), bytes.size(), err)) abandon(ErrnoText(err));
    if (flush == Flush::EachFile && ::fsync(fd) != 0) abandon(ErrnoText(errno));
    // The new file's permissions as made (the umask, or a folder's default
    // access list, gave them) and the file system it is on.
    struct stat made {};
    const bool known = ::fstat(fd, &made) == 0;
    if (flush == Flush::Later && known) KeepForLaterFlush(fd, made);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0) abandon(ErrnoText(errno));

    // The file replaced keeps its permissions, or is not replaced.
    if (exists && (!known || (made.st_mode & 07777) != (before.st_mode & 07777)) &&
        ::chmod(tempPath.c_str(), before.st_mode & 07777) != 0)
        abandon(ErrnoText(errno));
    if (::rename(tempPath.c_str(), target.c_str()) != 0) abandon(ErrnoText(errno));
    if (lock >= 0) ::close(lock);
}

void HoldEndingSignalsInThisThread() {
    const sigset_t held = EndingSignals();
    if (::pthread_sigmask(SIG_BLOCK, &held, nullptr) == 0) t_heldForGood = true;
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
