#include "progress.h"

namespace modern {

Progress::Progress(std::FILE* out, int total, bool showBar)
    : out_(out), total_(total), showBar_(showBar) {
    clock_.start();
}

Progress::~Progress() {
    const std::lock_guard lock(mutex_);
    clearBar();
}

void Progress::started(const QString& picture) {
    const std::lock_guard lock(mutex_);
    current_ = picture;
    draw(false);
}

void Progress::finished() {
    const std::lock_guard lock(mutex_);
    ++done_;
    draw(done_ == total_);
}

void Progress::failure(const QString& line) {
    const std::lock_guard lock(mutex_);
    clearBar();
    std::fprintf(out_, "%s\n", qPrintable(line));
    std::fflush(out_);
    draw(true);
}

void Progress::clearBar() {
    if (!barShown_) return;
    std::fputs("\r\033[K", out_);
    std::fflush(out_);
    barShown_ = false;
}

void Progress::draw(bool force) {
    if (!showBar_) return;
    const qint64 now = clock_.elapsed();
    if (!force && now - lastDraw_ < 100) return; // ten times a second is plenty
    lastDraw_ = now;
    QString name = current_;
    if (name.size() > 48) name = QStringLiteral("...") + name.right(45);
    const int width = int(QString::number(total_).size());
    const int filled = total_ ? done_ * 20 / total_ : 20;
    std::fprintf(out_, "\r\033[K[%s%s] %*d/%d  %5.1f s  %s", qPrintable(QString(filled, u'#')),
                 qPrintable(QString(20 - filled, u' ')), width, done_, total_, double(now) / 1000.0,
                 qPrintable(name));
    std::fflush(out_);
    barShown_ = true;
}

} // namespace modern
