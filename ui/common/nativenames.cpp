#include "nativenames.h"

#include "filenames.h"

namespace nativenames {

namespace {

constexpr char16_t kEscapedByte = 0xDC00; // U+DC80 ... U+DCFF: the bytes 0x80 ... 0xFF

bool IsEscapedByte(char16_t c) {
    return c >= kEscapedByte + 0x80 && c <= kEscapedByte + 0xFF;
}

} // namespace

QString Shown(const std::string& name) {
    QString text;
    text.reserve(qsizetype(name.size()));
    const auto* p = reinterpret_cast<const unsigned char*>(name.data());
    const auto* end = p + name.size();
    while (p < end) {
        char32_t code = 0;
        const int length = filenames::Utf8Sequence(p, end, code);
        if (length == 0) {
            text += QChar(char16_t(kEscapedByte + *p++));
            continue;
        }
        if (code < 0x10000) {
            text += QChar(char16_t(code));
        } else {
            text += QChar(QChar::highSurrogate(code));
            text += QChar(QChar::lowSurrogate(code));
        }
        p += length;
    }
    return text;
}

std::string Native(const QString& name) {
    std::string out;
    out.reserve(std::size_t(name.size()));
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < name.size() &&
            QChar::isLowSurrogate(name[i + 1].unicode())) {
            filenames::AppendUtf8(out, QChar::surrogateToUcs4(c, name[i + 1].unicode()));
            ++i;
        } else if (IsEscapedByte(c)) {
            out += char(c - kEscapedByte);
        } else if (QChar::isSurrogate(c)) {
            filenames::AppendUtf8(out, 0xFFFD);
        } else {
            filenames::AppendUtf8(out, c);
        }
    }
    return out;
}

} // namespace nativenames
