// The classic batch run ("veldar-convert picture -g16"), written once: the
// window program runs it once it has shown the picture, and veldar-convert
// runs it without any window when the settings file says where the window
// would have stood.
#pragma once

#include "commandline.h"
#include "settings.h"

#include <cstdio>
#include <functional>
#include <string>

namespace classicbatch {

struct Batch {
    cmdline::CommandLine line;      // the picture and one of the seven options
    std::string settingsPath;       // ORBEX.ini
    settings::WindowSettings start; // where the window was placed, and the series saved
    double twipsPerPixel = settings::kTwipsPerPixel; // of the screen the window is on
    std::FILE* errors = stderr;                      // where a failure is said
    // Shows the picture before it is converted (the window's loading steps);
    // a cause when it cannot, and then nothing is converted. Empty: not shown.
    std::function<std::string(const std::string& picture)> show;
};

// Converts the picture into the option's kind with the series saved, beside
// the picture (named as OutputName names it), never over the picture itself;
// a failure is one line on `errors`, the file and the cause. Then the
// settings file is left as the window would have left it: nobody had the
// chance to move the window, so it keeps where the window was placed, in
// whole pixels, and the series. Returns the exit status: 0 when the GROB
// was written, else 1.
int Run(const Batch& batch);

} // namespace classicbatch
