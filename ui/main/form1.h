// Form1: the main window. One framed picture area, the marker that shows a
// finished conversion, the two file dialogs and the menu bar.
#pragma once

#include "commondialog.h"
#include "grob/encoders.h"
#include "menutable.h"
#include "preferences.h"

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
class PictureBox;
class frmAbout;
class PreviewWindow;
struct AboutServices;

class Form1 final : public QMainWindow {
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

    explicit Form1(Options options, QWidget* parent = nullptr);
    ~Form1() override;

    // Window events.
    void Form_Load();
    void Form_Activate();
    void Form_Resize();
    void Picture1_Resize();

    // Menu arrays: each handler takes the index of the chosen item.
    void file_Click(int index);
    void action_Click(int index);
    void settings_Click(int index);
    void about_Click(int index);
    // Copies the conversion of the picture shown, in the text form.
    void clipboard_Click(int index);
    // Shows the preview and the preparation of the picture.
    void preview_Click(int index);
    PreviewWindow* previewWindow() const;
    const Preferences& preferences() const { return preferences_; }

    // Drops onto the window and onto the picture box.
    void Form_OLEDragDrop(const QMimeData* dropped);
    void Picture1_OLEDragDrop(const QMimeData* dropped);

    // The loading steps: picture, caption, marker. On failure nothing changes
    // and `error` says why.
    bool LoadPicture(const QString& path, QString* error = nullptr);

    // Settings file.
    void loadposition();
    void saveposition();

    // The series in force: HP 49 when "HP 49 series" is checked.
    grob::Series series() const;

    // The window's outer frame in twips.
    float twipsLeft() const;
    float twipsTop() const;
    float twipsWidth() const;
    float twipsHeight() const;
    void setTwipsGeometry(std::optional<float> left, std::optional<float> top,
                          std::optional<float> width, std::optional<float> height);

    QAction* menuItem(MenuArray array, int index) const;
    QGroupBox* frame() const { return Frame1; }
    PictureBox* picture() const { return Picture1; }
    QLabel* marker() const { return Label1; }
    CommonDialog& openDialog() { return CMD; }
    CommonDialog& saveDialog() { return CMD2; }
    frmAbout* aboutDialog() const;
    // Exit status for the process: 0, or 1 after a failed batch run.
    int exitCode() const { return exitCode_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void buildMenus();
    void LoadFirstDropped(const QStringList& files);
    bool LoadPictureOrSay(const QString& path);
    void showFailure(const QString& text);
    void batchFailure(const QString& file, const QString& cause);
    void firstActivation(int triesLeft);
    void applyOuterSize();
    void placeMarker();
    void onFocusWindowChanged(QWindow* window);
    void aboutClosed();

    Options options_;
    std::unique_ptr<FilePrompter> ownPrompter_;
    CommonDialog CMD;
    CommonDialog CMD2;
    QGroupBox* Frame1 = nullptr;
    PictureBox* Picture1 = nullptr;
    QLabel* Label1 = nullptr;
    // Frame1's size in twips as the frame rule set it (4575 x 3615 as designed).
    float frameTwipsWidth_ = 4575;
    float frameTwipsHeight_ = 3615;
    float labelTwipsLeft_ = 4200;
    QMap<MenuArray, QMap<int, QAction*>> menus_;
    QPointer<frmAbout> about_;
    Preferences preferences_;
    QPointer<PreviewWindow> preview_;
    void savePreferences();
    std::vector<std::uint8_t> prepared(const grob::OutputKind& kind, const std::string& name) const;
    QPointer<QWindow> lastFocusWindow_;
    // The outer size asked for; the window system tells the frame's size
    // only once the window is on the screen, and the inner size is then
    // made to fit it.
    std::optional<QSize> outerSize_;
    bool shownOnce_ = false;
    bool activatedOnce_ = false;
    bool closing_ = false;
    int exitCode_ = 0;
};
