#include "qtnames.h"

#include "regularfile.h"

#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

namespace qtnames {

namespace {

constexpr char16_t kEscapedByte = 0xDC00; // U+DC80 ... U+DCFF: the bytes 0x80 ... 0xFF

// The length of the valid UTF-8 sequence at `p` (1 to 4) and its code point,
// or 0 when the bytes there are not one.
int Sequence(const unsigned char* p, const unsigned char* end, char32_t& code) {
    const unsigned char lead = p[0];
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    int length = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, code = lead & 0x07u;
    } else {
        return 0;
    }
    if (end - p < length) return 0;
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        code = (code << 6) | (p[i] & 0x3Fu);
    }
    // No overlong forms, no surrogates, nothing past U+10FFFF.
    if (code < minimum || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
    return length;
}

bool IsEscapedByte(char16_t c) {
    return c >= kEscapedByte + 0x80 && c <= kEscapedByte + 0xFF;
}

void AppendUtf8(QByteArray& out, char32_t code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

bool Stat(const QString& name, struct stat& info) {
    return !name.isEmpty() && ::stat(ToNative(name).constData(), &info) == 0;
}

} // namespace

QString FromNative(const QByteArray& bytes) {
    QString name;
    name.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto* end = p + bytes.size();
    while (p < end) {
        char32_t code = 0;
        const int length = Sequence(p, end, code);
        if (length == 0) {
            name += QChar(char16_t(kEscapedByte + *p++));
            continue;
        }
        if (code < 0x10000) {
            name += QChar(char16_t(code));
        } else {
            name += QChar(QChar::highSurrogate(code));
            name += QChar(QChar::lowSurrogate(code));
        }
        p += length;
    }
    return name;
}

QByteArray ToNative(const QString& name) {
    QByteArray out;
    out.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < name.size() &&
            QChar::isLowSurrogate(name[i + 1].unicode())) {
            AppendUtf8(out, QChar::surrogateToUcs4(c, name[i + 1].unicode()));
            ++i;
        } else if (IsEscapedByte(c)) {
            out += char(c - kEscapedByte);
        } else if (QChar::isSurrogate(c)) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

QString Printable(const QString& text) {
    QString out;
    out.reserve(text.size());
    auto octal = [&](unsigned byte) {
        out += u'\\';
        out += QChar(u'0' + ((byte >> 6) & 7));
        out += QChar(u'0' + ((byte >> 3) & 7));
        out += QChar(u'0' + (byte & 7));
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x20 || c == 0x7F) {
            octal(c);
        } else if (c >= 0x80 && c <= 0x9F) {
            octal(0xC2); // the two bytes of a C1 control in UTF-8
            octal(c);
        } else if (IsEscapedByte(c)) {
            octal(c - kEscapedByte);
        } else if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
                   QChar::isLowSurrogate(text[i + 1].unicode())) {
            out += text[i];
            out += text[++i];
        } else if (QChar::isSurrogate(c)) {
            out += u'?';
        } else {
            out += text[i];
        }
    }
    return out;
}

bool Exists(const QString& name) {
    struct stat info {};
    return Stat(name, info);
}

bool IsFolder(const QString& name) {
    struct stat info {};
    return Stat(name, info) && S_ISDIR(info.st_mode);
}

QString Absolute(const QString& name) {
    if (name.startsWith(u'/')) return name;
    char* here = ::getcwd(nullptr, 0);
    if (!here) return name;
    QString folder = FromNative(QByteArray(here));
    std::free(here);
    if (!folder.endsWith(u'/')) folder += u'/';
    return name.isEmpty() ? folder : folder + name;
}

std::optional<QByteArray> ReadRegularFile(const QString& path, qint64 maxBytes, QString* error) {
    std::string why;
    auto bytes = loading::ReadRegularFile(ToNative(path).toStdString(), maxBytes, &why);
    if (!bytes) {
        if (error) *error = QString::fromStdString(why);
        return std::nullopt;
    }
    return QByteArray(reinterpret_cast<const char*>(bytes->data()), qsizetype(bytes->size()));
}

} // namespace qtnames
