// Picture loading: a path (or the bytes of a file) in, a picture or the
// reason there is none out. Qt Core only: the common kinds are decoded here
// by decoders of their own, GROBs by the engine's reader, and everything
// else by the picture renderer, a process of its own.
#pragma once

#include "grob/raster.h"
#include "picture.h"
#include "picturelimits.h"
#include "renderclient.h"

#include <QByteArray>
#include <QSize>
#include <QString>

#include <cstdint>
#include <optional>

namespace pictureloader {

struct Options {
    QString renderer; // the picture renderer to run; empty: RendererPath()
    // The renderer's limits (see renderclient.h): the clock, only for a
    // renderer that answers nothing; its address space in bytes (a share of
    // the run's memory); its processor time.
    int timeoutMs = renderclient::kDefaultWaitMs;
    std::uint64_t renderMemoryBytes = renderclient::kDefaultMemoryBytes;
    int renderCpuSeconds = renderclient::kDefaultCpuSeconds;
    // What the renderer draws comes back fitted into this box, as grob::Fit
    // fits it (smaller only, the opacity too), so that only fitted pictures
    // cross from it: for a caller that fits each picture it loads into this
    // box (not one that cuts tiles first). 0: natural size.
    int renderFitWidth = 0;
    int renderFitHeight = 0;
    // A JPEG that is to be fitted into this box is decoded at the smallest
    // of 1/2 .. 1/8 of its size that still covers the fitted size.
    int fitWidth = 0;
    int fitHeight = 0;
    // Every frame of an animated GIF, page of a multi-page TIFF and GROB of
    // a list, rather than the first alone.
    bool allFrames = false;
    // Each frame's opacity (for masks).
    bool opacity = false;
};

// Loads JPEG, GIF, BMP, DIB (with or without file header), ICO, CUR, WMF,
// EMF, GROBs and lists of GROBs in the binary and the text form, and every
// other kind Qt reads.
// The kind is told by content, each kind by its own signature first; only a
// GROB's kind (gro, gro2, ..., g32) is told by the file name's extension,
// whatever its case, any other name being a plain 1-bit GROB. A file that
// cannot be read whole, or that is not a regular file, is a failure.
loading::Picture Load(const QString& path, const Options& options = {});
// The same for a file's bytes (standard input, say); `name` tells a GROB's kind.
loading::Picture LoadBytes(const QByteArray& data, const Options& options = {},
                           const QString& name = {});

// The picture's size from its header alone, before any decoding; nothing
// when the header does not tell it (metafiles, kinds the renderer reads).
std::optional<QSize> PeekSize(const QByteArray& data, const QString& name = {});

// Why a picture of this size is refused.
QString TooLargeText(QSize size);

// Where the picture renderer lives (beside the program, or installed).
QString RendererPath();

} // namespace pictureloader
