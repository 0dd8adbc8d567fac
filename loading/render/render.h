// The picture renderer: what is drawn in a process of its own, so that a
// fault in a library that is not ours (the metafile libraries, Qt's image
// plugins, the SVG renderer and its fonts) ends that process only. Windows
// metafiles (WMF) and enhanced metafiles (EMF) are drawn at their natural
// size at 96 dots per inch; every other kind Qt reads (SVG, TIFF, WebP, ICO,
// CUR, XBM, netpbm, ...) by Qt's readers.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <vector>

namespace render {

// A drawn picture, or why there is none.
struct Rendered {
    QImage image; // null on failure
    QString error;
    int delayMs = 0; // in an animation
    bool ok() const { return !image.isNull(); }
    static Rendered Failure(const QString& why) { return {QImage(), why, 0}; }
};

// The metafile libraries are not ours and some read a little past the end
// of what they are given: `data` is the file's bytes followed by at least
// kMargin zero bytes, and `size` the file's own length.
constexpr qsizetype kMargin = 4096;

Rendered RenderWmf(QByteArray& data, qsizetype size);
Rendered RenderEmf(QByteArray& data, qsizetype size);
// A picture Qt reads, told by its content: of an icon the largest entry with
// the most colours; damage the decoders only warn of is refused.
Rendered ReadWithQt(const QByteArray& data);
// Every page of a multi-page picture (TIFF) or frame of an animation (WebP),
// with how long each is shown; none, with `error` set, on failure.
std::vector<Rendered> ReadFramesWithQt(const QByteArray& data, QString* error);

// The picture composed over a white background, as one image whose pixels
// read as 0xAABBGGRR: the colour over white, and in AA the picture's own
// opacity there (255 opaque), for masks. Null when memory runs out.
QImage ComposeOverWhite(QImage image);
// The renderer's answer for a composed picture (see renderprotocol.h).
QByteArray EncodeAnswer(const QImage& composed, int delayMs = 0);

} // namespace render
