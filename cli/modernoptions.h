// The modern command line's options, made from the options table and parsed
// with QCommandLineParser:
//   veldar-convert --kind KIND [OPTIONS] PICTURE... | -
// A classic kind option among the arguments ("pic.png -g16") is read as
// the kind.
#pragma once

#include "conversion.h"
#include "preferences.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace modern {

struct Options {
    Choices choices;                    // kind, preparation, zoom
    bool toPng = false;                 // --to png: each picture (a GROB, say) as a PNG
    bool text = false;                  // --text: the GROB's text form instead of the binary one
    bool bare = false;                  // --bare: the text form without its %%HP: line
    bool clearPadding = false;          // --clear-padding: the unused bits of each row cleared
    std::optional<grob::Series> series; // nothing: a GROB's own, else the saved one
    QString output;                     // -o: the output of the one picture ("-": standard output)
    QString outputDir;                  // empty: beside each picture
    int jobs = 1;
    bool quiet = false;
    bool verbose = false;      // a line for each file written
    QString preview;           // a PNG file (one picture) or a folder for the calculator views
    pipeline::Cutting cutting; // --frames, --tile, --tile-pad, --skip-empty, --mask
    bool list = false;         // --list: every GROB of the run in one list object
    bool split = false;        // --split: a list's pictures as numbered PNGs
    QStringList pictures;      // or just "-": standard input to standard output
};

struct Parsed {
    std::optional<Options> options;
    QString output; // help or version text for standard output; the run ends with 0
    QString error;  // a usage error for standard error; the run ends with 2
};

// `arguments` includes the program's name first, each argument as
// qtnames::FromNative made it. `cores` is the number of cores.
Parsed ParseArguments(const QStringList& arguments, int cores);

// "gro", "gro2", ..., "g32", or a classic option "-1", ..., "-g32".
std::optional<grob::OutputKind> KindForName(const QString& name);

} // namespace modern
