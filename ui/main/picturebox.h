// Picture1: shows the loaded picture at its natural size inside a 2-pixel
// sunken border. It holds the picture once, composed over its white
// background, and the encoders read that same image. Where no picture
// covers it, it shows and reads the background.
#pragma once

#include "grob/raster.h"

#include <QFrame>
#include <QImage>

class PictureBox final : public QFrame {
    Q_OBJECT
  public:
    static constexpr int kBorder = 2;

    explicit PictureBox(QWidget* parent = nullptr);

    // Replaces the picture (composing it over the background, in place where
    // it can) and takes its size plus the border.
    void setPicture(QImage picture);
    // No picture: the empty area keeps its present size.
    void clearPicture();
    bool hasPicture() const { return hasPicture_; }

    // What the encoders read: the picture as shown, or the empty area at
    // its present inner size.
    grob::PixelView view() const;
    QSize innerSize() const { return shown_.size(); }
    // The picture as shown, pixels 0x??BBGGRR (QImage::Format_RGBX8888).
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

    QImage shown_;
    bool hasPicture_ = false;
};

// The local files carried by a drop, in the drop's order.
QStringList DroppedFiles(const class QMimeData* data);
// The same for a drag or drop event, which is accepted, as a copy (or a link
// where the source offers no copy), when it carries files. A drop is never
// taken as a move, so no source deletes the user's file after it.
QStringList AcceptFileDrop(class QDropEvent* event);
