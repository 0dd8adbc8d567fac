// The sprite tools of the command line in the window: every frame, tiles
// (size, padding, empty ones left out), masks, as numbered files or one list,
// binary or text. Its controls are the options table's sprite tools; it only
// gathers the choices, and the main window writes them.
#pragma once

#include "grob/options.h"

#include <QDialog>

class OptionForm;
class QPushButton;
class QRadioButton;

class SpritesDialog final : public QDialog {
    Q_OBJECT
  public:
    // `what`: the kind and preparation the GROBs are made in, in words.
    SpritesDialog(const grob::Choices& sprites, const QString& what, QWidget* parent);

    // The sprite tools' choices (the table's options for them, and --list).
    grob::Choices sprites() const;

    OptionForm* options = nullptr;
    QRadioButton* numbered = nullptr;
    QRadioButton* list = nullptr;
    QPushButton* saveButton = nullptr;
};
