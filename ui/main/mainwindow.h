// The main window: one framed picture area, the marker that shows a finished
// conversion, the two file dialogs and the menu bar.
#pragma once

#include "loader.h"

#include "commondialog.h"
#include "menutable.h"
#include "preferences.h"
#include "settings.h"
#include "windowjob.h"

#include <QMainWindow>
#include <QMap>
#include <QPointer>

#include <QWindow>
#include <utility>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QDockWidget;
class QGroupBox;
class QLabel;
class QMimeData;
class QTimer;
class QUndoStack;
class PictureBox;
class PictureArea;
class AboutDialog;
class PreviewWindow;
class SpritesDialog;
class SendDialog;
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
        // Carries what is dragged out of the window; empty: a drag.
        std::function<void(const QMimeData& data)> dragger = {};
    };

    explicit MainWindow(Options options, QWidget* parent = nullptr);
    ~MainWindow() override;

    // What the menu items do.
    void open();
    // A GROB file read as `kind`, whatever its name says.
    void openAs(const grob::OutputKind& kind);
    void convertTo(const grob::OutputKind& kind);
    // The bare text object on the clipboard.
    void copyAsText(const grob::OutputKind& kind);
    // Every frame of the picture shown (an animation, a list) as one list.
    void convertFramesTo(const grob::OutputKind& kind);
    // The sprite tools, in the preview's kind: asks how, then where.
    void showSprites();
    void saveSprites(const grob::Choices& sprites);
    // Shows frame `index` of an animation or a list (counting round).
    void showFrame(int index);
    int frameShown() const { return frame_; }
    int frameCount() const { return held_ ? held_->frames() : 0; }
    void setSeries(grob::Series series);
    void showAbout();
    void showPreview();
    void dragOut(bool png);
    // Convert to... > Send to calculator: asks for the line, then sends.
    void sendTo(const grob::OutputKind& kind);
    SendDialog* sendDialog() const;
    bool sending() const { return sending_ != nullptr; }

    // The loading steps: picture, caption, marker. On failure nothing changes
    // and `error` says why.
    bool loadPicture(const QString& path, QString* error = nullptr);

    // The view of the picture: the fit to the window on or off, or a zoom,
    // `at` a point of the picture's area to keep over the same pixel.
    void fitToWindow(bool on);
    void zoomTo(double scale, std::optional<QPoint> at = {});
    // The crop (in the picture's pixels; none: no crop), as the preview's
    // numbers have it; the preview opens to show a crop.
    void setCrop(const grob::Region& crop);
    // The largest crop of the fit box's proportions, centred on the picture.
    void cropToFill();

    grob::Series series() const { return series_; }
    PreviewWindow* previewWindow() const;
    // The panel that holds the preview, at the window's side or floating.
    QDockWidget* previewPanel() const;
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
    PictureArea* pictureArea() const { return area_; }
    PictureBox* picture() const { return pictureBox_; }
    QLabel* marker() const { return marker_; }
    // Over the empty picture area until a picture is shown: how to open one.
    QLabel* hint() const { return hint_; }
    // The changes of the preparation and the preview's kind, one step each
    // (a burst on one control one step), undone and redone by the Edit menu.
    QUndoStack* history() const { return history_; }
    // A line at the foot of the window: the preparation in force, or a
    // passing message (a copy made, say).
    QLabel* statusLine() const { return statusLine_; }
    AboutDialog* aboutDialog() const;
    SpritesDialog* spritesDialog() const;
    // Exit status for the process: 0, or 1 after a failed batch run.
    int exitCode() const { return exitCode_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void buildMenus();
    void addShortcuts();
    void run(Command command, const grob::OutputKind* kind, int index);
    // The Open recent menu as the list of recent files has it, a file
    // missing now greyed.
    void updateRecentMenu();
    void openRecent(int index);
    // Ctrl+C on the Copy as text item of the preview's kind.
    void updateCopyShortcut();
    // A change of the preparation or the preview's kind since the last step
    // of the history made a step named `name`; one made with the control
    // of `option` joins a step just made with it.
    void recordStep(const QString& name, const grob::OptionEntry* option = nullptr);
    // The kind and the preparation of a step of the history put back.
    void applyStep(const grob::Choices& choices);
    void loadFirstDropped(const QStringList& files);
    bool loadPictureOrSay(const QString& path, std::optional<grob::OutputKind> as = {});
    bool loadPicture(const QString& path, std::optional<grob::OutputKind> as, QString* error);
    // A GROB opened: the preview shows it in its own kind, prepared by nothing.
    QWidget* asker();
    void forgetCrop();
    void showGrobAsItIs(const grob::OutputKind& kind);
    void showFailure(const QString& text);
    void firstActivation(int triesLeft);
    void activated();
    void runBatch();
    void applyOuterSize();
    void fitFrameToPicture();
    void centreFrame();
    void placeMarker();
    // The preview shown; brought forward when floating, unless `forward` is false.
    void openPreview(bool forward);
    int footHeight() const;
    // The scale at which the picture's frame, placed by the classic rules,
    // lies whole within the picture's area.
    double fittingScale() const;
    void showAtScale(double scale);
    // The crop shown on the picture while it is in force, and the View
    // menu's crop items enabled where they can act.
    void showCrop();
    // `inPreview`: said in the preview too (what concerns this window alone is not).
    void updateStatusLine(const QString& passing = {}, bool inPreview = true);
    void updateFrameBar();
    bool previewShown() const;
    int dockedExtent() const;
    int panelExtent() const;
    bool dockPreview();
    // The window's frame with the panel at its side, and the panel's width.
    struct PanelPlace {
        QRect frame;
        int panel = 0;
    };
    std::optional<PanelPlace> frameWithPanel(const QRect& outer, bool onLeft) const;
    int panelWidth() const;
    int dockSeparator() const;
    void widenForPanel(const PanelPlace& place);
    void floatPreview();
    void panelChanged();
    void notePreviewPlace();
    QRect placePreview();
    void settlePreview(QRect frame, int triesLeft);
    QMargins panelFrame() const;
    void onFocusWindowChanged(QWindow* window);
    void aboutClosed();
    void restoreWindowSettings();
    void saveWindowSettings();
    void savePreferences();
    // The job for the picture shown, prepared while the preview is open.
    windowjob::Job jobFor(const grob::OutputKind& kind, windowjob::Make make) const;
    // Asks where to write (`extension` offered and added to a name without
    // one), then runs the job; nothing when cancelled or failed (said).
    std::optional<windowjob::Outcome> saveAs(const QString& filter, const QString& extension,
                                             windowjob::Job job);
    // The name the save dialog offers: the picture's name with `extension`,
    // beside it (or in the last folder used); the last name chosen for the
    // same picture and extension.
    QString suggestedName(const QString& extension) const;

    Options options_;
    std::unique_ptr<FilePrompter> ownPrompter_;
    CommonDialog openDialog_;
    CommonDialog saveDialog_;
    PictureArea* area_ = nullptr;
    bool placeAgain_ = false; // the scroll bars back at the classic place
    QGroupBox* pictureFrame_ = nullptr;
    PictureBox* pictureBox_ = nullptr;
    QLabel* marker_ = nullptr;
    QLabel* hint_ = nullptr;
    QUndoStack* history_ = nullptr;
    grob::Choices recorded_; // the kind and preparation as the history's last step left them
    QLabel* statusLine_ = nullptr;
    QTimer* passingTimer_ = nullptr;
    QWidget* frameBar_ = nullptr;
    QLabel* frameCounter_ = nullptr;
    class QToolButton* previousFrame_ = nullptr;
    class QToolButton* nextFrame_ = nullptr;
    int frame_ = 0; // the frame shown, of an animation or a list
    QTimer* saveTimer_ = nullptr;
    QString statusText_; // the foot line whole (it is shown elided)
    // The frame's size in twips as the frame rule set it (4575 x 3615 as designed).
    float frameTwipsWidth_ = 4575;
    float frameTwipsHeight_ = 3615;
    float markerTwipsLeft_ = 4200;
    QMap<MenuArray, QMap<int, QAction*>> menus_;
    grob::Series series_ = grob::Series::HP49;
    QPointer<AboutDialog> about_;
    Preferences preferences_;
    QPointer<PreviewWindow> preview_;
    QDockWidget* previewPanel_ = nullptr;
    int dockedWidth_ = 0; // what the panel at the side added to the window's width
    // The panel shown, and at the side, as the window last settled it.
    bool panelShown_ = false;
    bool panelDocked_ = false;
    bool settingDock_ = false; // the panel being placed by the window itself
    QPointer<SpritesDialog> sprites_;
    QPointer<SendDialog> sendDialog_;
    class QThread* sending_ = nullptr; // the transfer under way
    QString ownCopyPath(const QString& extension, bool png);
    void sendFile(const grob::OutputKind& kind);
    QPointer<QWidget> asker_;   // the window asking, while it asks (none: this one)
    grob::Choices lastSprites_; // the sprite tools' choices, kept while the window is open
    // The kind a GROB was opened as, when the name does not say it.
    std::optional<grob::OutputKind> openedAs_;
    // The picture's file as it was read when it was opened: its frames
    // decoded as they are shown, and its bytes, which every conversion loads
    // as the command line loads a file.
    std::shared_ptr<pipeline::HeldPicture> held_;
    std::unique_ptr<class QTemporaryDir> dragFolder_; // what was dragged out
    // The names saved, by picture and extension; the folder saved into last.
    QMap<QString, QString> savedNames_;
    QString lastFolder_;
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
    bool placed_ = false; // the outer size made what was asked, the frame known
    bool closing_ = false;
    int exitCode_ = 0;
};
