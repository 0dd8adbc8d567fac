#include "modernoptions.h"

#include "errorstream.h"
#include "qtnames.h"

namespace modern {

namespace {

QString Name(const std::string& bytes) {
    return qtnames::FromNative(QByteArray::fromStdString(bytes));
}

std::string Bytes(const QString& name) {
    return qtnames::ToNative(name).toStdString();
}

} // namespace

Parsed ParseArguments(const QStringList& arguments, int cores) {
    std::vector<std::string> bytes;
    for (const QString& argument : arguments)
        bytes.push_back(Bytes(argument));
    std::vector<char*> argv;
    for (std::string& argument : bytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const cli::Parsed plain = cli::ParseArguments(int(bytes.size()), argv.data(), cores);
    Parsed parsed;
    parsed.output = QString::fromStdString(plain.output);
    parsed.error = Name(plain.error);
    if (!plain.arguments) return parsed;
    const grob::Choices& c = plain.arguments->choices;
    Options options;
    options.choices = c;
    options.toPng = c.toPng;
    options.text = c.text;
    options.series = c.series;
    options.output = Name(c.output);
    options.outputDir = Name(c.outputDir);
    options.jobs = c.jobs;
    options.quiet = c.quiet;
    options.verbose = c.verbose;
    options.preview = Name(c.preview);
    options.cutting = c.cutting;
    options.list = c.list;
    options.split = c.split;
    for (const std::string& picture : plain.arguments->pictures)
        options.pictures << Name(picture);
    parsed.options = options;
    return parsed;
}

void Progress::started(const QString& picture) {
    plain_.started(Bytes(picture));
}

void Progress::failure(const QString& line) {
    plain_.failure(Bytes(line));
}

void Progress::written(const QString& line) {
    plain_.written(Bytes(line));
}

} // namespace modern

void errorstream::QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtFatalMsg) return;
    std::fprintf(ErrorStream(), "veldar-convert: fatal: %s\n", qPrintable(message));
    std::fflush(ErrorStream());
}
