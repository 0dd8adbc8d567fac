// The program's promise on the command line: its own lines, and only those,
// reach standard error.
#pragma once

#include <cstdio>

namespace errorstream {

// Keeps the standard error stream for the program's own lines: the stream
// returned writes there, while whatever else writes to it (decoder
// libraries that print their complaints themselves) writes to nothing.
std::FILE* OwnErrorStream();

} // namespace errorstream
