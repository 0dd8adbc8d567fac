// The preview: what the calculator will show for the picture in the main
// window, decoded from the very bytes a conversion would write, with the
// controls that prepare the picture (fit, tone, dithering). Its controls are
// made from the options table. Every change of a control, of the picture or
// of the series shows at once.
#pragma once

#include "conversion.h"
#include "preferences.h"

#include <QDialog>
#include <QImage>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;

// What the main window holds at the moment.
struct PreviewSource {
    std::shared_ptr<const grob::Image> picture; // nullptr: no picture loaded
    QString path;                               // where it was loaded from
    grob::Series series = grob::Series::HP49;
};

class PreviewWindow final : public QDialog {
    Q_OBJECT
  public:
    PreviewWindow(Preferences preferences, std::function<PreviewSource()> source,
                  QWidget* parent = nullptr);

    const Preferences& preferences() const { return preferences_; }
    // Renders the preview again; the main window calls it when its picture or series changes.
    void refresh();
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
    QPushButton* saveButton = nullptr;

  Q_SIGNALS:
    // The preparation or the preview's kind changed (to be saved).
    void preferencesChanged();

  private:
    void readControls();
    pipeline::Request request(const PreviewSource& source) const;

    Preferences preferences_;
    std::function<PreviewSource()> source_;
    QLabel* view_ = nullptr;
    QLabel* info_ = nullptr;
    QImage image_;
    grob::Image pixels_; // what image_ shows
    bool building_ = true;
};
