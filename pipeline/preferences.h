// The choices that came after ORBEX.ini: the picture's preparation, the
// preview's kind and zoom, whether the preview is shown and where. Kept in
// a file of their own beside ORBEX.ini (veldar-convert.ini, INI format), so
// that ORBEX.ini keeps its six lines. Keys, ranges and defaults are those of
// the options table.
#pragma once

#include "grob/kinds.h"
#include "grob/options.h"
#include "grob/prepare.h"

#include <QByteArray>
#include <QRect>
#include <QString>

#include <optional>
#include <string_view>

// The choices the options table describes: the kind, the preparation, the
// zoom of the previews and the padding of the GROBs' rows.
struct Choices {
    grob::Preparation preparation;
    grob::OutputKind kind = grob::OutputKinds()[0];
    int zoom = 2;
    bool clearPadding = false; // the unused bits at the end of each GROB row cleared
};

// Sets the choice an option of the table stands for from its text as the
// command line or the preferences file gives it. False, changing nothing,
// when the text is not one of the option's values.
bool SetChoice(Choices& choices, const grob::OptionEntry& option, std::string_view text);

// The preparation in words, for the user: "fit 131 x 64, contrast 20,
// Floyd-Steinberg dithering"; empty when it is neutral.
QString Describe(const grob::Preparation& preparation);

struct Preferences : Choices {
    bool previewShown = false;
    std::optional<QRect> previewGeometry; // the preview window's frame, when it was placed

    // The file beside the settings file at `settingsPath`.
    static QString PathBeside(const QString& settingsPath);
    // Missing, malformed or out-of-range values keep their defaults.
    static Preferences Load(const QString& path);
    static Preferences Parse(const QByteArray& text);
    QByteArray format() const;
    // Writes the file whole (or leaves the old one); an empty string, or why not.
    QString save(const QString& path) const;
};
