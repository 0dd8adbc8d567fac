#include "preferences.h"

#include "filenames.h"
#include "regularfile.h"
#include "settings.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <vector>

namespace {

// Room for the recent files' names at the longest, escaped.
constexpr std::int64_t kMaxFileBytes = 128 * 1024;

// A size option is kept as two keys, "...Width" and "...Height"; 0 and 0 is
// natural size.
constexpr std::string_view kWidth = "Width", kHeight = "Height";

std::string_view Trimmed(std::string_view text) {
    constexpr std::string_view blanks = " \t\n\v\f\r";
    const std::size_t begin = text.find_first_not_of(blanks);
    if (begin == std::string_view::npos) return {};
    return text.substr(begin, text.find_last_not_of(blanks) - begin + 1);
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

// A flag said as what it did to the picture: its label's first word as a
// past participle ("Invert" gives "inverted", "Enlarge smaller pictures"
// "enlarged").
std::string Participle(std::string_view label) {
    std::string word = Lower(label.substr(0, label.find(' ')));
    return word + (!word.empty() && word.back() == 'e' ? "d" : "ed");
}

std::optional<int> Whole(std::string_view text) {
    text = Trimmed(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// A value that is a file name (any bytes but NUL): its bytes as they are,
// but for "%", control bytes, bytes that are not part of valid UTF-8 and a
// blank at either end (which the reading trims), each written "%XX", so that
// the line holds it whole and reads back byte for byte.
std::string Escaped(std::string_view name) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    const auto* bytes = reinterpret_cast<const unsigned char*>(name.data());
    std::string out;
    for (std::size_t i = 0; i < name.size();) {
        const unsigned char c = bytes[i];
        char32_t code = 0;
        const int length =
            c < 0x80 ? 1 : filenames::Utf8Sequence(bytes + i, bytes + name.size(), code);
        const bool edge = c == ' ' && (i == 0 || i + 1 == name.size());
        if (length == 0 || c < 0x20 || c == 0x7F || c == '%' || edge) {
            out += {'%', kDigits[c >> 4], kDigits[c & 15]};
            ++i;
        } else {
            out.append(name.substr(i, std::size_t(length)));
            i += std::size_t(length);
        }
    }
    return out;
}

// The bytes Escaped wrote, or nothing for a "%" not followed by two
// hexadecimal digits.
std::optional<std::string> Unescaped(std::string_view text) {
    auto digit = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                      : -1;
    };
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const int high = i + 2 < text.size() ? digit(text[i + 1]) : -1;
        const int low = high >= 0 ? digit(text[i + 2]) : -1;
        if (low < 0) return std::nullopt;
        out += char(high * 16 + low);
        i += 2;
    }
    return out;
}

} // namespace

std::string Describe(const grob::Choices& asked) {
    // Only what has its effect: a threshold kept for a grayscale kind, say, is not.
    const grob::Choices choices = grob::Applied(asked);
    std::string text;
    for (const grob::OptionEntry& option : grob::Options()) {
        if (!(option.use & grob::kPreparation)) continue;
        const grob::OptionValue value = option.bind.get(choices);
        if (grob::SameValue(option, value, grob::DefaultValue(option))) continue;
        std::string said;
        switch (option.type) {
        case grob::OptionType::Size:
            said = Lower(option.label) + ' ' + std::to_string(value.size.width) + " x " +
                   std::to_string(value.size.height);
            break;
        case grob::OptionType::Region:
            said = Lower(option.label) + ' ' + std::to_string(value.region.width) + " x " +
                   std::to_string(value.region.height) + " from " + std::to_string(value.region.x) +
                   ", " + std::to_string(value.region.y);
            break;
        case grob::OptionType::Whole:
        case grob::OptionType::Number:
            said = Lower(option.label) + ' ' + grob::FormatNumber(value.number);
            break;
        case grob::OptionType::Choice:
            said = std::string(option.choices[value.choice].label) + ' ' + Lower(option.label);
            break;
        case grob::OptionType::Flag:
            said = Participle(option.label);
            break;
        case grob::OptionType::Path:
            break;
        }
        if (said.empty()) continue;
        if (!text.empty()) text += ", ";
        text += said;
    }
    return text;
}

std::string Preferences::PathBeside(const std::string& settingsPath) {
    return filenames::Join(filenames::Folder(filenames::Absolute(settingsPath)),
                           "veldar-convert.ini");
}

Preferences Preferences::Parse(std::string_view text) {
    // INI: [section] lines, then key=value lines, with blanks around either
    // side and any line ending.
    std::map<std::string, std::string, std::less<>> values;
    std::string section;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = Trimmed(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            section = Trimmed(line.substr(1, line.size() - 2));
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || equals == 0) continue;
        values[section + '/' + std::string(Trimmed(line.substr(0, equals)))] =
            Trimmed(line.substr(equals + 1));
    }
    auto value = [&](std::string_view key) -> std::optional<std::string> {
        const auto it = values.find(key);
        if (it == values.end()) return std::nullopt;
        return it->second;
    };

    Preferences p;
    for (const grob::OptionEntry& option : grob::Options()) {
        if (option.preference.empty()) continue;
        std::optional<grob::OptionValue> read;
        if (option.type == grob::OptionType::Size) {
            const std::string key(option.preference);
            const auto w = value(key + std::string(kWidth));
            const auto h = value(key + std::string(kHeight));
            if (w && h && *w == "0" && *h == "0")
                read = grob::OptionValue{}; // natural size
            else if (w && h)
                read = grob::ParseValue(option, *w + 'x' + *h);
        } else if (const auto stored = value(option.preference)) {
            read = grob::ParseValue(option, *stored);
        }
        if (read) option.bind.set(p, *read);
    }
    p.previewShown = value("preview/shown") == "true";
    p.previewFloating = value("preview/floating") == "true";
    p.previewOnLeft = value("preview/side") == "left";
    if (const auto width = value("preview/width"))
        if (const auto number = Whole(*width); number && *number > 0 && *number <= grob::kMaxSide)
            p.previewWidth = *number;
    // The recent files as they were listed, each once; a name that is not
    // absolute or not read whole is left out.
    for (std::size_t i = 1; i <= kRecentFiles; ++i) {
        const auto stored = value("recent/" + std::to_string(i));
        const auto name = stored ? Unescaped(*stored) : std::nullopt;
        if (!name || name->empty() || name->front() != '/' ||
            name->find('\0') != std::string::npos ||
            std::find(p.recentFiles.begin(), p.recentFiles.end(), *name) != p.recentFiles.end())
            continue;
        p.recentFiles.push_back(*name);
    }
    if (const auto filter = value("open/filter"))
        if (const auto name = Unescaped(*filter)) p.openFilter = *name;
    if (const auto geometry = value("preview/geometry")) {
        std::vector<int> n;
        for (std::size_t start = 0; start <= geometry->size();) {
            const std::size_t comma = std::min(geometry->find(',', start), geometry->size());
            if (const auto number = Whole(std::string_view(*geometry).substr(start, comma - start)))
                n.push_back(*number);
            else
                break;
            start = comma + 1;
        }
        if (n.size() == 4 && n[2] > 0 && n[3] > 0 && n[2] <= grob::kMaxSide &&
            n[3] <= grob::kMaxSide)
            p.previewGeometry = WindowGeometry{n[0], n[1], n[2], n[3]};
    }
    return p;
}

std::string Preferences::format() const {
    std::map<std::string, std::map<std::string, std::string>> sections;
    auto put = [&](std::string_view key, std::string written) {
        const std::size_t slash = key.find('/');
        sections[std::string(key.substr(0, slash))][std::string(key.substr(slash + 1))] =
            std::move(written);
    };
    for (const grob::OptionEntry& option : grob::Options()) {
        if (option.preference.empty()) continue;
        const grob::OptionValue value = option.bind.get(*this);
        if (option.type == grob::OptionType::Size) {
            put(std::string(option.preference) + std::string(kWidth),
                std::to_string(value.size.width));
            put(std::string(option.preference) + std::string(kHeight),
                std::to_string(value.size.height));
        } else {
            put(option.preference, grob::FormatValue(option, value));
        }
    }
    put("preview/shown", previewShown ? "true" : "false");
    // The panel's place only once it differs from the first one.
    if (previewFloating) put("preview/floating", "true");
    if (previewOnLeft) put("preview/side", "left");
    if (previewWidth > 0) put("preview/width", std::to_string(previewWidth));
    if (previewGeometry)
        put("preview/geometry", std::to_string(previewGeometry->x) + ',' +
                                    std::to_string(previewGeometry->y) + ',' +
                                    std::to_string(previewGeometry->width) + ',' +
                                    std::to_string(previewGeometry->height));
    for (std::size_t i = 0; i < recentFiles.size() && i < kRecentFiles; ++i)
        put("recent/" + std::to_string(i + 1), Escaped(recentFiles[i]));
    if (!openFilter.empty()) put("open/filter", Escaped(openFilter));
    std::string file;
    for (const auto& [name, keys] : sections) {
        if (!file.empty()) file += '\n';
        file += '[' + name + "]\n";
        for (const auto& [key, value] : keys)
            file += key + '=' + value + '\n';
    }
    return file;
}

void Preferences::noteRecent(const std::string& path) {
    const std::string absolute = filenames::Absolute(path);
    std::erase(recentFiles, absolute);
    recentFiles.insert(recentFiles.begin(), absolute);
    if (recentFiles.size() > kRecentFiles) recentFiles.resize(kRecentFiles);
}

Preferences Preferences::Load(const std::string& path) {
    const auto contents = loading::ReadRegularFile(path, kMaxFileBytes, nullptr);
    if (!contents) return {};
    return Parse(
        std::string_view(reinterpret_cast<const char*>(contents->data()), contents->size()));
}

std::string Preferences::save(const std::string& path) const {
    return settings::SaveText(path, format());
}
