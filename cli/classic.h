// The classic batch run ("veldar-convert picture -g16") without a window:
// the GROB written beside the picture through the pipeline, the settings
// file rewritten as the window would have left it, one line on standard
// error when it fails.
#pragma once

#include <QString>

#include <optional>

namespace classic {

// Runs the batch for an argument text whose option is one of the seven
// kinds and returns the exit status; nothing when the settings file does not
// tell where the window stands (a first run, a damaged file), where only the
// window can say what it would write.
// Standard error is left alone until then: the window may still need it.
std::optional<int> RunBatchWithoutWindow(const QString& argumentText);

} // namespace classic
