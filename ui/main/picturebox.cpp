#include "picturebox.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

#include <algorithm>
#include <cmath>

PictureBox::PictureBox(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(kBorder);
    setAcceptDrops(true);
    setAutoFillBackground(false);
    setMouseTracking(true); // the cursor says what a press would take hold of
    setFocusPolicy(Qt::ClickFocus);
}

void PictureBox::show(std::shared_ptr<const grob::Image> picture) {
    shown_ = QImage(reinterpret_cast<const uchar*>(picture->pixels.data()), picture->width,
                    picture->height, qsizetype(picture->width) * 4, QImage::Format_RGBX8888);
    picture_ = std::move(picture);
    smaller_ = QImage();
}

QSize PictureBox::sizeAt(double scale) const {
    const QSize natural = shown_.size();
    if (scale == 1 || !hasPicture_) return natural + QSize(2 * kBorder, 2 * kBorder);
    return QSize(std::max(1, int(std::lround(natural.width() * scale))),
                 std::max(1, int(std::lround(natural.height() * scale)))) +
           QSize(2 * kBorder, 2 * kBorder);
}

void PictureBox::setScale(double scale) {
    if (scale == scale_) return;
    scale_ = scale;
    smaller_ = QImage();
    if (hasPicture_) resize(sizeAt(scale_));
    update();
}

void PictureBox::setCrop(std::optional<grob::Region> crop) {
    std::optional<QRect> shown;
    if (crop && crop->any()) shown = QRect(crop->x, crop->y, crop->width, crop->height);
    if (shown == crop_) return;
    crop_ = shown;
    update();
}

QRectF PictureBox::shownRect(const QRect& part) const {
    const QRectF inner = contentsRect();
    const double across = inner.width() / std::max(1, shown_.width());
    const double down = inner.height() / std::max(1, shown_.height());
    return QRectF(inner.left() + part.x() * across, inner.top() + part.y() * down,
                  part.width() * across, part.height() * down);
}

QPoint PictureBox::edgeAt(QPointF at) const {
    const QRectF inner = contentsRect();
    const double across = inner.width() / std::max(1, shown_.width());
    const double down = inner.height() / std::max(1, shown_.height());
    return QPoint(int(std::lround((at.x() - inner.left()) / across)),
                  int(std::lround((at.y() - inner.top()) / down)));
}

croptool::Grip PictureBox::gripAt(QPointF at) const {
    return crop_ ? croptool::GripAt(shownRect(*crop_), at, 5) : croptool::Grip::None;
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    if (!hasPicture_ || event->button() != Qt::LeftButton) return QFrame::mousePressEvent(event);
    grip_ = gripAt(event->position());
    pressedAt_ = event->position();
    pressed_ = edgeAt(pressedAt_);
    before_ = crop_.value_or(QRect());
    setCursor(croptool::CursorFor(*grip_));
    event->accept();
}

void PictureBox::mouseMoveEvent(QMouseEvent* event) {
    if (!hasPicture_) return QFrame::mouseMoveEvent(event);
    if (!grip_) {
        setCursor(croptool::CursorFor(gripAt(event->position())));
        return;
    }
    // A click that slipped a little draws nothing.
    if (*grip_ == croptool::Grip::None &&
        (event->position() - pressedAt_).manhattanLength() < QApplication::startDragDistance())
        return;
    const QRect made =
        croptool::Dragged(before_, *grip_, pressed_, edgeAt(event->position()), shown_.size());
    if (made.isEmpty() || made == crop_) return;
    crop_ = made;
    update();
    Q_EMIT cropDrawn({made.x(), made.y(), made.width(), made.height()}, false);
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
    if (!grip_) return QFrame::mouseReleaseEvent(event);
    mouseMoveEvent(event);
    grip_.reset();
    if (crop_ && *crop_ != before_)
        Q_EMIT cropDrawn({crop_->x(), crop_->y(), crop_->width(), crop_->height()}, true);
    setCursor(croptool::CursorFor(gripAt(event->position())));
}

void PictureBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && crop_ && event->modifiers() == Qt::NoModifier) {
        grip_.reset();
        Q_EMIT cropCleared();
        return event->accept();
    }
    QFrame::keyPressEvent(event);
}

void PictureBox::setPicture(grob::Image picture) {
    setPicture(std::make_shared<const grob::Image>(std::move(picture)));
}

void PictureBox::setPicture(std::shared_ptr<const grob::Image> picture) {
    show(std::move(picture));
    hasPicture_ = true;
    resize(sizeAt(scale_));
    update();
}

void PictureBox::clearPicture() {
    hasPicture_ = false;
    grip_.reset();
    unsetCursor();
    rebuildEmpty();
    update();
}

void PictureBox::rebuildEmpty() {
    const QSize size = contentsRect().size().expandedTo(QSize(0, 0));
    grob::Image white;
    white.width = size.width();
    white.height = size.height();
    white.pixels.assign(std::size_t(white.width) * std::size_t(white.height), 0xFFFFFFFFu);
    show(std::make_shared<const grob::Image>(std::move(white)));
}

// Shrunk, the picture is smoothed once for its scale; enlarged, its pixels
// are painted as sharp squares, only those in sight.
void PictureBox::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        const QRect inner = contentsRect();
        painter.fillRect(inner, Qt::white);
        if (scale() == 1) {
            painter.drawImage(inner.topLeft(), shown_);
        } else if (scale() < 1) {
            if (smaller_.size() != inner.size())
                smaller_ =
                    shown_.scaled(inner.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            painter.drawImage(inner.topLeft(), smaller_);
        } else {
            painter.setClipRect(inner);
            painter.drawImage(QRectF(inner), shown_);
        }
        if (crop_ && hasPicture_) croptool::Paint(painter, QRectF(inner), shownRect(*crop_));
    }
    QFrame::paintEvent(event); // the border
}

void PictureBox::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    if (!hasPicture_) rebuildEmpty();
    Q_EMIT resized();
}

QStringList DroppedFiles(const QMimeData* data) {
    QStringList files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) files << url.toLocalFile();
    return files;
}

QStringList AcceptFileDrop(QDropEvent* event) {
    const QStringList files = DroppedFiles(event->mimeData());
    const Qt::DropActions offered = event->possibleActions();
    Qt::DropAction action = Qt::IgnoreAction;
    if (offered & Qt::CopyAction)
        action = Qt::CopyAction;
    else if (offered & Qt::LinkAction)
        action = Qt::LinkAction;
    if (files.isEmpty() || action == Qt::IgnoreAction) {
        event->ignore();
        return {};
    }
    event->setDropAction(action);
    event->accept();
    return files;
}

void PictureBox::dragEnterEvent(QDragEnterEvent* event) {
    AcceptFileDrop(event);
}

void PictureBox::dragMoveEvent(QDragMoveEvent* event) {
    AcceptFileDrop(event);
}

void PictureBox::dropEvent(QDropEvent* event) {
    const QStringList files = AcceptFileDrop(event);
    if (!files.isEmpty()) Q_EMIT filesDropped(files);
}
