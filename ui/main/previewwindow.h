// The preview: what the calculator will show for the picture in the main
// window, decoded from the very bytes a conversion would write, with the
// controls that prepare the picture (fit, tone, dithering). Its controls are
// made from the options table: the kind, every option of the preparation,
// and the zoom. Every change of a control, of the picture or
// of the series is drawn again off the window's thread, the newest change
// winning; the last preview stays on show meanwhile. The view is drawn once
// at one pixel a dot and enlarged as it is painted, so the zoom costs
// nothing. Its own actions (Save GROB..., Copy as text, Sprites...) use its
// kind; the main window carries them out. It lives in the main window, in a
// panel at its side that can also float as a window of its own.
#pragma once

#include "loader.h"

#include "preferences.h"
#include "windowjob.h"

#include <QImage>
#include <QThreadPool>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>

class FilePrompter;
class OptionForm;
class PreviewCanvas;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QKeyEvent;
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
    // The picture's file as it was read (its frames, an animation's or a
    // list's, decoded as they are asked for; its bytes, loaded as the
    // command line loads them), and which of its frames the picture is.
    std::shared_ptr<pipeline::HeldPicture> held;
    int frame = 0;
};

class PreviewWindow final : public QWidget {
    Q_OBJECT
  public:
    // Shows a failure to the user: title and text of a message box.
    using Messenger =
        std::function<void(QWidget* parent, const QString& title, const QString& text)>;

    // `prompter` asks where the PNG goes.
    PreviewWindow(Preferences preferences, std::function<PreviewSource()> source,
                  Messenger messenger, FilePrompter* prompter, QWidget* parent = nullptr);
    ~PreviewWindow() override;

    const Preferences& preferences() const { return preferences_; }
    // Sets the kind and the preparation (the zoom stays), as the controls
    // would: a GROB opened is shown in its own kind, prepared by nothing.
    void setChoices(const grob::Choices& choices);
    // Draws the preview again; the main window calls it when its picture or
    // series changes. The drawing happens off this thread.
    void refresh();
    // Whether a drawing is under way.
    bool busy() const { return pending_ != 0; }
    // The preview as shown, at its zoom, painted whole.
    QImage image() const;
    QString description() const;
    // The controls and a 131 x 80 screen at zoom 2 beside them.
    QSize sizeHint() const override;
    // Saves the preview as a PNG; the path is asked for unless given. False,
    // with a message shown, when it cannot be written.
    bool savePng(const QString& path);
    // Says what was done (written, copied) for a while under the view.
    void say(const QString& text);

    // The controls of the kind, the preparation and the zoom, made from
    // the options table.
    OptionForm* options = nullptr;
    QPushButton* resetButton = nullptr; // the preparation back to its defaults
    QSpinBox* zoom = nullptr;           // the zoom's control
    QCheckBox* fitToWindow = nullptr;
    QLabel* said = nullptr;          // what was done last, for a while
    QCheckBox* play = nullptr;       // the frames of an animation in turn
    QCheckBox* showFitted = nullptr; // before and after: the picture as fitted
    QPushButton* saveGrobButton = nullptr;
    QPushButton* copyButton = nullptr;
    QPushButton* spritesButton = nullptr;
    QPushButton* saveButton = nullptr; // the view as a PNG
    PreviewCanvas* canvas = nullptr;
    QLabel* info = nullptr;
    QLabel* shownBy = nullptr; // which calculator or program shows the kind

  Q_SIGNALS:
    // The preparation or the preview's kind changed (to be saved).
    void preferencesChanged();
    // The user changed them, with the control of `option` (after
    // preferencesChanged), or with Reset to defaults (nullptr).
    void edited(const grob::OptionEntry* option);
    // A drawing has been shown (or its failure).
    void shown();
    // The preview's own actions, in its kind.
    void saveGrobRequested();
    void copyRequested();
    // The series chosen in the preview, for the main window to keep.
    void seriesChosen(grob::Series series);
    void spritesRequested();
    // Files dropped on the window, to be opened as a drop on the main window is.
    void filesDropped(const QStringList& paths);

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    struct Drawn;
    void showControls();
    void readControls();
    void changed(const grob::OptionEntry& option);
    windowjob::Job job(const PreviewSource& source) const;
    void display(const Drawn& drawn, bool empty);
    void setInfo(const QString& text);
    void stepZoom(int step);
    // Ctrl+plus or Ctrl+minus: the preview's own zoom keys.
    static int ZoomStepOf(const QKeyEvent* key);
    int zoomThatFits() const;

    Preferences preferences_;
    std::function<PreviewSource()> source_;
    Messenger messenger_;
    FilePrompter* prompter_ = nullptr;
    QString pngName_; // the last PNG saved
    QSize wanted_;
    QScrollArea* scroll_ = nullptr;
    QLabel* busyLabel_ = nullptr;
    QTimer* busyTimer_ = nullptr;
    QTimer* playTimer_ = nullptr;
    QTimer* saidTimer_ = nullptr;
    int playing_ = -1; // the frame played, or -1: the main window's
    QString shownText_;
    // The pictures the canvas shows, kept alive with it.
    std::shared_ptr<const grob::Image> fitted_;
    // One drawing at a time, off the window's thread; a newer one cancels
    // the one under way, whose result is then dropped.
    QThreadPool pool_;
    std::shared_ptr<windowjob::Memory> memory_;
    std::shared_ptr<std::atomic<bool>> cancel_;
    quint64 generation_ = 0;
    int pending_ = 0;
    bool building_ = true;
};
