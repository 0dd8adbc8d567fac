// The preview: what the calculator will show for the picture in the main
// window, decoded from the very bytes a conversion would write, with the
// controls that prepare the picture (fit, tone, dithering). Every change of
// a control, of the picture or of the series shows at once.
#pragma once

#include "grob/encoders.h"
#include "preferences.h"

#include <QDialog>
#include <QImage>

#include <functional>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;

class PreviewWindow final : public QDialog {
    Q_OBJECT
  public:
    // `picture` and `series` give what the main window holds at the moment.
    PreviewWindow(Preferences preferences, std::function<grob::PixelView()> picture,
                  std::function<grob::Series()> series, QWidget* parent = nullptr);

    const Preferences& preferences() const { return preferences_; }
    // Renders the preview again; the main window calls it when its picture or series changes.
    void refresh();
    // The preview as shown, at its zoom.
    const QImage& image() const { return image_; }
    QString description() const;
    // Saves the preview as PNG; the path is asked for unless given.
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

    Preferences preferences_;
    std::function<grob::PixelView()> picture_;
    std::function<grob::Series()> series_;
    QLabel* view_ = nullptr;
    QLabel* info_ = nullptr;
    QImage image_;
    bool building_ = true;
};
