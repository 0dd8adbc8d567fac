#include "preferences.h"

#include "qtnames.h"
#include "settings.h"

#include <QDir>
#include <QFileInfo>
#include <QList>
#include <QStringList>

#include <map>

namespace {

constexpr qint64 kMaxFileBytes = 16 * 1024;

// "prepare/fit" is kept as two keys, fitWidth and fitHeight (0: natural size).
QString Key(std::string_view key) {
    return QString::fromLatin1(key.data(), qsizetype(key.size()));
}

std::string Text(double value) {
    return grob::FormatNumber(value);
}

} // namespace

bool SetChoice(Choices& p, const grob::OptionEntry& option, std::string_view text) {
    using grob::OptionType;
    grob::Preparation& prep = p.preparation;
    const std::string_view name = option.name;
    switch (option.type) {
    case OptionType::Flag: {
        if (text != "true" && text != "false") return false;
        const bool on = text == "true";
        if (name == "upscale")
            prep.upscale = on;
        else if (name == "invert")
            prep.invert = on;
        else if (name == "clear-padding")
            p.clearPadding = on;
        else
            return false;
        return true;
    }
    case OptionType::Whole:
    case OptionType::Number: {
        const auto value = grob::ParseNumber(option, text);
        if (!value) return false;
        if (name == "brightness")
            prep.brightness = *value;
        else if (name == "contrast")
            prep.contrast = *value;
        else if (name == "gamma")
            prep.gamma = *value;
        else if (name == "zoom")
            p.zoom = int(*value);
        else
            return false;
        return true;
    }
    case OptionType::Choice: {
        const auto index = grob::ParseChoice(option, text);
        if (!index) return false;
        if (name == "kind")
            p.kind = grob::OutputKinds()[*index];
        else if (name == "dither")
            prep.dither = grob::kDitherMethods[*index].dither;
        else
            return false;
        return true;
    }
    case OptionType::Size: {
        if (name != "fit") return false;
        if (text == "natural") {
            prep.fitWidth = prep.fitHeight = 0;
            return true;
        }
        const auto box = grob::ParseSize(option, text);
        if (!box) return false;
        prep.fitWidth = box->width;
        prep.fitHeight = box->height;
        return true;
    }
    case OptionType::Path:
        break;
    }
    return false;
}

QString Describe(const grob::Preparation& p) {
    QStringList parts;
    if (p.fits())
        parts << QStringLiteral("fit %1 x %2%3")
                     .arg(p.fitWidth)
                     .arg(p.fitHeight)
                     .arg(p.upscale ? QStringLiteral(", enlarged") : QString());
    auto number = [&](const char* name, double value) {
        parts << QStringLiteral("%1 %2").arg(QLatin1String(name),
                                             QString::fromStdString(grob::FormatNumber(value)));
    };
    if (p.brightness != 0) number("brightness", p.brightness);
    if (p.contrast != 0) number("contrast", p.contrast);
    if (p.gamma != 1) number("gamma", p.gamma);
    if (p.invert) parts << QStringLiteral("inverted");
    for (const grob::DitherMethod& method : grob::kDitherMethods)
        if (method.dither == p.dither && p.dither != grob::Dither::None)
            parts << QString::fromLatin1(method.label.data(), qsizetype(method.label.size())) +
                         QStringLiteral(" dithering");
    return parts.join(QStringLiteral(", "));
}

QString Preferences::PathBeside(const QString& settingsPath) {
    return QFileInfo(settingsPath).absoluteDir().filePath(QStringLiteral("veldar-convert.ini"));
}

Preferences Preferences::Parse(const QByteArray& text) {
    // INI: [section] lines, then key=value lines.
    std::map<QString, QByteArray> values;
    QString section;
    for (QByteArray line : text.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(';') || line.startsWith('#')) continue;
        if (line.startsWith('[') && line.endsWith(']')) {
            section = QString::fromUtf8(line.mid(1, line.size() - 2).trimmed());
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (equals <= 0) continue;
        values[section + u'/' + QString::fromUtf8(line.left(equals).trimmed())] =
            line.mid(equals + 1).trimmed();
    }
    auto value = [&](const QString& key) -> std::optional<std::string> {
        const auto it = values.find(key);
        if (it == values.end()) return std::nullopt;
        return it->second.toStdString();
    };

    Preferences p;
    for (const grob::OptionEntry& option : grob::Options()) {
        if (option.preference.empty()) continue;
        if (option.type == grob::OptionType::Size) {
            const auto w = value(Key(option.preference) + QStringLiteral("Width"));
            const auto h = value(Key(option.preference) + QStringLiteral("Height"));
            if (w && h) SetChoice(p, option, *w == "0" || *h == "0" ? "natural" : *w + 'x' + *h);
        } else if (const auto stored = value(Key(option.preference))) {
            SetChoice(p, option, *stored);
        }
    }
    p.previewShown = value(QStringLiteral("preview/shown")) == std::optional<std::string>("true");
    if (const auto geometry = value(QStringLiteral("preview/geometry"))) {
        const QList<QByteArray> parts = QByteArray::fromStdString(*geometry).split(',');
        bool ok[4] = {};
        int n[4] = {};
        for (int i = 0; i < 4 && parts.size() == 4; ++i)
            n[i] = parts[i].trimmed().toInt(&ok[i]);
        if (ok[0] && ok[1] && ok[2] && ok[3] && n[2] > 0 && n[3] > 0 && n[2] <= 16384 &&
            n[3] <= 16384)
            p.previewGeometry = QRect(n[0], n[1], n[2], n[3]);
    }
    return p;
}

QByteArray Preferences::format() const {
    std::map<QString, std::map<QString, std::string>> sections;
    auto put = [&](std::string_view key, const std::string& text) {
        const QString whole = Key(key);
        sections[whole.section(u'/', 0, 0)][whole.section(u'/', 1)] = text;
    };
    const grob::Preparation& prep = preparation;
    for (const grob::OptionEntry& option : grob::Options()) {
        const std::string_view name = option.name;
        if (option.preference.empty()) continue;
        if (name == "fit") {
            put(std::string(option.preference) + "Width", Text(prep.fitWidth));
            put(std::string(option.preference) + "Height", Text(prep.fitHeight));
        } else if (name == "upscale") {
            put(option.preference, prep.upscale ? "true" : "false");
        } else if (name == "invert") {
            put(option.preference, prep.invert ? "true" : "false");
        } else if (name == "clear-padding") {
            put(option.preference, clearPadding ? "true" : "false");
        } else if (name == "brightness") {
            put(option.preference, Text(prep.brightness));
        } else if (name == "contrast") {
            put(option.preference, Text(prep.contrast));
        } else if (name == "gamma") {
            put(option.preference, Text(prep.gamma));
        } else if (name == "dither") {
            put(option.preference, std::string(grob::NameOfDither(prep.dither)));
        } else if (name == "kind") {
            put(option.preference, std::string(kind.extension));
        } else if (name == "zoom") {
            put(option.preference, Text(zoom));
        }
    }
    put("preview/shown", previewShown ? "true" : "false");
    if (previewGeometry)
        put("preview/geometry", QStringLiteral("%1,%2,%3,%4")
                                    .arg(previewGeometry->x())
                                    .arg(previewGeometry->y())
                                    .arg(previewGeometry->width())
                                    .arg(previewGeometry->height())
                                    .toStdString());
    QByteArray text;
    for (const auto& [section, keys] : sections) {
        if (!text.isEmpty()) text += '\n';
        text += '[' + section.toUtf8() + "]\n";
        for (const auto& [key, value] : keys)
            text += key.toUtf8() + '=' + QByteArray::fromStdString(value) + '\n';
    }
    return text;
}

Preferences Preferences::Load(const QString& path) {
    const auto contents = qtnames::ReadRegularFile(path, kMaxFileBytes, nullptr);
    return contents ? Parse(*contents) : Preferences{};
}

QString Preferences::save(const QString& path) const {
    return settings::SaveText(path, format());
}
