#include "commandline.h"

#include <cstdlib>
#include <cstring>

namespace cmdline {

namespace {

QString StripSpaces(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.mid(begin, end - begin);
}

QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

} // namespace

QString JoinArguments(const QStringList& arguments) {
    QStringList pieces;
    pieces.reserve(arguments.size());
    for (const QString& argument : arguments) {
        if (argument.isEmpty() || argument.contains(u' '))
            pieces << u'"' + argument + u'"';
        else
            pieces << argument;
    }
    return pieces.join(u' ');
}

CommandLine Parse(const QString& argumentText) {
    CommandLine line;
    if (argumentText.contains(u'"')) {
        const QStringList pieces = argumentText.split(u'"');
        line.fileName = pieces.value(1);
        if (pieces.size() > 2) line.option = StripSpaces(pieces[2]);
    } else {
        const QStringList pieces = argumentText.split(u' ');
        line.fileName = pieces.value(0);
        if (pieces.size() > 1) line.option = StripSpaces(pieces[1]);
    }
    return line;
}

std::optional<grob::OutputKind> KindForOption(const QString& option) {
    return grob::KindForOption(option.toStdString());
}

QString OutputName(const QString& fileName, const QString& extension) {
    const qsizetype nameStart = fileName.lastIndexOf(u'/') + 1;
    const qsizetype dot = fileName.lastIndexOf(u'.');
    if (dot < nameStart) return fileName + u'.' + extension;
    return fileName.left(dot + 1) + extension;
}

QString UsageText() {
    QString text = QStringLiteral("usage: veldar-convert [PICTURE [OPTION]]\n"
                                  "       veldar-convert --kind KIND [OPTIONS] PICTURE... "
                                  "(see --help)\n"
                                  "Converts PICTURE into a GROB file beside it, named after it:\n");
    for (const grob::OutputKind& kind : grob::OutputKinds())
        text += QStringLiteral("  %1  %2 (.%3)\n")
                    .arg(Latin1(kind.option), -5)
                    .arg(Latin1(kind.description))
                    .arg(Latin1(kind.extension));
    text +=
        QStringLiteral("A name with spaces goes in double quotes. Without an option the picture\n"
                       "is opened in the window; without a display an option is needed.\n");
    return text;
}

bool NoDisplay(int argc, char** argv) {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        if (const char* value = std::getenv(name); value && *value) return false;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strncmp(argv[i], "-platform=", 10) == 0)
            return false;
    return true;
}

} // namespace cmdline
