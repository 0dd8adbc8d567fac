// The program's promise on the command line: its own lines, and only those,
// reach standard error; yet the process's own fatal messages (a sanitizer's
// report, a fatal Qt message, an uncaught exception) are never hidden.
#pragma once

#include <QtGlobal>

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
// nothing. Fatal Qt messages (see QuietMessages), uncaught exceptions and,
// in a build with a sanitizer, its reports are written there too.
std::FILE* OwnErrorStream();

// A Qt message handler for runs that print only their own lines: every
// message is dropped but a fatal one, which is written to standard error
// (the stream above once it is made).
void QuietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message);

} // namespace errorstream
