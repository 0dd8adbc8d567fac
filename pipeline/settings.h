// The settings file ORBEX.ini: the main window's position and outer size in
// twips and the calculator series, six lines ended by CR LF. Paths are
// bytes, as the system keeps them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace settings {

struct WindowSettings {
    float left = 0;
    float top = 0;
    float width = 0;
    float height = 0;
    bool hp48 = false; // "HP 48 series" checked
};

// Where the file lives: in the folder named by `windir` when that variable is
// set and not empty, otherwise in this program's folder under the user's
// configuration folder ($XDG_CONFIG_HOME when it is absolute, else ~/.config).
std::string SettingsPath(const std::optional<std::string>& windir,
                         const std::optional<std::string>& xdgConfigHome, const std::string& home);
// The same, from this process's environment.
std::string SettingsPath();

std::string Format(const WindowSettings& values);

// The values of a settings file, or nothing when any line is missing or
// does not hold what it must (the caller then falls back to a centred
// window and leaves the series alone).
std::optional<WindowSettings> Parse(std::string_view contents);

// Numbers as the file writes them: plain decimal, "." as separator.
std::string FormatNumber(float value);

// Twips in a pixel where the screen has 96 dots per inch, as a window without
// a screen takes it.
inline constexpr double kTwipsPerPixel = 15;
// A length in twips as a window stands it: whole pixels of `twipsPerPixel`
// twips, rounded to nearest, ties to even, and written back as twips. What a
// window that was placed at `twips` and never moved writes on closing.
float WholePixels(float twips, double twipsPerPixel = kTwipsPerPixel);
// All four numbers so.
WindowSettings InWholePixels(const WindowSettings& values, double twipsPerPixel = kTwipsPerPixel);

// The fallback geometry: two thirds of the screen, centred. `actual` is the
// size the window really took when asked for the two thirds.
struct Size {
    float width;
    float height;
};
Size FallbackSize(float screenWidth, float screenHeight);
struct Position {
    float left;
    float top;
};
Position CentredPosition(float screenWidth, float screenHeight, Size actual);

// The most of a settings file that is read.
constexpr std::int64_t kMaxFileBytes = 4096;

// Writes `text` to `path` whole (or leaves the old file as it was), creating
// its folder when needed. Returns an empty string on success, else the cause.
std::string SaveText(const std::string& path, std::string_view text);
// The settings file written with SaveText.
std::string Save(const std::string& path, const WindowSettings& values);
// Reads the file; nothing when it is missing, unreadable, not a regular
// file, larger than kMaxFileBytes or malformed.
std::optional<WindowSettings> Load(const std::string& path);

} // namespace settings
