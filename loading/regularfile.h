// Reading a file whole, safely: only a regular file is ever read (a folder,
// device, pipe or socket is refused without waiting on it), and never more
// than a fixed number of bytes.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace loading {

// The file's bytes, or nothing with `error` set. A file larger than
// `maxBytes` is refused.
std::optional<QByteArray> ReadRegularFile(const QString& path, qint64 maxBytes, QString* error);

} // namespace loading
