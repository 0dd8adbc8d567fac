#include "settings.h"

#include "filenames.h"
#include "grob/grobfile.h"
#include "grob/options.h"
#include "regularfile.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include <pwd.h>
#include <unistd.h>

namespace settings {

namespace {

// Blanks at either end taken off, as the file may carry them around a value.
std::string_view Trimmed(std::string_view text) {
    constexpr std::string_view blanks = " \t\n\v\f\r";
    const std::size_t begin = text.find_first_not_of(blanks);
    if (begin == std::string_view::npos) return {};
    return text.substr(begin, text.find_last_not_of(blanks) - begin + 1);
}

std::optional<float> ParseNumber(std::string_view field) {
    const auto number = grob::ParseDecimal(Trimmed(field));
    if (!number) return std::nullopt;
    // Held in single precision: a number beyond it is no place on a screen.
    const auto value = float(*number);
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<std::pair<float, float>> ParsePair(std::string_view line) {
    const std::size_t comma = line.find(',');
    if (comma == std::string_view::npos || line.find(',', comma + 1) != std::string_view::npos)
        return std::nullopt;
    const auto first = ParseNumber(line.substr(0, comma));
    const auto second = ParseNumber(line.substr(comma + 1));
    if (!first || !second) return std::nullopt;
    return std::pair{*first, *second};
}

bool SameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::optional<bool> ParseFlag(std::string_view line) {
    const std::string_view text = Trimmed(line);
    if (text.empty()) return false;
    if (SameLetters(text, "#TRUE#")) return true;
    if (SameLetters(text, "#FALSE#")) return false;
    if (const auto number = ParseNumber(text)) return *number != 0;
    return std::nullopt;
}

std::optional<std::string> Environment(const char* name) {
    const char* value = std::getenv(name);
    if (!value) return std::nullopt;
    return std::string(value);
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir) return user->pw_dir;
    return "/";
}

} // namespace

std::string SettingsPath(const std::optional<std::string>& windir,
                         const std::optional<std::string>& xdgConfigHome, const std::string& home) {
    if (windir && !windir->empty()) return filenames::Join(*windir, "ORBEX.ini");
    const std::string base =
        xdgConfigHome && !xdgConfigHome->empty() && xdgConfigHome->front() == '/'
            ? *xdgConfigHome
            : filenames::Join(home, ".config");
    return filenames::Join(filenames::Join(base, "veldar-convert"), "ORBEX.ini");
}

std::string SettingsPath() {
    return SettingsPath(Environment("windir"), Environment("XDG_CONFIG_HOME"), HomeFolder());
}

std::string FormatNumber(float value) {
    char buffer[64];
    const auto [ptr, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (ec != std::errc()) return "0";
    std::string text(buffer, ptr);
    if (text == "-0") text = "0";
    return text;
}

std::string Format(const WindowSettings& values) {
    std::string text;
    text += "[Window position x,y]\r\n";
    text += FormatNumber(values.left) + ',' + FormatNumber(values.top) + "\r\n";
    text += "[Window size w,h]\r\n";
    text += FormatNumber(values.width) + ',' + FormatNumber(values.height) + "\r\n";
    text += "[Default header]\r\n";
    text += values.hp48 ? "#TRUE#\r\n" : "#FALSE#\r\n";
    return text;
}

std::optional<WindowSettings> Parse(std::string_view contents) {
    if (contents.empty()) return std::nullopt;
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < contents.size();) {
        // The ending of the last line starts no new one.
        const std::size_t end = std::min(contents.find('\n', start), contents.size());
        std::string_view line = contents.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    if (lines.size() < 6) return std::nullopt;
    // Lines 1, 3 and 5 are section titles and are not looked at.
    const auto position = ParsePair(lines[1]);
    const auto size = ParsePair(lines[3]);
    const auto flag = ParseFlag(lines[5]);
    if (!position || !size || !flag) return std::nullopt;
    return WindowSettings{position->first, position->second, size->first, size->second, *flag};
}

float WholePixels(float twips, double twipsPerPixel) {
    return float(std::nearbyint(double(twips) / twipsPerPixel) * twipsPerPixel);
}

WindowSettings InWholePixels(const WindowSettings& values, double twipsPerPixel) {
    return {WholePixels(values.left, twipsPerPixel), WholePixels(values.top, twipsPerPixel),
            WholePixels(values.width, twipsPerPixel), WholePixels(values.height, twipsPerPixel),
            values.hp48};
}

Size FallbackSize(float screenWidth, float screenHeight) {
    return {2.0f * screenWidth / 3.0f, 2.0f * screenHeight / 3.0f};
}

Position CentredPosition(float screenWidth, float screenHeight, Size actual) {
    return {(screenWidth - actual.width) / 2.0f, (screenHeight - actual.height) / 2.0f};
}

std::string Save(const std::string& path, const WindowSettings& values) {
    return SaveText(path, Format(values));
}

std::string SaveText(const std::string& path, std::string_view text) {
    const std::string folder(filenames::Folder(filenames::Absolute(path)));
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!filenames::IsFolder(folder)) return "cannot create the folder " + folder;
    // A file that already says this is left as it is: no write, no flush to
    // the disk, on every run that changes nothing.
    if (const auto old = loading::ReadRegularFile(path, text.size() + 1, nullptr);
        old && std::string_view(reinterpret_cast<const char*>(old->data()), old->size()) == text)
        return {};
    // Written whole or not at all: a full disk leaves the old file as it was.
    try {
        grob::WriteFileAtomically(
            path, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    } catch (const grob::GrobError& e) {
        return e.cause();
    }
    return {};
}

std::optional<WindowSettings> Load(const std::string& path) {
    // A settings file is six short lines; anything larger is not one, and
    // only a regular file is read at all.
    const auto contents = loading::ReadRegularFile(path, kMaxFileBytes, nullptr);
    if (!contents) return std::nullopt;
    return Parse(
        std::string_view(reinterpret_cast<const char*>(contents->data()), contents->size()));
}

} // namespace settings
