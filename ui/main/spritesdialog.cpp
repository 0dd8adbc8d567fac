#include "spritesdialog.h"

#include "optionform.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

SpritesDialog::SpritesDialog(const grob::Choices& sprites, const QString& what, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Sprites - VELDAR Image converter"));
    auto* said = new QLabel(what, this);
    said->setWordWrap(true);
    auto* form = new QFormLayout;
    options = new OptionForm(this);
    options->add(grob::kCutting, form);
    const grob::OptionEntry& listed = grob::Option("list");
    numbered =
        new QRadioButton(QStringLiteral("Numbered files (walk-01.g16, walk-02.g16, ...)"), this);
    list = new QRadioButton(QStringLiteral("One list (walk.g16.lst)"), this);
    list->setToolTip(TableText(listed.shownHelp()));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    saveButton = buttons->addButton(QStringLiteral("Save..."), QDialogButtonBox::AcceptRole);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(said);
    layout->addLayout(form);
    layout->addWidget(numbered);
    layout->addWidget(list);
    layout->addWidget(buttons);
    TabInLayoutOrder(layout); // a tile's sides after its check box, as they stand
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    options->show(sprites);
    (sprites.list ? list : numbered)->setChecked(true);
    // What goes with what (padding and empty tiles with tiles), as the table says.
    connect(options, &OptionForm::changed, this, [this] { options->follow(this->sprites()); });
}

grob::Choices SpritesDialog::sprites() const {
    grob::Choices s;
    options->read(s);
    s.list = list->isChecked();
    return s;
}
