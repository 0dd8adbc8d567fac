#include "modernoptions.h"

#include "commandline.h"
#include "errorstream.h"
#include "grob/list.h"
#include "qtnames.h"

#include <QDir>
#include <QFileInfo>

namespace modern {

namespace {

QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

QString Name(const std::string& bytes) {
    return qtnames::FromNative(QByteArray::fromStdString(bytes));
}

std::string Bytes(const QString& name) {
    return qtnames::ToNative(name).toStdString();
}

QString OutputName(const QString& fileName, const QString& extension) {
    return Name(cmdline::OutputName(Bytes(fileName), Bytes(extension)));
}

} // namespace

QString OutputPath(const QString& picture, const Options& options) {
    if (!options.output.isEmpty()) return options.output;
    const QString extension =
        options.toPng ? QStringLiteral("png") : Latin1(options.choices.kind.extension);
    const QString beside = OutputName(picture, extension);
    if (options.outputDir.isEmpty()) return beside;
    return QDir(options.outputDir).filePath(QFileInfo(beside).fileName());
}

namespace {

// Whether a picture file holds a list of GROBs (whose every GROB a PNG shows).
bool HoldsList(const QString& picture) {
    if (picture == QLatin1String("-")) return false;
    const auto bytes = qtnames::ReadRegularFile(picture, 1 << 16, nullptr);
    if (!bytes) return false;
    const std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(bytes->data()),
                                             std::size_t(bytes->size()));
    return grob::LooksLikeBinaryList(data) || grob::LooksLikeTextList(data);
}

} // namespace

pipeline::Request RequestFor(const QString& picture, const Options& options,
                             grob::Series savedSeries) {
    using pipeline::Output;
    using pipeline::Product;
    using pipeline::Target;
    pipeline::Request request;
    const bool stream = picture == QLatin1String("-");
    request.source = stream ? pipeline::Source::StandardInput() : pipeline::Source::File(picture);
    request.kind = options.choices.kind;
    request.series = options.series;
    request.defaultSeries = savedSeries;
    request.preparation = options.choices.preparation;
    request.zoom = options.choices.zoom;
    request.cutting = options.cutting;
    // A PNG of a list shows every GROB of it.
    if (options.toPng && HoldsList(picture)) request.cutting.frames = true;
    // Several GROBs from one picture: one file each, numbered; their PNGs one
    // sheet side by side unless split.
    const bool numbered = !options.list && (options.toPng ? options.split : request.cutting.many());
    const Product main = options.toPng  ? Product::PicturePng
                         : options.text ? Product::GrobText
                                        : Product::Grob;
    const bool toStandardOutput =
        options.output.isEmpty() ? stream : options.output == QLatin1String("-");
    const QString path = OutputPath(picture, options);
    request.outputs.push_back({main, toStandardOutput ? Target::StandardOutput()
                                     : numbered       ? Target::Numbered(path)
                                                      : Target::File(path)});
    if (!options.preview.isEmpty()) {
        QString view = options.preview;
        if (qtnames::IsFolder(view)) {
            // Named like the GROB (the picture's name when the GROB goes to standard output).
            const bool named = !options.output.isEmpty() && options.output != QLatin1String("-");
            const QString grob = QFileInfo(named ? options.output : picture).fileName();
            view = QDir(view).filePath(OutputName(grob, QStringLiteral("png")));
        }
        request.outputs.push_back({Product::PreviewPng, request.cutting.many()
                                                            ? Target::Numbered(view)
                                                            : Target::File(view)});
    }
    return request;
}

std::vector<pipeline::Request> RequestsFor(const Options& options, grob::Series savedSeries) {
    std::vector<pipeline::Request> requests;
    if (!options.list) {
        for (const QString& picture : options.pictures)
            requests.push_back(RequestFor(picture, options, savedSeries));
        return requests;
    }
    // One list of every picture's GROBs, named after the first picture and
    // its kind (walk.g16.lst), so that reading it back knows the kind.
    const QString first = options.pictures.front();
    pipeline::Request request = RequestFor(first, options, savedSeries);
    for (qsizetype i = 1; i < options.pictures.size(); ++i)
        request.more.push_back(pipeline::Source::File(options.pictures[i]));
    const bool stream = options.output.isEmpty() ? first == QLatin1String("-")
                                                 : options.output == QLatin1String("-");
    QString path = options.output;
    if (path.isEmpty()) {
        const QString name =
            OutputName(first == QLatin1String("-") ? QStringLiteral("list") : first,
                       Latin1(options.choices.kind.extension) + QStringLiteral(".lst"));
        path = options.outputDir.isEmpty()
                   ? name
                   : QDir(options.outputDir).filePath(QFileInfo(name).fileName());
    }
    request.outputs.front() = {options.text ? pipeline::Product::ListText : pipeline::Product::List,
                               stream ? pipeline::Target::StandardOutput()
                                      : pipeline::Target::File(path)};
    requests.push_back(std::move(request));
    return requests;
}

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
    options.cutting = {c.cutting.frames,  c.cutting.tileWidth, c.cutting.tileHeight,
                       c.cutting.tilePad, c.cutting.skipEmpty, c.cutting.masks};
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
