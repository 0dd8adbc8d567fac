// The main window, driven as a user would, headless.
#include "busycursor.h"
#include "form1.h"
#include "frmabout.h"
#include "memory_registry.h"
#include "menutable.h"
#include "picture_makers.h"
#include "picturebox.h"
#include "settings.h"
#include "twips.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <cstring>
#include <deque>

namespace {

// Answers the file dialogs in the tests' place and remembers what it was shown.
class ScriptedPrompter final : public FilePrompter {
  public:
    std::deque<std::optional<QString>> answers;
    QStringList filters;
    QStringList startNames;

    std::optional<QString> askOpen(QWidget*, const QString& filter,
                                   const QString& current) override {
        return answer(filter, current);
    }
    std::optional<QString> askSave(QWidget*, const QString& filter,
                                   const QString& current) override {
        return answer(filter, current);
    }

  private:
    std::optional<QString> answer(const QString& filter, const QString& current) {
        filters << filter;
        startNames << current;
        if (answers.empty()) return std::nullopt;
        const bool chosen = answers.front().has_value();
        const QString value = answers.front().value_or(QString());
        answers.pop_front();
        if (!chosen) return std::nullopt;
        return value;
    }
};

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QMimeData* FileDrop(const QStringList& paths) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& p : paths)
        urls << QUrl::fromLocalFile(p);
    data->setUrls(urls);
    return data;
}

} // namespace

class Form1Test : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    ScriptedPrompter prompter_;

    std::unique_ptr<Form1> makeWindow(const QString& arguments = {}) {
        return std::make_unique<Form1>(
            Form1::Options{arguments, dir_.filePath("ORBEX.ini"), &prompter_});
    }
    QString picture(const QString& name, const QByteArray& bytes) {
        const QString path = dir_.filePath(name);
        WriteAll(path, bytes);
        return path;
    }

  private Q_SLOTS:
    void init() {
        prompter_ = ScriptedPrompter();
        QFile::remove(dir_.filePath("ORBEX.ini"));
        twips::SetDpi(96);
    }

    void menuTableAsShown() {
        auto form = makeWindow();
        QStringList titles;
        for (QAction* a : form->menuBar()->actions())
            titles << a->text();
        QCOMPARE(titles, QStringList({"File...", "Convert to...", "Settings...", "About"}));
        QCOMPARE(form->menuItem("about", 4), form->menuBar()->actions().at(3));
        QVERIFY(!form->menuItem("about", 4)->menu());
        for (const auto& item : menutable::Items()) {
            if (item.array == "main") continue;
            QAction* action = form->menuItem(item.array, item.index);
            QVERIFY2(action, qPrintable(item.caption));
            if (item.caption == "-")
                QVERIFY(action->isSeparator());
            else
                QCOMPARE(action->text(), item.caption);
            QVERIFY(action->isEnabled());
            QVERIFY(action->shortcut().isEmpty());
        }
        QCOMPARE(form->menuItem("action", 1)->text(),
                 QString("4-bit GROB       (VELDAR 16 shades)"));
        QCOMPARE(form->menuItem("action", 8)->text(),
                 QString("5-frames GROB  (PAGE-FLIPPING 32 shades)"));
        QVERIFY(!form->menuItem("settings", 1)->isChecked());
        QVERIFY(form->menuItem("settings", 2)->isChecked());
        QCOMPARE(form->windowTitle(), QString("VELDAR V2.4 Image converter"));
        QVERIFY(form->marker()->isHidden());
        QCOMPARE(form->frame()->title(), QString());
    }

    void layoutFollowsThePicture() {
        auto form = makeWindow();
        form->show();
        QVERIFY(form->LoadPicture(picture("a.bmp", makers::Encode(makers::Reference(), "bmp"))));
        // 48 x 32 pixels plus the border: 52 x 36 pixels = 780 x 540 twips.
        QCOMPARE(form->picture()->size(), QSize(52, 36));
        QCOMPARE(form->frame()->size(),
                 QSize(twips::ToPixels(780 + 240), twips::ToPixels(540 + 340)));
        QCOMPARE(form->marker()->x(), twips::ToPixels(780 + 240 - 375));
        QCOMPARE(form->picture()->pos(), QPoint(8, 16));
        // Centred in the outer width, and in the outer height less 600 twips.
        const int expectedLeft =
            twips::ToPixels(float(((form->frameGeometry().width() * 15) - 1020) / 2));
        QCOMPARE(form->frame()->x(), expectedLeft);
        form->resize(200, 150);
        QCOMPARE(form->frame()->x(),
                 twips::ToPixels(float((form->frameGeometry().width() * 15 - 1020) / 2)));
        form->resize(40, 40); // narrower than the frame: negative offsets, no error
        QVERIFY(form->frame()->x() < 0);
    }

    void loadingByEveryRoad() {
        auto form = makeWindow();
        form->show();
        const QString bmp = picture("one.bmp", makers::Encode(makers::Reference(), "bmp"));
        const QString gif = picture("two.gif", makers::Gif());
        const QString png = picture("three.png", makers::Encode(makers::Reference(), "png"));

        prompter_.answers = {bmp};
        form->file_Click(1);
        QCOMPARE(prompter_.filters.last(),
                 QString("Image Files (*.jpg *.gif *.bmp *.dib *.wmf *.emf *.ico *.cur)"));
        QCOMPARE(form->openDialog().Filter,
                 QString("Image Files|*.jpg;*.gif;*.bmp;*.dib;*.wmf;*.emf;*.ico;*.cur"));
        QCOMPARE(form->frame()->title(), bmp);
        QCOMPARE(form->picture()->innerSize(), QSize(48, 32));

        // Three files dropped on the picture box: only the first counts.
        std::unique_ptr<QMimeData> drop(FileDrop({gif, png, bmp}));
        form->Picture1_OLEDragDrop(drop.get());
        QCOMPARE(form->frame()->title(), gif);
        // A drop on the window itself does the same.
        std::unique_ptr<QMimeData> drop2(FileDrop({png}));
        form->Form_OLEDragDrop(drop2.get());
        QCOMPARE(form->frame()->title(), png);
        // The open dialog's own last name is not touched by drops.
        QCOMPARE(form->openDialog().FileName, bmp);
        prompter_.answers = {std::nullopt};
        form->file_Click(1);
        QCOMPARE(prompter_.startNames.last(), bmp);
        QCOMPARE(form->frame()->title(), png); // cancelled: nothing changes
    }

    void failedLoadsChangeNothing() {
        auto form = makeWindow();
        const QString good = picture("good.bmp", makers::Encode(makers::Reference(), "bmp"));
        QVERIFY(form->LoadPicture(good));
        form->marker()->show();
        const QImage before = form->picture()->shown();

        const QByteArray bmp = makers::Encode(makers::Reference(), "bmp");
        QByteArray bomb = bmp.left(54);
        qToLittleEndian<qint32>(60000, bomb.data() + 18);
        qToLittleEndian<qint32>(60000, bomb.data() + 22);
        const QStringList bad = {
            picture("text.jpg", "this is not a picture\n"),
            picture("empty.gif", ""),
            picture("cut.bmp", bmp.left(bmp.size() - 100)),
            picture("cut.jpg", makers::Encode(makers::Reference(), "jpeg").chopped(40)),
            picture("cut.gif", makers::Gif().left(200)),
            picture("cut.wmf", makers::Wmf().left(60)),
            picture("cut.emf", makers::Emf().left(100)),
            picture("bomb.bmp", bomb),
            dir_.path(),
            dir_.filePath("missing.bmp"),
        };
        for (const QString& path : bad) {
            QString error;
            QVERIFY2(!form->LoadPicture(path, &error), qPrintable(path));
            QVERIFY(!error.isEmpty());
        }
        // Text dragged from an editor carries no files.
        QMimeData text;
        text.setText("some words");
        form->Form_OLEDragDrop(&text);
        form->Picture1_OLEDragDrop(&text);
        std::unique_ptr<QMimeData> badDrop(FileDrop({bad[0]}));
        form->Picture1_OLEDragDrop(badDrop.get());

        QCOMPARE(form->frame()->title(), good);
        QVERIFY(form->marker()->isVisibleTo(form.get()));
        QCOMPARE(form->picture()->shown(), before);
    }

    void emptyPathEmptiesThePictureBox() {
        auto form = makeWindow();
        QVERIFY(form->LoadPicture(picture("p.bmp", makers::Encode(makers::Reference(), "bmp"))));
        form->marker()->show();
        QVERIFY(form->LoadPicture(QString()));
        QCOMPARE(form->frame()->title(), QString());
        QVERIFY(form->marker()->isHidden());
        QVERIFY(!form->picture()->hasPicture());
        // The empty area keeps its size and reads as the background.
        QCOMPARE(form->picture()->innerSize(), QSize(48, 32));
        QCOMPARE(form->picture()->raster().point(0, 0), 0xFFFFFF);
        QCOMPARE(form->picture()->raster().point(48, 0), -1);
    }

    void conversionThroughEveryIndex() {
        auto form = makeWindow();
        QVERIFY(form->LoadPicture(picture("c.bmp", makers::Encode(makers::Reference(), "bmp"))));
        const QString filters[] = {"",
                                   "GROB image (*.gro4)",
                                   "GROB image (*.gro2)",
                                   "GROB image (*.gro)",
                                   "",
                                   "GROB image (*.g04)",
                                   "GROB image (*.g08)",
                                   "GROB image (*.g16)",
                                   "GROB image (*.g32)"};
        const char* extensions[] = {"", "gro4", "gro2", "gro", "", "g04", "g08", "g16", "g32"};
        for (int index = 1; index <= 8; ++index) {
            if (index == 4) continue;
            form->LoadPicture(form->frame()->title()); // hides the marker
            const QString out = dir_.filePath(QString("out.") + extensions[index]);
            prompter_.answers = {out};
            form->action_Click(index);
            QCOMPARE(prompter_.filters.last(), filters[index]);
            QVERIFY(form->marker()->isVisibleTo(form.get()));
            QVERIFY(!QGuiApplication::overrideCursor());
            const auto kind = grob::KindForExtension(extensions[index]);
            const auto expected =
                grob::EncodeGrob(*kind, form->picture()->raster(), grob::Series::HP49);
            const QByteArray written = ReadAll(out);
            QCOMPARE(written, QByteArray(reinterpret_cast<const char*>(expected.data()),
                                         qsizetype(expected.size())));
        }
        QCOMPARE(form->saveDialog().Filter, QString("GROB image (*.g32)|*.g32"));
        // The next save dialog starts from the last name chosen.
        prompter_.answers = {std::nullopt};
        form->action_Click(1);
        QCOMPARE(prompter_.startNames.last(), dir_.filePath("out.g32"));
    }

    void separatorCancelAndFailureChangeNothing() {
        auto form = makeWindow();
        QVERIFY(form->LoadPicture(picture("s.bmp", makers::Encode(makers::Reference(), "bmp"))));
        const int asked = int(prompter_.filters.size());
        form->action_Click(4);
        form->action_Click(0);
        form->action_Click(9);
        QCOMPARE(int(prompter_.filters.size()), asked); // no dialog at all
        QVERIFY(form->marker()->isHidden());

        prompter_.answers = {std::nullopt}; // cancel
        form->action_Click(3);
        QVERIFY(form->marker()->isHidden());
        QVERIFY(!QGuiApplication::overrideCursor());

        prompter_.answers = {dir_.filePath("no/such/folder/x.gro")}; // cannot be written
        form->action_Click(3);
        QVERIFY(form->marker()->isHidden());
        QVERIFY(!QGuiApplication::overrideCursor());

        // After a success the marker stays through a later failure.
        prompter_.answers = {dir_.filePath("ok.gro"), dir_.filePath("no/such/x.gro")};
        form->action_Click(3);
        form->action_Click(3);
        QVERIFY(form->marker()->isVisibleTo(form.get()));
        // A name typed without an extension is used as typed.
        prompter_.answers = {dir_.filePath("pic")};
        form->action_Click(2);
        QVERIFY(QFile::exists(dir_.filePath("pic")));
    }

    void withoutAPictureTheEmptyAreaIsConverted() {
        auto form = makeWindow();
        const QString out = dir_.filePath("empty.gro");
        prompter_.answers = {out};
        form->action_Click(3);
        const QByteArray file = ReadAll(out);
        QVERIFY(file.startsWith("HPHP49-X"));
        const QSize inner = form->picture()->innerSize();
        QCOMPARE(inner, QSize(289 - 4, 217 - 4));
        QCOMPARE(file.size(), 18 + ((inner.width() + 7) / 8) * inner.height());
    }

    void seriesSwitchesTheHeader() {
        auto form = makeWindow();
        form->settings_Click(1);
        QVERIFY(form->menuItem("settings", 1)->isChecked());
        QVERIFY(!form->menuItem("settings", 2)->isChecked());
        form->menuItem("settings", 1)->trigger(); // choosing the checked item keeps it
        QVERIFY(form->menuItem("settings", 1)->isChecked());
        QCOMPARE(form->series(), grob::Series::HP48);
        prompter_.answers = {dir_.filePath("48.gro")};
        form->action_Click(3);
        QVERIFY(ReadAll(dir_.filePath("48.gro")).startsWith("HPHP48-X"));
        form->menuItem("settings", 2)->trigger();
        QCOMPARE(form->series(), grob::Series::HP49);
        QVERIFY(!form->menuItem("settings", 1)->isChecked());
    }

    void settingsFileRoundTrip() {
        {
            auto form = makeWindow();
            form->settings_Click(1);
            form->show();
            form->setTwipsGeometry(1500, 1200, 9000, 7500);
            form->close();
        }
        const QByteArray saved = ReadAll(dir_.filePath("ORBEX.ini"));
        QVERIFY(saved.endsWith("[Default header]\r\n#TRUE#\r\n"));
        const auto values = settings::Parse(saved);
        QVERIFY(values);
        QCOMPARE(values->left, 1500.0f);
        QCOMPARE(values->width, 9000.0f);
        auto again = makeWindow();
        QVERIFY(again->menuItem("settings", 1)->isChecked());
        QCOMPARE(again->series(), grob::Series::HP48);
        QCOMPARE(again->twipsLeft(), 1500.0f);
        QCOMPARE(again->twipsTop(), 1200.0f);
        QCOMPARE(again->twipsWidth(), 9000.0f);
    }

    void settingsFallbacks() {
        const QScreen* screen = QGuiApplication::primaryScreen();
        const float screenW = float(screen->geometry().width() * 15);
        // No file, or a file with only four lines, or a bad flag: two thirds,
        // centred, and HP 49.
        for (const QByteArray& contents :
             {QByteArray(), QByteArray("[a]\r\n300,300\r\n[b]\r\n3000,3000\r\n"),
              QByteArray("[a]\r\n300,300\r\n[b]\r\n3000,3000\r\n[c]\r\nabc\r\n")}) {
            if (contents.isNull())
                QFile::remove(dir_.filePath("ORBEX.ini"));
            else
                WriteAll(dir_.filePath("ORBEX.ini"), contents);
            auto form = makeWindow();
            QVERIFY(form->menuItem("settings", 2)->isChecked());
            QVERIFY(qAbs(form->twipsWidth() - 2 * screenW / 3) <= 15);
            QVERIFY(qAbs(form->twipsLeft() - (screenW - form->twipsWidth()) / 2) <= 15);
        }
        // A window saved partly off the screen comes back there.
        WriteAll(dir_.filePath("ORBEX.ini"),
                 "[a]\r\n-1500,-750\r\n[b]\r\n6000,4500\r\n[c]\r\n0\r\n");
        auto form = makeWindow();
        QCOMPARE(form->twipsLeft(), -1500.0f);
        QCOMPARE(form->twipsTop(), -750.0f);
        QVERIFY(form->menuItem("settings", 2)->isChecked());
    }

    void commandLineOpensAndConverts() {
        const QString bmp = picture("cl.bmp", makers::Encode(makers::Reference(), "bmp"));
        {
            auto form = makeWindow(QString("\"%1\" -g16").arg(bmp));
            form->Form_Activate();
            QCOMPARE(form->frame()->title(), bmp);
            QVERIFY(QFile::exists(dir_.filePath("cl.g16")));
            QCOMPARE(form->exitCode(), 0);
            QVERIFY(QFile::exists(dir_.filePath("ORBEX.ini"))); // closed and saved
        }
        {
            // No option: shown, and shown again on each activation.
            auto form = makeWindow(QString("\"%1\"").arg(bmp));
            form->Form_Activate();
            const QString other = picture("other.gif", makers::Gif());
            QVERIFY(form->LoadPicture(other));
            form->Form_Activate();
            QCOMPARE(form->frame()->title(), bmp);
            // An unknown option converts nothing.
            auto unknown = makeWindow(QString("\"%1\" -G16").arg(bmp));
            unknown->Form_Activate();
            QVERIFY(!QFile::exists(dir_.filePath("cl.G16")));
            QCOMPARE(unknown->frame()->title(), bmp);
        }
    }

    void aboutDialog() {
        auto form = makeWindow();
        form->show();
        form->setTwipsGeometry(1500, 900, std::nullopt, std::nullopt);
        form->about_Click(4);
        QPointer<frmAbout> about = form->aboutDialog();
        QVERIFY(about);
        QCOMPARE(about->windowTitle(), QString("About VELDAR Image converter"));
        QCOMPARE(about->pos(), QPoint(twips::ToPixels(3500), twips::ToPixels(1900)));
        QCOMPARE(about->size(), QSize(twips::ToPixels(5730), twips::ToPixels(3720)));
        QVERIFY(about->windowFlags() & Qt::Tool);
        QVERIFY(!about->parentWidget());
        QVERIFY(!about->isModal());
        QVERIFY(about->description->text().startsWith(
            "VELDAR  -  GrayScale system for HP 49G+\n-enables"));
        QCOMPARE(about->description->text().count('\n'), 10);
        QVERIFY(!about->description->text().endsWith('\n'));
        QCOMPARE(about->author->text().count('\n'), 2);
        QCOMPARE(about->cmdOK->text(), QString("OK"));
        QVERIFY(about->cmdOK->isDefault());
        QCOMPARE(about->cmdSysInfo->text(), QString("&System Info..."));
        QCOMPARE(about->cmdOK->geometry(), QRect(twips::ToPixels(4485), twips::ToPixels(2985),
                                                 twips::ToPixels(1140), twips::ToPixels(345)));
        QCOMPARE(about->findChild<QLabel*>("Image2")->pixmap().size(), QSize(65, 103));

        // A second "About" brings the same dialog forward, where it was.
        form->move(form->pos() + QPoint(100, 100));
        form->about_Click(4);
        QCOMPARE(form->aboutDialog(), about.data());
        QCOMPARE(about->pos(), QPoint(twips::ToPixels(3500), twips::ToPixels(1900)));

        // Esc closes it as OK does.
        QTest::keyClick(about.data(), Qt::Key_Escape);
        QTRY_VERIFY(!about);
        form->about_Click(4);
        about = form->aboutDialog();
        QTest::keyClick(about.data(), Qt::Key_Return);
        QTRY_VERIFY(!about);

        // Closing the main window closes the dialog too.
        form->about_Click(4);
        about = form->aboutDialog();
        form->close();
        QTRY_VERIFY(!about);
    }

    void returningFromAboutRunsTheCommandLineAgain() {
        const QString bmp = picture("again.bmp", makers::Encode(makers::Reference(), "bmp"));
        auto form = makeWindow(bmp);
        form->show();
        QTRY_COMPARE(form->frame()->title(), bmp); // the first activation
        QVERIFY(form->LoadPicture(picture("else.gif", makers::Gif())));
        form->about_Click(4);
        form->aboutDialog()->cmdOK_Click();
        QTRY_COMPARE(form->frame()->title(), bmp);
    }

    void systemInfoFromTheRegistry() {
        AboutServices& services = AboutServices::current();
        const AboutServices saved = services;
        testing_util::MemoryRegistry reg;
        QStringList messages, started, looked;
        bool startWorks = true;
        services.registry = &reg;
        services.message = [&](QWidget*, const QString&, const QString& text) { messages << text; };
        services.startProgram = [&](const QString& p) {
            started << p;
            return startWorks;
        };
        services.isOrdinaryFile = [&](const QString& p) {
            looked << p;
            return p == "/tools/MSINFO32.EXE";
        };
        auto text = [](const char* s) {
            std::vector<std::uint8_t> bytes(s, s + std::strlen(s));
            bytes.push_back(0);
            return std::pair{registry::kTypeText, bytes};
        };
        const std::string first = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
        const std::string second = "SOFTWARE\\Microsoft\\Shared Tools Location";
        frmAbout about(0, 0);

        // The first value is started as read, without looking for the file.
        reg.keys[first]["PATH"] = text("/first/msinfo");
        about.StartSysInfo();
        QCOMPARE(started, QStringList({"/first/msinfo"}));
        QVERIFY(looked.isEmpty() && messages.isEmpty());
        // It names nothing that starts: the message, and the second key is not asked.
        reg.keys[second]["MSINFO"] = text("/tools");
        startWorks = false;
        about.StartSysInfo();
        QCOMPARE(messages.size(), 1);
        QVERIFY(looked.isEmpty());
        // Without the first value, the second key's folder is looked in.
        startWorks = true;
        reg.keys.erase(first);
        started.clear();
        about.StartSysInfo();
        QCOMPARE(started, QStringList({"/tools/MSINFO32.EXE"}));
        // A folder without the tool, and one given with a trailing separator.
        reg.keys[second]["MSINFO"] = text("/elsewhere/");
        about.StartSysInfo();
        QCOMPARE(looked.last(), QString("/elsewhere//MSINFO32.EXE"));
        QCOMPARE(started.size(), 1);
        QCOMPARE(messages.size(), 2);
        // A first value of another type counts as found but gives no path.
        reg.keys[first]["PATH"] = {registry::kTypeExpand, {'x', 0}};
        about.StartSysInfo();
        QCOMPARE(started.size(), 1);
        QCOMPARE(messages.size(), 3);
        QCOMPARE(messages.last(), QString("System Information Is Unavailable At This Time"));
        QCOMPARE(reg.openKeys, 0);
        services = saved;
    }

    void enterOnSystemInfoPressesIt() {
        AboutServices& services = AboutServices::current();
        const AboutServices saved = services;
        int shown = 0;
        services.message = [&](QWidget*, const QString&, const QString&) { ++shown; };
        auto form = makeWindow();
        form->show();
        form->about_Click(4);
        QPointer<frmAbout> about = form->aboutDialog();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(about->cmdOK));
        about->cmdSysInfo->setFocus();
        QTest::keyClick(about->cmdSysInfo, Qt::Key_Return);
        QCOMPARE(shown, 1);
        QVERIFY(about);
        QCOMPARE(about->cmdSysInfo->shortcut(),
                 QKeySequence(Qt::ALT | Qt::Key_S)); // the access key
        services = saved;
    }

    void systemInfoUnavailable() {
        AboutServices& services = AboutServices::current();
        const AboutServices saved = services;
        QStringList messages, started;
        services.message = [&](QWidget*, const QString& title, const QString& text) {
            messages << title + "|" + text;
        };
        services.startProgram = [&](const QString& p) {
            started << p;
            return false;
        };
        frmAbout about(0, 0);
        QCOMPARE(about.pos(), QPoint(twips::ToPixels(2000), twips::ToPixels(1000)));
        about.cmdSysInfo_Click();
        QCOMPARE(
            messages,
            QStringList({"VELDAR Image converter|System Information Is Unavailable At This Time"}));
        QVERIFY(started.isEmpty()); // this system's registry finds nothing
        services = saved;
    }
};

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
