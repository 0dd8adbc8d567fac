// The preview: what the calculator will show for the picture in the main
// window, decoded from the very bytes a conversion would write, with the
// controls that prepare the picture (fit, tone, dithering). Its controls are
// made from the options table. Every change of a control, of the picture or
// of the series is drawn again off the window's thread, the newest change
// winning; the last preview stays on show meanwhile.
#pragma once

#include "conversion.h"
#include "preferences.h"

#include <QDialog>
#include <QImage>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QSpinBox;
class QTimer;

// What the main window holds at the moment.
struct PreviewSource {
    std::shared_ptr<const grob::Image> picture; // nullptr: no picture loaded
    QString path;                               // where it was loaded from
    grob::Series series = grob::Series::HP49;
    // An animation's or a list's frames and how long each shows (ms).
    std::vector<std::shared_ptr<const grob::Image>> frames;
    std::vector<int> delays;
};

class PreviewWindow final : public QDialog {
    Q_OBJECT
  public:
    // Shows a failure to the user: title and text of a message box.
    using Messenger =
        std::function<void(QWidget* parent, const QString& title, const QString& text)>;

    PreviewWindow(Preferences preferences, std::function<PreviewSource()> source,
                  Messenger messenger, QWidget* parent = nullptr);
    ~PreviewWindow() override;

    const Preferences& preferences() const { return preferences_; }
    // Draws the preview again; the main window calls it when its picture or
    // series changes. The drawing happens off this thread.
    void refresh();
    // Whether a drawing is under way.
    bool busy() const { return pending_ != 0; }
    // The preview as shown, at its zoom.
    const QImage& image() const { return image_; }
    QString description() const;
    // Saves the preview as a PNG; the path is asked for unless given. False,
    // with a message shown, when it cannot be written.
    bool savePng(const QString& path);

    QComboBox* kindBox = nullptr;
    QComboBox* fitBox = nullptr;
    QSpinBox* fitWidth = nullptr;
    QSpinBox* fitHeight = nullptr;
    QCheckBox* upscale = nullptr;
    QSpinBox* brightness = nullptr;
    QSpinBox* contrast = nullptr;
    QDoubleSpinBox* gamma = nullptr;
    QCheckBox* invert = nullptr;
    QComboBox* ditherBox = nullptr;
    QSpinBox* zoom = nullptr;
    QCheckBox* fitToWindow = nullptr;
    QCheckBox* play = nullptr; // the frames of an animation in turn
    QPushButton* saveButton = nullptr;

  Q_SIGNALS:
    // The preparation or the preview's kind changed (to be saved).
    void preferencesChanged();
    // A drawing has been shown (or its failure).
    void shown();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void readControls();
    pipeline::Request request(const PreviewSource& source) const;
    void display(const pipeline::Result& result, bool empty);
    void stepZoom(int step);
    int zoomThatFits() const;

    Preferences preferences_;
    std::function<PreviewSource()> source_;
    Messenger messenger_;
    QScrollArea* scroll_ = nullptr;
    QWidget* view_ = nullptr;
    QLabel* info_ = nullptr;
    QLabel* busyLabel_ = nullptr;
    QTimer* busyTimer_ = nullptr;
    QTimer* playTimer_ = nullptr;
    int playing_ = -1; // the frame played, or -1: the main window's
    QImage image_;
    grob::Image pixels_; // what image_ shows
    // One drawing at a time, off the window's thread; a newer one cancels
    // the one under way, whose result is then dropped.
    QThreadPool pool_;
    std::shared_ptr<pipeline::FitCache> fitCache_;
    std::shared_ptr<std::atomic<bool>> cancel_;
    quint64 generation_ = 0;
    int pending_ = 0;
    bool building_ = true;
};
