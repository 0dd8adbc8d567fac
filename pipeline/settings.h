// The settings file ORBEX.ini: the main window's position and outer size in
// twips and the calculator series, six lines ended by CR LF.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

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
// configuration folder ($XDG_CONFIG_HOME, else ~/.config).
QString SettingsPath(const std::optional<QString>& windir,
                     const std::optional<QString>& xdgConfigHome, const QString& home);
// The same, from this process's environment.
QString SettingsPath();

QByteArray Format(const WindowSettings& values);

// The values of a settings file, or nothing when any line is missing or
// does not hold what it must (the caller then falls back to a centred
// window and leaves the series alone).
std::optional<WindowSettings> Parse(const QByteArray& contents);

// Numbers as the file writes them: plain decimal, "." as separator.
QByteArray FormatNumber(float value);

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
constexpr qint64 kMaxFileBytes = 4096;

// Writes `text` to `path` whole (or leaves the old file as it was), creating
// its folder when needed. Returns an empty string on success, else the cause.
QString SaveText(const QString& path, const QByteArray& text);
// The settings file written with SaveText.
QString Save(const QString& path, const WindowSettings& values);
// Reads the file; nothing when it is missing, unreadable, not a regular
// file, larger than kMaxFileBytes or malformed.
std::optional<WindowSettings> Load(const QString& path);

} // namespace settings
