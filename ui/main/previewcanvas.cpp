#include "previewcanvas.h"

#include "grob/options.h"
#include "preview.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

namespace {

QColor Colour(std::uint32_t rgbx) {
    return QColor(int(rgbx & 255u), int(rgbx >> 8 & 255u), int(rgbx >> 16 & 255u));
}

QSize ViewSize(const QImage& dots, int zoom) {
    if (dots.isNull()) return {0, 0};
    const preview::Size size = preview::PreviewSize(dots.width(), dots.height(), zoom);
    return {int(size.width), int(size.height)};
}

} // namespace

void PreviewCanvas::Paint(QPainter& painter, const QRect& exposed, const QImage& dots, int zoom) {
    const int margin = preview::kMargin;
    const QRect area = exposed & QRect(QPoint(0, 0), ViewSize(dots, zoom));
    if (area.isEmpty()) return;
    painter.fillRect(area, Colour(preview::kLcdLight));

    // The screens' outlines, as the view drawn whole has them: a line `length`
    // pixels long from (x, y), across or down; dashed ones 4 pixels on and 2
    // off, counted from the view's edge. The dots, painted next, cover any
    // part that crosses the picture.
    const QColor outline = Colour(preview::kOutline);
    auto line = [&](int x, int y, int length, bool across, bool dashed) {
        if (across ? y < area.top() || y > area.bottom() : x < area.left() || x > area.right())
            return;
        const int from = across ? std::max(x, area.left()) : std::max(y, area.top());
        const int to = across ? std::min(x + length - 1, area.right())
                              : std::min(y + length - 1, area.bottom());
        for (int start = dashed ? from - from % 6 : from; start <= to; start += 6) {
            const int first = std::max(start, from);
            const int last = dashed ? std::min(start + 3, to) : to;
            if (first > last) continue;
            painter.fillRect(across ? QRect(first, y, last - first + 1, 1)
                                    : QRect(x, first, 1, last - first + 1),
                             outline);
            if (!dashed) break;
        }
    };
    const int left = margin - 1;
    const int right = margin + grob::kScreens[0].width * zoom;
    const int viewWidth = ViewSize(dots, zoom).width();
    for (const grob::Screen& screen : grob::kScreens) {
        const bool dashed = &screen != &grob::kScreens[0];
        const int bottom = margin + screen.height * zoom;
        line(left, left, bottom - left + 1, false, dashed);
        line(right, left, bottom - left + 1, false, dashed);
        line(left, left, right - left + 1, true, false);
        line(0, bottom, viewWidth, true, dashed);
    }

    // The dots under the part exposed, whole, each `zoom` pixels square.
    const QRect part = area & QRect(margin, margin, dots.width() * zoom, dots.height() * zoom);
    if (part.isEmpty()) return;
    const int x0 = (part.left() - margin) / zoom, y0 = (part.top() - margin) / zoom;
    const int x1 = (part.right() - margin) / zoom, y1 = (part.bottom() - margin) / zoom;
    const QRect source(x0, y0, x1 - x0 + 1, y1 - y0 + 1);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRect(margin + x0 * zoom, margin + y0 * zoom, source.width() * zoom,
                            source.height() * zoom),
                      dots, source);
    painter.restore();
}

void PreviewCanvas::setView(const QImage& dots, const QImage& fitted, int zoom) {
    dots_ = dots;
    fitted_ = fitted;
    zoom_ = std::max(1, zoom);
    resizeToView();
}

void PreviewCanvas::setZoom(int zoom) {
    zoom_ = std::max(1, zoom);
    resizeToView();
}

void PreviewCanvas::setShowFitted(bool on) {
    showFitted_ = on;
    update();
}

void PreviewCanvas::resizeToView() {
    setFixedSize(ViewSize(dots_, zoom_));
    update();
}

QImage PreviewCanvas::render() const {
    const QImage& shown = showFitted_ ? fitted_ : dots_;
    QImage image(ViewSize(shown, zoom_), QImage::Format_RGB32);
    if (image.isNull()) return image;
    QPainter painter(&image);
    Paint(painter, image.rect(), shown, zoom_);
    return image;
}

void PreviewCanvas::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    Paint(painter, event->rect(), showFitted_ ? fitted_ : dots_, zoom_);
}

void PreviewCanvas::mousePressEvent(QMouseEvent* event) {
    pressedAt_.reset();
    if (event->button() == Qt::LeftButton && !dots_.isNull()) {
        pressedAt_ = event->position().toPoint();
        alternative_ = event->modifiers() & Qt::ShiftModifier;
    }
    QWidget::mousePressEvent(event);
}

void PreviewCanvas::mouseMoveEvent(QMouseEvent* event) {
    if (pressedAt_ && event->buttons() & Qt::LeftButton &&
        (event->position().toPoint() - *pressedAt_).manhattanLength() >=
            QApplication::startDragDistance()) {
        pressedAt_.reset();
        Q_EMIT dragged(alternative_);
        return;
    }
    QWidget::mouseMoveEvent(event);
}
