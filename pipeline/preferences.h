// The choices that came after ORBEX.ini: the picture's preparation, the
// preview's kind and zoom, whether the preview is shown and where, the
// pictures opened last and the open dialog's filter. Kept in
// a file of their own beside ORBEX.ini (veldar-convert.ini, INI format), so
// that ORBEX.ini keeps its six lines. Every option of the table with a
// preference key is kept, read and written through the table; only the
// preview window's own place is kept beside them.
#pragma once

#include "grob/options.h"
#include "grob/prepare.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The preparation in words, for the user, from the table's labels: "fit
// 131 x 64, contrast 20, Floyd-Steinberg dithering"; only what has its
// effect (with the kind chosen), empty when nothing has.
std::string Describe(const grob::Choices& choices);

// Where a window stands on the screen, its frame in pixels.
struct WindowGeometry {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct Preferences : grob::Choices {
    bool previewShown = false;
    // The preview's panel: at the main window's side (the right, or the
    // left), as wide as it was left (0: as wide as it asks), or floating as a
    // window of its own, its frame where it was placed.
    bool previewFloating = false;
    bool previewOnLeft = false;
    int previewWidth = 0;
    std::optional<WindowGeometry> previewGeometry;
    // The pictures opened last, the latest first, as the system's bytes
    // (absolute, each once, at most kRecentFiles).
    std::vector<std::string> recentFiles;
    // The open dialog's filter chosen last, by its description ("All
    // pictures"); empty: the first one.
    std::string openFilter;

    static constexpr std::size_t kRecentFiles = 8;
    // `path` (the system's bytes) made absolute, put first.
    void noteRecent(const std::string& path);

    // The file beside the settings file at `settingsPath`.
    static std::string PathBeside(const std::string& settingsPath);
    // Missing, malformed or out-of-range values keep their defaults.
    static Preferences Load(const std::string& path);
    static Preferences Parse(std::string_view text);
    std::string format() const;
    // Writes the file whole (or leaves the old one); an empty string, or why not.
    std::string save(const std::string& path) const;
};
