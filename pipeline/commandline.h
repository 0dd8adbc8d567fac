// The classic command line: an argument text that names a picture and,
// optionally, one of the seven output kinds.
#pragma once

#include "grob/kinds.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace cmdline {

// The argument text as a command line would have carried it: arguments
// joined with single spaces, one that contains a space (or is empty) in
// double quotes.
QString JoinArguments(const QStringList& arguments);

struct CommandLine {
    QString fileName;
    QString option;
};

// Cuts the argument text into file name and option. With a double quote
// anywhere, the file name is the text between the first two quotes and the
// option the text after the second; otherwise the text is cut at spaces.
// Only spaces are stripped from the option.
CommandLine Parse(const QString& argumentText);

// "-1", "-2", "-4", "-g04", "-g08", "-g16", "-g32" (exactly, case matters).
std::optional<grob::OutputKind> KindForOption(const QString& option);

// The output file for a picture: its name up to and including the last "."
// of the file name part, followed by the extension; a file name part without
// a "." keeps its whole name and gets "." and the extension.
QString OutputName(const QString& fileName, const QString& extension);

// The classic form's usage text.
QString UsageText();

// Whether there is no display to show a window on and no platform chosen by
// the user (QT_QPA_PLATFORM, or Qt's "-platform" argument).
bool NoDisplay(int argc, char** argv);

} // namespace cmdline
