#include "streams.h"

#include "errorstream.h"
#include "picturelimits.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <poll.h>
#include <unistd.h>

namespace pipeline {

namespace {

// Waits until a descriptor left non-blocking by whoever started the program is ready.
bool WaitFor(int fd, short events) {
    pollfd wanted{fd, events, 0};
    while (::poll(&wanted, 1, -1) < 0)
        if (errno != EINTR) return false;
    return true;
}

} // namespace

loading::Bytes ReadStandardInput() {
    if (errorstream::WasClosed(0)) throw StreamFailure{"standard input is closed"};
    loading::Bytes data;
    const std::size_t limit = std::size_t(loading::kMaxFileBytes) + 1;
    std::size_t got = 0;
    while (got < limit) {
        if (data.size() - got < 65536 &&
            !data.resize(std::min(limit, got + (std::size_t(1) << 20))))
            throw StreamFailure{"there is not enough memory to read it"};
        const ssize_t n = ::read(0, data.data() + got, data.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN && WaitFor(0, POLLIN)) continue;
        if (n < 0) throw StreamFailure{std::strerror(errno)};
        if (n == 0) break;
        got += std::size_t(n);
    }
    data.resize(got);
    return data;
}

void WriteStandardOutput(std::span<const std::uint8_t> bytes) {
    if (errorstream::WasClosed(1)) throw StreamFailure{"standard output is closed"};
    const std::uint8_t* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(1, data, left);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN && WaitFor(1, POLLOUT)) continue;
        if (n < 0) throw StreamFailure{std::strerror(errno)};
        data += n;
        left -= std::size_t(n);
    }
}

} // namespace pipeline
