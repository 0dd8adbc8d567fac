// The modern command line: runs when the first argument starts with "--" or
// is "-h". No window: only Qt Core and the image readers are started.
#pragma once

#include <cstdio>

namespace modern {

// The whole run; returns the exit status.
int Run(int argc, char** argv);

// Whether these arguments are for the modern form.
bool IsModern(int argc, char** argv);

} // namespace modern
