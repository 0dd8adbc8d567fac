// Pictures of every kind the program reads, made here so that the tests know
// their exact pixels: a 48 x 32 picture, red on the left half and blue on the
// right, with a green square in the top-left corner (top-left 8 x 8 pixels).
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QtEndian>

namespace makers {

constexpr int kW = 48, kH = 32;

inline QImage Reference() {
    QImage image(kW, kH, QImage::Format_RGB32);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            image.setPixel(x, y,
                           x < 8 && y < 8 ? qRgb(0, 255, 0)
                           : x < kW / 2   ? qRgb(255, 0, 0)
                                          : qRgb(0, 0, 255));
    return image;
}

inline QByteArray Encode(const QImage& image, const char* format, int quality = -1) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

inline void Put16(QByteArray& out, int v) {
    out.append(char(v & 255));
    out.append(char((v >> 8) & 255));
}
inline void Put32(QByteArray& out, quint32 v) {
    Put16(out, int(v & 0xFFFF));
    Put16(out, int(v >> 16));
}

// A GIF with a 4-colour table (green, red, blue, black), LZW with a clear
// code after every two pixels so the codes stay 3 bits wide.
inline QByteArray Gif() {
    QByteArray out("GIF89a");
    Put16(out, kW);
    Put16(out, kH);
    out.append(char(0x81)); // global table of 4 colours
    out.append('\0');
    out.append('\0');
    const char table[] = {0, char(255), 0, char(255), 0, 0, 0, 0, char(255), 0, 0, 0};
    out.append(table, 12);
    out.append(char(0x2C));
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, kW);
    Put16(out, kH);
    out.append('\0');
    out.append(char(2)); // minimum code size
    QByteArray codes;
    quint32 acc = 0;
    int bits = 0;
    auto put = [&](int code) {
        acc |= quint32(code) << bits;
        bits += 3;
        while (bits >= 8) {
            codes.append(char(acc & 255));
            acc >>= 8;
            bits -= 8;
        }
    };
    int n = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            if (n++ % 2 == 0) put(4); // clear
            put(x < 8 && y < 8 ? 0 : x < kW / 2 ? 1 : 2);
        }
    put(5); // end of information
    if (bits) codes.append(char(acc & 255));
    for (qsizetype i = 0; i < codes.size(); i += 255) {
        const QByteArray part = codes.mid(i, 255);
        out.append(char(part.size()));
        out.append(part);
    }
    out.append('\0');
    out.append(char(0x3B));
    return out;
}

inline void WmfRecord(QByteArray& out, int function, std::initializer_list<int> params) {
    Put32(out, quint32(3 + params.size()));
    Put16(out, function);
    for (int p : params)
        Put16(out, p);
}

// A placeable WMF: frame 720 x 480 units at 1440 units per inch (48 x 32
// pixels at 96 dots per inch), three rectangles drawn with a null pen.
inline QByteArray Wmf() {
    QByteArray body;
    WmfRecord(body, 0x020B, {0, 0});          // SetWindowOrg
    WmfRecord(body, 0x020C, {480, 720});      // SetWindowExt (y, x)
    WmfRecord(body, 0x02FA, {5, 0, 0, 0, 0}); // CreatePenIndirect: null pen
    WmfRecord(body, 0x012D, {0});             // SelectObject 0
    auto brush = [&](int r, int g, int b) {
        WmfRecord(body, 0x02FC, {0, r | g << 8, b, 0}); // CreateBrushIndirect, solid
        WmfRecord(body, 0x012D, {1});                   // SelectObject 1
    };
    brush(255, 0, 0);
    WmfRecord(body, 0x041B, {480, 360, 0, 0}); // Rectangle (bottom, right, top, left)
    WmfRecord(body, 0x01F0, {1});              // DeleteObject 1
    brush(0, 0, 255);
    WmfRecord(body, 0x041B, {480, 720, 0, 360});
    WmfRecord(body, 0x01F0, {1});
    brush(0, 255, 0);
    WmfRecord(body, 0x041B, {120, 120, 0, 0});
    WmfRecord(body, 0x0000, {}); // EOF

    QByteArray out;
    Put32(out, 0x9AC6CDD7u);
    Put16(out, 0);
    for (int v : {0, 0, 720, 480, 1440})
        Put16(out, v);
    Put32(out, 0);
    quint16 checksum = 0;
    for (int i = 0; i < 10; ++i)
        checksum ^= qFromLittleEndian<quint16>(out.constData() + 2 * i);
    Put16(out, checksum);
    Put16(out, 1);      // in a file
    Put16(out, 9);      // header words
    Put16(out, 0x0300); // version
    Put32(out, quint32((18 + body.size()) / 2));
    Put16(out, 2); // objects
    Put32(out, 8); // largest record in words
    Put16(out, 0);
    return out + body;
}

// An EMF at 96 pixels per inch: frame 1270 x 847 hundredths of a millimetre
// (48 x 32 pixels), the same three rectangles.
inline QByteArray Emf() {
    QByteArray records;
    int count = 1;
    auto record = [&](quint32 type, std::initializer_list<quint32> params) {
        Put32(records, type);
        Put32(records, quint32(8 + 4 * params.size()));
        for (quint32 p : params)
            Put32(records, p);
        ++count;
    };
    record(37, {0x80000008u}); // SelectObject(NULL_PEN)
    auto box = [&](quint32 colour, int l, int t, int r, int b) {
        record(39, {1, 0, colour, 0}); // CreateBrushIndirect: solid, COLORREF
        record(37, {1});               // SelectObject
        record(43, {quint32(l), quint32(t), quint32(r), quint32(b)}); // Rectangle
        record(40, {1});                                              // DeleteObject
    };
    box(0x0000FF, 0, 0, 24, 32);
    box(0xFF0000, 24, 0, 48, 32);
    box(0x00FF00, 0, 0, 8, 8);
    record(14, {0, 16, 20}); // EOF

    QByteArray header;
    Put32(header, 1);                    // EMR_HEADER
    Put32(header, 88);                   // size
    for (quint32 v : {0u, 0u, 47u, 31u}) // bounds, device pixels
        Put32(header, v);
    for (quint32 v : {0u, 0u, 1270u, 847u}) // frame, 0.01 mm
        Put32(header, v);
    Put32(header, 0x464D4520u); // " EMF"
    Put32(header, 0x10000u);
    Put32(header, quint32(88 + records.size()));
    Put32(header, quint32(count));
    Put16(header, 2); // handles
    Put16(header, 0);
    Put32(header, 0); // description
    Put32(header, 0);
    Put32(header, 0);   // palette entries
    Put32(header, 960); // reference device: 960 x 960 pixels on 254 x 254 mm
    Put32(header, 960);
    Put32(header, 254);
    Put32(header, 254);
    return header + records;
}

// The ICO writer gives one entry; a second, smaller one in front shows that
// the largest entry is the one shown.
inline QByteArray Ico(bool cursor) {
    const QByteArray large = Encode(Reference(), "ico");
    QImage tiny(4, 4, QImage::Format_ARGB32);
    tiny.fill(qRgba(0, 0, 0, 0));
    tiny.setPixel(0, 0, qRgb(10, 20, 30));
    const QByteArray small = Encode(tiny, "ico");
    // Each single-entry file: 6-byte directory, 16-byte entry, image data.
    const QByteArray largeData = large.mid(22), smallData = small.mid(22);
    QByteArray out;
    Put16(out, 0);
    Put16(out, cursor ? 2 : 1);
    Put16(out, 2);
    QByteArray smallEntry = small.mid(6, 16), largeEntry = large.mid(6, 16);
    auto setOffset = [](QByteArray& entry, quint32 offset) {
        qToLittleEndian<quint32>(offset, entry.data() + 12);
    };
    setOffset(smallEntry, 6 + 32);
    setOffset(largeEntry, quint32(6 + 32 + smallData.size()));
    if (cursor) { // hot spot instead of planes and bits
        qToLittleEndian<quint16>(1, smallEntry.data() + 4);
        qToLittleEndian<quint16>(1, largeEntry.data() + 4);
        qToLittleEndian<quint16>(1, smallEntry.data() + 6);
        qToLittleEndian<quint16>(1, largeEntry.data() + 6);
    }
    return out + smallEntry + largeEntry + smallData + largeData;
}

} // namespace makers
