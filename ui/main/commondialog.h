// The main window's two file dialogs, one to open and one to save. Each
// keeps its filter, in the "description|patterns" form, and its last file
// name; the open dialog the filter chosen last. The dialog itself is asked for through a
// FilePrompter, so that tests can answer it.
#pragma once

#include <QString>

#include <optional>

class QWidget;

class FilePrompter {
  public:
    virtual ~FilePrompter() = default;
    // The chosen path, or nothing when the user cancelled. `current` is the
    // name (or folder) offered first; a name saved without an extension gets
    // `defaultSuffix` (when there is one). `selected`: the filter shown
    // first ("All files (*)"), and then the one chosen.
    virtual std::optional<QString> askOpen(QWidget* parent, const QString& filter,
                                           const QString& current, QString& selected) = 0;
    virtual std::optional<QString> askSave(QWidget* parent, const QString& filter,
                                           const QString& current,
                                           const QString& defaultSuffix) = 0;
};

// The desktop's file dialogs.
class QtFilePrompter final : public FilePrompter {
  public:
    std::optional<QString> askOpen(QWidget* parent, const QString& filter, const QString& current,
                                   QString& selected) override;
    std::optional<QString> askSave(QWidget* parent, const QString& filter, const QString& current,
                                   const QString& defaultSuffix) override;
};

class CommonDialog {
  public:
    explicit CommonDialog(FilePrompter* prompter) : prompter_(prompter) {}

    QString filter;   // "Image Files|*.jpg;*.gif", descriptions each followed by its patterns
    QString fileName; // the last file chosen, or the one to offer first
    // Saving: the extension a name typed without one gets ("g16", "gro.lst").
    QString defaultSuffix;
    // Opening: the description of the filter shown first and then chosen
    // ("All pictures"); empty, or none of the filter's: the first.
    QString chosenFilter;

    // Show the dialog; false when it was cancelled (fileName is then kept).
    bool showOpen(QWidget* parent);
    bool showSave(QWidget* parent);

    // "Image Files|*.jpg;*.gif|All files|*" as the desktop dialog writes
    // filters: "Image Files (*.jpg *.gif);;All files (*)"; a description
    // that already ends with its patterns in brackets is kept as it is.
    static QString dialogFilter(const QString& text);
    // `name` with "." and `suffix` added when its file name has no extension.
    static QString WithSuffix(const QString& name, const QString& suffix);

  private:
    FilePrompter* prompter_;
};
