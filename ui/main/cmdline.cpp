#include "cmdline.h"

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
    static const char* const kOptions[] = {"-1", "-2", "-4", "-g04", "-g08", "-g16", "-g32"};
    const auto& kinds = grob::OutputKinds();
    for (std::size_t i = 0; i < kinds.size(); ++i)
        if (option == QLatin1String(kOptions[i])) return kinds[i];
    return std::nullopt;
}

QString OutputName(const QString& fileName, const QString& extension) {
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return (dot < 0 ? QString() : fileName.left(dot + 1)) + extension;
}

} // namespace cmdline
