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

#include <functional>
#include <string>

namespace render {

// A drawn picture, or why there is none.
struct Rendered {
    QImage image; // null on failure
    QString error;
    int delayMs = 0; // in an animation
    // The failure: drawing it needs more memory than this process may have.
    bool outOfMemory = false;
    bool ok() const { return !image.isNull(); }
    static Rendered Failure(const QString& why) { return {QImage(), why, 0, false}; }
    static Rendered NoMemory() {
        return {QImage(), QStringLiteral("there is not enough memory to draw it"), 0, true};
    }
};

// Qt's painter and image scaling share their work out over threads and wait
// for them: a thread that cannot start would leave the renderer waiting for
// ever. Given each of Qt's messages, this ends the renderer on the one that
// says so, with the cause: out of memory when a thread's stack no longer
// fits in the address space, else the system's words (a process limit).
void EndWhenAThreadCannotStart(const QString& message);

// Whether `bytes` more fit in this process's address space: its limit less
// what it holds now, with room to spare for the libraries' own buffers.
bool Affordable(qint64 bytes);

// The metafile libraries, opened when a metafile is first drawn: an empty
// string when every function is there, else why not in plain words, e.g.
// "the metafile library (libwmf-0.2.so.7) cannot be opened: ...".
enum class Metafile { Wmf, Emf };
const std::string& OpenMetafileLibrary(Metafile kind);

// The metafile libraries are not ours and some read a little past the end
// of what they are given: `data` is the file's bytes followed by at least
// kMargin zero bytes, and `size` the file's own length.
constexpr qsizetype kMargin = 4096;

Rendered RenderWmf(QByteArray& data, qsizetype size);
Rendered RenderEmf(QByteArray& data, qsizetype size);
// A picture Qt reads, told by its content: of an icon the largest entry with
// the most colours; damage the decoders only warn of is refused. Turned
// upright by the orientation its metadata records, unless `upright` is false
// (so are the pages and frames below).
Rendered ReadWithQt(const QByteArray& data, bool upright = true);
// Every page of a multi-page picture (TIFF) or frame of an animation (WebP),
// each given to `each` as soon as it is read, with how long it is shown;
// `each` returns false to stop. Only page `page` (from 0) when it is not -1:
// a document's pages before it are passed over, an animation's frames read
// and let go. Returns the failure, if there is one (a Rendered without an
// error when every page was given).
Rendered ReadFramesWithQt(const QByteArray& data, const std::function<bool(Rendered&&)>& each,
                          bool upright = true, int page = -1);

// An SVG document (or a gzip-compressed one) with every reference to
// anything outside it taken out, as a browser draws an SVG shown as a
// picture: links (href) other than to a part of the document or to data
// within it (a "data:" address, itself made safe when it is an SVG), CSS
// url() leading outside and @import rules, the document type with its
// entities, and processing instructions (style sheets). Null, with `error`
// set, when the document cannot be read.
QByteArray WithoutOutsideReferences(const QByteArray& svg, QString* error);

// The picture composed over a white background, as one image whose pixels
// read as 0xAABBGGRR: the colour over white, and in AA the picture's own
// opacity there (255 opaque), for masks. Pictures of 32 bits a pixel are
// composed in their own place. `transparent`, when given, tells whether any
// pixel is less than opaque. Null when memory runs out.
QImage ComposeOverWhite(QImage image, bool* transparent = nullptr);

} // namespace render
