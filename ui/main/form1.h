// Form1: the main window. One framed picture area, the marker that shows a
// finished conversion, the two file dialogs and the menu bar.
#pragma once

#include "commondialog.h"
#include "grob/encoders.h"

#include <QMainWindow>
#include <QMap>
#include <QPointer>
#include <QWindow>

#include <memory>
#include <optional>

class QAction;
class QGroupBox;
class QLabel;
class QMimeData;
class PictureBox;
class frmAbout;

class Form1 final : public QMainWindow {
    Q_OBJECT
  public:
    struct Options {
        QString argumentText;             // the command line after the program's name
        QString settingsPath;             // where ORBEX.ini is read and written
        FilePrompter* prompter = nullptr; // nullptr: the desktop's dialogs
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

    // Geometry in twips.
    float twipsLeft() const;
    float twipsTop() const;
    float twipsWidth() const;
    float twipsHeight() const;
    void setTwipsGeometry(std::optional<float> left, std::optional<float> top,
                          std::optional<float> width, std::optional<float> height);

    // For tests and for the batch run.
    QAction* menuItem(const QString& array, int index) const;
    QGroupBox* frame() const { return Frame1; }
    PictureBox* picture() const { return Picture1; }
    QLabel* marker() const { return Label1; }
    CommonDialog& openDialog() { return CMD; }
    CommonDialog& saveDialog() { return CMD2; }
    frmAbout* aboutDialog() const;
    // Exit status for the process: 0, or 1 after a failed command-line run.
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
    void commandLineFailure(const QString& file, const QString& cause);
    void onFocusWindowChanged(QWindow* window);
    void aboutClosed();
    QSize frameMargins() const;

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
    QMap<QString, QMap<int, QAction*>> menus_;
    QPointer<frmAbout> about_;
    QPointer<QWindow> lastFocusWindow_;
    // What loadposition asked for, and the window as it stood right after.
    // The window system may only add its frame once the window is shown; a
    // window that was neither moved nor resized saves what was asked, so it
    // does not creep from run to run by the frame's size.
    struct Requested {
        float left, top, width, height;
        QPoint pos;
        QSize size;
    };
    std::optional<Requested> requested_;
    bool shownOnce_ = false;
    bool closing_ = false;
    int exitCode_ = 0;
};
