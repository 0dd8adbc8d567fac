// TRANSITIONAL: the modern run (modern.cpp) still takes its options and
// its progress lines in Qt's strings, and starts Qt. This adapter gives it
// them from the plain parser (arguments.h) and progress (progress.h), and
// goes once the run takes those.
#pragma once

#include "arguments.h"
#include "progress.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace modern {

struct Options {
    grob::Choices choices;              // kind, preparation, zoom
    bool toPng = false;                 // --to png: each picture (a GROB, say) as a PNG
    bool text = false;                  // --text: the GROB's text form instead of the binary one
    std::optional<grob::Series> series; // nothing: a GROB's own, else the saved one
    QString output;                     // -o: the output of the one picture ("-": standard output)
    QString outputDir;                  // empty: beside each picture
    int jobs = 1;
    bool quiet = false;
    bool verbose = false;  // a line for each file written
    QString preview;       // a PNG file (one picture) or a folder for the calculator views
    grob::Cutting cutting; // --frames, --tile, --tile-pad, --skip-empty, --mask
    bool list = false;     // --list: every GROB of the run in one list object
    bool split = false;    // --split: a list's pictures as numbered PNGs
    QStringList pictures;  // or just "-": standard input to standard output
};

struct Parsed {
    std::optional<Options> options;
    QString output; // help or version text for standard output; the run ends with 0
    QString error;  // a usage error for standard error; the run ends with 2
};

// `arguments` includes the program's name first, each argument as
// qtnames::FromNative made it. `cores` is the number of cores.
Parsed ParseArguments(const QStringList& arguments, int cores);

// cli::Progress for lines in Qt's strings.
class Progress {
  public:
    Progress(std::FILE* out, int total, bool showBar, std::FILE* files, bool summary)
        : plain_(out, total, showBar, files, summary) {}
    void started(const QString& picture);
    void finished() { plain_.finished(); }
    void failure(const QString& line);
    void written(const QString& line);
    void finish(int converted, int failed) { plain_.finish(converted, failed); }

  private:
    cli::Progress plain_;
};

} // namespace modern

namespace errorstream {
// The Qt message handler of a run that starts Qt: every message is dropped
// but a fatal one, which is written to ErrorStream().
void QuietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message);
} // namespace errorstream
