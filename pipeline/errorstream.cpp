#include "errorstream.h"

#include <fcntl.h>
#include <unistd.h>

namespace errorstream {

std::FILE* OwnErrorStream() {
    const int ours = ::dup(2);
    const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (ours < 0 || nowhere < 0) return stderr;
    ::fcntl(ours, F_SETFD, FD_CLOEXEC);
    std::FILE* stream = ::fdopen(ours, "w");
    if (!stream) return stderr;
    ::dup2(nowhere, 2);
    ::close(nowhere);
    return stream;
}

} // namespace errorstream
