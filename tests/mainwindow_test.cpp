// The main window, driven through its real events (menu actions, drops,
// keys) on the offscreen platform.
#include "aboutdialog.h"
#include "grob/list.h"
#include "grob/prepare.h"
#include "mainwindow.h"
#include "nativenames.h"
#include "optionform.h"
#include "picturearea.h"
#include "picturebox.h"
#include "previewcanvas.h"
#include "previewwindow.h"
#include "senddialog.h"
#include "settings.h"
#include "spritesdialog.h"
#include "test_files.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QDropEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUndoStack>
#include <QUrl>

#include <cmath>
#include <deque>
#include <fstream>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

using testing_util::ReadAll;
using testing_util::WriteAll;

// A window's control of an option, named as the options table names it.
#define CONTROL(window, name) ((*(window)->options)[grob::Option(name)])
namespace {

// Answers the file dialogs in the tests' place and remembers what it was shown.
class ScriptedPrompter final : public FilePrompter {
  public:
    std::deque<std::optional<QString>> answers;
    QStringList filters;
    QStringList startNames;
    QWidget* savedFrom = nullptr;    // the window the last save dialog belonged to
    QString shownFilter, pickFilter; // the open dialog's filter shown, and the one chosen there

    std::optional<QString> askOpen(QWidget*, const QString& filter, const QString& current,
                                   QString& selected) override {
        shownFilter = std::exchange(selected, pickFilter.isEmpty() ? selected : pickFilter);
        return answer(filter, current);
    }
    std::optional<QString> askSave(QWidget* parent, const QString& filter, const QString& current,
                                   const QString&) override {
        savedFrom = parent;
        return answer(filter, current);
    }

  private:
    std::optional<QString> answer(const QString& filter, const QString& current) {
        filters << filter;
        startNames << current;
        if (answers.empty()) return std::nullopt;
        const auto value = answers.front();
        answers.pop_front();
        return value;
    }
};

// The fixtures' picture, or its top-left corner, as a BMP.
QByteArray Bitmap(QSize size = {48, 32}) {
    return testing_util::Encode(testing_util::Reference().copy(QRect(QPoint(0, 0), size)), "bmp");
}

// Drops files onto a widget as a file manager would, offering `actions`.
Qt::DropAction Drop(QWidget* target, const QStringList& paths,
                    Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& p : paths)
        urls << QUrl::fromLocalFile(p);
    data.setUrls(urls);
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    QDragEnterEvent enter(at.toPoint(), actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return Qt::IgnoreAction;
    QDropEvent drop(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
}

// A window manager that puts a window where it likes as it is shown (over
// its parent, say): the first time `window` is shown, it goes to `place`.
class PlacingWindowManager final : public QObject {
  public:
    PlacingWindowManager(QWidget* window, QPoint place) : window_(window), place_(place) {
        window->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && event->type() == QEvent::Show && !placed_) {
            placed_ = true;
            window_->move(place_);
        }
        return false;
    }

  private:
    QWidget* window_;
    QPoint place_;
    bool placed_ = false;
};

// The preview's panel closed by its close box, as a user closes it.
void ClosePreview(MainWindow* form) {
    auto* box = form->previewPanel()->findChild<QAbstractButton*>("qt_dockwidget_closebutton");
    if (box && box->isVisible())
        QTest::mouseClick(box, Qt::LeftButton);
    else // floating, framed by the window system
        form->previewPanel()->close();
    QTRY_VERIFY(!form->previewPanel()->isVisible());
}

// Drags the mouse over the picture from `from` to `to`, in its own pixels on the screen.
void Drag(PictureBox* box, QPoint from, QPoint to) {
    const QPoint inner = box->contentsRect().topLeft();
    QTest::mousePress(box, Qt::LeftButton, {}, inner + from);
    QTest::mouseMove(box, inner + (from + to) / 2);
    QTest::mouseRelease(box, Qt::LeftButton, {}, inner + to);
}

// Sets or clears a folder's immutable flag, which root obeys too.
void Immutable(const QString& folder, bool on) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    int flags = 0;
    if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    if (fd >= 0) ::close(fd);
}

// The widths a window takes, one by one, as it is resized.
class WidthsTaken : public QObject {
  public:
    explicit WidthsTaken(QWidget* window) { window->installEventFilter(this); }
    QList<int> widths;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize)
            widths.append(static_cast<QResizeEvent*>(event)->size().width());
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    ScriptedPrompter prompter_;
    QStringList messages_;
    QWidget* messageOver_ = nullptr; // the window the last message belonged to
    QList<QUrl> dragged_;            // the files dragged out of the window
    AboutServices about_;

    std::unique_ptr<MainWindow> makeWindow(const QString& arguments = {}) {
        MainWindow::Options options{arguments, dir_.filePath("ORBEX.ini"), &prompter_};
        options.messenger = [this](QWidget* over, const QString&, const QString& text) {
            messages_ << text;
            messageOver_ = over;
        };
        options.aboutServices = &about_;
        options.dragger = [this](const QMimeData& data) { dragged_ += data.urls(); };
        return std::make_unique<MainWindow>(std::move(options));
    }
    QString file(const QString& name, const QByteArray& bytes) {
        const QString path = dir_.filePath(name);
        WriteAll(path, bytes);
        return path;
    }
    // The program as a process in the same folder, without a display.
    int run(const QStringList& args, const QByteArray& input = {}, QByteArray* output = nullptr) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        env.insert("windir", dir_.path());
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir_.path());
        process.start(QStringLiteral(VELDAR_PROGRAM), args);
        process.write(input);
        process.closeWriteChannel();
        process.waitForFinished(60000);
        if (output) *output = process.readAllStandardOutput();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

  private Q_SLOTS:
    void init() {
        prompter_ = ScriptedPrompter();
        messages_.clear();
        about_ = AboutServices();
        about_.message = [this](QWidget*, const QString&, const QString& text) {
            messages_ << text;
        };
        about_.startProgram = [](const QString&) { return false; };
        about_.isOrdinaryFile = [](const QString&) { return false; };
        QFile::remove(dir_.filePath("ORBEX.ini"));
        QFile::remove(dir_.filePath("veldar-convert.ini"));
    }

    void layoutFollowsThePicture() {
        auto form = makeWindow();
        form->show();
        QVERIFY(form->loadPicture(file("a.bmp", Bitmap())));
        // 48 x 32 pixels plus the border; the frame holds the whole box, the
        // marker sits in its top-right corner, and the frame is centred across
        // the window's outer width (give or take its borders).
        QCOMPARE(form->picture()->size(), QSize(52, 36));
        QVERIFY(form->frame()->rect().contains(form->picture()->geometry()));
        const QRect corner = form->marker()->geometry();
        QVERIFY(form->frame()->rect().contains(corner));
        QVERIFY(corner.top() < form->picture()->y() && corner.left() > form->frame()->width() / 2);
        const int left = form->frame()->x();
        const int borders = form->frameGeometry().width() - form->width();
        QVERIFY(qAbs(left - (form->width() - left - form->frame()->width())) <= borders + 1);
        form->resize(40, 40); // narrower than the frame: negative offsets, no error
        QVERIFY(form->frame()->x() < 0);
        // The marker stays in sight, and the whole path is the frame's tooltip.
        const QRect marker(form->marker()->mapTo(form->centralWidget(), QPoint(0, 0)),
                           form->marker()->size());
        QVERIFY(form->centralWidget()->rect().contains(marker));
        QCOMPARE(form->frame()->toolTip(), dir_.filePath("a.bmp"));
    }

    void loadingByMenuAndDrops() {
        auto form = makeWindow();
        form->show();
        const QString one = file("one.bmp", Bitmap());
        const QString two = file("two.bmp", Bitmap({20, 10}));
        const QString three = file("three.bmp", Bitmap({30, 10}));

        prompter_.answers = {one};
        form->menuItem(MenuArray::File, 1)->trigger();
        QVERIFY(prompter_.filters.last().startsWith(
            "Image Files (*.jpg *.gif *.bmp *.dib *.wmf *.emf *.ico *.cur);;GROB files (*.gro "));
        QVERIFY(prompter_.filters.last().contains(";;All pictures (") &&
                prompter_.filters.last().contains("*.png"));
        QVERIFY(prompter_.filters.last().endsWith(";;All files (*)"));
        QCOMPARE(form->frame()->title(), one);
        QCOMPARE(form->picture()->innerSize(), QSize(48, 32));

        // Dropped on the picture box, only the first file counts; a drop
        // offered as a move is taken as a copy.
        QCOMPARE(Drop(form->picture(), {two, three}, Qt::MoveAction | Qt::CopyAction),
                 Qt::CopyAction);
        QTRY_COMPARE(form->frame()->title(), two);
        QCOMPARE(Drop(form.get(), {three}, Qt::LinkAction | Qt::MoveAction), Qt::LinkAction);
        QTRY_COMPARE(form->frame()->title(), three);
        QCOMPARE(Drop(form.get(), {one}, Qt::MoveAction), Qt::IgnoreAction); // a move only: refused
        QTest::qWait(20);
        QCOMPARE(form->frame()->title(), three);
        // The open dialog's own last name is not touched by drops.
        prompter_.answers = {std::nullopt};
        form->menuItem(MenuArray::File, 1)->trigger();
        QCOMPARE(prompter_.startNames.last(), one);
        QCOMPARE(form->frame()->title(), three);
        // The preview window, on top, takes drops as the main window does.
        form->menuItem(MenuArray::Preview, 2)->trigger();
        QCOMPARE(Drop(form->previewWindow(), {two}, Qt::MoveAction | Qt::CopyAction),
                 Qt::CopyAction);
        QTRY_COMPARE(form->frame()->title(), two);
        QVERIFY(messages_.isEmpty());
    }

    void failedLoadsSayWhyAndChangeNothing() {
        auto form = makeWindow();
        const QString good = file("good.bmp", Bitmap());
        QVERIFY(form->loadPicture(good));
        form->marker()->show();
        const QImage before = form->picture()->shown();

        const QString text = file("text.jpg", "this is not a picture\n");
        prompter_.answers = {text};
        form->menuItem(MenuArray::File, 1)->trigger();
        // The drop is finished before the message shows: its source never waits on it.
        QCOMPARE(Drop(form->picture(), {dir_.filePath("missing.bmp")}), Qt::CopyAction);
        QCOMPARE(messages_.size(), 1);
        QTRY_COMPARE(messages_.size(), 2);
        QVERIFY(messages_[0].contains(text));
        QVERIFY(messages_[1].contains("missing.bmp") && messages_[1].contains("no such file"));
        QCOMPARE(form->frame()->title(), good);
        QVERIFY(form->marker()->isVisibleTo(form.get()));
        QCOMPARE(form->picture()->shown(), before);
    }

    void conversionThroughEveryMenuItem() {
        auto form = makeWindow();
        QVERIFY(form->loadPicture(file("c.bmp", Bitmap())));
        const char* extensions[] = {"", "gro4", "gro2", "gro", "", "g04", "g08", "g16", "g32"};
        for (int index = 1; index <= 8; ++index) {
            if (index == 4) continue;
            form->loadPicture(form->frame()->title()); // hides the marker
            const QString out = dir_.filePath(QString("out.") + extensions[index]);
            prompter_.answers = {out};
            form->menuItem(MenuArray::Action, index)->trigger();
            QCOMPARE(prompter_.filters.last(), QString("GROB image (*.%1)").arg(extensions[index]));
            QVERIFY(form->marker()->isVisibleTo(form.get()));
            QVERIFY(!QGuiApplication::overrideCursor());
            // The bytes of the reference path over the same picture.
            const grob::ViewRaster picture(form->picture()->view());
            const auto expected = grob::EncodeGrob(*grob::KindForExtension(extensions[index]),
                                                   picture, grob::Series::HP49);
            QCOMPARE(ReadAll(out), testing_util::FromBytes(expected));
        }
        // The next save dialog offers the name last chosen for the picture and kind.
        prompter_.answers = {std::nullopt};
        form->menuItem(MenuArray::Action, 1)->trigger();
        QCOMPARE(prompter_.startNames.last(), dir_.filePath("out.gro4"));

        // The same conversion as text on the clipboard, and a GROB opened
        // again shows the picture its shades came from.
        form->menuItem(MenuArray::Clipboard, 6)->trigger();
        const QString text = QGuiApplication::clipboard()->text();
        QVERIFY(text.startsWith("GROB 48 128 "));
        WriteAll(dir_.filePath("copied.g16"), text.toLatin1());
        prompter_.answers = {dir_.filePath("out.g16")};
        form->menuItem(MenuArray::File, 1)->trigger();
        QCOMPARE(form->picture()->innerSize(), QSize(48, 32));
        for (const char* name : {"again.g16", "again-from-text.g16"}) {
            prompter_.answers = {dir_.filePath(QLatin1String(name))};
            form->menuItem(MenuArray::Action, 7)->trigger();
            QCOMPARE(ReadAll(dir_.filePath(QLatin1String(name))),
                     ReadAll(dir_.filePath("out.g16")));
            QVERIFY(form->loadPicture(dir_.filePath("copied.g16")));
        }
        QVERIFY(messages_.isEmpty());
    }

    void failedConversionsSayWhy() {
        auto form = makeWindow();
        QVERIFY(form->loadPicture(file("s.bmp", Bitmap())));
        prompter_.answers = {std::nullopt}; // cancel
        form->menuItem(MenuArray::Action, 3)->trigger();
        QVERIFY(form->marker()->isHidden());

        const QString missing = dir_.filePath("no/such/folder/x.gro");
        prompter_.answers = {missing};
        form->menuItem(MenuArray::Action, 3)->trigger();
        QVERIFY(form->marker()->isHidden());
        QVERIFY(!QGuiApplication::overrideCursor());
        QCOMPARE(messages_.size(), 1);
        QVERIFY(messages_[0].startsWith("Cannot write \"" + missing + "\":\nNo such file"));
        QCOMPARE(messageOver_, form.get());

        // Asked from the preview, said over the preview.
        form->menuItem(MenuArray::Preview, 2)->trigger();
        prompter_.answers = {missing};
        form->previewWindow()->saveGrobButton->click();
        QCOMPARE(messages_.size(), 2);
        QCOMPARE(messageOver_, form->previewWindow());

        // After a success the marker stays through a later failure: a folder
        // that may not be written (nor by root: it is made immutable).
        const QString locked = dir_.filePath("locked");
        QVERIFY(QDir().mkpath(locked));
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
        Immutable(locked, true);
        const auto unlock = qScopeGuard([&] {
            Immutable(locked, false);
            QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });
        if (::access(QFile::encodeName(locked), W_OK) == 0) QSKIP("a folder here is writable");
        prompter_.answers = {dir_.filePath("ok.gro"), locked + "/x.gro"};
        form->menuItem(MenuArray::Action, 3)->trigger();
        form->menuItem(MenuArray::Action, 3)->trigger();
        QVERIFY(form->marker()->isVisibleTo(form.get()));
        QVERIFY2(messages_.last().startsWith("Cannot write \"" + locked + "/x.gro\":\n"),
                 qPrintable(messages_.last()));
        QCOMPARE(messageOver_, form.get()); // asked from the menu, the preview open or not
    }

    void seriesSwitchesTheHeader() {
        auto form = makeWindow();
        form->menuItem(MenuArray::Settings, 1)->trigger();
        form->menuItem(MenuArray::Settings, 1)->trigger(); // choosing the checked item keeps it
        QVERIFY(form->menuItem(MenuArray::Settings, 1)->isChecked());
        QVERIFY(!form->menuItem(MenuArray::Settings, 2)->isChecked());
        prompter_.answers = {dir_.filePath("48.gro")};
        form->menuItem(MenuArray::Action, 3)->trigger();
        QVERIFY(ReadAll(dir_.filePath("48.gro")).startsWith("HPHP48-X"));
        form->menuItem(MenuArray::Settings, 2)->trigger();
        QCOMPARE(form->series(), grob::Series::HP49);
    }

    // Settings... > Clear the padding dots: every conversion of the window
    // clears them, whatever the preview changes, and the next start keeps it.
    void paddingDotsClearedFromTheSettingsMenu() {
        QImage picture(13, 5, QImage::Format_RGB32);
        picture.fill(Qt::white);
        for (int y = 0; y < 5; ++y)
            picture.setPixel(y, y, qRgb(0, 0, 0)), picture.setPixel(12, y, qRgb(0, 0, 0));
        const QString path = file("d.bmp", testing_util::Encode(picture, "bmp"));
        {
            auto form = makeWindow();
            QVERIFY(form->loadPicture(path));
            QAction* clear = form->menuItem(MenuArray::Preview, 3);
            QVERIFY(clear->isCheckable() && !clear->isChecked());
            form->menuItem(MenuArray::Clipboard, 3)->trigger();
            QVERIFY(
                QGuiApplication::clipboard()->text().contains("GROB 13 5 100F200F400F800F010F"));
            form->menuItem(MenuArray::Preview, 2)->trigger();
            clear->trigger();
            form->previewWindow()->zoom->setValue(3); // a change of the preview's own
            form->menuItem(MenuArray::Clipboard, 3)->trigger();
            QVERIFY(
                QGuiApplication::clipboard()->text().contains("GROB 13 5 10012001400180010101"));
            ClosePreview(form.get());
            form->close();
        }
        auto again = makeWindow();
        QVERIFY(again->menuItem(MenuArray::Preview, 3)->isChecked());
        QFile::remove(dir_.filePath("veldar-convert.ini"));
    }

    // Settings... > With the grayscale viewer: Convert to... a grayscale kind
    // writes the program of its frames and the viewer; the 1-bit kind, which
    // has no shades, its GROB; the next start keeps the setting.
    void grayscaleViewerFromTheSettingsMenu() {
        QImage picture(4, 2, QImage::Format_RGB32);
        picture.fill(Qt::black);
        const QString path = file("v.bmp", testing_util::Encode(picture, "bmp"));
        {
            auto form = makeWindow();
            QVERIFY(form->loadPicture(path));
            QAction* viewer = form->menuItem(MenuArray::Preview, 4);
            QVERIFY(viewer->isCheckable() && !viewer->isChecked());
            viewer->trigger();
            prompter_.answers = {dir_.filePath("v.prg"), dir_.filePath("v.gro")};
            form->menuItem(MenuArray::Action, 7)->trigger(); // 16 grays (g16)
            const QByteArray program = ReadAll(dir_.filePath("v.prg"));
            // A program (02D9D) starting with a GROB (02B1E) of 4 frames of
            // 131 x 64: E1B20 after the 5 nibbles D9D20, low nibble first.
            QVERIFY(program.startsWith("HPHP49-X\x9D\x2D\xE0\xB1\x02"));
            QVERIFY(program.size() > 8 + 131 * 64 / 2);
            form->menuItem(MenuArray::Action, 3)->trigger(); // 1 bit (gro)
            QVERIFY(ReadAll(dir_.filePath("v.gro")).startsWith("HPHP49-X\x1E\x2B"));
            form->close();
        }
        auto again = makeWindow();
        QVERIFY(again->menuItem(MenuArray::Preview, 4)->isChecked());
        QFile::remove(dir_.filePath("veldar-convert.ini"));
    }

    void settingsFileKeepsTheWindowAsItStood() {
        {
            auto form = makeWindow();
            form->menuItem(MenuArray::Settings, 1)->trigger();
            form->show();
            form->setTwipsGeometry(1500, 1200, 9000, 7500);
            form->menuItem(MenuArray::File, 2)->trigger(); // Exit
        }
        const QByteArray saved = ReadAll(dir_.filePath("ORBEX.ini"));
        QCOMPARE(saved, QByteArray("[Window position x,y]\r\n1500,1200\r\n[Window size w,h]\r\n"
                                   "9000,7500\r\n[Default header]\r\n#TRUE#\r\n"));
        {
            // Opened and closed untouched: the file is unchanged.
            auto again = makeWindow();
            QVERIFY(again->menuItem(MenuArray::Settings, 1)->isChecked());
            again->show();
            QTest::qWait(50);
            again->close();
        }
        QCOMPARE(ReadAll(dir_.filePath("ORBEX.ini")), saved);
        {
            auto quick = makeWindow(); // closed at once, before its first activation
            quick->show();
            quick->close();
        }
        QCOMPARE(ReadAll(dir_.filePath("ORBEX.ini")), saved);

        // What the window really stands at is written, in whole twips.
        WriteAll(dir_.filePath("ORBEX.ini"),
                 "[a]\r\n3202.5,2557.5\r\n[b]\r\n7590,6345\r\n[c]\r\n#FALSE#\r\n");
        makeWindow()->close();
        const auto values = settings::Parse(ReadAll(dir_.filePath("ORBEX.ini")).toStdString());
        QVERIFY(values);
        QCOMPARE(std::fmod(values->left, 15.0f), 0.0f);
        QVERIFY(qAbs(values->left - 3202.5f) <= 7.5f);

        // A place on a larger or a second screen: brought back within this one.
        const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
        WriteAll(dir_.filePath("ORBEX.ini"),
                 QString::asprintf("[a]\r\n%d,%d\r\n[b]\r\n7590,6345\r\n[c]\r\n#FALSE#\r\n",
                                   (room.right() - 40) * 15, (room.bottom() - 20) * 15)
                     .toLatin1());
        auto far = makeWindow();
        far->show();
        // (but for the border the window system draws once it is shown)
        QVERIFY(room.adjusted(-8, -8, 8, 8).contains(far->frameGeometry()));
    }

    void settingsFallbacks() {
        const float screenW = float(QGuiApplication::primaryScreen()->geometry().width() * 15);
        for (const QByteArray& contents :
             {QByteArray(), QByteArray("[a]\r\n300,300\r\n[b]\r\n3000,3000\r\n"),
              QByteArray("[a]\r\nnan,300\r\n[b]\r\n3000,3000\r\n[c]\r\n0\r\n")}) {
            if (contents.isNull())
                QFile::remove(dir_.filePath("ORBEX.ini"));
            else
                WriteAll(dir_.filePath("ORBEX.ini"), contents);
            auto form = makeWindow();
            QVERIFY(form->menuItem(MenuArray::Settings, 2)->isChecked());
            QVERIFY(qAbs(form->twipsWidth() - 2 * screenW / 3) <= 15);
            QVERIFY(qAbs(form->twipsLeft() - (screenW - form->twipsWidth()) / 2) <= 15);
        }
    }

    void commandLineWithoutAnOptionIsInteractive() {
        const QString bmp = file("cl.bmp", Bitmap());
        auto form = makeWindow(QString("\"%1\"").arg(bmp));
        form->show();
        QTRY_COMPARE(form->frame()->title(), bmp); // the first activation
        QVERIFY(form->loadPicture(file("other.bmp", Bitmap({10, 10}))));
        // Returning from About shows the command line's picture again...
        form->menuItem(MenuArray::About, 4)->trigger();
        form->aboutDialog()->okButton->click();
        QTRY_COMPARE(form->frame()->title(), bmp);
        // ...unless it has gone: then nothing changes, nothing is said, nothing ends.
        QFile::remove(bmp);
        QVERIFY(form->loadPicture(dir_.filePath("other.bmp")));
        form->menuItem(MenuArray::About, 4)->trigger();
        form->aboutDialog()->okButton->click();
        QTest::qWait(50);
        QVERIFY(form->isVisible());
        QCOMPARE(form->frame()->title(), dir_.filePath("other.bmp"));
        QVERIFY(messages_.isEmpty());

        // A picture that cannot be opened at start is said in the window, which stays.
        auto missing = makeWindow(dir_.filePath("gone.bmp"));
        missing->show();
        QTRY_COMPARE(messages_.size(), 1);
        QVERIFY(messages_[0].contains("gone.bmp"));
        QVERIFY(missing->isVisible());
        QCOMPARE(missing->exitCode(), 0);
    }

    void previewShowsWhatTheConversionWrites() {
        QImage wide(400, 100, QImage::Format_RGB32);
        for (int x = 0; x < 400; ++x)
            for (int y = 0; y < 100; ++y)
                wide.setPixel(x, y, qRgb(x * 255 / 399, x * 255 / 399, y * 2));
        wide.save(dir_.filePath("wide.png"));
        {
            auto form = makeWindow();
            form->show();
            QVERIFY(form->loadPicture(dir_.filePath("wide.png")));
            form->menuItem(MenuArray::Preview, 2)->trigger();
            PreviewWindow* preview = form->previewWindow();
            QVERIFY(preview && preview->isVisible());
            CONTROL(preview, "kind").list->setCurrentIndex(5); // g16
            CONTROL(preview, "fit").list->setCurrentIndex(1);  // 131 x 64
            CONTROL(preview, "dither").list->setCurrentIndex(1);
            preview->zoom->setValue(3);
            QTRY_COMPARE(
                preview->description(),
                QString("131 x 132 dots, 2,262 bytes")); // 131 x 33, four frames: 18 + 17 x 132
            // The series follows at once; the conversion writes what is shown.
            form->menuItem(MenuArray::Settings, 1)->trigger();
            prompter_.answers = {dir_.filePath("shown.g16")};
            form->menuItem(MenuArray::Action, 7)->trigger();
            const QByteArray written = ReadAll(dir_.filePath("shown.g16"));
            QVERIFY(written.startsWith("HPHP48-X"));
            // What is painted is what is saved, pixel for pixel: fitted, and at
            // natural size (wider and higher than the screens, whose outlines
            // then cross the picture), at small and large zooms.
            for (const int fit : {1, 0}) {
                CONTROL(preview, "fit").list->setCurrentIndex(fit);
                for (const int zoom : {3, 1, 2, 7}) {
                    preview->zoom->setValue(zoom);
                    QTRY_VERIFY(!preview->busy());
                    QVERIFY(preview->savePng(dir_.filePath("preview.png")));
                    QCOMPARE(
                        QImage(dir_.filePath("preview.png")).convertToFormat(QImage::Format_RGB32),
                        preview->image().convertToFormat(QImage::Format_RGB32));
                }
            }
            // Before: the picture as fitted, dot for pixel, in the same place.
            CONTROL(preview, "fit").list->setCurrentIndex(1);
            QTRY_VERIFY(!preview->busy());
            preview->showFitted->click();
            const grob::MemoryRaster fitted =
                grob::Fit(form->picture()->view(), preview->preferences().preparation);
            const QImage before = preview->image();
            QCOMPARE(fitted.width(), 131);
            for (const QPoint at : {QPoint(0, 0), QPoint(130, 32), QPoint(70, 20)}) {
                const grob::Colour bgr = fitted.point(at.x(), at.y());
                QCOMPARE(before.pixel(4 + at.x() * 7 + 3, 4 + at.y() * 7 + 6),
                         qRgb(bgr & 255, bgr >> 8 & 255, bgr >> 16 & 255));
            }
            form->close();
        }
        // The choices come back with the next start; ORBEX.ini keeps its six lines.
        auto again = makeWindow();
        again->show();
        QTRY_VERIFY(again->previewWindow());
        QCOMPARE(CONTROL(again->previewWindow(), "dither").list->currentIndex(), 1);
        QCOMPARE(again->preferences().preparation.fit.height, 64);
        QCOMPARE(ReadAll(dir_.filePath("ORBEX.ini")).count("\r\n"), 6);
        ClosePreview(again.get());
        QTRY_VERIFY(!again->preferences().previewShown);
        QFile::remove(dir_.filePath("veldar-convert.ini"));
    }

    // One request through every front end that can express it: the menu, the
    // clipboard and the preview window; the classic batch run; the modern
    // form on a file and on standard input. Every output is the same.
    // Pictures at the seams: colours whose channel sum and luminance
    // disagree (pure green and red halves), a JPEG the command line decodes
    // smaller under a fit, a 16-bit PNG, a transparent one; plain, fitted
    // only, and fully prepared. The preview, the menu's file, Copy as text,
    // the classic batch run and the modern form on a file and on "-" agree.
    void everyFrontEndWritesTheSameBytes() {
        QImage picture(40, 30, QImage::Format_RGB32), halves(40, 30, QImage::Format_RGB32);
        QImage deep(40, 30, QImage::Format_RGBA64), clear(40, 30, QImage::Format_ARGB32);
        QImage photo(96, 72, QImage::Format_RGB32);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) {
                picture.setPixel(x, y, qRgb(x * 6, y * 8, (x * y) % 256));
                halves.setPixel(x, y, x < 20 ? qRgb(0, 255, 0) : qRgb(255, 0, 0));
                deep.setPixelColor(
                    x, y,
                    QColor::fromRgba64(ushort(x * 1601 + 3), ushort(y * 2111 + 1), 40000, 65535));
                clear.setPixel(x, y, qRgba(x * 6, 90, y * 8, (x + y) * 4));
            }
        for (int y = 0; y < 72; ++y)
            for (int x = 0; x < 96; ++x)
                photo.setPixel(x, y, qRgb(x * 2, y * 3, (x * y) % 256));
        WriteAll(dir_.filePath("ORBEX.ini"), "a\r\n0,0\r\nb\r\n6000,5000\r\nc\r\n#FALSE#\r\n");
        // Unfitted: turned at natural size.
        enum Mode { Plain, Fit, Prepared, Turned, Threshold, Cropped, Unfitted, Drawn };
        const struct {
            const char* name;
            QByteArray bytes;
            const char* kind;
            int convertItem, copyItem;
            Mode mode;
            int turn = 0, flip = 0; // the indices of the Turn and Mirror choices
        } cases[] = {
            {"pic.png", testing_util::Encode(picture, "png"), "gro", 3, 3, Plain},
            {"pic.png", testing_util::Encode(picture, "png"), "g16", 7, 6, Plain},
            {"pic.png", testing_util::Encode(picture, "png"), "gro", 3, 3, Prepared},
            {"pic.png", testing_util::Encode(picture, "png"), "gro4", 1, 1, Prepared},
            {"halves.png", testing_util::Encode(halves, "png"), "gro", 3, 3, Fit},
            {"photo.jpg", testing_util::Encode(photo, "jpeg", 90), "gro", 3, 3, Fit},
            {"photo.jpg", testing_util::Encode(photo, "jpeg", 90), "g04", 5, 4, Prepared},
            {"deep.png", testing_util::Encode(deep, "png"), "gro2", 2, 2, Fit},
            {"clear.png", testing_util::Encode(clear, "png"), "g08", 6, 5, Plain},
            {"photo.jpg", testing_util::Encode(photo, "jpeg", 90), "gro", 3, 3, Turned, 1, 2},
            {"pic.png", testing_util::Encode(picture, "png"), "g16", 7, 6, Turned, 3, 1},
            {"pic.png", testing_util::Encode(picture, "png"), "gro", 3, 3, Threshold},
            {"photo.jpg", testing_util::Encode(photo, "jpeg", 90), "gro", 3, 3, Cropped},
            {"clear.png", testing_util::Encode(clear, "png"), "g16", 7, 6, Cropped},
            {"pic.png", testing_util::Encode(picture, "png"), "gro4", 1, 1, Unfitted, 1, 0},
            {"photo.jpg", testing_util::Encode(photo, "jpeg", 90), "g16", 7, 6, Drawn},
        };
        for (const auto& c : cases) {
            const QString kind = QLatin1String(c.kind), name = QLatin1String(c.name);
            const QString base = QFileInfo(name).completeBaseName();
            const QString tag = base + "-" + kind + "-" + QString::number(c.mode);
            const QString pic = file(name, c.bytes);
            auto window = makeWindow();
            window->show();
            prompter_.answers = {pic};
            window->menuItem(MenuArray::File, 1)->trigger();
            window->menuItem(MenuArray::Preview, 2)->trigger();
            PreviewWindow* preview = window->previewWindow();
            CONTROL(preview, "kind")
                .list->setCurrentIndex(CONTROL(preview, "kind").list->findData(kind));
            preview->zoom->setValue(3);
            const bool fitted = c.mode != Plain && c.mode != Unfitted;
            CONTROL(preview, "fit").list->setCurrentIndex(fitted ? 3 : 0); // any size, natural size
            CONTROL(preview, "fit").width->setValue(20);
            CONTROL(preview, "fit").height->setValue(10);
            CONTROL(preview, "contrast").number->setValue(c.mode == Prepared ? 20 : 0);
            CONTROL(preview, "dither").list->setCurrentIndex(c.mode == Prepared ? 1 : 0);
            // The turn and the mirror one at a time, each from the picture the
            // preview has fitted and kept (the mirror first for 90 degrees).
            for (const bool mirroring : {c.turn == 1, c.turn != 1}) {
                if (mirroring)
                    CONTROL(preview, "flip").list->setCurrentIndex(c.flip);
                else
                    CONTROL(preview, "rotate").list->setCurrentIndex(c.turn);
                QTRY_VERIFY(!preview->busy());
            }
            // A threshold where asked, and wherever it is kept unused (the
            // grayscale kinds, dithering).
            const bool unused = kind != "gro" || c.mode == Prepared;
            CONTROL(preview, "threshold").whole->setValue(unused || c.mode == Threshold ? 90 : 128);
            QCOMPARE(CONTROL(preview, "threshold").whole->isEnabled(), !unused);
            // The status line names only what applies.
            QCOMPARE(window->statusLine()->toolTip().contains("threshold"), c.mode == Threshold);
            CONTROL(preview, "crop").check->setChecked(c.mode == Cropped);
            CONTROL(preview, "crop").width->setValue(30);
            CONTROL(preview, "crop").height->setValue(20);
            CONTROL(preview, "crop").x->setValue(5);
            CONTROL(preview, "crop").y->setValue(4);
            if (c.mode == Drawn) { // the same crop drawn with the mouse at zoom 2
                window->menuItem(MenuArray::View, 2)->trigger(); // 1.5
                window->menuItem(MenuArray::View, 2)->trigger();
                Drag(window->picture(), {10, 8}, {70, 48});
            }
            prompter_.answers = {dir_.filePath("window-" + tag + "." + kind)};
            window->menuItem(MenuArray::Action, c.convertItem)->trigger();
            window->menuItem(MenuArray::Clipboard, c.copyItem)->trigger();
            const QByteArray clipboard = QGuiApplication::clipboard()->text().toLatin1();
            QTRY_VERIFY(!preview->busy());
            const QImage shown = preview->image().convertToFormat(QImage::Format_RGB32);
            QVERIFY(preview->savePng(dir_.filePath("window-preview-" + tag + ".png")));
            window->close();

            QStringList common = {"--kind", kind, "--series", "49"};
            if (fitted) common += {"--fit", "20x10"};
            if (c.mode == Prepared) common += {"--dither", "floyd-steinberg", "--contrast", "20"};
            if (c.turn || c.flip)
                common << "--rotate" << QString::number(c.turn * 90) << "--flip"
                       << QStringList{"none", "horizontal", "vertical"}[c.flip];
            if (c.mode == Threshold) common += {"--threshold", "90"};
            if (c.mode == Cropped || c.mode == Drawn) common += {"--crop", "30x20+5+4"};
            QCOMPARE(run(common + QStringList{"--zoom", "3", "--preview", "cli-preview.png",
                                              "--output-dir", "cli", name}),
                     0);
            QCOMPARE(run(common + QStringList{"--text", "--output-dir", "text", name}), 0);
            QByteArray piped, pipedText;
            QCOMPARE(run(common + QStringList{"--zoom", "3", "--preview", "stdin-preview.png", "-"},
                         c.bytes, &piped),
                     0);
            QCOMPARE(run(common + QStringList{"--text", "-"}, c.bytes, &pipedText), 0);

            const QByteArray grob = ReadAll(dir_.filePath("window-" + tag + "." + kind));
            QVERIFY2(grob.startsWith("HPHP49-X"), qPrintable(tag));
            QVERIFY2(ReadAll(dir_.filePath("cli/" + base + "." + kind)) == grob, qPrintable(tag));
            QCOMPARE(piped, grob);
            // The clipboard holds the bare object; a file keeps its %%HP: line.
            QCOMPARE(ReadAll(dir_.filePath("text/" + base + "." + kind)),
                     "%%HP: T(3)A(R)F(.);\r\n" + clipboard);
            QCOMPARE(pipedText, ReadAll(dir_.filePath("text/" + base + "." + kind)));
            const QByteArray view = ReadAll(dir_.filePath("window-preview-" + tag + ".png"));
            QVERIFY2(ReadAll(dir_.filePath("cli-preview.png")) == view, qPrintable(tag));
            QCOMPARE(ReadAll(dir_.filePath("stdin-preview.png")), view);
            // What the preview shows is that very view.
            const QImage cli(dir_.filePath("cli-preview.png"));
            QVERIFY2(cli.convertToFormat(QImage::Format_RGB32) == shown, qPrintable(tag));
            if (c.mode == Plain) {
                // The classic batch run never prepares.
                QCOMPARE(run({name, "-" + QString(kind == "gro" ? "1" : kind)}), 0);
                QCOMPARE(ReadAll(dir_.filePath(base + "." + kind)), grob);
            }
            // The GROB as a picture, from its file and from standard input
            // (where a name cannot tell its kind, it is a 1-bit GROB).
            if (kind == "gro" && c.mode == Plain) {
                QByteArray pngFromPipe;
                QCOMPARE(run({"--to", "png", "--output-dir", "png", "cli/pic.gro"}), 0);
                QCOMPARE(run({"--to", "png", "-"}, grob, &pngFromPipe), 0);
                QCOMPARE(ReadAll(dir_.filePath("png/pic.png")), pngFromPipe);
            }
        }
    }

    // What you see is what you convert: the preparation applies while the
    // preview is open, and the main window says so; with the preview closed
    // the conversion is the plain one.
    void preparationAppliesOnlyWhileThePreviewIsOpen() {
        auto form = makeWindow();
        form->show();
        QVERIFY(form->loadPicture(file("p.bmp", Bitmap())));
        form->menuItem(MenuArray::Preview, 2)->trigger();
        PreviewWindow* preview = form->previewWindow();
        CONTROL(preview, "dither").list->setCurrentIndex(1); // Floyd-Steinberg
        QVERIFY(form->statusLine()->isVisible());
        QVERIFY(form->statusLine()->toolTip().contains("Floyd-Steinberg"));
        prompter_.answers = {dir_.filePath("open.gro"), dir_.filePath("closed.gro")};
        form->menuItem(MenuArray::Action, 3)->trigger();
        ClosePreview(form.get()); // a deliberate act
        QTRY_VERIFY(!form->statusLine()->isVisible());
        form->menuItem(MenuArray::Action, 3)->trigger();
        const auto plain = grob::EncodeGrob(
            grob::OutputKinds()[0], grob::ViewRaster(form->picture()->view()), grob::Series::HP49);
        QCOMPARE(ReadAll(dir_.filePath("closed.gro")), testing_util::FromBytes(plain));
        QVERIFY(ReadAll(dir_.filePath("open.gro")) != testing_util::FromBytes(plain));
        // Copying says that it happened.
        form->menuItem(MenuArray::Clipboard, 3)->trigger();
        QVERIFY(form->statusLine()->isVisible() && form->statusLine()->text().contains("Copied"));
    }

    // Drawing happens off the window's thread, and of a burst of changes
    // only the newest is drawn (how long it takes is the benchmark's).
    void previewDrawsOffTheWindowThread() {
        QImage big(1200, 900, QImage::Format_RGB32);
        for (int y = 0; y < big.height(); ++y)
            for (int x = 0; x < big.width(); ++x)
                big.setPixel(x, y, qRgb(x % 256, y % 256, (x + y) % 256));
        big.save(dir_.filePath("big.bmp"));
        auto form = makeWindow();
        form->show();
        QVERIFY(form->loadPicture(dir_.filePath("big.bmp")));
        form->menuItem(MenuArray::Preview, 2)->trigger();
        PreviewWindow* preview = form->previewWindow();
        CONTROL(preview, "fit").list->setCurrentIndex(3); // any size
        CONTROL(preview, "fit").height->setValue(1000);
        CONTROL(preview, "dither").list->setCurrentIndex(1);
        QTRY_VERIFY_WITH_TIMEOUT(!preview->busy(), 30000);
        const QString before = preview->description();
        int shown = 0;
        connect(preview, &PreviewWindow::shown, this, [&] { ++shown; });
        for (int width = 100; width < 120; ++width)
            CONTROL(preview, "fit").width->setValue(width);
        // Back at once, the drawing still to come.
        QVERIFY(preview->busy());
        QCOMPARE(preview->description(), before);
        QTRY_VERIFY_WITH_TIMEOUT(!preview->busy(), 30000);
        QCOMPARE(shown, 1);
        QVERIFY2(preview->description().startsWith("119 x 89 dots"),
                 qPrintable(preview->description()));

        // Ctrl+plus and Ctrl+minus step the zoom; a failed save is said.
        QTest::keyClick(preview, Qt::Key_Plus, Qt::ControlModifier);
        QCOMPARE(preview->zoom->value(), 3);
        QTest::keyClick(preview, Qt::Key_Minus, Qt::ControlModifier);
        QCOMPARE(preview->zoom->value(), 2);
        QVERIFY(!preview->savePng(dir_.filePath("no/such/folder/view.png")));
        QCOMPARE(messages_.size(), 1);
        QVERIFY(messages_[0].contains("no/such/folder/view.png"));
        // A GROB the picture cannot give (1200 x 3600 dots) names the picture,
        // not a file, and is refused before the save dialog.
        ClosePreview(form.get());
        const qsizetype asked = prompter_.startNames.size();
        form->menuItem(MenuArray::Action, 7)->trigger();
        QCOMPARE(prompter_.startNames.size(), asked); // said before a name is asked for
        QCOMPARE(messages_.size(), 2);
        QVERIFY2(messages_[1].startsWith("Cannot convert \"" + dir_.filePath("big.bmp") +
                                         "\":\nthe GROB would be 1,200 x 3,600 dots"),
                 qPrintable(messages_[1]));
    }

    // An animation of twelve frames at the pixel limit: the window holds
    // the frame shown, not twelve canvases, whichever frame it shows.
    void largeAnimationHeldOneFrameAtATime() {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the sanitizer's own memory is resident too");
#endif
        const QString path = dir_.filePath("wide.gif");
        WriteAll(path, testing_util::WideAnimation());
        auto form = makeWindow();
        form->show();
        prompter_.answers = {path};
        form->menuItem(MenuArray::File, 1)->trigger();
        QCOMPARE(form->frameCount(), 12);
        QTest::keyClick(form.get(), Qt::Key_End);
        QCOMPARE(form->frameShown(), 11);
        for (const int x : {9, 11}) // every frame drawn, the last one shown
            QCOMPARE(form->picture()->shown().pixel(x, 0), qRgb(0, 0, 0));
        QVERIFY(messages_.isEmpty());
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        QVERIFY2(usage.ru_maxrss < 400 * 1024, qPrintable(QString::number(usage.ru_maxrss)));
    }

    // An animation (or a list) shows one frame at a time, steps with Page Down,
    // plays in the preview and is written whole as one list.
    void framesOneAtATime() {
        auto form = makeWindow();
        form->show();
        prompter_.answers = {QStringLiteral(VELDAR_TEST_DATA "/codecs-frames.gif")};
        form->menuItem(MenuArray::File, 1)->trigger();
        QCOMPARE(form->frameCount(), 4);
        QWidget* bar = form->findChild<QWidget*>("frameBar");
        QVERIFY(bar->isVisible());
        const QImage first = form->picture()->shown().copy();
        QTest::keyClick(form.get(), Qt::Key_PageDown);
        QCOMPARE(form->frameShown(), 1);
        QCOMPARE(form->picture()->shown().pixel(1, 1), qRgb(255, 0, 0)); // the red square
        QTest::keyClick(form.get(), Qt::Key_PageUp);
        QTest::keyClick(form.get(), Qt::Key_PageUp); // round to the last
        QCOMPARE(form->frameShown(), 3);
        QCOMPARE(form->picture()->shown().pixel(0, 0), qRgb(0, 0, 0)); // its black dot
        QTest::keyClick(form.get(), Qt::Key_PageUp);
        QCOMPARE(form->picture()->shown().pixel(3, 3), qRgb(255, 255, 0)); // the third's yellow
        // Converted and copied: the frame shown.
        const grob::OutputKind g16 = *grob::KindForExtension("g16");
        const grob::ViewRaster third(form->picture()->view());
        prompter_.answers = {dir_.filePath("third.g16")};
        form->menuItem(MenuArray::Action, 7)->trigger();
        QCOMPARE(ReadAll(dir_.filePath("third.g16")),
                 testing_util::FromBytes(grob::EncodeGrob(g16, third, grob::Series::HP49)));
        form->menuItem(MenuArray::Clipboard, 6)->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text().toStdString(),
                 grob::TextGrob(grob::EncodeObject(g16, third, grob::Series::HP49),
                                grob::TextHeader::Without));
        // The arrows step as Page Up and Page Down do, typed where the focus
        // is; Home and End go to the ends.
        QTest::keyClick(form.get(), Qt::Key_Home);
        QCOMPARE(form->frameShown(), 0);
        auto typed = [&](Qt::Key key) {
            QWidget* focus = QApplication::focusWidget();
            QTest::keyClick(focus ? focus : form.get(), key);
        };
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        typed(Qt::Key_Tab); // the focus on the frame bar's first arrow, as on a first start
        QWidget* arrow = QApplication::focusWidget();
        QVERIFY(arrow && bar->isAncestorOf(arrow));
        typed(Qt::Key_Right);
        QCOMPARE(form->frameShown(), 1);
        typed(Qt::Key_Left);
        typed(Qt::Key_Left);
        QCOMPARE(form->frameShown(), 3);
        QCOMPARE(QApplication::focusWidget(), arrow); // where it was
        QTest::keyClick(form.get(), Qt::Key_Home);
        QTest::keyClick(form.get(), Qt::Key_End);
        QCOMPARE(form->frameShown(), 3);
        form->setTwipsGeometry(0, 0, 6000, 6000); // too wide a preview to stand beside it
        form->menuItem(MenuArray::Preview, 2)->trigger();
        PreviewWindow* preview = form->previewWindow();
        // Played, the frames follow each other as its clock ticks (ticked
        // here by hand).
        auto* clock = preview->findChild<QTimer*>("playTimer");
        preview->play->click();
        QVERIFY(clock->isActive());
        clock->stop();
        QTRY_VERIFY(!preview->busy());
        const QImage played = preview->image();
        for (int tick = 0; tick < 2; ++tick) { // to the third frame: the first two are as dark
            QMetaObject::invokeMethod(clock, "timeout");
            QVERIFY(clock->isActive());
            clock->stop();
        }
        QTRY_VERIFY(!preview->busy());
        QVERIFY(preview->image() != played);
        preview->play->click();
        // The frame counter is not under the preview where it first stands.
        const QRect counter(bar->mapToGlobal(QPoint(0, 0)), bar->size());
        QVERIFY(!QRect(preview->mapToGlobal(QPoint(0, 0)), preview->size()).intersects(counter));
        prompter_.answers = {dir_.filePath("walk.gro.lst")};
        form->menuItem(MenuArray::ListOf, 3)->trigger();
        QVERIFY(form->marker()->isVisibleTo(form.get()));
        const QByteArray list = ReadAll(dir_.filePath("walk.gro.lst"));
        const std::span bytes(reinterpret_cast<const std::uint8_t*>(list.constData()),
                              std::size_t(list.size()));
        QCOMPARE(grob::ReadBinaryList(bytes, "l").objects.size(), std::size_t(4));
        QVERIFY(messages_.isEmpty());
    }

    // Saving what you meant: the picture's name with the kind's extension,
    // beside the picture; the extension added to a name typed without one;
    // lists named as the command line names them, and listed where GROBs are.
    void savingWhatYouMeant() {
        auto form = makeWindow();
        const QString picture = file("photo.bmp", Bitmap());
        QVERIFY(form->loadPicture(picture));
        prompter_.answers = {dir_.filePath("noext"), dir_.filePath("typed.bin"), std::nullopt};
        form->menuItem(MenuArray::Action, 1)->trigger(); // 4-bit
        QCOMPARE(prompter_.startNames.last(), dir_.filePath("photo.gro4"));
        form->menuItem(MenuArray::Action, 3)->trigger(); // 1-bit: never the 4-bit name
        QCOMPARE(prompter_.startNames.last(), dir_.filePath("photo.gro"));
        form->menuItem(MenuArray::Action, 1)->trigger(); // 4-bit: the name chosen for it
        QCOMPARE(prompter_.startNames.last(), dir_.filePath("noext.gro4"));
        QVERIFY(!QFile::exists(dir_.filePath("noext")));
        QVERIFY(QFile::exists(dir_.filePath("typed.bin"))); // an extension typed is kept
        // Read back, its name tells its kind: the picture's size again.
        QVERIFY(form->loadPicture(dir_.filePath("noext.gro4")));
        QCOMPARE(form->picture()->innerSize(), QSize(48, 32));

        QVERIFY(form->loadPicture(picture));
        prompter_.answers = {dir_.filePath("anim")};
        form->menuItem(MenuArray::ListOf, 7)->trigger(); // 5 frames
        QCOMPARE(prompter_.filters.last(), QString("GROB list (*.g32.lst)"));
        QCOMPARE(prompter_.startNames.last(), dir_.filePath("photo.g32.lst"));
        QVERIFY(QFile::exists(dir_.filePath("anim.g32.lst")));
        prompter_.answers = {std::nullopt};
        form->menuItem(MenuArray::File, 1)->trigger();
        for (const QString& entry : prompter_.filters.last().split(";;"))
            if (entry.startsWith("GROB files") || entry.startsWith("All pictures"))
                QVERIFY2(entry.contains(" *.lst") || entry.contains("(*.lst"), qPrintable(entry));
    }

    // Copy as text puts the bare object on the clipboard, as a calculator's command line
    // takes it pasted; Ctrl+C (on the item of the preview's kind, after a field's own copy)
    // and the preview's button copy in its kind. Tab goes down the preview's controls, to
    // the view, then the buttons, each stop in sight; Enter presses a button.
    void copyAsTextIsTheBareObject() {
        QImage dots(8, 1, QImage::Format_RGB32);
        for (int x = 0; x < 8; ++x)
            dots.setPixel(x, 0, x % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
        auto form = makeWindow();
        form->show();
        QVERIFY(form->loadPicture(file("dots.bmp", testing_util::Encode(dots, "bmp"))));
        // Dark dots 0, 2, 4 and 6, the leftmost in the lowest bit: 55.
        form->menuItem(MenuArray::Clipboard, 3)->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("GROB 8 1 55\r\n"));
        form->resize(form->width(), 200); // low enough for the preview's controls to scroll
        form->menuItem(MenuArray::Preview, 2)->trigger();
        PreviewWindow* preview = form->previewWindow();
        QVERIFY(QTest::qWaitForWindowActive(preview));
        QTRY_VERIFY(preview->copyButton->isEnabled());
        QComboBox* first = CONTROL(preview, "kind").list;
        const QWidget* column = preview->findChild<QScrollArea*>("controls")->widget();
        const QWidget* view = preview->canvas->parentWidget()->parentWidget();
        auto place = [&](const QWidget* stop) { // where it stands in the order of the layout
            const QWidget* in = column->isAncestorOf(stop) ? column : preview;
            const QPoint centre = stop->mapTo(in, stop->rect().center());
            return std::tuple(in == column ? 0 : stop == view ? 1 : 2, centre.y() / 4, centre.x());
        };
        first->setFocus();
        QList<QWidget*> stops;
        do {
            stops << QApplication::focusWidget();
            QVERIFY(stops.last() && !stops.last()->visibleRegion().isEmpty());
            QVERIFY(stops.size() == 1 || place(stops[stops.size() - 2]) < place(stops.last()));
            QTest::keyClick(stops.last(), Qt::Key_Tab);
        } while (QApplication::focusWidget() != first && stops.size() < 100);
        QVERIFY(stops.contains(view) && stops.last() == preview->saveButton);
        // Two frames, black dark in both: 55 55.
        first->setCurrentIndex(first->findData("g04"));
        preview->copyButton->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("GROB 8 2 5555\r\n"));
        QVERIFY(preview->said->isVisibleTo(preview)); // said where it was asked
        QVERIFY(preview->said->text().startsWith("Copied the "));
        QGuiApplication::clipboard()->clear();
        QTest::keyClick(first, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("GROB 8 2 5555\r\n"));
        QCOMPARE(form->menuItem(MenuArray::Clipboard, 4)->shortcut(), QKeySequence("Ctrl+C"));
        CONTROL(preview, "gamma").number->setFocus();
        CONTROL(preview, "gamma").number->selectAll();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), CONTROL(preview, "gamma").number->text());
    }

    // Enter in a spin box takes its value and opens nothing; Escape closes
    // nothing, so the preparation stays in force; Ctrl+O opens, Alt+F shows
    // the File menu, Ctrl+Q ends, the classic captions as they were.
    void keysDoWhatPeopleExpect() {
        auto form = makeWindow();
        form->show();
        QVERIFY(form->loadPicture(file("k.bmp", Bitmap())));
        form->menuItem(MenuArray::Preview, 2)->trigger();
        PreviewWindow* preview = form->previewWindow();
        QVERIFY(QTest::qWaitForWindowActive(preview));
        CONTROL(preview, "fit").list->setCurrentIndex(3); // any size
        CONTROL(preview, "fit").height->setValue(100);
        CONTROL(preview, "fit").width->setFocus();
        CONTROL(preview, "fit").width->selectAll();
        QTest::keyClicks(CONTROL(preview, "fit").width, "24");
        QTest::keyClick(CONTROL(preview, "fit").width, Qt::Key_Return);
        QCOMPARE(CONTROL(preview, "fit").width->value(), 24);
        QVERIFY(prompter_.filters.isEmpty());
        QTest::keyClick(CONTROL(preview, "fit").width, Qt::Key_Escape);
        QTest::qWait(20);
        QVERIFY(preview->isVisible());
        prompter_.answers = {dir_.filePath("kept.gro")};
        form->menuItem(MenuArray::Action, 3)->trigger();
        QVERIFY(form->loadPicture(dir_.filePath("kept.gro")));
        QCOMPARE(form->picture()->innerSize(), QSize(24, 16)); // fitted, as shown

        ClosePreview(form.get());
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        prompter_.answers = {std::nullopt};
        QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(prompter_.filters.size(), 2);
        QVERIFY(prompter_.filters.last().startsWith("Image Files"));
        QMenu* fileMenu = form->menuBar()->actions().value(0)->menu();
        QTest::keyClick(form.get(), Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(fileMenu->isVisible());
        fileMenu->close();
        QCOMPARE(form->menuItem(MenuArray::File, 1)->text(), QString("Open"));
        QCOMPARE(form->menuItem(MenuArray::File, 1)->shortcut(), QKeySequence("Ctrl+O"));
        QCOMPARE(form->menuItem(MenuArray::File, 2)->shortcut(), QKeySequence("Ctrl+Q"));
        // Each key once: Qt does nothing with a key two shortcuts share.
        QList<QKeySequence> keys = form->findChild<QShortcut*>()->keys(); // Alt+F
        for (const QAction* action : form->findChildren<QAction*>())
            keys += action->shortcuts();
        QCOMPARE(QSet<QKeySequence>(keys.begin(), keys.end()).size(), keys.size());
        QTest::keyClick(form.get(), Qt::Key_Q, Qt::ControlModifier);
        QTRY_VERIFY(!form->isVisible());
    }

    // A GROB opened is shown in its own kind with nothing prepared, and
    // converted again keeps its bytes; "Open as kind" reads one whose name
    // says nothing; "Reset to defaults" undoes a preparation.
    void openedGrobsAreNotPreparedTwice() {
        auto form = makeWindow();
        form->show();
        QVERIFY(form->loadPicture(file("g.bmp", Bitmap())));
        prompter_.answers = {dir_.filePath("g.g16")};
        form->menuItem(MenuArray::Action, 7)->trigger();
        const QByteArray g16 = ReadAll(dir_.filePath("g.g16"));
        form->menuItem(MenuArray::Preview, 2)->trigger();
        PreviewWindow* preview = form->previewWindow();
        CONTROL(preview, "kind").list->setCurrentIndex(0);
        CONTROL(preview, "fit").list->setCurrentIndex(1);
        CONTROL(preview, "invert").check->click();
        CONTROL(preview, "dither").list->setCurrentIndex(1);
        prompter_.answers = {dir_.filePath("g.g16"), dir_.filePath("again.g16")};
        form->menuItem(MenuArray::File, 1)->trigger();
        QCOMPARE(CONTROL(preview, "kind").list->currentData().toString(), QString("g16"));
        QVERIFY(preview->preferences().preparation.neutral() &&
                !CONTROL(preview, "invert").check->isChecked());
        preview->saveGrobButton->click();
        QCOMPARE(ReadAll(dir_.filePath("again.g16")), g16);
        QCOMPARE(prompter_.savedFrom, preview); // its dialog over the preview

        WriteAll(dir_.filePath("TITLE"), g16);
        CONTROL(preview, "kind").list->setCurrentIndex(0);
        prompter_.answers = {dir_.filePath("TITLE"), dir_.filePath("title.g16")};
        form->menuItem(MenuArray::OpenAs, 7)->trigger();
        QVERIFY(prompter_.filters.last().startsWith("All files (*);;Image Files"));
        QCOMPARE(form->picture()->innerSize(), QSize(48, 32)); // not four frames stacked
        QCOMPARE(CONTROL(preview, "kind").list->currentData().toString(), QString("g16"));
        preview->saveGrobButton->click();
        QCOMPARE(ReadAll(dir_.filePath("title.g16")), g16);

        CONTROL(preview, "contrast").number->setValue(30);
        preview->resetButton->click();
        QVERIFY(preview->preferences().preparation.neutral());
        QCOMPARE(CONTROL(preview, "contrast").number->value(), 0);
        QCOMPARE(CONTROL(preview, "kind").list->currentData().toString(), QString("g16"));
        QVERIFY(form->statusLine()->toolTip().contains("(.g16)"));
    }

    // One window: the preview in a panel at the picture's side, the
    // picture's area (and so ORBEX.ini) kept as it was, as far as the screen
    // allows; floated, docked and closed again, and back at the next start.
    void previewBesideThePicture() {
        const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
        const QString ini = dir_.filePath("ORBEX.ini");
        {
            auto form = makeWindow();
            form->show();
            form->setTwipsGeometry(450, 0, 2250, 6000); // 150 x 400 pixels at x 30
            QVERIFY(form->loadPicture(file("p.bmp", Bitmap())));
            form->menuItem(MenuArray::Preview, 2)->trigger();
            QDockWidget* panel = form->previewPanel();
            QTRY_VERIFY(panel->isVisible() && !panel->isFloating());
            QTRY_COMPARE(form->twipsWidth(), 2250.0f);
            QCOMPARE(form->frameGeometry().left(), 30); // widened to the right
            form->setTwipsGeometry(0, 0, 2400,
                                   std::nullopt); // the area that wide, the panel beside
            QCOMPARE(form->twipsWidth(), 2400.0f);
            form->setTwipsGeometry(0, 0, 2250, std::nullopt);
            QVERIFY(room.contains(form->frameGeometry()));
            const QWidget* area = form->frame()->parentWidget();
            const QRect picture(area->mapToGlobal(QPoint()), area->size());
            QVERIFY(!picture.intersects(QRect(panel->mapToGlobal(QPoint()), panel->size())));
            panel->setFloating(true); // as a double click on its title does
            QTRY_COMPARE(form->frameGeometry().width(), 150);
            QTRY_VERIFY(form->preferences().previewFloating);
            panel->setFloating(false);
            QTRY_COMPARE(form->twipsWidth(), 2250.0f);
            QTRY_VERIFY(!form->preferences().previewFloating);
            form->close();
        }
        const QByteArray settings = ReadAll(ini);
        {
            auto again = makeWindow();
            again->show();
            QTRY_VERIFY(again->previewPanel()->isVisible());
            QVERIFY(!again->previewPanel()->isFloating());
            QTRY_COMPARE(again->twipsWidth(), 2250.0f);
            ClosePreview(again.get());
            QTRY_COMPARE(again->frameGeometry().width(), 150);
            again->close();
        }
        QCOMPARE(ReadAll(ini), settings);
        auto wide = makeWindow();
        wide->show();
        wide->setTwipsGeometry(0, 0, 11000, 6000); // too wide for both: the area shares
        wide->menuItem(MenuArray::Preview, 2)->trigger();
        QTRY_VERIFY(wide->previewPanel()->isVisible());
        QVERIFY(!wide->previewPanel()->isFloating());
        QVERIFY(room.contains(wide->frameGeometry()));
        QVERIFY(wide->twipsWidth() < 11000);
        wide->menuItem(MenuArray::Preview, 2)->trigger(); // shown already: nothing changes
        QVERIFY(room.contains(wide->frameGeometry()));
    }

    // The preview's panel docked again at start: the window goes from its
    // own width to its width with the panel in one step. A size asked on
    // the way (the least width with the panel) comes back from the window
    // system after the full one, and would leave the window narrow.
    void previewDockedInOneStep() {
        {
            auto form = makeWindow();
            form->show();
            form->setTwipsGeometry(450, 0, 2250, 6000); // 150 x 400 pixels at x 30
            form->menuItem(MenuArray::Preview, 2)->trigger();
            QTRY_VERIFY(form->previewPanel()->isVisible());
            QVERIFY(!form->previewPanel()->isFloating());
            QTRY_COMPARE(form->twipsWidth(), 2250.0f);
            form->close();
        }
        const QByteArray settings = ReadAll(dir_.filePath("ORBEX.ini"));
        auto again = makeWindow();
        WidthsTaken taken(again.get());
        again->show();
        QTRY_VERIFY(again->previewPanel()->isVisible());
        QTRY_COMPARE(again->twipsWidth(), 2250.0f);
        QTest::qWait(50); // what the window system says of the sizes asked
        const int full = again->width();
        QVERIFY(full > 150);
        QStringList seen;
        for (const int width : taken.widths)
            seen << QString::number(width);
        QVERIFY2(taken.widths == QList<int>({150, full}) || taken.widths == QList<int>({full}),
                 qPrintable("widths taken: " + seen.join(' ')));
        again->close();
        QCOMPARE(ReadAll(dir_.filePath("ORBEX.ini")), settings);
    }

    // The preview stays in reach: back within the screen whatever was saved,
    // exactly where it was when that is on the screen, small enough for a
    // 1024 x 768 screen and for 1600 x 1000 at twice the scale; its text
    // never covers the view or the buttons. The main window's foot line is
    // shortened, never cut.
    void previewStaysInReach() {
        QImage huge(2000, 1200, QImage::Format_RGB32);
        huge.fill(Qt::gray);
        const QString picture = file("huge.png", testing_util::Encode(huge, "png"));
        const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
        {
            auto form = makeWindow();
            form->menuItem(MenuArray::Preview, 2)->trigger();
            const QSize least = form->previewWindow()->minimumSizeHint();
            QVERIFY2(least.width() <= 760 && least.height() <= 440,
                     qPrintable(QString("%1 x %2").arg(least.width()).arg(least.height())));
        }
        for (const QRect saved : {QRect(5000, 4000, 900, 700), QRect(30, 40, 640, 420)}) {
            WriteAll(dir_.filePath("veldar-convert.ini"),
                     QString::asprintf("[preview]\nkind=g32\nshown=true\nfloating=true\n"
                                       "geometry=%d,%d,%d,%d\n",
                                       saved.x(), saved.y(), saved.width(), saved.height())
                         .toLatin1());
            auto form = makeWindow();
            // placed at the screen's corner as it is shown, then where it stood
            const PlacingWindowManager manager(form->previewPanel(), room.topLeft());
            form->show();
            QTRY_VERIFY(form->previewWindow());
            const QDockWidget* panel = form->previewPanel();
            QVERIFY(panel->isFloating());
            if (room.contains(saved)) QTRY_COMPARE(panel->frameGeometry(), saved);
            // within the screen once its frame, drawn when it is shown, is known
            QTRY_VERIFY(room.contains(panel->frameGeometry()));
            form->close();
        }
        auto form = makeWindow();
        form->show();
        QTRY_VERIFY(form->previewWindow());
        PreviewWindow* preview = form->previewWindow();
        QVERIFY(form->loadPicture(picture)); // too large a GROB: a long "No preview: ..."
        preview->resize(preview->minimumSizeHint());
        QTRY_VERIFY(preview->description().startsWith("No preview: "));
        QTest::qWait(20);
        const QRect view = preview->canvas->parentWidget()->parentWidget()->geometry();
        const QRect info = preview->info->geometry();
        QVERIFY(info.height() >= preview->info->heightForWidth(info.width()));
        QVERIFY(!info.intersects(view));
        for (const QPushButton* button : {preview->saveGrobButton, preview->saveButton}) {
            QVERIFY(preview->rect().contains(button->geometry()));
            QVERIFY(!info.intersects(button->geometry()));
        }
        CONTROL(preview, "contrast").number->setValue(20);
        CONTROL(preview, "invert").check->click();
        CONTROL(preview, "dither").list->setCurrentIndex(3);
        form->resize(300, 300);
        QLabel* foot = form->statusLine();
        QVERIFY(foot->fontMetrics().horizontalAdvance(foot->text()) <=
                foot->contentsRect().width());
        QVERIFY(foot->text().endsWith(QChar(0x2026)));
        QVERIFY(foot->toolTip().contains("Bayer) dithering; the preview's kind: "));
        QVERIFY(foot->toolTip().endsWith("(.g32)"));
    }

    // A picture larger than the window: scroll bars at natural size, the
    // whole of it fitted to the window, zoomed by the View menu's keys and
    // Ctrl+wheel, conversions reading it at its own size; a crop of the fit
    // box's proportions fills the box, turned too.
    void largePictureSeenWhole() {
        QImage photo(4000, 3000, QImage::Format_RGB32);
        photo.fill(Qt::darkCyan);
        auto form = makeWindow();
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QVERIFY(form->loadPicture(file("photo.png", testing_util::Encode(photo, "png"))));
        PictureArea* area = form->pictureArea();
        QVERIFY(area->across()->isVisible() && area->down()->isVisible());
        QCOMPARE(form->picture()->size(), QSize(4004, 3004));
        form->menuItem(MenuArray::View, 1)->trigger(); // fit picture to window
        const QRect box(form->picture()->mapTo(form->centralWidget(), QPoint()),
                        form->picture()->size());
        QVERIFY(form->centralWidget()->rect().contains(box) && box.width() > 200);
        QVERIFY(!area->across()->isVisible() && !area->down()->isVisible());
        QCOMPARE(form->menuItem(MenuArray::View, 2)->shortcut(), QKeySequence("Ctrl++"));
        QTest::keyClick(form.get(), Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(form->picture()->size(), QSize(4004, 3004));
        QTest::keyClick(form.get(), Qt::Key_Minus, Qt::ControlModifier);
        QCOMPARE(form->picture()->size(), QSize(2671, 2004)); // two thirds
        // Ctrl+wheel over the picture (which passes the wheel to its area).
        const QPointF over = form->picture()->mapTo(area, QPointF(10, 10));
        QWheelEvent wheel(over, area->mapToGlobal(over), {}, {0, -120}, Qt::NoButton,
                          Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(area, &wheel);
        QCOMPARE(form->picture()->size(), QSize(2004, 1504)); // a half
        QCOMPARE(form->picture()->innerSize(), QSize(4000, 3000));

        form->menuItem(MenuArray::Preview, 2)->trigger();
        PreviewWindow* preview = form->previewWindow();
        CONTROL(preview, "fit").list->setCurrentIndex(1); // 131 x 64
        for (const grob::Region& filling :
             {grob::Region{0, 523, 4000, 1954}, grob::Region{1267, 0, 1466, 3000}}) {
            form->menuItem(MenuArray::View, 7)->trigger();
            QVERIFY(preview->preferences().preparation.crop == filling);
            QTRY_VERIFY(preview->description().startsWith("131 x 64 dots"));
            CONTROL(preview, "rotate").list->setCurrentIndex(1); // a quarter turn
        }
    }

    // The crop drawn, moved and resized on the picture with the mouse, in
    // the picture's pixels at any zoom: the preview opens to show it, its
    // numbers follow and move the rectangle back; Escape and "Clear crop"
    // clear it, and it is shown only while the preview is.
    void cropDrawnWithTheMouse() {
        QImage picture(200, 100, QImage::Format_RGB32);
        picture.fill(Qt::white);
        auto form = makeWindow();
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QVERIFY(form->loadPicture(file("c.png", testing_util::Encode(picture, "png"))));
        form->menuItem(MenuArray::View, 2)->trigger();
        form->menuItem(MenuArray::View, 2)->trigger(); // zoom 2
        PictureBox* box = form->picture();
        Drag(box, {20, 10}, {120, 60});
        PreviewWindow* preview = form->previewWindow();
        QVERIFY(preview && form->previewPanel()->isVisible());
        const OptionForm::Control& numbers = CONTROL(preview, "crop");
        auto crop = [&] {
            return QList{numbers.width->value(), numbers.height->value(), numbers.x->value(),
                         numbers.y->value()};
        };
        QCOMPARE(crop(), QList({50, 25, 10, 5}));
        Drag(box, {40, 20}, {60, 30}); // moved by 10 x 5 pixels
        QCOMPARE(crop(), QList({50, 25, 20, 10}));
        Drag(box, {140, 70}, {160, 90}); // the bottom right corner
        QCOMPARE(crop(), QList({60, 35, 20, 10}));
        QCOMPARE(box->cursor().shape(), Qt::SizeFDiagCursor);
        Drag(box, {80, 20}, {80, 0}); // the top edge
        QCOMPARE(crop(), QList({60, 45, 20, 0}));
        QCOMPARE(box->cursor().shape(), Qt::SizeVerCursor);
        Drag(box, {160, 44}, {180, 54}); // the right edge: across only
        QCOMPARE(crop(), QList({70, 45, 20, 0}));
        Drag(box, {180, 44}, {160, 44});
        numbers.x->setValue(0);
        QCOMPARE(box->crop(), QRect(0, 0, 60, 45));
        QCOMPARE(QApplication::focusWidget(), box);
        QTest::keyClick(box, Qt::Key_Escape);
        QVERIFY(!box->crop() && !numbers.check->isChecked());
        Drag(box, {0, 0}, {30, 30});
        QVERIFY(preview->preferences().preparation.crop == (grob::Region{0, 0, 15, 15}));
        ClosePreview(form.get());
        QTRY_VERIFY(!box->crop());
        form->menuItem(MenuArray::Preview, 2)->trigger();
        QCOMPARE(box->crop(), QRect(0, 0, 15, 15));
        form->menuItem(MenuArray::View, 6)->trigger(); // clear crop
        QVERIFY(!box->crop() && !preview->preferences().preparation.cropped());
    }

    // Converting with no picture open writes the blank picture box and says
    // so; a crop belongs to its picture: another one keeps the rest.
    void blankSaidAndCropLeftWithItsPicture() {
        auto form = makeWindow();
        form->show();
        prompter_.answers = {dir_.filePath("blank.gro")};
        form->menuItem(MenuArray::Action, 3)->trigger();
        QVERIFY2(form->statusLine()->toolTip().startsWith("No picture is open: wrote a blank "),
                 qPrintable(form->statusLine()->toolTip()));
        file("a.bmp", testing_util::Encode(testing_util::Reference(), "bmp"));
        file("b.bmp", testing_util::Encode(testing_util::Reference(), "bmp"));
        auto open = [&](const char* name) {
            prompter_.answers = {dir_.filePath(name)};
            form->menuItem(MenuArray::File, 1)->trigger();
        };
        open("a.bmp");
        form->menuItem(MenuArray::Preview, 2)->trigger();
        PreviewWindow* preview = form->previewWindow();
        CONTROL(preview, "crop").check->setChecked(true);
        CONTROL(preview, "contrast").number->setValue(20);
        open("a.bmp"); // the same picture again
        QVERIFY(CONTROL(preview, "crop").check->isChecked());
        open("b.bmp");
        QVERIFY(!CONTROL(preview, "crop").check->isChecked());
        QCOMPARE(CONTROL(preview, "contrast").number->value(), 20.0);
        QVERIFY(form->statusLine()->toolTip().startsWith("The crop belonged to the last picture"));
        QVERIFY(messages_.isEmpty());
    }

    // The sprite tools write what the command line writes with the same choices.
    void spriteToolsAsTheCommandLine() {
        QFile::copy(QStringLiteral(VELDAR_TEST_DATA "/codecs-frames.gif"),
                    dir_.filePath("walk.gif"));
        QImage sheet(20, 12, QImage::Format_ARGB32);
        sheet.fill(Qt::transparent);
        for (int x = 0; x < 6; ++x) // in tiles 2 and 5 of the 3 x 2 there are, padded
            sheet.setPixel(x + 9, x % 2 ? x % 4 : 8 + x % 4, qRgba(40, 40, 40, 255));
        sheet.setPixel(10, 2, qRgba(40, 40, 40, 150)); // in tile 2, under a mask opacity of 200
        file("sheet.png", testing_util::Encode(sheet, "png"));
        QDir(dir_.path()).mkpath("window-tiles");
        auto form = makeWindow();
        form->show();
        QVERIFY(form->loadPicture(dir_.filePath("walk.gif")));
        form->menuItem(MenuArray::Preview, 2)->trigger();
        PreviewWindow* preview = form->previewWindow();
        CONTROL(preview, "kind")
            .list->setCurrentIndex(CONTROL(preview, "kind").list->findData("g04"));
        preview->spritesButton->click();
        QPointer<SpritesDialog> dialog = form->spritesDialog();
        CONTROL(dialog, "frames").check->setChecked(true);
        CONTROL(dialog, "mask").check->setChecked(true);
        dialog->list->setChecked(true);
        prompter_.answers = {dir_.filePath("walk")};
        dialog->saveButton->click();
        QTRY_VERIFY(!dialog);
        QCOMPARE(prompter_.startNames.last(), dir_.filePath("walk.g04.lst"));
        QCOMPARE(prompter_.savedFrom, preview);
        QCOMPARE(run({"--kind", "g04", "--series", "49", "--frames", "--mask", "--list", "-o",
                      "cli.lst", "walk.gif"}),
                 0);
        QCOMPARE(ReadAll(dir_.filePath("walk.g04.lst")), ReadAll(dir_.filePath("cli.lst")));
        QCOMPARE(form->statusLine()->toolTip(),
                 "Wrote 8 GROBs (4 and their masks) to walk.g04.lst.");

        QVERIFY(form->loadPicture(dir_.filePath("sheet.png")));
        CONTROL(preview, "kind").list->setCurrentIndex(0);
        preview->spritesButton->click();
        dialog = form->spritesDialog();
        QVERIFY(CONTROL(dialog, "frames").check->isChecked()); // as chosen last time
        CONTROL(dialog, "frames").check->setChecked(false);
        // The mask's opacity only with masks, as the table says.
        CONTROL(dialog, "mask").check->setChecked(false);
        QVERIFY(!CONTROL(dialog, "mask-opacity").whole->isEnabled());
        CONTROL(dialog, "mask").check->setChecked(true);
        QVERIFY(CONTROL(dialog, "mask-opacity").whole->isEnabled());
        CONTROL(dialog, "mask-opacity").whole->setValue(200);
        dialog->numbered->setChecked(true);
        CONTROL(dialog, "tile").check->setChecked(true);
        CONTROL(dialog, "tile").check->setFocus();
        QTest::keyClick(CONTROL(dialog, "tile").check, Qt::Key_Tab); // to its sides, beside it
        QCOMPARE(dialog->focusWidget(), CONTROL(dialog, "tile").width);
        CONTROL(dialog, "tile").width->setValue(8);
        CONTROL(dialog, "tile").height->setValue(8);
        CONTROL(dialog, "tile-pad").check->setChecked(true);
        CONTROL(dialog, "skip-empty").check->setChecked(true);
        prompter_.answers = {dir_.filePath("window-tiles/sheet.gro")};
        dialog->saveButton->click();
        const QStringList tiles{"--kind", "gro",        "--series",     "49",    "--tile",
                                "8x8",    "--tile-pad", "--skip-empty", "--mask"};
        QCOMPARE(run(tiles + QStringList{"--mask-opacity", "200", "-d", "cli-tiles", "sheet.png"}),
                 0);
        QCOMPARE(run(tiles + QStringList{"-d", "cli-half", "sheet.png"}), 0);
        const QStringList names = QDir(dir_.filePath("cli-tiles")).entryList(QDir::Files);
        QCOMPARE(names, QStringList({"sheet-02.gro", "sheet-02.mask.gro", "sheet-05.gro",
                                     "sheet-05.mask.gro"}));
        QVERIFY(ReadAll(dir_.filePath("cli-tiles/sheet-02.mask.gro")) !=
                ReadAll(dir_.filePath("cli-half/sheet-02.mask.gro")));
        QCOMPARE(QDir(dir_.filePath("window-tiles")).entryList(QDir::Files), names);
        for (const QString& name : names)
            QCOMPARE(ReadAll(dir_.filePath("window-tiles/" + name)),
                     ReadAll(dir_.filePath("cli-tiles/" + name)));
        QVERIFY(form->statusLine()->toolTip().contains("tiles kept: 2, 5 of 6"));
        QVERIFY(messages_.isEmpty());
    }

    // Every option of the table with a control shows a value other than its
    // default and reads it back as it was, through the preview's and the
    // sprite tools' own controls: a new option's control binds as its type does.
    // The series beside the kind, one choice with the Settings menu's, and
    // which calculator or program shows the kind.
    void seriesAndViewerInSight() {
        auto form = makeWindow();
        form->show();
        QVERIFY(form->loadPicture(file("a.bmp", Bitmap())));
        form->menuItem(MenuArray::Preview, 2)->trigger();
        PreviewWindow* preview = form->previewWindow();
        QComboBox* series = CONTROL(preview, "series").list;
        series->setCurrentIndex(0);
        QVERIFY(form->menuItem(MenuArray::Settings, 1)->isChecked());
        prompter_.answers = {dir_.filePath("s.gro")};
        form->menuItem(MenuArray::Action, 3)->trigger();
        QCOMPARE(ReadAll(dir_.filePath("s.gro")).left(8), QByteArray("HPHP48-X"));
        form->menuItem(MenuArray::Settings, 2)->trigger();
        QCOMPARE(series->currentIndex(), 1);
        QVERIFY(preview->shownBy->text().startsWith("Shown as it is by PVIEW"));
        QComboBox* kind = CONTROL(preview, "kind").list;
        kind->setCurrentIndex(kind->findData("g16"));
        QVERIFY(preview->shownBy->text().contains("shows its 4 frames in turn"));
        kind->setCurrentIndex(kind->findData("g08"));
        QVERIFY(preview->shownBy->text().endsWith("its 3 frames in turn; PVIEW shows them "
                                                  "stacked, 3 times as high."));
        kind->setCurrentIndex(kind->findData("gro2"));
        QVERIFY(preview->shownBy->text().endsWith("dots side by side, 2 times as wide."));
    }

    // The GROB shown dragged out of the preview as a file, the bytes a save
    // writes; with Shift held, its view as a PNG.
    void dragTheGrobOut() {
        auto form = makeWindow();
        form->show();
        QVERIFY(form->loadPicture(file("a.bmp", Bitmap())));
        form->menuItem(MenuArray::Preview, 2)->trigger();
        PreviewWindow* preview = form->previewWindow();
        QComboBox* kind = CONTROL(preview, "kind").list;
        kind->setCurrentIndex(kind->findData("g16"));
        QTRY_VERIFY(!preview->busy() && preview->canvas->dots().width() > 0);
        for (const Qt::KeyboardModifiers keys : {Qt::NoModifier, Qt::ShiftModifier}) {
            QTest::mousePress(preview->canvas, Qt::LeftButton, keys, QPoint(4, 4));
            QTest::mouseMove(preview->canvas, QPoint(6, 5)); // not yet a drag
            QCOMPARE(dragged_.size(), keys == Qt::NoModifier ? 0 : 1);
            QTest::mouseMove(preview->canvas, QPoint(40, 30));
            QTest::mouseRelease(preview->canvas, Qt::LeftButton, keys, QPoint(40, 30));
        }
        QCOMPARE(dragged_.size(), 2);
        QCOMPARE(dragged_[0].fileName(), "a.g16");
        prompter_.answers = {dir_.filePath("saved.g16")};
        form->menuItem(MenuArray::Action, 7)->trigger();
        QCOMPARE(ReadAll(dragged_[0].toLocalFile()), ReadAll(dir_.filePath("saved.g16")));
        QCOMPARE(dragged_[1].fileName(), "a-preview.png");
        QCOMPARE(QImage(dragged_[1].toLocalFile()).convertToFormat(QImage::Format_RGB32),
                 preview->image().convertToFormat(QImage::Format_RGB32));
    }

    void everyControlShowsAndReadsItsOption() {
        auto form = makeWindow();
        form->show();
        QVERIFY(form->loadPicture(file("a.bmp", Bitmap())));
        form->menuItem(MenuArray::Preview, 2)->trigger();
        PreviewWindow* preview = form->previewWindow();
        QTRY_VERIFY(preview->spritesButton->isEnabled());
        preview->spritesButton->click();
        SpritesDialog* dialog = form->spritesDialog();
        QVERIFY(preview && dialog);
        int tried = 0;
        for (OptionForm* controls : {preview->options, dialog->options}) {
            for (const OptionForm::Control& control : controls->controls()) {
                const grob::OptionEntry& option = *control.option;
                grob::OptionValue value = grob::DefaultValue(option);
                value.flag = !value.flag;
                value.number = option.type == grob::OptionType::Number
                                   ? std::round((option.minimum + option.step) * 100) / 100
                                   : option.maximum;
                value.choice = option.choices.size() - 1;
                value.size = {7, 5};
                value.region = {1, 2, 3, 4};
                grob::Choices shown;
                option.bind.set(shown, value);
                controls->show(shown);
                // Its help in the window's words, never the command line's.
                for (const QWidget* w : std::initializer_list<const QWidget*>{
                         control.check, control.list, control.whole, control.number, control.width})
                    for (const char* words : {"--", "see below", "FILE", "same name"})
                        QVERIFY2(!w || !w->toolTip().contains(words), option.name.data());
                grob::Choices read;
                controls->read(read);
                QVERIFY2(grob::SameValue(option, option.bind.get(read), value), option.name.data());
                ++tried;
            }
        }
        int withControls = 0;
        for (const grob::OptionEntry& option : grob::Options())
            withControls += (option.use & (grob::kPreparation | grob::kCutting)) != 0;
        QCOMPARE(tried, withControls + 3); // and the kind, the series and the zoom
        // The fit's sides are its own only at "any size".
        preview->options->show(grob::Choices{});
        QVERIFY(!CONTROL(preview, "fit").width->isEnabled());
        CONTROL(preview, "fit").list->setCurrentIndex(3);
        QVERIFY(CONTROL(preview, "fit").width->isEnabled());
    }

    // Without a picture a hint lies over the empty area (never in the picture
    // box's pixels: a conversion is white) until one is shown; the preview says so.
    void withoutAPicture() {
        auto form = makeWindow();
        form->show();
        QCOMPARE(form->hint()->text(), "Open a picture with File... > Open, or drop one here");
        QVERIFY(form->hint()->isVisible());
        form->menuItem(MenuArray::Preview, 3)->trigger(); // no padding dots set
        form->menuItem(MenuArray::Clipboard, 3)->trigger();
        const QString body = QGuiApplication::clipboard()->text().section(u' ', 3).trimmed();
        QVERIFY(body.size() > 100 && body.count(u'0') == body.size());
        form->menuItem(MenuArray::Preview, 2)->trigger();
        QVERIFY(form->previewWindow()->description().startsWith("No picture"));
        QVERIFY(!form->previewWindow()->saveButton->isEnabled());
        QVERIFY(form->loadPicture(file("h.bmp", Bitmap())));
        QVERIFY(!form->hint()->isVisible());
    }

    // File... > Open recent: the pictures opened last (by the command line,
    // the menu, a drop), the latest first, and the open dialog's filter, kept
    // for the next start; a name that is no UTF-8 comes back byte for byte, a
    // file gone is greyed, and the list can be cleared.
    void openingRemembered() {
        const QString a = file("a.bmp", Bitmap()), c = file("c.bmp", Bitmap());
        const std::string odd = QFile::encodeName(dir_.path()).toStdString() + "/caf\xe9\n.bmp";
        std::ofstream(odd, std::ios::binary) << Bitmap().toStdString();
        {
            auto form = makeWindow('"' + a + '"');
            form->show();
            QTRY_COMPARE(form->frame()->title(), a);
            prompter_.answers = {std::nullopt};
            form->menuItem(MenuArray::File, 1)->trigger();
            QVERIFY(prompter_.shownFilter.startsWith("Image Files (")); // the classic default
            prompter_.pickFilter = prompter_.filters.last().split(";;").value(2); // All pictures
            prompter_.answers = {nativenames::Shown(odd)};
            form->menuItem(MenuArray::File, 1)->trigger();
            QVERIFY(Drop(form->picture(), {c}) == Qt::CopyAction);
            QTRY_COMPARE(form->frame()->title(), c);
        }
        auto again = makeWindow();
        const QString pictures = std::exchange(prompter_.pickFilter, QString());
        prompter_.answers = {std::nullopt};
        again->menuItem(MenuArray::File, 1)->trigger();
        QCOMPARE(prompter_.shownFilter, pictures);
        again->menuItem(MenuArray::OpenAs, 7)->trigger(); // every file first, as it lists them
        QVERIFY(prompter_.shownFilter.startsWith("All files ("));
        QFile::remove(c);
        auto* recent = qobject_cast<QMenu*>(again->menuItem(MenuArray::Recent, 10)->parent());
        recent->popup(again->mapToGlobal(QPoint())); // which looks again
        recent->close();
        QVERIFY(!again->menuItem(MenuArray::Recent, 1)->isEnabled()); // c.bmp, gone
        QVERIFY(!again->menuItem(MenuArray::Recent, 4)->isVisible());
        QCOMPARE(again->menuItem(MenuArray::Recent, 3)->text(), "&3 " + a);
        QVERIFY(again->menuItem(MenuArray::Recent, 2)->text().endsWith("/caf\\351\\012.bmp"));
        again->menuItem(MenuArray::Recent, 2)->trigger();
        QCOMPARE(again->frame()->title(), nativenames::Shown(odd)); // opened
        again->menuItem(MenuArray::Recent, 10)->trigger();          // Clear the list
        QVERIFY(!makeWindow()->menuItem(MenuArray::Recent, 1)->isVisible());
        QVERIFY(messages_.isEmpty());
    }

    // Every change of the preparation or the kind is a step (a burst on one
    // control one step, Reset to defaults one, the crop cleared by another
    // picture one), undone and redone with the controls and the preview.
    void preparationUndoneAndRedone() {
        auto form = makeWindow();
        form->show();
        QVERIFY(form->loadPicture(file("u.bmp", Bitmap())));
        form->menuItem(MenuArray::Preview, 2)->trigger();
        PreviewWindow* preview = form->previewWindow();
        QVERIFY(QTest::qWaitForWindowActive(preview));
        auto typed = [](QKeySequence k) { QTest::keySequence(QApplication::focusWidget(), k); };
        CONTROL(preview, "contrast").number->setFocus();
        for (int step = 0; step < 3; ++step)
            typed(Qt::Key_Up);
        CONTROL(preview, "dither").list->setCurrentIndex(2);
        CONTROL(preview, "crop").check->setChecked(true);
        QTRY_VERIFY(!preview->busy());
        const QImage prepared = preview->image();
        QVERIFY(form->loadPicture(file("v.bmp", Bitmap()))); // the crop cleared
        preview->resetButton->click();
        QCOMPARE(form->history()->count(), 5);
        QCOMPARE(form->menuItem(MenuArray::Edit, 1)->text(), "Undo Reset to defaults");
        typed(QKeySequence(Qt::CTRL | Qt::Key_Z));
        form->menuItem(MenuArray::Edit, 1)->trigger();
        const grob::Preparation& shown = preview->preferences().preparation;
        QVERIFY(shown.contrast == 3 && shown.dither == grob::Dither::Atkinson && shown.cropped());
        QVERIFY(CONTROL(preview, "crop").check->isChecked());
        QTRY_VERIFY(!preview->busy());
        QCOMPARE(preview->image(), prepared);
        for (int step = 0; step < 3; ++step)
            typed(QKeySequence(Qt::CTRL | Qt::Key_Z));
        QVERIFY(form->preferences().preparation.neutral());
        QCOMPARE(CONTROL(preview, "contrast").number->value(), 0.0);
        typed(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
        QCOMPARE(CONTROL(preview, "contrast").number->value(), 3.0);
        typed(QKeySequence(Qt::CTRL | Qt::Key_Y));
        QCOMPARE(form->preferences().preparation.dither, grob::Dither::Atkinson);
    }

    // Convert to... > Send to calculator: the line asked for and kept, and
    // the GROB that Convert to... writes sent by Kermit to a server on the
    // far end of a pseudo-terminal pair, while the window goes on.
    void sentToTheCalculator() {
        for (const char* tool : {"socat", "kermit"})
            if (QStandardPaths::findExecutable(tool).isEmpty()) QSKIP("socat or kermit missing");
        const QString far = dir_.filePath("far"), near = dir_.filePath("near");
        QProcess wire, server;
        wire.start("socat", {"pty,raw,echo=0,link=" + far, "pty,raw,echo=0,link=" + near});
        QTRY_VERIFY(QFile::exists(far) && QFile::exists(near));
        QDir().mkpath(dir_.filePath("got"));
        server.setWorkingDirectory(dir_.filePath("got"));
        server.start("kermit", {"-Y", "-B", "-C",
                                "set line " + far +
                                    ", set carrier-watch off, set flow none, set file type "
                                    "binary, set file names literal, server"});
        auto form = makeWindow();
        QVERIFY(form->loadPicture(file("pic.bmp", Bitmap())));
        form->menuItem(MenuArray::Send, 6)->trigger(); // the 4-frame kind
        QVERIFY(form->sendDialog());
        form->sendDialog()->device->setCurrentText(near);
        form->sendDialog()->sendButton->click();
        QVERIFY(form->sending());
        QTRY_VERIFY_WITH_TIMEOUT(!form->sending(), 30000);
        QVERIFY2(messages_.isEmpty(), qPrintable(messages_.join('\n')));
        prompter_.answers = {dir_.filePath("pic.g16")};
        form->menuItem(MenuArray::Action, 7)->trigger();
        QCOMPARE(ReadAll(dir_.filePath("got/PIC")), ReadAll(dir_.filePath("pic.g16")));
        QVERIFY(ReadAll(dir_.filePath("veldar-convert.ini")).contains("device=" + near.toUtf8()));
        server.kill();
        wire.kill();
        server.waitForFinished();
        wire.waitForFinished();
    }

    void aboutDialogComesAndGoes() {
        auto form = makeWindow();
        form->show();
        form->menuItem(MenuArray::About, 4)->trigger();
        QPointer<AboutDialog> about = form->aboutDialog();
        QVERIFY(about);
        QTest::keyClick(about.data(), Qt::Key_Escape);
        QTRY_VERIFY(!about);
        form->menuItem(MenuArray::About, 4)->trigger();
        about = form->aboutDialog();
        // Enter on "System Info..." presses it: this system has no such tool.
        about->systemInfoButton->setFocus();
        QTest::keyClick(about->systemInfoButton, Qt::Key_Return);
        QCOMPARE(messages_, QStringList({"System Information Is Unavailable At This Time"}));
        // Closing the main window closes the dialog too.
        form->close();
        QTRY_VERIFY(!about);
    }
};

QTEST_MAIN(MainWindowTest)
#include "mainwindow_test.moc"
