// Convert to... > Send to calculator: which serial line, by which protocol
// and at what speed, as the command line's --send, --protocol and --baud
// have it; its controls are the options table's. It only gathers the
// choices; the main window converts and sends.
#pragma once

#include "grob/options.h"

#include <QDialog>

class OptionForm;
class QComboBox;
class QPushButton;

class SendDialog final : public QDialog {
    Q_OBJECT
  public:
    // `what`: the GROB that is sent, in words.
    SendDialog(const grob::Choices& link, const QString& what, QWidget* parent);

    // The choices of the line (the table's options for sending).
    grob::Choices link() const;

    QComboBox* device = nullptr; // the serial devices there are, and any path typed
    OptionForm* options = nullptr;
    QPushButton* sendButton = nullptr;
};
