#include "errorstream.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <exception>

#include <fcntl.h>
#include <unistd.h>

namespace {
int g_errorsFd = -1; // the real standard error, once descriptor 2 points at nothing
} // namespace

// Called by AddressSanitizer and UndefinedBehaviorSanitizer, in a build with
// them, just before they report: the report goes to the real standard error.
// (Their report files cannot be pointed elsewhere: GCC keeps each runtime in
// a library of its own, where log_path and __sanitizer_set_report_fd reach
// only one of them.)
extern "C" void __asan_on_error() {
    if (g_errorsFd >= 0) ::dup2(g_errorsFd, 2);
}
extern "C" void __ubsan_on_report() {
    if (g_errorsFd >= 0) ::dup2(g_errorsFd, 2);
}

namespace errorstream {

namespace {

std::array<bool, 3> g_closed = {};
std::FILE* g_errors = nullptr;

// An exception nobody caught: said, then the usual abort.
[[noreturn]] void Terminate() {
    const std::exception_ptr current = std::current_exception();
    const char* what = "terminate called without an active exception";
    try {
        if (current) std::rethrow_exception(current);
    } catch (const std::exception& e) {
        what = e.what(); // kept alive by `current`
    } catch (...) {
        what = "an exception of unknown type";
    }
    std::fprintf(ErrorStream(), "veldar-convert: internal error: %s\n", what);
    std::fflush(ErrorStream());
    std::abort();
}

} // namespace

void GuardStandardStreams() {
    for (int fd = 0; fd < 3; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        g_closed[std::size_t(fd)] = true;
        // The lowest free descriptor: this one, as the lower ones are open.
        const int nowhere = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (nowhere >= 0 && nowhere != fd) {
            ::dup2(nowhere, fd);
            ::close(nowhere);
        }
    }
}

bool WasClosed(int fd) {
    return fd >= 0 && fd < 3 && g_closed[std::size_t(fd)];
}

std::FILE* OwnErrorStream() {
    if (g_errors) return g_errors;
    const int ours = ::fcntl(2, F_DUPFD_CLOEXEC, 3);
    const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    std::FILE* stream = ours >= 0 ? ::fdopen(ours, "w") : nullptr;
    if (!stream || nowhere < 0) {
        if (stream) std::fclose(stream);
        if (nowhere >= 0) ::close(nowhere);
        return stderr;
    }
    ::dup2(nowhere, 2);
    ::close(nowhere);
    g_errors = stream;
    g_errorsFd = ours;
    std::set_terminate(Terminate);
    return stream;
}

std::FILE* ErrorStream() {
    return g_errors ? g_errors : stderr;
}

} // namespace errorstream
