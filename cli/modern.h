// The modern command line: runs when any argument starts with "--" or is a
// short option of the options table ("-k", "-o", "-qv", ...). No window:
// only Qt Core and the image readers are started.
#pragma once

#include <cstdio>

namespace modern {

// The whole run; returns the exit status.
int Run(int argc, char** argv);

// Whether these arguments are for the modern form.
bool IsModern(int argc, char** argv);

} // namespace modern
