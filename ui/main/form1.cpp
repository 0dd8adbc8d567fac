#include "form1.h"

#include "../about/frmabout.h"
#include "busycursor.h"
#include "cmdline.h"
#include "layout.h"
#include "picturebox.h"
#include "pictureloader.h"
#include "settings.h"
#include "twips.h"

#include "menutable.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QTimer>

#include <cstdio>

namespace {

constexpr float kDesignedClientWidth = 5010, kDesignedClientHeight = 4620;
constexpr float kFrameLeft = 0, kFrameTop = 0, kFrameWidth = 4575, kFrameHeight = 3615;
constexpr float kPictureLeft = 120, kPictureTop = 240, kPictureWidth = 4335, kPictureHeight = 3255;
constexpr float kLabelLeft = 4200, kLabelTop = 0, kLabelSize = 255;

QString SaveFilter(int index) {
    switch (index) {
    case 1:
        return QStringLiteral("GROB image (*.gro4)|*.gro4");
    case 2:
        return QStringLiteral("GROB image (*.gro2)|*.gro2");
    case 3:
        return QStringLiteral("GROB image (*.gro)|*.gro");
    default: {
        const QString digits = QString::number(1 << (index - 3)).rightJustified(2, u'0');
        return QStringLiteral("GROB image (*.g") + digits + QStringLiteral(")|*.g") + digits;
    }
    }
}

} // namespace

static void InitResources() {
    Q_INIT_RESOURCE(resources);
}

Form1::Form1(Options options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)),
      ownPrompter_(options_.prompter ? nullptr : std::make_unique<QtFilePrompter>()),
      CMD(options_.prompter ? options_.prompter : ownPrompter_.get()),
      CMD2(options_.prompter ? options_.prompter : ownPrompter_.get()) {
    InitResources();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        twips::SetDpi(screen->logicalDotsPerInch());
    setWindowTitle(QStringLiteral("VELDAR V2.4 Image converter"));
    setWindowIcon(QIcon(QStringLiteral(":/veldar/icon.ico")));
    setAcceptDrops(true);

    auto* client = new QWidget(this);
    setCentralWidget(client);

    Frame1 = new QGroupBox(client);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    // A classic frame: the title sits on the border line, above the picture.
    Frame1->setStyleSheet(QStringLiteral(
        "QGroupBox#Frame1 { border: 1px solid palette(mid); border-radius: 2px; margin-top: 7px; }"
        "QGroupBox#Frame1::title { subcontrol-origin: margin; left: 6px; padding: 0 3px; }"));
    Frame1->setGeometry(twips::ToPixels(kFrameLeft), twips::ToPixels(kFrameTop),
                        twips::ToPixels(kFrameWidth), twips::ToPixels(kFrameHeight));

    Picture1 = new PictureBox(Frame1);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setGeometry(twips::ToPixels(kPictureLeft), twips::ToPixels(kPictureTop),
                          twips::ToPixels(kPictureWidth), twips::ToPixels(kPictureHeight));
    Picture1->clearPicture();

    // The marker: a check mark in the frame's top-right corner.
    Label1 = new QLabel(QStringLiteral("\u2714"), Frame1);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont markerFont = Label1->font();
    markerFont.setPointSize(12);
    markerFont.setWeight(QFont::Medium);
    Label1->setFont(markerFont);
    Label1->setAlignment(Qt::AlignCenter);
    QPalette markerPalette = Label1->palette();
    markerPalette.setColor(QPalette::WindowText, QColor(0x20, 0x80, 0x30));
    Label1->setPalette(markerPalette);
    Label1->setGeometry(twips::ToPixels(kLabelLeft), twips::ToPixels(kLabelTop),
                        twips::ToPixels(kLabelSize), twips::ToPixels(kLabelSize));
    Label1->hide();

    buildMenus();

    resize(twips::ToPixels(kDesignedClientWidth),
           twips::ToPixels(kDesignedClientHeight) + menuBar()->sizeHint().height());

    connect(Picture1, &PictureBox::resized, this, &Form1::Picture1_Resize);
    connect(Picture1, &PictureBox::filesDropped, this, &Form1::LoadFirstDropped);
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &Form1::onFocusWindowChanged);

    Form_Load();
}

Form1::~Form1() = default;

void Form1::buildMenus() {
    QMap<QString, QMenu*> titles;
    for (const menutable::Item& item : menutable::Items()) {
        if (item.array == QLatin1String("main")) {
            titles[item.caption] = menuBar()->addMenu(item.caption);
            continue;
        }
        QAction* action = nullptr;
        if (item.parent.isEmpty()) {
            action = menuBar()->addAction(item.caption);
        } else if (item.caption == QLatin1String("-")) {
            action = titles[item.parent]->addSeparator();
        } else {
            action = titles[item.parent]->addAction(item.caption);
        }
        if (item.array == QLatin1String("settings")) {
            action->setCheckable(true);
            action->setChecked(item.checked);
        }
        const QString array = item.array;
        const int index = item.index;
        connect(action, &QAction::triggered, this, [this, array, index] {
            if (array == QLatin1String("file"))
                file_Click(index);
            else if (array == QLatin1String("action"))
                action_Click(index);
            else if (array == QLatin1String("settings"))
                settings_Click(index);
            else if (array == QLatin1String("about"))
                about_Click(index);
        });
        menus_[item.array][item.index] = action;
    }
}

QAction* Form1::menuItem(const QString& array, int index) const {
    return menus_.value(array).value(index, nullptr);
}

// ---- geometry in twips -------------------------------------------------

QSize Form1::frameMargins() const {
    return frameGeometry().size() - size();
}

float Form1::twipsLeft() const {
    return float(twips::FromPixels(frameGeometry().x()));
}
float Form1::twipsTop() const {
    return float(twips::FromPixels(frameGeometry().y()));
}
float Form1::twipsWidth() const {
    return float(twips::FromPixels(frameGeometry().width()));
}
float Form1::twipsHeight() const {
    return float(twips::FromPixels(frameGeometry().height()));
}

void Form1::setTwipsGeometry(std::optional<float> left, std::optional<float> top,
                             std::optional<float> width, std::optional<float> height) {
    if (left || top)
        move(left ? twips::ToPixels(*left) : frameGeometry().x(),
             top ? twips::ToPixels(*top) : frameGeometry().y());
    if (width || height) {
        const QSize margins = frameMargins();
        resize(width ? std::max(1, twips::ToPixels(*width) - margins.width()) : size().width(),
               height ? std::max(1, twips::ToPixels(*height) - margins.height()) : size().height());
    }
}

// ---- layout ------------------------------------------------------------

void Form1::Picture1_Resize() {
    const auto fit = layout::FitFrame(float(twips::FromPixels(Picture1->width())),
                                      float(twips::FromPixels(Picture1->height())));
    frameTwipsWidth_ = fit.frameWidth;
    frameTwipsHeight_ = fit.frameHeight;
    Frame1->resize(twips::ToPixels(fit.frameWidth), twips::ToPixels(fit.frameHeight));
    Label1->move(twips::ToPixels(fit.labelLeft), Label1->y());
    Form_Resize();
}

void Form1::Form_Resize() {
    const auto position =
        layout::CentreFrame(twipsWidth(), twipsHeight(), frameTwipsWidth_, frameTwipsHeight_);
    Frame1->move(twips::ToPixels(float(position.left)), twips::ToPixels(float(position.top)));
}

void Form1::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

// ---- life of the window ------------------------------------------------

void Form1::Form_Load() {
    loadposition();
}

void Form1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    Form_Resize();
    if (!shownOnce_) {
        shownOnce_ = true;
        // The first showing activates the window; act on the command line
        // once the window is on the screen.
        QTimer::singleShot(0, this, &Form1::Form_Activate);
    }
}

void Form1::onFocusWindowChanged(QWindow* window) {
    // Coming back from the About window counts as an activation; coming back
    // from another program or from a file dialog does not.
    const QWindow* previous = lastFocusWindow_;
    lastFocusWindow_ = window;
    if (!window || window != windowHandle() || closing_) return;
    if (about_ && about_->isVisible() && previous && previous == about_->windowHandle())
        Form_Activate();
}

void Form1::aboutClosed() {
    if (!closing_ && isVisible()) Form_Activate();
}

void Form1::commandLineFailure(const QString& file, const QString& cause) {
    std::fprintf(stderr, "veldar-convert: %s: %s\n", qPrintable(file), qPrintable(cause));
    std::fflush(stderr);
    exitCode_ = 1;
    close();
}

void Form1::Form_Activate() {
    if (closing_ || options_.argumentText.isEmpty()) return;
    const cmdline::CommandLine line = cmdline::Parse(options_.argumentText);
    QString error;
    if (!LoadPicture(line.fileName, &error)) {
        commandLineFailure(line.fileName, error);
        return;
    }
    if (line.option.isEmpty()) return;
    const auto kind = cmdline::KindForOption(line.option);
    if (!kind) return;
    const QString output = cmdline::OutputName(line.fileName, QString::fromLatin1(kind->extension));
    try {
        BusyCursor busy;
        grob::ConvertAndSave(*kind, Picture1->raster(), series(), output.toStdString());
    } catch (const grob::GrobError& e) {
        commandLineFailure(output,
                           QString::fromStdString(e.what()).section(QStringLiteral(": "), -1));
        return;
    }
    close();
}

void Form1::closeEvent(QCloseEvent* event) {
    // Form_Unload: save the settings, close the About window; never refused.
    closing_ = true;
    saveposition();
    if (about_) about_->close();
    event->accept();
}

// ---- picture loading ---------------------------------------------------

bool Form1::LoadPicture(const QString& path, QString* error) {
    if (path.isEmpty()) {
        Picture1->clearPicture();
    } else {
        const pictureloader::Result result = pictureloader::Load(path);
        if (!result.ok()) {
            if (error) *error = result.error;
            return false;
        }
        Picture1->setPicture(result.image);
    }
    Frame1->setTitle(path);
    Label1->hide();
    return true;
}

void Form1::file_Click(int index) {
    if (index == 1) {
        CMD.Filter = QStringLiteral("Image Files|*.jpg;*.gif;*.bmp;*.dib;*.wmf;*.emf;*.ico;*.cur");
        if (!CMD.ShowOpen(this)) return;
        LoadPicture(CMD.FileName);
    } else if (index == 2) {
        close();
    }
}

void Form1::LoadFirstDropped(const QStringList& files) {
    if (files.isEmpty()) return;
    const QString& first = files.first();
    if (first.isEmpty() || first == QLatin1String(" ")) return;
    LoadPicture(first);
}

void Form1::Form_OLEDragDrop(const QMimeData* dropped) {
    LoadFirstDropped(DroppedFiles(dropped));
}
void Form1::Picture1_OLEDragDrop(const QMimeData* dropped) {
    LoadFirstDropped(DroppedFiles(dropped));
}

void Form1::dragEnterEvent(QDragEnterEvent* event) {
    AcceptFileDrop(event);
}

void Form1::dragMoveEvent(QDragMoveEvent* event) {
    AcceptFileDrop(event);
}

void Form1::dropEvent(QDropEvent* event) {
    if (!AcceptFileDrop(event).isEmpty()) Form_OLEDragDrop(event->mimeData());
}

// ---- conversion --------------------------------------------------------

void Form1::action_Click(int index) {
    if (index < 1 || index > 8 || index == 4) return;
    CMD2.Filter = SaveFilter(index);
    if (!CMD2.ShowSave(this)) return; // cancelled: nothing converted, nothing changed
    try {
        BusyCursor busy;
        const std::string path = CMD2.FileName.toStdString();
        const grob::PictureRaster& picture = Picture1->raster();
        switch (index) {
        case 1:
            grob::ConvertAndSave4(picture, series(), path);
            break;
        case 2:
            grob::ConvertAndSave2(picture, series(), path);
            break;
        case 3:
            grob::ConvertAndSave1(picture, series(), path);
            break;
        default:
            grob::ConvertAndSavePF(picture, series(), index - 3, path);
            break;
        }
    } catch (const grob::GrobError&) {
        return; // quietly: the marker keeps its state
    }
    Label1->show();
}

// ---- series and settings file ------------------------------------------

void Form1::settings_Click(int index) {
    menuItem(QStringLiteral("settings"), 1)->setChecked(index == 1);
    menuItem(QStringLiteral("settings"), 2)->setChecked(index != 1);
}

grob::Series Form1::series() const {
    return menuItem(QStringLiteral("settings"), 2)->isChecked() ? grob::Series::HP49
                                                                : grob::Series::HP48;
}

void Form1::loadposition() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize screenPx = screen ? screen->geometry().size() : QSize(1024, 768);
    const float screenW = float(twips::FromPixels(screenPx.width()));
    const float screenH = float(twips::FromPixels(screenPx.height()));
    if (const auto values = settings::Load(options_.settingsPath)) {
        setTwipsGeometry(values->left, values->top, std::nullopt, std::nullopt);
        setTwipsGeometry(std::nullopt, std::nullopt, values->width, values->height);
        settings_Click(values->hp48 ? 1 : 2);
        requested_ =
            Requested{values->left, values->top, values->width, values->height, pos(), size()};
        return;
    }
    const auto fallback = settings::FallbackSize(screenW, screenH);
    setTwipsGeometry(std::nullopt, std::nullopt, fallback.width, fallback.height);
    const float width = twipsWidth(), height = twipsHeight();
    const auto position = settings::CentredPosition(screenW, screenH, {width, height});
    setTwipsGeometry(position.left, position.top, std::nullopt, std::nullopt);
    requested_ = Requested{position.left, position.top, width, height, pos(), size()};
}

void Form1::saveposition() {
    settings::WindowSettings values{twipsLeft(), twipsTop(), twipsWidth(), twipsHeight(),
                                    menuItem(QStringLiteral("settings"), 1)->isChecked()};
    if (requested_ && pos() == requested_->pos) {
        values.left = requested_->left;
        values.top = requested_->top;
    }
    if (requested_ && size() == requested_->size) {
        values.width = requested_->width;
        values.height = requested_->height;
    }
    const QString error = settings::Save(options_.settingsPath, values);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "veldar-convert: cannot write the settings file %s: %s\n",
                     qPrintable(options_.settingsPath), qPrintable(error));
        std::fflush(stderr);
    }
}

// ---- About -------------------------------------------------------------

void Form1::about_Click(int /*index*/) {
    if (about_) {
        about_->raise();
        about_->activateWindow();
        return;
    }
    // Modeless and without an owner window; this window closes it on its way out.
    about_ = new frmAbout(twipsLeft(), twipsTop());
    connect(about_, &QDialog::finished, this, &Form1::aboutClosed);
    about_->show();
    about_->raise();
    about_->activateWindow();
}

frmAbout* Form1::aboutDialog() const {
    return about_.data();
}
