#include "picturecheck.h"

#include "codecs.h"

#include <QRegularExpression>

#include <cstdint>
#include <limits>

namespace picturecheck {

namespace {

std::uint32_t U16(const QByteArray& d, qsizetype at) {
    if (at < 0 || at + 2 > d.size()) return 0;
    return static_cast<std::uint8_t>(d[at]) | static_cast<std::uint8_t>(d[at + 1]) << 8;
}

std::uint32_t U32(const QByteArray& d, qsizetype at) {
    if (at < 0 || at + 4 > d.size()) return 0;
    return U16(d, at) | U16(d, at + 2) << 16;
}

std::uint8_t Byte(const QByteArray& d, qsizetype at) {
    return at >= 0 && at < d.size() ? static_cast<std::uint8_t>(d[at]) : 0;
}

bool IsDibHeaderSize(std::uint32_t size) {
    return size == 12 || size == 40 || size == 52 || size == 56 || size == 64 || size == 108 ||
           size == 124;
}

} // namespace

Kind Sniff(const QByteArray& data) {
    if (U32(data, 0) == 0x9AC6CDD7u) return Kind::Wmf; // placeable metafile
    const std::uint32_t type = U16(data, 0), headerWords = U16(data, 2), version = U16(data, 4);
    if ((type == 1 || type == 2) && headerWords == 9 && (version == 0x0100 || version == 0x0300))
        return Kind::Wmf;
    if (U32(data, 0) == 1 && U32(data, 40) == 0x464D4520u) // EMR_HEADER, " EMF"
        return Kind::Emf;
    if (!data.startsWith("BM") && IsDibHeaderSize(U32(data, 0))) return Kind::PackedDib;
    return Kind::Other;
}

bool BitmapComplete(const QByteArray& data, bool hasFileHeader) {
    return codecs::BitmapComplete(
        {reinterpret_cast<const std::uint8_t*>(data.constData()), std::size_t(data.size())},
        hasFileHeader);
}

bool JpegComplete(const QByteArray& data) {
    if (Byte(data, 0) != 0xFF || Byte(data, 1) != 0xD8) return true; // not a JPEG
    qsizetype at = 2;
    const qsizetype n = data.size();
    while (at + 1 < n) {
        if (Byte(data, at) != 0xFF) return false;
        const std::uint8_t marker = Byte(data, at + 1);
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0xD9) return true; // end of image
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
            continue;
        }
        const qsizetype length = (Byte(data, at + 2) << 8) | Byte(data, at + 3);
        if (length < 2 || at + 2 + length > n) return false;
        at += 2 + length;
        if (marker == 0xDA) {
            // Entropy-coded data runs to the next marker that is neither a
            // stuffed zero nor a restart marker.
            while (at + 1 < n) {
                if (Byte(data, at) == 0xFF) {
                    const std::uint8_t next = Byte(data, at + 1);
                    if (next != 0x00 && next != 0xFF && !(next >= 0xD0 && next <= 0xD7)) break;
                }
                ++at;
            }
        }
    }
    return false;
}

bool GifComplete(const QByteArray& data) {
    if (!data.startsWith("GIF87a") && !data.startsWith("GIF89a")) return true;
    const qsizetype n = data.size();
    qsizetype at = 13;
    const std::uint8_t flags = Byte(data, 10);
    if (flags & 0x80) at += 3 * (qsizetype{1} << ((flags & 7) + 1));
    auto skipSubBlocks = [&]() {
        while (at < n) {
            const std::uint8_t size = Byte(data, at);
            ++at;
            if (size == 0) return true;
            at += size;
        }
        return false;
    };
    while (at < n) {
        const std::uint8_t block = Byte(data, at);
        if (block == 0x21) { // extension
            at += 2;
            if (!skipSubBlocks()) return false;
        } else if (block == 0x2C) { // image
            const std::uint8_t local = Byte(data, at + 9);
            at += 10;
            if (local & 0x80) at += 3 * (qsizetype{1} << ((local & 7) + 1));
            at += 1; // LZW minimum code size
            return skipSubBlocks();
        } else {
            return false; // trailer or rubbish before any image
        }
    }
    return false;
}

bool XbmComplete(const QByteArray& data) {
    static const QRegularExpression define(
        QStringLiteral(R"(#define\s+\S*_(width|height)\s+(\d+))"));
    qint64 width = -1, height = -1;
    const QString text = QString::fromLatin1(data.left(4096));
    auto matches = define.globalMatch(text);
    while (matches.hasNext()) {
        const auto m = matches.next();
        (m.captured(1) == QLatin1String("width") ? width : height) = m.captured(2).toLongLong();
    }
    if (width < 0 || height < 0) return true; // not an X bitmap
    const qsizetype open = data.indexOf('{');
    if (open < 0) return false;
    const qsizetype close = data.indexOf('}', open);
    if (close < 0) return false;
    // Count the numbers between the braces.
    qint64 count = 0;
    bool inNumber = false;
    for (qsizetype i = open + 1; i < close; ++i) {
        const char c = data[i];
        const bool part = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
                          (c >= 'A' && c <= 'F') || c == 'x' || c == 'X';
        if (part && !inNumber) ++count;
        inNumber = part;
    }
    return count >= (width + 7) / 8 * height;
}

namespace {

struct Candidate {
    int index;
    qint64 area;
    int bits;
};

} // namespace

int BestIconEntry(const QByteArray& data) {
    const int count = int(U16(data, 4));
    Candidate best{0, -1, -1};
    for (int i = 0; i < count && 6 + 16 * (qsizetype(i) + 1) <= data.size(); ++i) {
        const qsizetype entry = 6 + 16 * qsizetype(i);
        const int w = Byte(data, entry) ? Byte(data, entry) : 256;
        const int h = Byte(data, entry + 1) ? Byte(data, entry + 1) : 256;
        int bits = int(U16(data, entry + 6));
        const std::uint32_t offset = U32(data, entry + 12);
        if (qint64(offset) + 8 <= data.size()) {
            if (data.mid(offset, 8) == QByteArray("\x89PNG\r\n\x1a\n", 8))
                bits = 32;
            else if (!bits)
                bits = int(U16(data, qsizetype(offset) + 14));
        }
        const qint64 area = qint64(w) * h;
        if (area > best.area || (area == best.area && bits > best.bits)) best = {i, area, bits};
    }
    return best.index;
}

} // namespace picturecheck
