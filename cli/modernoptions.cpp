#include "modernoptions.h"

#include "commandline.h"
#include "grob/list.h"
#include "grob/options.h"
#include "qtnames.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

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
        "--to png writes each picture as it is: it prepares nothing and draws no\n"
        "preview, so --fit, --dither and the other preparation options, --preview,\n"
        "--kind, --series, --text, --bare and --clear-padding go with a GROB only.\n"
        "Exit status: 0 when every picture was converted, 1 when any failed (one\n"
        "line each on standard error), 2 for a usage error.\n"
        "\nThe classic form: veldar-convert [PICTURE [OPTION]] (see the manual page).\n");
    return text;
}

// An option as it is written: "-k" for a one-letter name, else "--kind".
QString Spelled(const QString& name) {
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

const grob::OptionEntry* Find(std::string_view name) {
    for (const grob::OptionEntry& option : grob::Options())
        if (option.name == name || (name.size() == 1 && option.shortName == name[0]))
            return &option;
    return nullptr;
}

// What an option's value is: "a whole number from 1 to 16", "a kind (gro, ... or g32)".
QString Wanted(const grob::OptionEntry& option) {
    const QString low = QString::fromStdString(grob::FormatNumber(option.minimum));
    const QString high = QString::fromStdString(grob::FormatNumber(option.maximum));
    switch (option.type) {
    case grob::OptionType::Whole:
        return option.maximum >= 1e6
                   ? QStringLiteral("a whole number of %1 or more").arg(low)
                   : QStringLiteral("a whole number from %1 to %2").arg(low, high);
    case grob::OptionType::Number:
        return QStringLiteral("a number from %1 to %2").arg(low, high);
    case grob::OptionType::Size:
        return QStringLiteral("WIDTHxHEIGHT, each from %1 to %2, as 131x64").arg(low, high);
    case grob::OptionType::Choice: {
        QStringList names;
        for (const grob::OptionChoice& choice : option.choices)
            names << Latin1(choice.name);
        const QString last = names.takeLast();
        const QString list = names.isEmpty()
                                 ? last
                                 : names.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
        const QString what = Latin1(option.valueName).toLower();
        const bool word =
            std::all_of(what.begin(), what.end(), [](QChar c) { return c.isLetter(); });
        return word && !grob::ParseChoice(option, option.valueName)
                   ? QStringLiteral("a %1 (%2)").arg(what, list)
                   : list;
    }
    case grob::OptionType::Path:
        return option.valueName == "DIR" ? QStringLiteral("a folder name")
                                         : QStringLiteral("a file name");
    case grob::OptionType::Flag:
        break;
    }
    return {};
}

// Why a value is refused. A value that names an existing file is most
// likely a picture taken for the missing value ("--kind photo.jpg").
QString RefusedValue(const grob::OptionEntry& option, const QString& value) {
    const QString name = QStringLiteral("--") + Latin1(option.name);
    if (qtnames::Exists(value))
        return QStringLiteral("%1 needs %2 before the file \"%3\"")
            .arg(name, Wanted(option), value);
    return QStringLiteral("%1 takes %2, not \"%3\"").arg(name, Wanted(option), value);
}

// QCommandLineParser's own errors in the program's words.
QString ParserError(const QCommandLineParser& parser) {
    if (!parser.unknownOptionNames().isEmpty())
        return QStringLiteral("unknown option %1")
            .arg(Spelled(parser.unknownOptionNames().front()));
    const QString text = parser.errorText();
    static const QRegularExpression missing(QStringLiteral("^Missing value after '-*(.*)'"));
    static const QRegularExpression unexpected(QStringLiteral("^Unexpected value after '-*(.*)'"));
    if (const auto match = missing.match(text); match.hasMatch()) {
        const grob::OptionEntry* option = Find(match.captured(1).toStdString());
        return option ? QStringLiteral("--%1 needs %2").arg(Latin1(option->name), Wanted(*option))
                      : Spelled(match.captured(1)) + QStringLiteral(" needs a value");
    }
    if (const auto match = unexpected.match(text); match.hasMatch())
        return Spelled(match.captured(1)) + QStringLiteral(" takes no value");
    QString said = text;
    if (said.endsWith(u'.')) said.chop(1);
    if (!said.isEmpty()) said[0] = said[0].toLower();
    return said;
}

// The arguments as the parser should see them: a long name after a single
// dash ("-kind") with two dashes, and the classic kind options ("-g16") that
// stand where an option could (not as an option's value, not after "--")
// taken out into `classicKinds`.
QStringList Normalized(const QStringList& arguments, QStringList& classicKinds) {
    QStringList out;
    bool expectValue = false, ended = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString argument = arguments[i];
        if (i == 0 || ended || expectValue) {
            expectValue = false;
            out << argument;
            continue;
        }
        if (argument == QLatin1String("--")) {
            ended = true;
            out << argument;
            continue;
        }
        if (cmdline::KindForOption(argument)) {
            classicKinds << argument;
            continue;
        }
        if (argument.startsWith(u'-') && !argument.startsWith(QLatin1String("--"))) {
            const QString word = argument.mid(1).section(u'=', 0, 0);
            if (word.size() > 1 && Find(word.toStdString())) argument.prepend(u'-');
        }
        if (argument.startsWith(QLatin1String("--"))) {
            const grob::OptionEntry* option = Find(argument.mid(2).toStdString());
            expectValue =
                option && option->type != grob::OptionType::Flag && !argument.contains(u'=');
        } else if (argument.startsWith(u'-')) {
            // Short options together ("-qv", "-j4", "-qk"): a value is the
            // rest of the word, or the next argument.
            for (qsizetype at = 1; at < argument.size(); ++at) {
                const grob::OptionEntry* option = Find(argument.mid(at, 1).toStdString());
                if (!option) break;
                if (option->type != grob::OptionType::Flag) {
                    expectValue = at + 1 == argument.size();
                    break;
                }
            }
        }
        out << argument;
    }
    return out;
}

} // namespace

std::optional<grob::OutputKind> KindForName(const QString& name) {
    const std::string text = name.toStdString();
    if (auto kind = grob::KindForExtension(text)) return kind;
    return grob::KindForOption(text);
}

Parsed ParseArguments(const QStringList& arguments, int cores) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Converts pictures into HP 48 / HP 49 graphics objects (GROBs), many at\n"
                       "once, without a window."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    std::map<std::string_view, QCommandLineOption> declared;
    for (const grob::OptionEntry& entry : grob::Options()) {
        QStringList names;
        if (entry.shortName) names << QString(QChar::fromLatin1(entry.shortName));
        names << Latin1(entry.name);
        QCommandLineOption option(names, Latin1(entry.help));
        if (entry.type != grob::OptionType::Flag) option.setValueName(Latin1(entry.valueName));
        parser.addOption(option);
        declared.emplace(entry.name, option);
    }
    auto isSet = [&](std::string_view name) { return parser.isSet(declared.at(name)); };
    auto value = [&](std::string_view name) { return parser.value(declared.at(name)); };
    parser.addPositionalArgument(QStringLiteral("PICTURE"),
                                 QStringLiteral("The pictures to convert, or - alone."),
                                 QStringLiteral("PICTURE..."));

    Parsed parsed;
    auto refuse = [&](const QString& error) {
        parsed.error = error;
        return parsed;
    };
    QStringList classicKinds;
    if (!parser.parse(Normalized(arguments, classicKinds))) return refuse(ParserError(parser));
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
    // An option given twice must say the same both times: none is dropped unsaid.
    for (const grob::OptionEntry& entry : grob::Options()) {
        if (entry.type == grob::OptionType::Flag) continue;
        QStringList values = parser.values(declared.at(entry.name));
        if (entry.name == "kind") values += classicKinds;
        for (const QString& other : values) {
            const auto kind = KindForName(other), first = KindForName(values.front());
            const bool same = other == values.front() || (entry.name == "kind" && kind && first &&
                                                          kind->extension == first->extension);
            if (!same)
                return refuse(QStringLiteral("--%1 is given twice, as \"%2\" and \"%3\"")
                                  .arg(Latin1(entry.name), values.front(), other));
        }
    }
    const QString kindName = isSet("kind") ? value("kind") : classicKinds.value(0, QString());

    Options options;
    if (isSet("to")) {
        if (value("to") != QLatin1String("png"))
            return refuse(RefusedValue(grob::Option("to"), value("to")));
        for (const char* name : {"kind", "series", "text", "bare", "clear-padding"})
            if (isSet(name) || (name == std::string_view("kind") && !kindName.isEmpty()))
                return refuse(QStringLiteral("--to png writes a PNG, not a GROB: --%1 goes with "
                                             "a GROB only")
                                  .arg(QLatin1String(name)));
        options.toPng = true;
    } else if (kindName.isEmpty()) {
        return refuse(QStringLiteral("--kind is needed (or --to png)"));
    } else if (const auto chosen = KindForName(kindName)) {
        options.choices.kind = *chosen;
    } else {
        return refuse(RefusedValue(grob::Option("kind"), kindName));
    }
    options.text = isSet("text");
    options.bare = isSet("bare");
    options.clearPadding = isSet("clear-padding");
    if (options.bare && !options.text)
        return refuse(QStringLiteral("--bare leaves out the text form's %%HP: line: it goes with "
                                     "--text"));

    // Every option that sets a choice (preparation, zoom) is read by the table.
    for (const grob::OptionEntry& entry : grob::Options()) {
        if (entry.name == "kind" || !(entry.use & (grob::kPreparation | grob::kPreviewView)) ||
            !isSet(entry.name))
            continue;
        if (options.toPng && (entry.use & grob::kPreparation))
            return refuse(QStringLiteral("--to png writes each picture as it is: --%1 prepares a "
                                         "picture for a GROB (--kind)")
                              .arg(Latin1(entry.name)));
        const std::string text = entry.type == grob::OptionType::Flag
                                     ? std::string("true")
                                     : value(entry.name).toStdString();
        if (!SetChoice(options.choices, entry, text))
            return refuse(RefusedValue(entry, value(entry.name)));
    }
    const grob::Preparation& prep = options.choices.preparation;
    if (prep.upscale && !prep.fits()) return refuse(QStringLiteral("--upscale goes with --fit"));
    options.preview = value("preview");
    if (options.toPng && isSet("preview"))
        return refuse(QStringLiteral("--to png writes each picture as it is: --preview draws the "
                                     "calculator's view of a GROB (--kind)"));
    if (isSet("preview") && options.preview.isEmpty())
        return refuse(QStringLiteral("--preview needs a file or folder name"));
    if (isSet("zoom") && !isSet("preview"))
        return refuse(QStringLiteral("--zoom sets the previews' zoom: it goes with --preview"));
    if (isSet("series")) {
        const auto index = grob::ParseChoice(grob::Option("series"), value("series").toStdString());
        if (!index) return refuse(RefusedValue(grob::Option("series"), value("series")));
        options.series = *index == 0 ? grob::Series::HP48 : grob::Series::HP49;
    }
    options.output = value("output");
    options.outputDir = value("output-dir");
    if (isSet("output") && options.output.isEmpty())
        return refuse(QStringLiteral("--output needs a file name (or - for standard output)"));
    if (isSet("output-dir") && options.outputDir.isEmpty())
        return refuse(QStringLiteral("--output-dir needs a folder name"));
    if (isSet("output") && isSet("output-dir"))
        return refuse(
            QStringLiteral("-o names the output file itself: no --output-dir (-d) with it"));
    options.jobs = cores;
    if (isSet("jobs")) {
        const auto jobs = grob::ParseNumber(grob::Option("jobs"), value("jobs").toStdString());
        if (!jobs) return refuse(RefusedValue(grob::Option("jobs"), value("jobs")));
        options.jobs = int(*jobs);
    }
    options.jobs = std::clamp(options.jobs, 1, std::max(1, cores) * grob::kJobsPerCore);
    options.quiet = isSet("quiet");
    options.verbose = isSet("verbose");
    // Sprites, sheets and animations.
    pipeline::Cutting& cutting = options.cutting;
    cutting.frames = isSet("frames");
    if (isSet("tile")) {
        const auto box = grob::ParseSize(grob::Option("tile"), value("tile").toStdString());
        if (!box) return refuse(RefusedValue(grob::Option("tile"), value("tile")));
        cutting.tileWidth = box->width;
        cutting.tileHeight = box->height;
    }
    cutting.tilePad = isSet("tile-pad");
    cutting.skipEmpty = isSet("skip-empty");
    cutting.masks = isSet("mask");
    options.list = isSet("list");
    options.split = isSet("split");
    for (const char* name : {"tile-pad", "skip-empty"})
        if (isSet(name) && !cutting.tiles())
            return refuse(QStringLiteral("--%1 goes with --tile").arg(QLatin1String(name)));
    if (options.split && !options.toPng)
        return refuse(QStringLiteral("--split writes numbered PNGs: it goes with --to png"));
    if (options.toPng && (options.list || cutting.masks))
        return refuse(QStringLiteral("--to png writes pictures, not GROBs: --%1 goes with a GROB "
                                     "(--kind)")
                          .arg(options.list ? QStringLiteral("list") : QStringLiteral("mask")));
    options.pictures = parser.positionalArguments();
    if (options.pictures.isEmpty()) return refuse(QStringLiteral("no pictures given"));
    if (options.pictures.contains(QStringLiteral("-")) && options.pictures.size() > 1)
        return refuse(QStringLiteral("\"-\" (standard input) must be the only picture"));
    if (isSet("output") && options.pictures.size() > 1 && !options.list)
        return refuse(QStringLiteral("-o names the output of one picture: with several, name a "
                                     "folder with --output-dir (-d), or make one --list"));
    if (options.pictures == QStringList{QStringLiteral("-")}) {
        if (!options.preview.isEmpty() && qtnames::IsFolder(options.preview) &&
            (options.output.isEmpty() || options.output == QLatin1String("-")))
            return refuse(QStringLiteral(
                "--preview names a file with standard input: a picture from it has no name"));
        if (!options.outputDir.isEmpty())
            return refuse(QStringLiteral(
                "--output-dir does nothing with \"-\": the output goes to standard output (or to "
                "the file -o names)"));
    }
    if (!options.preview.isEmpty() && options.pictures.size() > 1 && !options.list &&
        !qtnames::IsFolder(options.preview))
        return refuse(QStringLiteral("--preview names a folder when there are several pictures"));
    parsed.options = options;
    return parsed;
}

} // namespace modern
