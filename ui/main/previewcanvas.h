// The preview's drawing surface: the calculator's view at any zoom, painted
// from one pixel a dot for the part on the screen only, so that a larger
// zoom costs no more than a smaller one. It paints the pixels the view drawn
// whole at that zoom has (pale background, the screens' outlines in the
// margin and the gaps, the dots with sharp edges). In its place it can show
// the picture as fitted, dot for pixel, before its shades (before and after).
#pragma once

#include <QImage>
#include <QWidget>

#include <optional>

class PreviewCanvas final : public QWidget {
    Q_OBJECT
  public:
    using QWidget::QWidget;

    // `dots`: one pixel a dot, in the view's colours; `fitted`: the picture
    // as fitted, of the same size. Null images: nothing to show.
    void setView(const QImage& dots, const QImage& fitted, int zoom);
    void setZoom(int zoom);
    // The picture as fitted in place of the calculator's view.
    void setShowFitted(bool on);
    bool showsFitted() const { return showFitted_; }
    int zoom() const { return zoom_; }
    // The dots across and down (0 x 0 with nothing to show).
    QSize dots() const { return dots_.size(); }
    // Everything the canvas shows, painted whole (for a saved PNG, say).
    QImage render() const;

    // Paints the part `exposed` of `dots` as the calculator's view at `zoom`.
    static void Paint(QPainter& painter, const QRect& exposed, const QImage& dots, int zoom);

  Q_SIGNALS:
    // The view dragged by the mouse past the drag distance: to be carried
    // out of the window; `alternative` when Shift was held at the press.
    void dragged(bool alternative);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    void resizeToView();

    QImage dots_;
    QImage fitted_;
    int zoom_ = 1;
    bool showFitted_ = false;
    std::optional<QPoint> pressedAt_;
    bool alternative_ = false;
};
