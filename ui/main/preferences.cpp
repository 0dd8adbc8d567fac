#include "preferences.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <cmath>

QString Preferences::PathBeside(const QString& settingsPath) {
    return QFileInfo(settingsPath).absoluteDir().filePath(QStringLiteral("veldar-convert.ini"));
}

Preferences Preferences::Load(const QString& path) {
    Preferences p;
    if (!QFileInfo(path).isFile()) return p; // never a pipe or a device
    const QSettings file(path, QSettings::IniFormat);
    auto number = [&](const char* key, double low, double high, double fallback) {
        bool ok = false;
        const double value = file.value(QLatin1String(key)).toDouble(&ok);
        return ok && std::isfinite(value) && value >= low && value <= high ? value : fallback;
    };
    grob::Preparation& prep = p.preparation;
    prep.fitWidth = int(number("prepare/fitWidth", 0, 16384, 0));
    prep.fitHeight = int(number("prepare/fitHeight", 0, 16384, 0));
    prep.upscale = file.value(QStringLiteral("prepare/upscale")).toBool();
    prep.brightness = number("prepare/brightness", -100, 100, 0);
    prep.contrast = number("prepare/contrast", -100, 100, 0);
    prep.gamma = number("prepare/gamma", 0.05, 20, 1);
    prep.invert = file.value(QStringLiteral("prepare/invert")).toBool();
    prep.dither =
        grob::DitherForName(file.value(QStringLiteral("prepare/dither")).toString().toStdString())
            .value_or(grob::Dither::None);
    p.kind =
        grob::KindForExtension(file.value(QStringLiteral("preview/kind")).toString().toStdString())
            .value_or(grob::OutputKinds()[0]);
    p.zoom = int(number("preview/zoom", 1, 16, 2));
    p.previewShown = file.value(QStringLiteral("preview/shown")).toBool();
    return p;
}

QString Preferences::save(const QString& path) const {
    QSettings file(path, QSettings::IniFormat);
    file.setValue(QStringLiteral("prepare/fitWidth"), preparation.fitWidth);
    file.setValue(QStringLiteral("prepare/fitHeight"), preparation.fitHeight);
    file.setValue(QStringLiteral("prepare/upscale"), preparation.upscale);
    file.setValue(QStringLiteral("prepare/brightness"), preparation.brightness);
    file.setValue(QStringLiteral("prepare/contrast"), preparation.contrast);
    file.setValue(QStringLiteral("prepare/gamma"), preparation.gamma);
    file.setValue(QStringLiteral("prepare/invert"), preparation.invert);
    file.setValue(QStringLiteral("prepare/dither"),
                  QString::fromLatin1(grob::NameOfDither(preparation.dither).data()));
    file.setValue(QStringLiteral("preview/kind"),
                  QString::fromLatin1(kind.extension.data(), qsizetype(kind.extension.size())));
    file.setValue(QStringLiteral("preview/zoom"), zoom);
    file.setValue(QStringLiteral("preview/shown"), previewShown);
    file.sync();
    return file.status() == QSettings::NoError ? QString()
                                               : QStringLiteral("the file cannot be written");
}
