#include "picturebox.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPainter>
#include <QUrl>

PictureBox::PictureBox(QWidget* parent) : QFrame(parent), background_(Qt::white) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(kBorder);
    setAcceptDrops(true);
    setAutoFillBackground(false);
}

void PictureBox::setPicture(const QImage& picture) {
    picture_ = picture;
    // Compose once over the background: what is shown is what is converted.
    shown_ = QImage(picture.size(), QImage::Format_RGB32);
    shown_.fill(background_);
    {
        QPainter painter(&shown_);
        painter.drawImage(0, 0, picture);
    }
    raster_ = grob::MemoryRaster(shown_.width(), shown_.height());
    for (int y = 0; y < shown_.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(shown_.constScanLine(y));
        std::uint32_t* out = raster_.row(y);
        for (int x = 0; x < shown_.width(); ++x) // 0xAARRGGBB to 0x00BBGGRR
            out[x] = std::uint32_t(qRed(in[x])) | std::uint32_t(qGreen(in[x])) << 8 |
                     std::uint32_t(qBlue(in[x])) << 16;
    }
    resize(shown_.width() + 2 * kBorder, shown_.height() + 2 * kBorder);
    update();
}

void PictureBox::clearPicture() {
    picture_ = QImage();
    rebuildEmpty();
    update();
}

void PictureBox::rebuildEmpty() {
    const QSize inner = contentsRect().size().expandedTo(QSize(0, 0));
    shown_ = QImage(inner, QImage::Format_RGB32);
    shown_.fill(background_);
    const QRgb c = background_.rgb();
    raster_ = grob::MemoryRaster(inner.width(), inner.height(),
                                 std::uint32_t(qRed(c)) | std::uint32_t(qGreen(c)) << 8 |
                                     std::uint32_t(qBlue(c)) << 16);
}

void PictureBox::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        painter.fillRect(contentsRect(), background_);
        painter.drawImage(contentsRect().topLeft(), shown_);
    }
    QFrame::paintEvent(event); // the border
}

void PictureBox::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    if (picture_.isNull()) rebuildEmpty();
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
    if (!files.isEmpty()) event->acceptProposedAction();
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
