// The picture's area of the main window, which holds the picture's frame.
// The frame sits where the classic layout puts it; when it reaches past the
// area (a picture larger than the window), scroll bars bring every part of
// it into sight, starting from that classic place, and the area gives up
// the room of the bars and of the window's foot line. The wheel scrolls it;
// Ctrl+wheel asks for another zoom.
#pragma once

#include <QWidget>

class QScrollBar;

class PictureArea final : public QWidget {
    Q_OBJECT
  public:
    // The scales the picture is shown at: the least, the most, and the
    // steps of zooming in and out between them.
    static constexpr double kLeastScale = 1.0 / 64, kMostScale = 16;
    static double Zoomed(double scale, int steps);

    // In `client`, at its top left corner; the scroll bars are the client's too.
    explicit PictureArea(QWidget* client);

    // Places `frame` (a child) at `classic`, in the client's pixels, the
    // client's foot `foot` pixels high: the area is the whole client while
    // the frame lies within it, else less the foot and the scroll bars, which
    // start at the classic place when they appear or when `again`, and
    // otherwise stay where they were.
    void place(QWidget* frame, const QRect& classic, int foot, bool again);
    // Scrolls the frame by `by` pixels (as far as the scroll bars go).
    void scrollBy(QPoint by);
    QScrollBar* across() const { return across_; }
    QScrollBar* down() const { return down_; }

  Q_SIGNALS:
    // The frame moved by the scroll bars.
    void scrolled();
    // Ctrl+wheel: a step in or out (`steps`), at `at` in the area.
    void zoomAsked(int steps, QPoint at);

  protected:
    void wheelEvent(QWheelEvent* event) override;

  private:
    void follow();

    QScrollBar* across_ = nullptr;
    QScrollBar* down_ = nullptr;
    QWidget* frame_ = nullptr;
    QPoint start_; // the frame's classic place, less where the scrolled span starts
};
