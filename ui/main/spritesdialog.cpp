#include "spritesdialog.h"

#include "grob/options.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QString Help(std::string_view option) {
    const std::string_view help = grob::Option(option).help;
    return QString::fromLatin1(help.data(), qsizetype(help.size()));
}

} // namespace

SpritesDialog::SpritesDialog(const windowjob::Sprites& s, const QString& what, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Sprites - VELDAR Image converter"));
    auto* said = new QLabel(what, this);
    said->setWordWrap(true);
    frames = new QCheckBox(QStringLiteral("Every frame (of an animation, a TIFF, a list)"), this);
    frames->setToolTip(Help("frames"));
    tiles = new QCheckBox(QStringLiteral("Cut into tiles of"), this);
    tiles->setToolTip(Help("tile"));
    tileWidth = new QSpinBox(this);
    tileHeight = new QSpinBox(this);
    for (QSpinBox* box : {tileWidth, tileHeight}) {
        box->setRange(int(grob::Option("tile").minimum), int(grob::Option("tile").maximum));
        box->setToolTip(Help("tile"));
    }
    tilePad = new QCheckBox(QStringLiteral("Pad the last row and column with white"), this);
    tilePad->setToolTip(Help("tile-pad"));
    skipEmpty = new QCheckBox(QStringLiteral("Leave out empty tiles"), this);
    skipEmpty->setToolTip(Help("skip-empty"));
    masks = new QCheckBox(QStringLiteral("A mask after each GROB"), this);
    masks->setToolTip(Help("mask"));
    numbered =
        new QRadioButton(QStringLiteral("Numbered files (walk-01.g16, walk-02.g16, ...)"), this);
    list = new QRadioButton(QStringLiteral("One list (walk.g16.lst)"), this);
    list->setToolTip(Help("list"));
    text = new QCheckBox(QStringLiteral("The text form (with its %%HP: line)"), this);
    text->setToolTip(Help("text"));

    auto* tileRow = new QHBoxLayout;
    tileRow->addWidget(tiles);
    tileRow->addWidget(tileWidth);
    tileRow->addWidget(new QLabel(QStringLiteral("x"), this));
    tileRow->addWidget(tileHeight);
    tileRow->addStretch(1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    saveButton = buttons->addButton(QStringLiteral("Save..."), QDialogButtonBox::AcceptRole);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(said);
    layout->addWidget(frames);
    layout->addLayout(tileRow);
    for (QWidget* indented : {static_cast<QWidget*>(tilePad), static_cast<QWidget*>(skipEmpty)}) {
        auto* row = new QHBoxLayout;
        row->addSpacing(24);
        row->addWidget(indented);
        layout->addLayout(row);
    }
    layout->addWidget(masks);
    layout->addWidget(numbered);
    layout->addWidget(list);
    layout->addWidget(text);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    const grob::Cutting& c = s.cutting;
    frames->setChecked(c.frames);
    tiles->setChecked(c.tiles());
    tileWidth->setValue(c.tileWidth > 0 ? c.tileWidth : 16);
    tileHeight->setValue(c.tileHeight > 0 ? c.tileHeight : 16);
    tilePad->setChecked(c.tilePad);
    skipEmpty->setChecked(c.skipEmpty);
    masks->setChecked(c.masks);
    (s.list ? list : numbered)->setChecked(true);
    text->setChecked(s.text);
    connect(tiles, &QCheckBox::toggled, this, &SpritesDialog::follow);
    follow();
}

// Padding and empty tiles go with tiles.
void SpritesDialog::follow() {
    for (QWidget* control : {static_cast<QWidget*>(tileWidth), static_cast<QWidget*>(tileHeight),
                             static_cast<QWidget*>(tilePad), static_cast<QWidget*>(skipEmpty)})
        control->setEnabled(tiles->isChecked());
}

windowjob::Sprites SpritesDialog::sprites() const {
    windowjob::Sprites s;
    grob::Cutting& c = s.cutting;
    c.frames = frames->isChecked();
    if (tiles->isChecked()) {
        c.tileWidth = tileWidth->value();
        c.tileHeight = tileHeight->value();
        c.tilePad = tilePad->isChecked();
        c.skipEmpty = skipEmpty->isChecked();
    }
    c.masks = masks->isChecked();
    s.list = list->isChecked();
    s.text = text->isChecked();
    return s;
}
