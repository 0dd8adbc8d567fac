// TRANSITIONAL: Qt names while the code moves to plain names (filenames.h).
// File names as the system keeps them: any bytes but "/" and NUL, while Qt
// reads names as UTF-8 and cannot give back bytes that are not. A name from
// the command line is carried losslessly instead: each byte that is not part
// of valid UTF-8 becomes the lone surrogate U+DC80 + byte (a character that
// valid UTF-8 never decodes to) and turns back into that very byte for every
// system call made on the name.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace qtnames {

// The name of these bytes, without loss.
QString FromNative(const QByteArray& bytes);
// The bytes of a name made by FromNative (any other name as UTF-8).
QByteArray ToNative(const QString& name);

// A text as it may be printed on a terminal: control characters (C0, DEL,
// C1) and bytes that were not UTF-8 written as octal escapes of their bytes
// ("\033", "\351"), as GNU tools show such names; everything else as it is.
QString Printable(const QString& text);

// What a name is on the disk, following symbolic links.
bool Exists(const QString& name);
bool IsFolder(const QString& name);

// The name made absolute against the working folder, with no loss.
QString Absolute(const QString& name);

// ReadRegularFile for Qt names.
std::optional<QByteArray> ReadRegularFile(const QString& path, qint64 maxBytes, QString* error);

} // namespace qtnames
