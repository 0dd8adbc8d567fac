#include "picturebox.h"

#include "pictureloader.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPainter>
#include <QUrl>

PictureBox::PictureBox(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(kBorder);
    setAcceptDrops(true);
    setAutoFillBackground(false);
}

void PictureBox::setPicture(QImage picture) {
    shown_ = QImage(); // let go of the old picture before the new one is composed
    shown_ = pictureloader::ComposeOverWhite(std::move(picture));
    hasPicture_ = true;
    resize(shown_.width() + 2 * kBorder, shown_.height() + 2 * kBorder);
    update();
}

void PictureBox::clearPicture() {
    hasPicture_ = false;
    rebuildEmpty();
    update();
}

void PictureBox::rebuildEmpty() {
    shown_ = QImage(contentsRect().size().expandedTo(QSize(0, 0)), QImage::Format_RGBX8888);
    shown_.fill(Qt::white);
}

grob::PixelView PictureBox::view() const {
    return pictureloader::ViewOf(shown_);
}

void PictureBox::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        painter.fillRect(contentsRect(), Qt::white);
        painter.drawImage(contentsRect().topLeft(), shown_);
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
