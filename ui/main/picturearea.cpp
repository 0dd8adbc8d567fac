#include "picturearea.h"

#include <QScrollBar>
#include <QSignalBlocker>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// The zoom's steps: halves and thirds below natural size, doubles and
// halves again above it.
constexpr std::array<double, 21> kSteps = {
    1.0 / 64, 1.0 / 48, 1.0 / 32, 1.0 / 24, 1.0 / 16, 1.0 / 12, 1.0 / 8,
    1.0 / 6,  1.0 / 4,  1.0 / 3,  1.0 / 2,  2.0 / 3,  1,        1.5,
    2,        3,        4,        6,        8,        12,       16};

// One scroll bar's span: the area's own and the frame's together. Returns
// where it starts (0, or the frame's start when that lies before the area).
int Span(QScrollBar* bar, bool shown, int start, int end, int room, bool again) {
    const int first = std::min(0, start), last = std::max(room, end);
    const QSignalBlocker quiet(bar);
    const bool appearing = again || bar->isHidden();
    bar->setRange(0, shown ? last - first - room : 0);
    bar->setPageStep(std::max(1, room));
    bar->setSingleStep(20);
    if (appearing) bar->setValue(-first); // the classic place
    bar->setVisible(shown);
    return first;
}

} // namespace

double PictureArea::Zoomed(double scale, int steps) {
    for (; steps > 0; --steps) {
        const auto* next = std::upper_bound(kSteps.begin(), kSteps.end(), scale * 1.001);
        scale = next == kSteps.end() ? kSteps.back() : *next;
    }
    for (; steps < 0; ++steps) {
        const auto* next = std::lower_bound(kSteps.begin(), kSteps.end(), scale / 1.001);
        scale = next == kSteps.begin() ? kSteps.front() : *(next - 1);
    }
    return scale;
}

PictureArea::PictureArea(QWidget* client) : QWidget(client) {
    setObjectName(QStringLiteral("pictureArea"));
    across_ = new QScrollBar(Qt::Horizontal, client);
    down_ = new QScrollBar(Qt::Vertical, client);
    for (QScrollBar* bar : {across_, down_}) {
        bar->hide();
        connect(bar, &QScrollBar::valueChanged, this, &PictureArea::follow);
    }
}

void PictureArea::place(QWidget* frame, const QRect& classic, int foot, bool again) {
    frame_ = frame;
    const QSize client = parentWidget()->size();
    const int barHeight = across_->sizeHint().height(), barWidth = down_->sizeHint().width();
    // A bar takes room from the area, which may call for the other.
    bool wide = false, tall = false;
    QSize room = client;
    for (int pass = 0; pass < 3; ++pass) {
        room = QSize(client.width() - (tall ? barWidth : 0),
                     client.height() - (wide || tall ? foot : 0) - (wide ? barHeight : 0));
        wide = wide || classic.left() < 0 || classic.right() >= room.width();
        tall = tall || classic.top() < 0 || classic.bottom() >= room.height();
    }
    room = room.expandedTo(QSize(1, 1));
    setGeometry(QRect(QPoint(0, 0), room));
    across_->setGeometry(0, room.height(), room.width(), barHeight);
    down_->setGeometry(room.width(), 0, barWidth, room.height());
    start_ = classic.topLeft() -
             QPoint(Span(across_, wide, classic.left(), classic.right() + 1, room.width(), again),
                    Span(down_, tall, classic.top(), classic.bottom() + 1, room.height(), again));
    for (QScrollBar* bar : {across_, down_})
        bar->raise();
    follow();
}

void PictureArea::follow() {
    if (!frame_) return;
    frame_->move(start_ - QPoint(across_->value(), down_->value()));
    Q_EMIT scrolled();
}

void PictureArea::scrollBy(QPoint by) {
    across_->setValue(across_->value() + by.x());
    down_->setValue(down_->value() + by.y());
}

void PictureArea::wheelEvent(QWheelEvent* event) {
    const QPoint turned = event->angleDelta();
    if (event->modifiers() & Qt::ControlModifier) {
        if (turned.y() != 0) Q_EMIT zoomAsked(turned.y() > 0 ? 1 : -1, event->position().toPoint());
        return event->accept();
    }
    // Shift+wheel, or a wheel turned sideways, scrolls across.
    const bool sideways = event->modifiers() & Qt::ShiftModifier || turned.y() == 0;
    QScrollBar* bar = sideways ? across_ : down_;
    const int by = turned.y() != 0 ? turned.y() : turned.x();
    if (bar->isHidden() || by == 0) return event->ignore();
    bar->setValue(bar->value() - by * 3 * bar->singleStep() / 120);
    event->accept();
}
