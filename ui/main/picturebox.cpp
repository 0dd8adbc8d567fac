#include "picturebox.h"

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

void PictureBox::show(std::shared_ptr<const grob::Image> picture) {
    shown_ = QImage(reinterpret_cast<const uchar*>(picture->pixels.data()), picture->width,
                    picture->height, qsizetype(picture->width) * 4, QImage::Format_RGBX8888);
    picture_ = std::move(picture);
}

void PictureBox::setPicture(grob::Image picture) {
    setPicture(std::make_shared<const grob::Image>(std::move(picture)));
}

void PictureBox::setPicture(std::shared_ptr<const grob::Image> picture) {
    show(std::move(picture));
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
    const QSize size = contentsRect().size().expandedTo(QSize(0, 0));
    grob::Image white;
    white.width = size.width();
    white.height = size.height();
    white.pixels.assign(std::size_t(white.width) * std::size_t(white.height), 0xFFFFFFFFu);
    show(std::make_shared<const grob::Image>(std::move(white)));
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
