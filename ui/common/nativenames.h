// File names between the window's text and the system's bytes, without
// loss. Qt reads names as UTF-8 and cannot give back bytes that are not: a
// name here keeps each byte that is not part of valid UTF-8 as the lone
// surrogate U+DC80 + byte (a character that valid UTF-8 never decodes to),
// which turns back into that very byte.
#pragma once

#include <QString>

#include <string>

namespace nativenames {

// The window's text of a name, without loss.
QString Shown(const std::string& name);
// The system's bytes of a name Shown made (any other name as UTF-8).
std::string Native(const QString& name);

} // namespace nativenames
