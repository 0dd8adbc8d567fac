// The picture box: shows the loaded picture inside a 2-pixel sunken border,
// at its natural size or at the scale the view asks for. It holds the
// picture once, composed over white, and conversions read that same image
// at its own size, whatever the scale. With no picture it shows and reads
// its white background. On the picture the crop is drawn, moved and resized
// with the mouse, in the picture's pixels; Escape clears it.
#pragma once

#include "grob/prepare.h"
#include "grob/raster.h"

#include "croptool.h"

#include <QFrame>
#include <QImage>

#include <memory>
#include <optional>

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

    // The scale the picture is shown at (1: natural size), which the box
    // takes its size from; the empty area has none.
    void setScale(double scale);
    double scale() const { return hasPicture_ ? scale_ : 1; }
    // The box's size with the picture at `scale`.
    QSize sizeAt(double scale) const;

    // The crop shown on the picture, in its pixels; none: no crop is shown,
    // and a drag draws a new one.
    void setCrop(std::optional<grob::Region> crop);
    std::optional<QRect> crop() const { return crop_; }

  Q_SIGNALS:
    void resized();
    void filesDropped(const QStringList& paths);
    // The user drew, moved or resized the crop (in the picture's pixels):
    // as the mouse moves, and `done` when it is let go. Or cleared it with
    // Escape.
    void cropDrawn(const grob::Region& crop, bool done);
    void cropCleared();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void rebuildEmpty();
    void show(std::shared_ptr<const grob::Image> picture);
    // The picture's place on the screen, and a crop's.
    QRectF shownRect(const QRect& part) const;
    // The pixel edge nearest a point of the box.
    QPoint edgeAt(QPointF at) const;
    croptool::Grip gripAt(QPointF at) const;

    std::shared_ptr<const grob::Image> picture_;
    QImage shown_;
    QImage smaller_; // the picture shrunk to its scale, made once a scale
    bool hasPicture_ = false;
    double scale_ = 1;
    std::optional<QRect> crop_;
    // A drag under way: what it took hold of, where, and the crop then.
    std::optional<croptool::Grip> grip_;
    QPointF pressedAt_;
    QPoint pressed_;
    QRect before_;
};

// The local files carried by a drop, in the drop's order.
QStringList DroppedFiles(const class QMimeData* data);
// The same for a drag or drop event, which is accepted, as a copy (or a link
// where the source offers no copy), when it carries files. A drop is never
// taken as a move, so no source deletes the user's file after it.
QStringList AcceptFileDrop(class QDropEvent* event);
