#include "senddialog.h"

#include "optionform.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

SendDialog::SendDialog(const grob::Choices& link, const QString& what, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Send to calculator - VELDAR Image converter"));
    auto* said = new QLabel(what, this);
    said->setWordWrap(true);
    auto* form = new QFormLayout;
    const grob::OptionEntry& line = grob::Option("send");
    device = new QComboBox(this);
    device->setEditable(true);
    device->setToolTip(TableText(line.shownHelp()));
    // USB serial links and cables first, the old ports after.
    for (const QString& pattern :
         {QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*"), QStringLiteral("ttyS*")})
        for (const QString& name : QDir(QStringLiteral("/dev")).entryList({pattern}, QDir::System))
            device->addItem(QStringLiteral("/dev/") + name);
    device->setCurrentText(QString::fromStdString(link.send));
    form->addRow(TableText(line.label), device);
    options = new OptionForm(this, grob::kSending);
    options->add(grob::kSending, form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    sendButton = buttons->addButton(QStringLiteral("Send"), QDialogButtonBox::AcceptRole);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(said);
    layout->addLayout(form);
    layout->addWidget(buttons);
    TabInLayoutOrder(layout);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    options->show(link);
    // The protocol and the speed are the line's: enabled once there is one.
    const auto follow = [this] {
        options->follow(this->link());
        sendButton->setEnabled(!device->currentText().trimmed().isEmpty());
    };
    connect(device, &QComboBox::currentTextChanged, this, follow);
    follow();
}

grob::Choices SendDialog::link() const {
    grob::Choices c;
    options->read(c);
    c.send = device->currentText().trimmed().toStdString();
    return c;
}
