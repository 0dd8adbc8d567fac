// File names as the system keeps them: any bytes but "/" and NUL. Names are
// carried as those bytes throughout (std::string), whatever the locale and
// whether or not they are UTF-8, and only turned into something else where
// they are shown.
#pragma once

#include <string>
#include <string_view>

namespace filenames {

// A text as it may be printed on a terminal: control characters (C0, DEL,
// C1) and bytes that are not part of valid UTF-8 (overlong forms and
// surrogates included) written as octal escapes of their bytes ("\033",
// "\351"), as GNU tools show such names; everything else as it is.
std::string Printable(std::string_view text);

// The length (1 to 4) of the valid UTF-8 sequence at `p` and its code
// point, or 0 when the bytes there are not one (overlong forms, surrogates
// and anything past U+10FFFF are not).
int Utf8Sequence(const unsigned char* p, const unsigned char* end, char32_t& code);

// `code` (at most U+10FFFF) appended to `out` in UTF-8.
void AppendUtf8(std::string& out, char32_t code);

// What a name is on the disk, following symbolic links.
bool Exists(const std::string& name);
bool IsFolder(const std::string& name);

// The name made absolute against the working folder.
std::string Absolute(const std::string& name);

// The last part of a path ("b.png" of "a/b.png"), and what comes before it
// without the slash ("a"; "" for a bare name, "/" for a name in the root).
std::string_view FileName(std::string_view path);
std::string_view Folder(std::string_view path);
// `name` in `folder` (an empty folder leaves it as it is).
std::string Join(std::string_view folder, std::string_view name);

} // namespace filenames
