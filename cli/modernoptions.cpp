#include "modernoptions.h"

#include "commandline.h"
#include "grob/options.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <map>

namespace modern {

namespace {

QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

QString KindsText() {
    QString text = QStringLiteral("\nKinds (--kind, or the classic option):\n");
    for (const grob::OutputKind& kind : grob::OutputKinds())
        text += QStringLiteral("  %1 %2 %3\n")
                    .arg(Latin1(kind.extension), -6)
                    .arg(Latin1(kind.option), -6)
                    .arg(Latin1(kind.description));
    text += QStringLiteral(
        "\nEach output is named as the classic form names it: the picture's name up to\n"
        "its last \".\" and the kind's extension (\"png\" with --to png); the text\n"
        "form (--text) takes the same name. \"-\" as the only picture reads one\n"
        "picture from standard input and writes the output to standard output.\n"
        "GROBs are read like pictures, in either form; a GROB's kind is told by\n"
        "its extension, any other name being read as a plain 1-bit GROB.\n"
        "Exit status: 0 when every picture was converted, 1 when any failed (one\n"
        "line each on standard error), 2 for a usage error.\n"
        "\nThe classic form: veldar-convert [PICTURE [OPTION]] (see the manual page).\n");
    return text;
}

// What an option takes, for its usage error.
QString Takes(const grob::OptionSpec& option) {
    const QString name = QStringLiteral("--") + Latin1(option.name);
    const QString low = QString::fromStdString(grob::FormatNumber(option.minimum));
    const QString high = QString::fromStdString(grob::FormatNumber(option.maximum));
    switch (option.type) {
    case grob::OptionType::Whole:
        return QStringLiteral("%1 takes a whole number from %2 to %3").arg(name, low, high);
    case grob::OptionType::Number:
        return QStringLiteral("%1 takes a number from %2 to %3").arg(name, low, high);
    case grob::OptionType::Size:
        return QStringLiteral("%1 takes WIDTHxHEIGHT, each from %2 to %3, as 131x64")
            .arg(name, low, high);
    case grob::OptionType::Choice: {
        QStringList names;
        for (const grob::OptionChoice& choice : option.choices)
            names << Latin1(choice.name);
        const QString last = names.takeLast();
        return QStringLiteral("%1 takes %2")
            .arg(name, names.isEmpty()
                           ? last
                           : names.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last);
    }
    case grob::OptionType::Flag:
    case grob::OptionType::Path:
        break;
    }
    return name;
}

} // namespace

std::optional<grob::OutputKind> KindForName(const QString& name) {
    const std::string text = name.toStdString();
    if (auto kind = grob::KindForExtension(text)) return kind;
    return grob::KindForOption(text);
}

QString OutputPath(const QString& picture, const Options& options) {
    const QString extension =
        options.toPng ? QStringLiteral("png") : Latin1(options.choices.kind.extension);
    const QString beside = cmdline::OutputName(picture, extension);
    if (options.outputDir.isEmpty()) return beside;
    return QDir(options.outputDir).filePath(QFileInfo(beside).fileName());
}

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
    const Product main = options.toPng  ? Product::PicturePng
                         : options.text ? Product::GrobText
                                        : Product::Grob;
    request.outputs.push_back(
        {main, stream ? Target::StandardOutput() : Target::File(OutputPath(picture, options))});
    if (!options.preview.isEmpty()) {
        QString path = options.preview;
        if (QFileInfo(path).isDir()) {
            const QString grob = QFileInfo(OutputPath(picture, options)).fileName();
            path = QDir(path).filePath(cmdline::OutputName(grob, QStringLiteral("png")));
        }
        request.outputs.push_back({Product::PreviewPng, Target::File(path)});
    }
    return request;
}

Parsed ParseArguments(const QStringList& arguments, int cores) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Converts pictures into HP 48 / HP 49 graphics objects (GROBs), many at "
                       "once, without a window."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    std::map<std::string_view, QCommandLineOption> declared;
    for (const grob::OptionSpec& spec : grob::Options()) {
        QStringList names;
        if (spec.shortName) names << QString(QChar::fromLatin1(spec.shortName));
        names << Latin1(spec.name);
        QCommandLineOption option(names, Latin1(spec.help));
        if (spec.type != grob::OptionType::Flag) option.setValueName(Latin1(spec.valueName));
        parser.addOption(option);
        declared.emplace(spec.name, option);
    }
    auto isSet = [&](std::string_view name) { return parser.isSet(declared.at(name)); };
    auto value = [&](std::string_view name) { return parser.value(declared.at(name)); };
    parser.addPositionalArgument(QStringLiteral("PICTURE"),
                                 QStringLiteral("The pictures to convert, or - alone."),
                                 QStringLiteral("PICTURE..."));

    Parsed parsed;
    if (!parser.parse(arguments)) {
        parsed.error = parser.errorText();
        return parsed;
    }
    if (isSet("help")) {
        QString helpText = parser.helpText();
        const qsizetype end = helpText.indexOf(u'\n');
        helpText.replace(0, end, QStringLiteral("Usage: veldar-convert [options] PICTURE..."));
        parsed.output = helpText + KindsText();
        return parsed;
    }
    if (isSet("version")) {
        parsed.output = QStringLiteral("veldar-convert %1\n").arg(QStringLiteral(VELDAR_VERSION));
        return parsed;
    }

    Options options;
    if (isSet("to")) {
        if (value("to") != QLatin1String("png")) {
            parsed.error = QStringLiteral("--to takes png, not \"%1\"").arg(value("to"));
            return parsed;
        }
        if (isSet("kind") || isSet("text")) {
            parsed.error = QStringLiteral("--to png writes no GROB: no --kind or --text with it");
            return parsed;
        }
        options.toPng = true;
    } else if (!isSet("kind")) {
        parsed.error = QStringLiteral("--kind is needed");
        return parsed;
    } else if (const auto chosen = KindForName(value("kind"))) {
        options.choices.kind = *chosen;
    } else {
        parsed.error = QStringLiteral("unknown kind \"%1\"").arg(value("kind"));
        return parsed;
    }
    options.text = isSet("text");

    // Every option that sets a choice (preparation, zoom) is read by the table.
    for (const grob::OptionSpec& spec : grob::Options()) {
        if (spec.name == "kind" || !(spec.use & (grob::kPreparation | grob::kPreviewView)) ||
            !isSet(spec.name))
            continue;
        const std::string text = spec.type == grob::OptionType::Flag
                                     ? std::string("true")
                                     : value(spec.name).toStdString();
        if (!SetChoice(options.choices, spec, text)) {
            parsed.error = Takes(spec) + QStringLiteral(", not \"%1\"").arg(value(spec.name));
            return parsed;
        }
    }
    const grob::Preparation& prep = options.choices.preparation;
    if (prep.upscale && !prep.fits()) {
        parsed.error = QStringLiteral("--upscale goes with --fit");
        return parsed;
    }
    options.preview = value("preview");
    if (options.toPng && (!prep.neutral() || !options.preview.isEmpty())) {
        parsed.error = QStringLiteral(
            "--to png writes the picture as it is: preparing and previews go with a GROB");
        return parsed;
    }
    if (isSet("series")) {
        const auto index = grob::ParseChoice(grob::Option("series"), value("series").toStdString());
        if (!index) {
            parsed.error =
                QStringLiteral("the series is 48 or 49, not \"%1\"").arg(value("series"));
            return parsed;
        }
        options.series = *index == 0 ? grob::Series::HP48 : grob::Series::HP49;
    }
    options.outputDir = value("output-dir");
    options.jobs = cores;
    if (isSet("jobs")) {
        const auto jobs = grob::ParseNumber(grob::Option("jobs"), value("jobs").toStdString());
        if (!jobs) {
            parsed.error = QStringLiteral("--jobs takes a whole number of 1 or more");
            return parsed;
        }
        options.jobs = int(*jobs);
    }
    options.jobs = std::clamp(options.jobs, 1, std::max(1, cores) * grob::kJobsPerCore);
    options.quiet = isSet("quiet");
    options.pictures = parser.positionalArguments();
    if (options.pictures.isEmpty()) {
        parsed.error = QStringLiteral("no pictures given");
        return parsed;
    }
    if (options.pictures.contains(QStringLiteral("-")) && options.pictures.size() > 1) {
        parsed.error = QStringLiteral("\"-\" (standard input) must be the only picture");
        return parsed;
    }
    if (options.pictures == QStringList{QStringLiteral("-")}) {
        if (!options.preview.isEmpty() && QFileInfo(options.preview).isDir()) {
            parsed.error = QStringLiteral(
                "--preview names a file with standard input: a picture from it has no name");
            return parsed;
        }
        if (!options.outputDir.isEmpty()) {
            parsed.error =
                QStringLiteral("--output-dir does nothing with \"-\": the output goes to standard "
                               "output");
            return parsed;
        }
    }
    if (!options.preview.isEmpty() && options.pictures.size() > 1 &&
        !QFileInfo(options.preview).isDir()) {
        parsed.error = QStringLiteral("--preview names a folder when there are several pictures");
        return parsed;
    }
    parsed.options = options;
    return parsed;
}

} // namespace modern
