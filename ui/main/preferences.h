// The choices that came after ORBEX.ini: picture preparation, the preview's
// kind and zoom, and whether the preview is shown. Kept in a file of their
// own beside ORBEX.ini (veldar-convert.ini, INI format), so that ORBEX.ini
// keeps its six lines.
#pragma once

#include "grob/kinds.h"
#include "grob/prepare.h"

#include <QString>

struct Preferences {
    grob::Preparation preparation;
    grob::OutputKind kind = grob::OutputKinds()[0]; // the kind the preview shows
    int zoom = 2;
    bool previewShown = false;

    // The file beside the settings file at `settingsPath`.
    static QString PathBeside(const QString& settingsPath);
    // Missing or unreadable values keep their defaults.
    static Preferences Load(const QString& path);
    // Returns an empty string, or why the file could not be written.
    QString save(const QString& path) const;
};
