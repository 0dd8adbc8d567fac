// The main window: one framed picture area, the marker that shows a finished
// conversion, the two file dialogs and the menu bar.
#pragma once

#include "commondialog.h"
#include "conversion.h"
#include "menutable.h"
#include "preferences.h"
#include "settings.h"

#include <QMainWindow>
#include <QMap>
#include <QPointer>
#include <QWindow>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QGroupBox;
class QLabel;
class QMimeData;
class QTimer;
class PictureBox;
class AboutDialog;
class PreviewWindow;
struct AboutServices;

class MainWindow final : public QMainWindow {
    Q_OBJECT
  public:
    // Shows a failure to the user: title and text of a message box.
    using Messenger =
        std::function<void(QWidget* parent, const QString& title, const QString& text)>;

    struct Options {
        QString argumentText;                         // the command line after the program's name
        QString settingsPath;                         // where ORBEX.ini is read and written
        FilePrompter* prompter = nullptr;             // nullptr: the desktop's dialogs
        Messenger messenger = {};                     // empty: a message box
        const AboutServices* aboutServices = nullptr; // nullptr: the system's
        std::FILE* errors = nullptr;  // where a batch run's one line goes; nullptr: stderr
        QString preferencesPath = {}; // empty: veldar-convert.ini beside the settings file
    };

    explicit MainWindow(Options options, QWidget* parent = nullptr);
    ~MainWindow() override;

    // What the menu items do.
    void open();
    void convertTo(const grob::OutputKind& kind);
    void copyAsText(const grob::OutputKind& kind);
    // Every frame of the picture shown (an animation, a list) as one list.
    void convertFramesTo(const grob::OutputKind& kind);
    // Shows frame `index` of an animation or a list (counting round).
    void showFrame(int index);
    int frameShown() const { return frame_; }
    int frameCount() const { return int(frames_.size()); }
    void setSeries(grob::Series series);
    void showAbout();
    void showPreview();

    // The loading steps: picture, caption, marker. On failure nothing changes
    // and `error` says why.
    bool loadPicture(const QString& path, QString* error = nullptr);

    grob::Series series() const { return series_; }
    PreviewWindow* previewWindow() const;
    const Preferences& preferences() const { return preferences_; }

    // The window's outer frame in twips.
    float twipsLeft() const;
    float twipsTop() const;
    float twipsWidth() const;
    float twipsHeight() const;
    void setTwipsGeometry(std::optional<float> left, std::optional<float> top,
                          std::optional<float> width, std::optional<float> height);

    QAction* menuItem(MenuArray array, int index) const;
    QGroupBox* frame() const { return pictureFrame_; }
    PictureBox* picture() const { return pictureBox_; }
    QLabel* marker() const { return marker_; }
    // A line at the foot of the window: the preparation in force, or a
    // passing message (a copy made, say).
    QLabel* statusLine() const { return statusLine_; }
    AboutDialog* aboutDialog() const;
    // Exit status for the process: 0, or 1 after a failed batch run.
    int exitCode() const { return exitCode_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void buildMenus();
    void run(Command command, const grob::OutputKind* kind);
    void loadFirstDropped(const QStringList& files);
    bool loadPictureOrSay(const QString& path);
    void showFailure(const QString& text);
    void firstActivation(int triesLeft);
    void activated();
    void runBatch();
    void applyOuterSize();
    void fitFrameToPicture();
    void centreFrame();
    void placeMarker();
    void updateStatusLine(const QString& passing = {});
    void updateFrameBar();
    void placePreview();
    void onFocusWindowChanged(QWindow* window);
    void aboutClosed();
    void restoreWindowSettings();
    void saveWindowSettings();
    void savePreferences();
    // The request for the picture shown, prepared while the preview is open.
    pipeline::Request requestFor(const grob::OutputKind& kind) const;
    std::optional<pipeline::Result> saveAs(const QString& filter, pipeline::Request request,
                                           pipeline::Product product);

    Options options_;
    std::unique_ptr<FilePrompter> ownPrompter_;
    CommonDialog openDialog_;
    CommonDialog saveDialog_;
    QGroupBox* pictureFrame_ = nullptr;
    PictureBox* pictureBox_ = nullptr;
    QLabel* marker_ = nullptr;
    QLabel* statusLine_ = nullptr;
    QTimer* passingTimer_ = nullptr;
    QWidget* frameBar_ = nullptr;
    QLabel* frameCounter_ = nullptr;
    class QToolButton* previousFrame_ = nullptr;
    class QToolButton* nextFrame_ = nullptr;
    // The frames of the picture shown, when it has several, and their delays.
    std::vector<std::shared_ptr<const grob::Image>> frames_;
    std::vector<int> delays_;
    int frame_ = 0;
    QTimer* saveTimer_ = nullptr;
    // The frame's size in twips as the frame rule set it (4575 x 3615 as designed).
    float frameTwipsWidth_ = 4575;
    float frameTwipsHeight_ = 3615;
    float markerTwipsLeft_ = 4200;
    QMap<MenuArray, QMap<int, QAction*>> menus_;
    grob::Series series_ = grob::Series::HP49;
    QPointer<AboutDialog> about_;
    Preferences preferences_;
    QPointer<PreviewWindow> preview_;
    QPointer<QWindow> lastFocusWindow_;
    // Where the window was placed at start (read, or the fallback); a batch
    // run leaves them in the settings file.
    settings::WindowSettings startSettings_;
    // The outer size asked for; the window system tells the frame's size
    // only once the window is on the screen, and the inner size is then
    // made to fit it.
    std::optional<QSize> outerSize_;
    bool batch_ = false;
    bool shownOnce_ = false;
    bool activatedOnce_ = false;
    bool closing_ = false;
    int exitCode_ = 0;
};
