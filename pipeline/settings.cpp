#include "settings.h"

#include "grob/grobfile.h"
#include "qtnames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>

#include <charconv>
#include <cmath>

namespace settings {

namespace {

std::optional<float> ParseNumber(const QByteArray& field) {
    const QByteArray text = field.trimmed();
    if (text.isEmpty()) return std::nullopt;
    const char* begin = text.constData();
    const char* end = begin + text.size();
    if (*begin == '+') ++begin;
    float value = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    // "nan" and "inf" are numbers to from_chars, but no place on a screen.
    if (ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<std::pair<float, float>> ParsePair(const QByteArray& line) {
    const QList<QByteArray> fields = line.split(',');
    if (fields.size() != 2) return std::nullopt;
    const auto first = ParseNumber(fields[0]);
    const auto second = ParseNumber(fields[1]);
    if (!first || !second) return std::nullopt;
    return std::pair{*first, *second};
}

std::optional<bool> ParseFlag(const QByteArray& line) {
    const QByteArray text = line.trimmed();
    if (text.isEmpty()) return false;
    if (text.compare("#TRUE#", Qt::CaseInsensitive) == 0) return true;
    if (text.compare("#FALSE#", Qt::CaseInsensitive) == 0) return false;
    if (const auto number = ParseNumber(text)) return *number != 0;
    return std::nullopt;
}

} // namespace

QString SettingsPath(const std::optional<QString>& windir,
                     const std::optional<QString>& xdgConfigHome, const QString& home) {
    if (windir && !windir->isEmpty()) return QDir(*windir).filePath(QStringLiteral("ORBEX.ini"));
    QString base;
    if (xdgConfigHome && QDir::isAbsolutePath(*xdgConfigHome))
        base = *xdgConfigHome;
    else
        base = QDir(home).filePath(QStringLiteral(".config"));
    return QDir(QDir(base).filePath(QStringLiteral("veldar-convert")))
        .filePath(QStringLiteral("ORBEX.ini"));
}

QString SettingsPath() {
    auto env = [](const char* name) -> std::optional<QString> {
        if (!qEnvironmentVariableIsSet(name)) return std::nullopt;
        return qEnvironmentVariable(name);
    };
    return SettingsPath(env("windir"), env("XDG_CONFIG_HOME"), QDir::homePath());
}

QByteArray FormatNumber(float value) {
    char buffer[64];
    const auto [ptr, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (ec != std::errc()) return "0";
    QByteArray text(buffer, static_cast<qsizetype>(ptr - buffer));
    if (text == "-0") text = "0";
    return text;
}

QByteArray Format(const WindowSettings& values) {
    QByteArray text;
    text += "[Window position x,y]\r\n";
    text += FormatNumber(values.left) + ',' + FormatNumber(values.top) + "\r\n";
    text += "[Window size w,h]\r\n";
    text += FormatNumber(values.width) + ',' + FormatNumber(values.height) + "\r\n";
    text += "[Default header]\r\n";
    text += values.hp48 ? "#TRUE#\r\n" : "#FALSE#\r\n";
    return text;
}

std::optional<WindowSettings> Parse(const QByteArray& contents) {
    QList<QByteArray> lines = contents.split('\n');
    if (!contents.isEmpty() && contents.endsWith('\n'))
        lines.removeLast(); // the ending of the last line starts no new one
    if (contents.isEmpty() || lines.size() < 6) return std::nullopt;
    for (QByteArray& line : lines)
        if (line.endsWith('\r')) line.chop(1);
    // Lines 1, 3 and 5 are section titles and are not looked at.
    const auto position = ParsePair(lines[1]);
    const auto size = ParsePair(lines[3]);
    const auto flag = ParseFlag(lines[5]);
    if (!position || !size || !flag) return std::nullopt;
    return WindowSettings{position->first, position->second, size->first, size->second, *flag};
}

Size FallbackSize(float screenWidth, float screenHeight) {
    return {2.0f * screenWidth / 3.0f, 2.0f * screenHeight / 3.0f};
}

Position CentredPosition(float screenWidth, float screenHeight, Size actual) {
    return {(screenWidth - actual.width) / 2.0f, (screenHeight - actual.height) / 2.0f};
}

QString Save(const QString& path, const WindowSettings& values) {
    return SaveText(path, Format(values));
}

QString SaveText(const QString& path, const QByteArray& text) {
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        return QStringLiteral("cannot create the folder %1").arg(info.absolutePath());
    // Written whole or not at all: a full disk leaves the old file as it was.
    try {
        grob::WriteFileAtomically(
            QFile::encodeName(path).toStdString(),
            {reinterpret_cast<const std::uint8_t*>(text.constData()), std::size_t(text.size())});
    } catch (const grob::GrobError& e) {
        return QString::fromLocal8Bit(e.cause().c_str());
    }
    return {};
}

std::optional<WindowSettings> Load(const QString& path) {
    // A settings file is six short lines; anything larger is not one, and
    // only a regular file is read at all.
    const auto contents = qtnames::ReadRegularFile(path, kMaxFileBytes, nullptr);
    if (!contents) return std::nullopt;
    return Parse(*contents);
}

} // namespace settings
