// The program's promise on the command line: its own lines, and only those,
// reach standard error; yet the process's own fatal messages (a sanitizer's
// report, an uncaught exception, a fatal message of a library) are never
// hidden.
#pragma once

#include <cstdio>

namespace errorstream {

// Opens /dev/null on each standard descriptor (0, 1, 2) that is closed, so
// that no file the program opens later takes its place; called first thing.
void GuardStandardStreams();
// Whether the standard descriptor `fd` (0, 1 or 2) was closed at the start.
bool WasClosed(int fd);

// Keeps the standard error stream for the program's own lines: the stream
// returned writes there, while whatever else writes to descriptor 2
// (decoder libraries that print their complaints themselves) writes to
// nothing. Uncaught exceptions and, in a build with a sanitizer, its
// reports are written there too.
std::FILE* OwnErrorStream();

// Where the program's own lines go: the stream OwnErrorStream made, or
// standard error before it is made. A program that hears a library's fatal
// message (Qt's, say) writes it here.
std::FILE* ErrorStream();

} // namespace errorstream
