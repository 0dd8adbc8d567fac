// The modern command line's options, parsed with QCommandLineParser:
//   veldar-convert --kind KIND [--series 48|49] [--output-dir DIR] [--jobs N]
//                  [--quiet] PICTURE... | -
#pragma once

#include "grob/encoders.h"
#include "grob/prepare.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace modern {

struct Options {
    grob::OutputKind kind;              // not needed with toPng
    bool toPng = false;                 // --to png: each picture (a GROB, say) as a PNG
    bool text = false;                  // --text: the GROB's text form instead of the binary one
    std::optional<grob::Series> series; // nothing: the one saved in the settings file
    QString outputDir;                  // empty: beside each picture
    int jobs = 1;
    bool quiet = false;
    grob::Preparation preparation; // fit, tone and dithering; neutral by default
    QString preview;               // a PNG file (one picture) or a folder for the calculator views
    int zoom = 2;                  // of the previews
    QStringList pictures;          // or just "-": standard input to standard output
};

struct Parsed {
    std::optional<Options> options;
    QString output; // help or version text for standard output; the run ends with 0
    QString error;  // a usage error for standard error; the run ends with 2
};

// `arguments` includes the program's name first. `defaultJobs` is the number
// of cores.
Parsed ParseArguments(const QStringList& arguments, int defaultJobs);

// "gro", "gro2", ..., "g32", or a classic option "-1", ..., "-g32".
std::optional<grob::OutputKind> KindForName(const QString& name);

// Where the output of `picture` goes: named as the classic form names it
// (the kind's extension, or "png"), beside the picture, or in `outputDir`
// when one is given.
QString OutputPath(const QString& picture, const Options& options);

} // namespace modern
