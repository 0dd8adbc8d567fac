#include "commondialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

std::optional<QString> QtFilePrompter::askOpen(QWidget* parent, const QString& filter,
                                               const QString& current, QString& selected) {
    const QString path =
        QFileDialog::getOpenFileName(parent, QString(), current, filter, &selected);
    if (path.isEmpty()) return std::nullopt;
    return path;
}

std::optional<QString> QtFilePrompter::askSave(QWidget* parent, const QString& filter,
                                               const QString& current,
                                               const QString& defaultSuffix) {
    // The dialog adds the extension itself, so that it asks before replacing
    // the file that is really written.
    QFileDialog dialog(parent, QString(), current, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const QString path = dialog.selectedFiles().constFirst();
    if (path.isEmpty()) return std::nullopt;
    return path;
}

QString CommonDialog::dialogFilter(const QString& text) {
    const QStringList parts = text.split(u'|');
    if (parts.size() < 2) return text;
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        const QString patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts).join(u' ');
        if (description.endsWith(u'(' + patterns + u')'))
            filters << description;
        else
            filters << description + QStringLiteral(" (") + patterns + u')';
    }
    return filters.join(QStringLiteral(";;"));
}

bool CommonDialog::showOpen(QWidget* parent) {
    // Each of the dialog's filters is "description (patterns)".
    const QStringList filters = dialogFilter(filter).split(QStringLiteral(";;"));
    QString selected = filters.value(0);
    for (const QString& entry : filters)
        if (!chosenFilter.isEmpty() && entry.startsWith(chosenFilter + QStringLiteral(" (")))
            selected = entry;
    const auto chosen = prompter_->askOpen(parent, dialogFilter(filter), fileName, selected);
    if (!chosen) return false;
    fileName = *chosen;
    if (filters.contains(selected)) chosenFilter = selected.left(selected.lastIndexOf(u'(') - 1);
    return true;
}

QString CommonDialog::WithSuffix(const QString& name, const QString& suffix) {
    if (suffix.isEmpty() || !QFileInfo(name).suffix().isEmpty()) return name;
    return name + u'.' + suffix;
}

bool CommonDialog::showSave(QWidget* parent) {
    const auto chosen = prompter_->askSave(parent, dialogFilter(filter), fileName, defaultSuffix);
    if (!chosen) return false;
    fileName = WithSuffix(*chosen, defaultSuffix);
    return true;
}
