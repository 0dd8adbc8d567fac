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
    const qsizetype bar = filter.indexOf(u'|');
    if (bar < 0) return filter;
    const QString description = filter.left(bar);
    const QString patterns = filter.mid(bar + 1).split(u';', Qt::SkipEmptyParts).join(u' ');
    if (description.endsWith(u'(' + patterns + u')')) return description;
    return description + QStringLiteral(" (") + patterns + u')';
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
