#include "form1.h"

#include "../about/frmabout.h"
#include "busycursor.h"
#include "cmdline.h"
#include "grob/reader.h"
#include "layout.h"
#include "picturebox.h"
#include "pictureloader.h"
#include "preview.h"
#include "previewwindow.h"
#include "settings.h"
#include "twips.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QTimer>

#include <cstdio>

namespace {

constexpr float kDesignedClientWidth = 5010, kDesignedClientHeight = 4620;
constexpr float kFrameLeft = 0, kFrameTop = 0, kFrameWidth = 4575, kFrameHeight = 3615;
constexpr float kPictureLeft = 120, kPictureTop = 240, kPictureWidth = 4335, kPictureHeight = 3255;
constexpr float kLabelLeft = 4200, kLabelTop = 0, kLabelSize = 255;

const QString kProgramTitle = QStringLiteral("VELDAR Image converter");

// The open dialog's filters: the classic list first, then everything the
// loader reads, then every file.
QString OpenFilter() {
    QStringList patterns;
    for (const QByteArray& format : QImageReader::supportedImageFormats())
        patterns << QStringLiteral("*.") + QString::fromLatin1(format);
    for (const char* extra : {"*.dib", "*.wmf", "*.emf", "*.jpg", "*.ico", "*.cur"})
        patterns << QString::fromLatin1(extra);
    patterns.removeDuplicates();
    patterns.sort();
    QStringList grobs;
    for (const grob::OutputKind& kind : grob::OutputKinds())
        grobs << QStringLiteral("*.") +
                     QString::fromLatin1(kind.extension.data(), qsizetype(kind.extension.size()));
    return QStringLiteral("Image Files|*.jpg;*.gif;*.bmp;*.dib;*.wmf;*.emf;*.ico;*.cur") +
           QStringLiteral("|GROB files|") + grobs.join(u';') + QStringLiteral("|All pictures|") +
           (patterns + grobs).join(u';') + QStringLiteral("|All files|*");
}

void MessageBox(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox::warning(parent, title, text, QMessageBox::Ok);
}

} // namespace

Form1::Form1(Options options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)),
      ownPrompter_(options_.prompter ? nullptr : std::make_unique<QtFilePrompter>()),
      CMD(options_.prompter ? options_.prompter : ownPrompter_.get()),
      CMD2(options_.prompter ? options_.prompter : ownPrompter_.get()) {
    if (!options_.messenger) options_.messenger = MessageBox;
    if (options_.preferencesPath.isEmpty())
        options_.preferencesPath = Preferences::PathBeside(options_.settingsPath);
    preferences_ = Preferences::Load(options_.preferencesPath);
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
        if (item.array == MenuArray::Main) {
            titles[item.caption] = item.parent.isEmpty()
                                       ? menuBar()->addMenu(item.caption)
                                       : titles[item.parent]->addMenu(item.caption);
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
        if (item.array == MenuArray::Settings) {
            action->setCheckable(true);
            action->setChecked(item.checked);
        }
        const MenuArray array = item.array;
        const int index = item.index;
        connect(action, &QAction::triggered, this, [this, array, index] {
            switch (array) {
            case MenuArray::File:
                file_Click(index);
                break;
            case MenuArray::Action:
                action_Click(index);
                break;
            case MenuArray::Settings:
                settings_Click(index);
                break;
            case MenuArray::About:
                about_Click(index);
                break;
            case MenuArray::Clipboard:
                clipboard_Click(index);
                break;
            case MenuArray::Preview:
                preview_Click(index);
                break;
            case MenuArray::Main:
                break;
            }
        });
        menus_[item.array][item.index] = action;
    }
}

QAction* Form1::menuItem(MenuArray array, int index) const {
    return menus_.value(array).value(index, nullptr);
}

// ---- geometry in twips -------------------------------------------------

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
        outerSize_ = QSize(width ? twips::ToPixels(*width) : frameGeometry().width(),
                           height ? twips::ToPixels(*height) : frameGeometry().height());
        applyOuterSize();
    }
}

// The inner size that gives the outer size asked for, with the frame the
// window system has drawn around the window so far.
void Form1::applyOuterSize() {
    if (!outerSize_) return;
    const QSize margins = frameGeometry().size() - size();
    resize(std::max(1, outerSize_->width() - margins.width()),
           std::max(1, outerSize_->height() - margins.height()));
}

// ---- layout ------------------------------------------------------------

void Form1::Picture1_Resize() {
    const auto fit = layout::FitFrame(float(twips::FromPixels(Picture1->width())),
                                      float(twips::FromPixels(Picture1->height())));
    frameTwipsWidth_ = fit.frameWidth;
    frameTwipsHeight_ = fit.frameHeight;
    labelTwipsLeft_ = fit.labelLeft;
    Frame1->resize(twips::ToPixels(fit.frameWidth), twips::ToPixels(fit.frameHeight));
    Form_Resize();
}

void Form1::Form_Resize() {
    const auto position =
        layout::CentreFrame(twipsWidth(), twipsHeight(), frameTwipsWidth_, frameTwipsHeight_);
    Frame1->move(twips::ToPixels(float(position.left)), twips::ToPixels(float(position.top)));
    placeMarker();
}

// The marker sits in the frame's top-right corner, but never outside the
// window: a frame wider than the window would carry it out of sight.
void Form1::placeMarker() {
    // The client area spans the window's inner width, below the menu bar.
    const int clientWidth = width();
    const int clientHeight = height() - menuBar()->height();
    const int x =
        std::min(twips::ToPixels(labelTwipsLeft_), clientWidth - Frame1->x() - Label1->width());
    const int y =
        std::min(twips::ToPixels(kLabelTop), clientHeight - Frame1->y() - Label1->height());
    Label1->move(std::max(x, -Frame1->x()), std::max(y, -Frame1->y()));
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
        QTimer::singleShot(0, this, [this] { firstActivation(1000); }); // a second at most
    }
}

// The first activation comes once the window is on the screen with its
// frame, which the window system may add a little after the window is
// shown; then the outer size is made what was asked for.
void Form1::firstActivation(int triesLeft) {
    if (closing_) return;
    if (triesLeft > 0 && windowHandle() && !windowHandle()->isExposed()) {
        QTimer::singleShot(1, this, [this, triesLeft] { firstActivation(triesLeft - 1); });
        return;
    }
    applyOuterSize();
    // The preview comes back if it was open at the end of the last run (a
    // batch run shows none: it never prepares).
    const bool batch =
        cmdline::KindForOption(cmdline::Parse(options_.argumentText).option).has_value();
    if (preferences_.previewShown && !batch) preview_Click(2);
    Form_Activate();
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

void Form1::batchFailure(const QString& file, const QString& cause) {
    std::FILE* out = options_.errors ? options_.errors : stderr;
    std::fprintf(out, "veldar-convert: %s: %s\n", qPrintable(file), qPrintable(cause));
    std::fflush(out);
    exitCode_ = 1;
    close();
}

void Form1::showFailure(const QString& text) {
    options_.messenger(this, kProgramTitle, text);
}

void Form1::Form_Activate() {
    if (closing_ || options_.argumentText.isEmpty()) return;
    const bool first = !activatedOnce_;
    activatedOnce_ = true;
    const cmdline::CommandLine line = cmdline::Parse(options_.argumentText);
    const auto kind = cmdline::KindForOption(line.option);
    if (!kind) {
        // Interactive use: the picture is shown. Only the first activation
        // says when it cannot be; a later one leaves everything as it is.
        QString error;
        if (!LoadPicture(line.fileName, &error) && first)
            showFailure(QStringLiteral("Cannot open \"%1\":\n%2.").arg(line.fileName, error));
        return;
    }
    if (!first) return; // a batch run ends at its first activation
    QString error;
    if (line.fileName.isEmpty())
        return batchFailure(line.fileName, QStringLiteral("no file name given"));
    if (!LoadPicture(line.fileName, &error)) return batchFailure(line.fileName, error);
    const QString output = cmdline::OutputName(line.fileName, QString::fromLatin1(kind->extension));
    const QFileInfo in(line.fileName), out(output);
    if (out.exists() && in.canonicalFilePath() == out.canonicalFilePath())
        return batchFailure(output, QStringLiteral("it is the picture itself; it is not replaced"));
    try {
        BusyCursor busy;
        grob::ConvertAndSave(*kind, Picture1->view(), series(),
                             QFile::encodeName(output).toStdString());
    } catch (const grob::GrobError& e) {
        return batchFailure(output, QString::fromLocal8Bit(e.cause().c_str()));
    }
    close();
}

void Form1::closeEvent(QCloseEvent* event) {
    // Form_Unload: save the settings, close the About window; never refused.
    closing_ = true;
    saveposition();
    if (about_) about_->close();
    if (preview_) {
        preferences_.previewShown = preview_->isVisible();
        savePreferences();
        preview_->close();
    }
    event->accept();
}

// ---- picture loading ---------------------------------------------------

bool Form1::LoadPicture(const QString& path, QString* error) {
    if (path.isEmpty()) {
        Picture1->clearPicture();
    } else {
        BusyCursor busy; // a large picture or a metafile can take a moment
        loading::Picture result = pictureloader::Load(path);
        if (!result.ok()) {
            if (error) *error = result.error;
            return false;
        }
        Picture1->setPicture(std::move(result.image));
    }
    Frame1->setTitle(path);
    Frame1->setToolTip(path); // the caption is cut at the frame's width
    Label1->hide();
    if (preview_) preview_->refresh();
    return true;
}

bool Form1::LoadPictureOrSay(const QString& path) {
    QString error;
    if (LoadPicture(path, &error)) return true;
    showFailure(QStringLiteral("Cannot open \"%1\":\n%2.").arg(path, error));
    return false;
}

void Form1::file_Click(int index) {
    if (index == 1) {
        CMD.Filter = OpenFilter();
        if (!CMD.ShowOpen(this)) return;
        LoadPictureOrSay(CMD.FileName);
    } else if (index == 2) {
        close();
    }
}

void Form1::LoadFirstDropped(const QStringList& files) {
    if (files.isEmpty()) return;
    const QString& first = files.first();
    if (first.isEmpty() || first == QLatin1String(" ")) return;
    LoadPictureOrSay(first);
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
    const auto kind = menutable::KindForAction(index);
    if (!kind) return;
    CMD2.Filter = menutable::SaveFilter(*kind);
    if (!CMD2.ShowSave(this)) return; // cancelled: nothing converted, nothing changed
    try {
        BusyCursor busy;
        const std::string path = QFile::encodeName(CMD2.FileName).toStdString();
        grob::WriteGrobFile(path, prepared(*kind, path));
    } catch (const grob::GrobError& e) {
        // The marker keeps its state; the user is told what went wrong.
        showFailure(QStringLiteral("Cannot write \"%1\":\n%2.")
                        .arg(CMD2.FileName, QString::fromLocal8Bit(e.cause().c_str())));
        return;
    }
    Label1->show();
}

void Form1::clipboard_Click(int index) {
    const auto kind = menutable::KindForClipboard(index);
    if (!kind) return;
    try {
        const auto bytes = prepared(*kind, "clipboard");
        const std::string text = grob::TextGrob(grob::ReadBinaryGrob(bytes, "clipboard"));
        QGuiApplication::clipboard()->setText(
            QString::fromLatin1(text.data(), qsizetype(text.size())));
    } catch (const grob::GrobError& e) { // too large for a GROB
        showFailure(
            QStringLiteral("Cannot copy the GROB:\n%1.").arg(QString::fromStdString(e.cause())));
    }
}

// ---- series and settings file ------------------------------------------

void Form1::settings_Click(int index) {
    menuItem(MenuArray::Settings, 1)->setChecked(index == 1);
    menuItem(MenuArray::Settings, 2)->setChecked(index != 1);
    if (preview_) preview_->refresh();
}

// ---- preview and preparation -------------------------------------------

// The GROB file of the picture shown, prepared as the preview window set it
// (the picture as it is when every choice is at its default).
std::vector<std::uint8_t> Form1::prepared(const grob::OutputKind& kind,
                                          const std::string& name) const {
    return preview::Encode(Picture1->view(), kind, series(), preferences_.preparation, name);
}

void Form1::preview_Click(int index) {
    if (index != 2) return;
    if (!preview_) {
        preview_ = new PreviewWindow(
            preferences_, [this] { return Picture1->view(); }, [this] { return series(); }, this);
        preview_->setAttribute(Qt::WA_DeleteOnClose);
        connect(preview_, &PreviewWindow::preferencesChanged, this, [this] {
            preferences_ = preview_->preferences();
            preferences_.previewShown = true;
            savePreferences();
        });
        connect(preview_, &QDialog::finished, this, [this] {
            if (closing_) return;
            preferences_.previewShown = false;
            savePreferences();
        });
        preferences_.previewShown = true;
        savePreferences();
    }
    preview_->show();
    preview_->raise();
}

PreviewWindow* Form1::previewWindow() const {
    return preview_.data();
}

void Form1::savePreferences() {
    const QString error = preferences_.save(options_.preferencesPath);
    if (!error.isEmpty())
        std::fprintf(options_.errors ? options_.errors : stderr, "veldar-convert: %s: %s\n",
                     qPrintable(options_.preferencesPath), qPrintable(error));
}

grob::Series Form1::series() const {
    return menuItem(MenuArray::Settings, 2)->isChecked() ? grob::Series::HP49 : grob::Series::HP48;
}

void Form1::loadposition() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize screenPx = screen ? screen->geometry().size() : QSize(1024, 768);
    const float screenW = float(twips::FromPixels(screenPx.width()));
    const float screenH = float(twips::FromPixels(screenPx.height()));
    if (const auto values = settings::Load(options_.settingsPath)) {
        setTwipsGeometry(values->left, values->top, values->width, values->height);
        settings_Click(values->hp48 ? 1 : 2);
        return;
    }
    const auto fallback = settings::FallbackSize(screenW, screenH);
    setTwipsGeometry(std::nullopt, std::nullopt, fallback.width, fallback.height);
    const auto position =
        settings::CentredPosition(screenW, screenH, {twipsWidth(), twipsHeight()});
    setTwipsGeometry(position.left, position.top, std::nullopt, std::nullopt);
}

void Form1::saveposition() {
    // The window as it stands: its outer frame in whole pixels, as twips.
    const settings::WindowSettings values{twipsLeft(), twipsTop(), twipsWidth(), twipsHeight(),
                                          menuItem(MenuArray::Settings, 1)->isChecked()};
    const QString error = settings::Save(options_.settingsPath, values);
    if (!error.isEmpty()) {
        std::FILE* out = options_.errors ? options_.errors : stderr;
        std::fprintf(out, "veldar-convert: cannot write the settings file %s: %s\n",
                     qPrintable(options_.settingsPath), qPrintable(error));
        std::fflush(out);
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
    about_ = new frmAbout(twipsLeft(), twipsTop(), options_.aboutServices);
    connect(about_, &QDialog::finished, this, &Form1::aboutClosed);
    about_->show();
    about_->raise();
    about_->activateWindow();
}

frmAbout* Form1::aboutDialog() const {
    return about_.data();
}
