#include "commondialog.h"

#include <QFileDialog>
#include <QStringList>

std::optional<QString> QtFilePrompter::askOpen(QWidget* parent, const QString& filter,
                                               const QString& current) {
    const QString path = QFileDialog::getOpenFileName(parent, QString(), current, filter);
    if (path.isEmpty()) return std::nullopt;
    return path;
}

std::optional<QString> QtFilePrompter::askSave(QWidget* parent, const QString& filter,
                                               const QString& current) {
    const QString path = QFileDialog::getSaveFileName(parent, QString(), current, filter);
    if (path.isEmpty()) return std::nullopt;
    return path;
}

QString CommonDialog::DialogFilter(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    if (parts.size() < 2) return filter;
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

bool CommonDialog::ShowOpen(QWidget* parent) {
    const auto chosen = prompter_->askOpen(parent, DialogFilter(Filter), FileName);
    if (!chosen) return false;
    FileName = *chosen;
    return true;
}

bool CommonDialog::ShowSave(QWidget* parent) {
    const auto chosen = prompter_->askSave(parent, DialogFilter(Filter), FileName);
    if (!chosen) return false;
    FileName = *chosen;
    return true;
}
