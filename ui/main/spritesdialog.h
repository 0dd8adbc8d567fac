// The sprite tools of the command line in the window: every frame, tiles
// (size, padding, empty ones left out), masks, as numbered files or one list,
// binary or text. It only gathers the choices; the main window writes them.
#pragma once

#include "windowjob.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

class SpritesDialog final : public QDialog {
    Q_OBJECT
  public:
    // `what`: the kind and preparation the GROBs are made in, in words.
    SpritesDialog(const windowjob::Sprites& sprites, const QString& what, QWidget* parent);

    windowjob::Sprites sprites() const;

    QCheckBox* frames = nullptr;
    QCheckBox* tiles = nullptr;
    QSpinBox* tileWidth = nullptr;
    QSpinBox* tileHeight = nullptr;
    QCheckBox* tilePad = nullptr;
    QCheckBox* skipEmpty = nullptr;
    QCheckBox* masks = nullptr;
    QRadioButton* numbered = nullptr;
    QRadioButton* list = nullptr;
    QCheckBox* text = nullptr;
    QPushButton* saveButton = nullptr;

  private:
    void follow();
};
