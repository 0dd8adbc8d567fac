// The picture box: shows the loaded picture at its natural size inside a
// 2-pixel sunken border. It holds the picture once, composed over white, and
// conversions read that same image. With no picture it shows and reads its
// white background.
#pragma once

#include "grob/raster.h"

#include <QFrame>
#include <QImage>

#include <memory>

class PictureBox final : public QFrame {
    Q_OBJECT
  public:
    static constexpr int kBorder = 2;

    explicit PictureBox(QWidget* parent = nullptr);

    // Replaces the picture and takes its size plus the border.
    void setPicture(grob::Image picture);
    void setPicture(std::shared_ptr<const grob::Image> picture);
    // No picture: the empty area keeps its present size.
    void clearPicture();
    bool hasPicture() const { return hasPicture_; }

    // What conversions read: the picture as shown, or the empty area at
    // its present inner size.
    std::shared_ptr<const grob::Image> picture() const { return picture_; }
    grob::PixelView view() const { return picture_->view(); }
    QSize innerSize() const { return shown_.size(); }
    // The picture as shown (an RGBX image over the same pixels).
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
    void show(std::shared_ptr<const grob::Image> picture);

    std::shared_ptr<const grob::Image> picture_;
    QImage shown_;
    bool hasPicture_ = false;
};

// The local files carried by a drop, in the drop's order.
QStringList DroppedFiles(const class QMimeData* data);
// The same for a drag or drop event, which is accepted, as a copy (or a link
// where the source offers no copy), when it carries files. A drop is never
// taken as a move, so no source deletes the user's file after it.
QStringList AcceptFileDrop(class QDropEvent* event);
