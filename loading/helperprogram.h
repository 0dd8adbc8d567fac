// The program's helpers (the window program veldar-window, the picture
// renderer veldar-render), found in one way: beside this program (the build
// tree), where they were installed, or where an installation moved to
// another prefix keeps them (../libexec/veldar-convert).
#pragma once

#include <string>
#include <string_view>

namespace loading {

// The helper's absolute path, or empty when none of those places holds an
// executable regular file of that name.
std::string HelperProgram(std::string_view name);

} // namespace loading
