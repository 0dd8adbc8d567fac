#include "progress.h"

#include "qtnames.h"

#include <QList>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cwchar>

#include <sys/ioctl.h>
#include <unistd.h>

namespace modern {

namespace {

std::atomic<bool> g_resized = true; // the terminal's width is to be asked again

void OnResize(int) {
    g_resized = true;
}

// Columns a text takes on the terminal.
int Width(const QString& text) {
    int width = 0;
    for (const char32_t c : text.toUcs4()) {
        const int w = ::wcwidth(wchar_t(c));
        width += w < 0 ? 1 : w; // unknown to the locale: one column
    }
    return width;
}

// The text in at most `room` columns, its middle given up for "...".
QString Shortened(const QString& text, int room) {
    if (Width(text) <= room) return text;
    if (room < 3) return QString(room, u'.');
    const QList<uint> codes = text.toUcs4();
    auto piece = [&](qsizetype from, qsizetype to) {
        return QString::fromUcs4(reinterpret_cast<const char32_t*>(codes.data()) + from, to - from);
    };
    const int keep = room - 3;
    qsizetype head = 0, tail = codes.size();
    int used = 0;
    // The end of a name tells more (the file's own name): it gets the larger half.
    while (head < tail) {
        const int w = Width(piece(head, head + 1));
        if (used + w > keep / 2) break;
        used += w, ++head;
    }
    while (tail > head) {
        const int w = Width(piece(tail - 1, tail));
        if (used + w > keep) break;
        used += w, --tail;
    }
    return piece(0, head) + QStringLiteral("...") + piece(tail, codes.size());
}

// The bar's line in at most `columns` - 1 columns (the last one never
// written, so that the terminal never wraps it).
QString BarLine(int done, int total, double seconds, const QString& name, int columns) {
    const int room = std::max(0, columns - 1);
    const int digits = int(QString::number(total).size());
    const QString count = QStringLiteral("%1/%2").arg(done, digits).arg(total);
    const QString numbers =
        count + QStringLiteral("  %1 s").arg(QString::number(seconds, 'f', 1), 5);
    for (const int bar : {20, 10, 0}) {
        const int filled = total ? done * bar / total : bar;
        const QString line =
            (bar ? u'[' + QString(filled, u'#') + QString(bar - filled, u' ') + QStringLiteral("] ")
                 : QString()) +
            numbers;
        const int left = room - Width(line) - 2;
        if (name.isEmpty() && left >= -2) return line;
        if (!name.isEmpty() && left >= std::min(Width(name), 12))
            return line + QStringLiteral("  ") + Shortened(name, left);
    }
    return Shortened(Width(numbers) <= room ? numbers : count, room);
}

} // namespace

Progress::Progress(std::FILE* out, int total, bool showBar, std::FILE* files, bool summary)
    : out_(out), total_(total), showBar_(showBar), files_(files), summary_(summary) {
    clock_.start();
    if (showBar_) {
        struct sigaction action {};
        action.sa_handler = OnResize;
        action.sa_flags = SA_RESTART;
        ::sigemptyset(&action.sa_mask);
        ::sigaction(SIGWINCH, &action, nullptr);
    }
}

Progress::~Progress() {
    const std::lock_guard lock(mutex_);
    clearBar();
}

void Progress::started(const QString& picture) {
    const std::lock_guard lock(mutex_);
    current_ = qtnames::Printable(picture);
    draw(false);
}

void Progress::finished() {
    const std::lock_guard lock(mutex_);
    ++done_;
    draw(done_ == total_);
}

void Progress::failure(const QString& line) {
    const std::lock_guard lock(mutex_);
    print(out_, line);
}

void Progress::written(const QString& line) {
    if (!files_) return;
    const std::lock_guard lock(mutex_);
    print(files_, line);
}

void Progress::finish(int converted, int failed) {
    const std::lock_guard lock(mutex_);
    clearBar();
    if (!summary_) return;
    std::fprintf(out_, "veldar-convert: %d converted, %d failed, %.1f s\n", converted, failed,
                 double(clock_.elapsed()) / 1000.0);
    std::fflush(out_);
}

void Progress::print(std::FILE* stream, const QString& line) {
    clearBar();
    std::fprintf(stream, "%s\n", qtnames::Printable(line).toLocal8Bit().constData());
    std::fflush(stream);
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
    if (g_resized.exchange(false)) {
        winsize size{};
        columns_ = ::ioctl(::fileno(out_), TIOCGWINSZ, &size) == 0 && size.ws_col > 0
                       ? int(size.ws_col)
                       : 80;
    }
    const QString line = BarLine(done_, total_, double(now) / 1000.0, current_, columns_);
    std::fprintf(out_, "\r\033[K%s", line.toLocal8Bit().constData());
    std::fflush(out_);
    barShown_ = true;
}

} // namespace modern
