// AboutDialog: what the program is for, who made it, and a way to the system's
// information tool. A fixed tool window, modeless and without owner.
#pragma once

#include "registry.h"

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;

// What startSystemInfo needs from the system; tests pass their own.
struct AboutServices {
    registry::Registry* registry = nullptr; // nullptr: the system's registry
    std::function<bool(const QString& program)> startProgram;
    std::function<bool(const QString& path)> isOrdinaryFile;
    std::function<void(QWidget* parent, const QString& title, const QString& text)> message;

    // The system's own: its registry, process start, file test and message box.
    static const AboutServices& System();
};

class AboutDialog final : public QDialog {
    Q_OBJECT
  public:
    // The main window's position in twips; the dialog opens 2000 twips to
    // the right of it and 1000 below.
    // `services` (nullptr: the system's) must outlive the dialog.
    AboutDialog(float mainLeftTwips, float mainTopTwips, const AboutServices* services = nullptr,
                QWidget* parent = nullptr);

    static QString DescriptionText();
    static QString AuthorText();
    static QString Title();

    // Starts the system's information tool, or says that there is none.
    void startSystemInfo();

    QLabel* description = nullptr;
    QLabel* author = nullptr;
    QPushButton* okButton = nullptr;
    QPushButton* systemInfoButton = nullptr;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void place(float mainLeftTwips, float mainTopTwips);

    const AboutServices& services_;
};
