#include "croptool.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace croptool {

namespace {

constexpr qreal kHandle = 7; // a handle's side on the screen

// The pixels between two corners, given as pixel edges in any order.
QRect Between(QPoint a, QPoint b) {
    return QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                 QSize(std::abs(a.x() - b.x()), std::abs(a.y() - b.y())));
}

bool Grips(Grip grip, Grip side1, Grip side2, Grip corner1, Grip corner2) {
    return grip == side1 || grip == side2 || grip == corner1 || grip == corner2;
}

} // namespace

Grip GripAt(const QRectF& shown, QPointF at, qreal reach) {
    const QRectF near = shown.adjusted(-reach, -reach, reach, reach);
    if (shown.isEmpty() || !near.contains(at)) return Grip::None;
    // The nearer side where both are within reach (a small crop).
    const qreal left = std::abs(at.x() - shown.left()), right = std::abs(at.x() - shown.right());
    const qreal top = std::abs(at.y() - shown.top()), bottom = std::abs(at.y() - shown.bottom());
    const int across = left <= reach && left <= right ? -1 : right <= reach ? 1 : 0;
    const int down = top <= reach && top <= bottom ? -1 : bottom <= reach ? 1 : 0;
    static constexpr Grip kGrips[3][3] = {
        {Grip::TopLeft, Grip::Top, Grip::TopRight},
        {Grip::Left, Grip::Inside, Grip::Right},
        {Grip::BottomLeft, Grip::Bottom, Grip::BottomRight},
    };
    const Grip grip = kGrips[down + 1][across + 1];
    return grip == Grip::Inside && !shown.contains(at) ? Grip::None : grip;
}

Qt::CursorShape CursorFor(Grip grip) {
    switch (grip) {
    case Grip::None:
        return Qt::CrossCursor;
    case Grip::Inside:
        return Qt::SizeAllCursor;
    case Grip::Left:
    case Grip::Right:
        return Qt::SizeHorCursor;
    case Grip::Top:
    case Grip::Bottom:
        return Qt::SizeVerCursor;
    case Grip::TopLeft:
    case Grip::BottomRight:
        return Qt::SizeFDiagCursor;
    case Grip::TopRight:
    case Grip::BottomLeft:
        return Qt::SizeBDiagCursor;
    }
    return Qt::ArrowCursor;
}

QRect Dragged(const QRect& start, Grip grip, QPoint from, QPoint to, QSize size) {
    auto within = [&](QPoint p) {
        return QPoint(std::clamp(p.x(), 0, size.width()), std::clamp(p.y(), 0, size.height()));
    };
    from = within(from);
    to = within(to);
    if (grip == Grip::None) return Between(from, to);
    // The part of the picture the crop keeps (a crop typed may reach past it).
    const QRect kept = start.intersected(QRect(QPoint(0, 0), size));
    if (kept.isEmpty()) return {};
    const QPoint by = to - from;
    if (grip == Grip::Inside) {
        const int x = std::clamp(kept.x() + by.x(), 0, size.width() - kept.width());
        const int y = std::clamp(kept.y() + by.y(), 0, size.height() - kept.height());
        return QRect(QPoint(x, y), kept.size());
    }
    // The sides as pixel edges; those gripped follow the mouse.
    int left = kept.left(), right = kept.left() + kept.width();
    int top = kept.top(), bottom = kept.top() + kept.height();
    using enum Grip;
    if (Grips(grip, Left, Left, TopLeft, BottomLeft)) left += by.x();
    if (Grips(grip, Right, Right, TopRight, BottomRight)) right += by.x();
    if (Grips(grip, Top, Top, TopLeft, TopRight)) top += by.y();
    if (Grips(grip, Bottom, Bottom, BottomLeft, BottomRight)) bottom += by.y();
    return Between(within({left, top}), within({right, bottom}));
}

void Paint(QPainter& painter, const QRectF& picture, const QRectF& shown) {
    painter.save();
    QPainterPath rest;
    rest.addRect(picture);
    rest.addRect(shown);
    painter.fillPath(rest, QColor(0, 0, 0, 110)); // the crop is a hole (odd-even fill)
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 1));
    painter.drawRect(shown.adjusted(0.5, 0.5, -0.5, -0.5));
    painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
    painter.drawRect(shown.adjusted(0.5, 0.5, -0.5, -0.5));
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::white);
    const qreal xs[] = {shown.left(), shown.center().x(), shown.right()};
    const qreal ys[] = {shown.top(), shown.center().y(), shown.bottom()};
    for (const qreal y : ys)
        for (const qreal x : xs)
            if (x != xs[1] || y != ys[1])
                painter.drawRect(QRectF(x - kHandle / 2, y - kHandle / 2, kHandle, kHandle));
    painter.restore();
}

} // namespace croptool
