#include "modernoptions.h"

#include "cmdline.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

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
        "\nEach GROB is named as the classic form names it: the picture's name up to\n"
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

} // namespace

std::optional<grob::OutputKind> KindForName(const QString& name) {
    const std::string text = name.toStdString();
    if (auto kind = grob::KindForExtension(text)) return kind;
    return grob::KindForOption(text);
}

QString OutputPath(const QString& picture, const Options& options) {
    const QString extension =
        options.toPng ? QStringLiteral("png") : Latin1(options.kind.extension);
    const QString beside = cmdline::OutputName(picture, extension);
    if (options.outputDir.isEmpty()) return beside;
    return QDir(options.outputDir).filePath(QFileInfo(beside).fileName());
}

Parsed ParseArguments(const QStringList& arguments, int defaultJobs) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Converts pictures into HP 48 / HP 49 graphics objects (GROBs), many at "
                       "once, without a window."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption kind(QStringLiteral("kind"),
                                  QStringLiteral("The kind of GROB to write (see below)."),
                                  QStringLiteral("KIND"));
    const QCommandLineOption series(
        QStringLiteral("series"),
        QStringLiteral("The calculator series of the header, 48 or 49 (default: the one saved "
                       "by the window)."),
        QStringLiteral("48|49"));
    const QCommandLineOption outputDir(
        QStringLiteral("output-dir"),
        QStringLiteral("Write the GROBs into DIR (default: beside each picture)."),
        QStringLiteral("DIR"));
    const QCommandLineOption jobs(
        QStringLiteral("jobs"),
        QStringLiteral("Convert up to N pictures at once (default: %1, the number of cores).")
            .arg(defaultJobs),
        QStringLiteral("N"));
    const QCommandLineOption to(QStringLiteral("to"),
                                QStringLiteral("Write each picture (a GROB, say) as a PNG "
                                               "instead of a GROB; no --kind is needed."),
                                QStringLiteral("png"));
    const QCommandLineOption text(
        QStringLiteral("text"), QStringLiteral("Write the GROB's text form (\"GROB w h hex...\") "
                                               "instead of the binary one, under the same name."));
    const QCommandLineOption fit(
        QStringLiteral("fit"),
        QStringLiteral("Scale the picture down to fit inside WxH, keeping its aspect ratio "
                       "(131x64: HP 48 and HP 49G screens, 131x80: later HP 49 models)."),
        QStringLiteral("WxH"));
    const QCommandLineOption upscale(
        QStringLiteral("upscale"),
        QStringLiteral("With --fit, also enlarge smaller pictures, by whole factors."));
    const QCommandLineOption dither(
        QStringLiteral("dither"),
        QStringLiteral("none (the plain bands), floyd-steinberg, atkinson or ordered."),
        QStringLiteral("METHOD"));
    const QCommandLineOption brightness(QStringLiteral("brightness"),
                                        QStringLiteral("-100 to 100 (default 0)."),
                                        QStringLiteral("B"));
    const QCommandLineOption contrast(QStringLiteral("contrast"),
                                      QStringLiteral("-100 to 100 (default 0)."),
                                      QStringLiteral("C"));
    const QCommandLineOption gamma(
        QStringLiteral("gamma"),
        QStringLiteral("Above 0; above 1 lightens the mid-tones (default 1)."),
        QStringLiteral("G"));
    const QCommandLineOption invert(QStringLiteral("invert"),
                                    QStringLiteral("Invert the picture."));
    const QCommandLineOption previewOption(
        QStringLiteral("preview"),
        QStringLiteral("Also write the calculator's view of each GROB as a PNG: FILE for one "
                       "picture, or into a folder (named like the GROB, .png)."),
        QStringLiteral("FILE|DIR"));
    const QCommandLineOption zoom(QStringLiteral("zoom"),
                                  QStringLiteral("The previews' zoom, 1 to 16 (default 2)."),
                                  QStringLiteral("N"));
    const QCommandLineOption quiet(QStringLiteral("quiet"),
                                   QStringLiteral("Show no progress, only failures."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show the program's version."));
    parser.addOptions({kind, series, outputDir, jobs, to, text, fit, upscale, dither, brightness,
                       contrast, gamma, invert, previewOption, zoom, quiet, help, version});
    parser.addPositionalArgument(QStringLiteral("PICTURE"),
                                 QStringLiteral("The pictures to convert, or - alone."),
                                 QStringLiteral("PICTURE..."));

    Parsed parsed;
    if (!parser.parse(arguments)) {
        parsed.error = parser.errorText();
        return parsed;
    }
    if (parser.isSet(help)) {
        QString helpText = parser.helpText();
        const qsizetype end = helpText.indexOf(u'\n');
        helpText.replace(0, end, QStringLiteral("Usage: veldar-convert [options] PICTURE..."));
        parsed.output = helpText + KindsText();
        return parsed;
    }
    if (parser.isSet(version)) {
        parsed.output = QStringLiteral("veldar-convert %1\n").arg(QStringLiteral(VELDAR_VERSION));
        return parsed;
    }

    Options options;
    if (parser.isSet(to)) {
        if (parser.value(to) != QLatin1String("png")) {
            parsed.error = QStringLiteral("--to takes png, not \"%1\"").arg(parser.value(to));
            return parsed;
        }
        if (parser.isSet(kind) || parser.isSet(text)) {
            parsed.error = QStringLiteral("--to png writes no GROB: no --kind or --text with it");
            return parsed;
        }
        options.toPng = true;
    } else if (!parser.isSet(kind)) {
        parsed.error = QStringLiteral("--kind is needed");
        return parsed;
    } else if (const auto chosen = KindForName(parser.value(kind))) {
        options.kind = *chosen;
    } else {
        parsed.error = QStringLiteral("unknown kind \"%1\"").arg(parser.value(kind));
        return parsed;
    }
    options.text = parser.isSet(text);

    auto number = [&](const QCommandLineOption& option, double low, double high, double& out) {
        if (!parser.isSet(option)) return true;
        bool ok = false;
        const double value = parser.value(option).toDouble(&ok);
        if (!ok || !(value >= low && value <= high)) {
            parsed.error = QStringLiteral("--%1 takes a number from %2 to %3")
                               .arg(option.names().first())
                               .arg(low)
                               .arg(high);
            return false;
        }
        out = value;
        return true;
    };
    grob::Preparation& prep = options.preparation;
    if (!number(brightness, -100, 100, prep.brightness) ||
        !number(contrast, -100, 100, prep.contrast) || !number(gamma, 0.05, 20, prep.gamma))
        return parsed;
    prep.invert = parser.isSet(invert);
    prep.upscale = parser.isSet(upscale);
    if (parser.isSet(fit)) {
        const QStringList parts = parser.value(fit).toLower().split(u'x');
        bool okW = false, okH = false;
        prep.fitWidth = parts.value(0).toInt(&okW);
        prep.fitHeight = parts.value(1).toInt(&okH);
        if (parts.size() != 2 || !okW || !okH || prep.fitWidth < 1 || prep.fitHeight < 1 ||
            prep.fitWidth > 16384 || prep.fitHeight > 16384) {
            parsed.error = QStringLiteral("--fit takes WIDTHxHEIGHT, as 131x64");
            return parsed;
        }
    } else if (prep.upscale) {
        parsed.error = QStringLiteral("--upscale goes with --fit");
        return parsed;
    }
    if (parser.isSet(dither)) {
        const auto method = grob::DitherForName(parser.value(dither).toStdString());
        if (!method) {
            parsed.error = QStringLiteral("unknown dithering \"%1\"").arg(parser.value(dither));
            return parsed;
        }
        prep.dither = *method;
    }
    double zoomValue = options.zoom;
    if (!number(zoom, 1, 16, zoomValue)) return parsed;
    options.zoom = int(zoomValue);
    options.preview = parser.value(previewOption);
    if ((options.toPng || options.text) && (!prep.neutral() || !options.preview.isEmpty())) {
        parsed.error = QStringLiteral("preparing and previews go with a GROB in the binary form");
        return parsed;
    }
    if (parser.isSet(series)) {
        const QString value = parser.value(series);
        if (value != QLatin1String("48") && value != QLatin1String("49")) {
            parsed.error = QStringLiteral("the series is 48 or 49, not \"%1\"").arg(value);
            return parsed;
        }
        options.series = value == QLatin1String("48") ? grob::Series::HP48 : grob::Series::HP49;
    }
    options.outputDir = parser.value(outputDir);
    options.jobs = defaultJobs;
    if (parser.isSet(jobs)) {
        bool ok = false;
        options.jobs = parser.value(jobs).toInt(&ok);
        if (!ok || options.jobs < 1) {
            parsed.error = QStringLiteral("--jobs takes a whole number of 1 or more");
            return parsed;
        }
    }
    options.quiet = parser.isSet(quiet);
    options.pictures = parser.positionalArguments();
    if (options.pictures.isEmpty()) {
        parsed.error = QStringLiteral("no pictures given");
        return parsed;
    }
    if (options.pictures.contains(QStringLiteral("-")) && options.pictures.size() > 1) {
        parsed.error = QStringLiteral("\"-\" (standard input) must be the only picture");
        return parsed;
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
