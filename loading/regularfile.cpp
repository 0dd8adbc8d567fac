#include "regularfile.h"

#include "filenames.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace loading {

namespace {

QString ErrnoText(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

QString NotRegular(mode_t mode) {
    if (S_ISDIR(mode)) return QStringLiteral("it is a folder");
    if (S_ISFIFO(mode)) return QStringLiteral("it is a pipe, not a regular file");
    if (S_ISSOCK(mode)) return QStringLiteral("it is a socket, not a regular file");
    if (S_ISCHR(mode) || S_ISBLK(mode)) return QStringLiteral("it is a device, not a regular file");
    return QStringLiteral("it is not a regular file");
}

} // namespace

std::optional<QByteArray> ReadRegularFile(const QString& path, qint64 maxBytes, QString* error) {
    auto fail = [&](const QString& why) -> std::optional<QByteArray> {
        if (error) *error = why;
        return std::nullopt;
    };
    if (path.isEmpty()) return fail(QStringLiteral("no file name"));
    const QByteArray name = filenames::ToNative(path);
    // O_NONBLOCK: opening a pipe must not wait for a writer; the check after
    // opening decides, so that a file swapped meanwhile is caught too.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return fail(errno == ENOENT ? QStringLiteral("no such file") : ErrnoText(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0) return fail(ErrnoText(errno));
    if (!S_ISREG(info.st_mode)) return fail(NotRegular(info.st_mode));
    if (info.st_size > maxBytes) return fail(QStringLiteral("the file is too large"));

    QByteArray data;
    data.resize(qsizetype(info.st_size));
    qint64 got = 0;
    // Read what is there, up to the limit, even if the file grew meanwhile.
    for (;;) {
        if (got == data.size()) {
            if (got > maxBytes) return fail(QStringLiteral("the file is too large"));
            data.resize(qsizetype(qMin<qint64>(maxBytes + 1, got + 65536)));
        }
        const ssize_t n = ::read(fd, data.data() + got, size_t(data.size() - got));
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(ErrnoText(errno));
        }
        if (n == 0) break;
        got += n;
    }
    if (got > maxBytes) return fail(QStringLiteral("the file is too large"));
    data.resize(qsizetype(got));
    return data;
}

} // namespace loading
