// Picture1: shows the loaded picture at its natural size inside a 2-pixel
// sunken border and answers the pixel reads of the encoders. Where no picture
// covers it, and through transparent parts of a picture, it shows and reads
// its background colour.
#pragma once

#include "grob/raster.h"

#include <QColor>
#include <QFrame>
#include <QImage>

class PictureBox final : public QFrame {
    Q_OBJECT
  public:
    static constexpr int kBorder = 2;

    explicit PictureBox(QWidget* parent = nullptr);

    // Replaces the picture and takes its size (plus the border).
    void setPicture(const QImage& picture);
    // No picture: the empty area keeps its present size.
    void clearPicture();
    bool hasPicture() const { return !picture_.isNull(); }

    QColor background() const { return background_; }
    // What the encoders read: the picture composed over the background, or
    // the empty area at its present inner size.
    const grob::PictureRaster& raster() const { return raster_; }
    QSize innerSize() const { return {raster_.width(), raster_.height()}; }
    // The picture as shown (for screenshots and tests).
    const QImage& shown() const { return shown_; }

  Q_SIGNALS:
    void resized();
    void filesDropped(const QStringList& paths);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void rebuildEmpty();

    QColor background_;
    QImage picture_;
    QImage shown_;
    grob::MemoryRaster raster_;
};

// The local files carried by a drop, in the drop's order.
QStringList DroppedFiles(const class QMimeData* data);
// The same for a drag or drop event, which is accepted when it carries files.
QStringList AcceptFileDrop(class QDropEvent* event);
