// The window's conversions in the window's own terms: what is converted
// (the picture shown, its frames, or its file read again), how (the
// options' choices, as the command line has them) and what is made. This is
// where the window meets the conversion pipeline, in two functions:
// RequestFor builds the request with the pipeline's own builder, Run runs it.
#pragma once

#include "conversion.h"
#include "grob/kinds.h"
#include "grob/options.h"
#include "grob/prepare.h"
#include "grob/raster.h"
#include "grob/sprites.h"
#include "regularfile.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace windowjob {

enum class Make {
    Grob,     // the GROB file, written to `file`
    BareText, // the GROB's text form without the %%HP: line, kept (the clipboard)
    View,     // the calculator's view at zoom 1 and the picture as fitted, kept
    ViewPng,  // the calculator's view at `zoom` as a PNG written to `file`
    Sprites,  // numbered files named after `file` (walk-01.g16, ...), or one list at `file`
};

struct Job {
    std::shared_ptr<const grob::Image> picture; // the picture shown
    QString path;                               // where it was loaded from
    // Its file as it was opened (held open, or its bytes as read then),
    // loaded as the command line loads a file (a JPEG to be fitted decoded
    // smaller, say), and the frame the picture is; none: the picture shown
    // as it is.
    std::shared_ptr<const pipeline::PictureFile> held;
    int frame = 0;
    // The kind a GROB was opened as, when its name does not tell it.
    std::optional<grob::OutputKind> grobKind;
    // Read the picture's file again, as the command line does (the sprite
    // tools, for every frame and its transparency); else the picture shown.
    bool readFile = false;
    // How, in the options' terms as the command line has them: the kind,
    // the series, the preparation, the unused dots at each row's end, the
    // previews' zoom (ViewPng) and the sprite tools (cutting, one list, the
    // text form). What has no effect is left out, as the table says.
    grob::Choices choices;
    Make make = Make::Grob;
    QString file;
};

struct Outcome {
    // Empty when all was made; else the file the failure is about and why.
    QString file;
    QString cause;
    bool ok() const { return cause.isEmpty(); }

    std::vector<std::uint8_t> bytes; // Grob: the file's bytes; BareText: the text
    grob::Image view;                // View: the calculator's view at zoom 1
    // View: the picture as fitted, before its tone, dithering and shades.
    std::shared_ptr<const grob::Image> fitted;
    int dotsWide = 0; // the (first) GROB's size in dots
    int dotsHigh = 0;
    std::size_t grobBytes = 0; // the GROB file's size
    int pictures = 0;          // how many GROBs were made
    int zoom = 0;              // ViewPng: the zoom it was drawn at
    QStringList notes;         // what to tell: tiles kept, a lower zoom, ...
    QStringList written;       // the files written, in order
};

// Kept by a preview from one drawing to the next: the fitted picture, so
// that a change of tone, dithering or kind does not fit it again.
class Memory {
  public:
    pipeline::FitCache fits;
};

// The one request a job stands for.
pipeline::Request RequestFor(const Job& job);

// What the picture's header already refuses of the job, before anything is
// decoded or asked (a GROB too large for its kind, say): the outcome the
// job would end with; ok when nothing.
Outcome Refusal(const Job& job);

// Runs a job (on any thread). `cancelled`, set by another thread, gives up
// early. A job that reads its file never writes over that file, nor any
// output over another.
Outcome Run(const Job& job, const std::atomic<bool>* cancelled = nullptr, Memory* memory = nullptr);

} // namespace windowjob
