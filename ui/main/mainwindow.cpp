#include "mainwindow.h"

#include "aboutdialog.h"
#include "busycursor.h"
#include "classicbatch.h"
#include "commandline.h"
#include "filenames.h"
#include "grob/viewer.h"
#include "layout.h"
#include "nativenames.h"
#include "optionform.h"
#include "picturearea.h"
#include "picturebox.h"
#include "previewcanvas.h"
#include "previewwindow.h"
#include "senddialog.h"
#include "sending.h"
#include "settings.h"
#include "spritesdialog.h"
#include "twips.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QUndoStack>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace {

using nativenames::Native;
using nativenames::Shown;

constexpr float kDesignedClientWidth = 5010, kDesignedClientHeight = 4620;
constexpr float kFrameLeft = 0, kFrameTop = 0, kFrameWidth = 4575, kFrameHeight = 3615;
constexpr float kPictureLeft = 120, kPictureTop = 240, kPictureWidth = 4335, kPictureHeight = 3255;
constexpr float kMarkerLeft = 4200, kMarkerTop = 0, kMarkerSize = 255;

const QString kProgramTitle = QStringLiteral("VELDAR Image converter");

// The open dialog's filters: the classic list first, then GROBs, everything
// the loader reads, then every file (or every file first).
QString OpenFilter(bool everyFileFirst = false) {
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
    grobs << QStringLiteral("*.lst"); // lists of GROBs
    // With the GROB image plugin installed Qt names the kinds too: each once.
    QStringList all = patterns + grobs;
    all.removeDuplicates();
    const QString everyFile = QStringLiteral("All files|*");
    return (everyFileFirst ? everyFile + u'|' : QString()) +
           QStringLiteral("Image Files|*.jpg;*.gif;*.bmp;*.dib;*.wmf;*.emf;*.ico;*.cur") +
           QStringLiteral("|GROB files|") + grobs.join(u';') + QStringLiteral("|All pictures|") +
           all.join(u';') + (everyFileFirst ? QString() : u'|' + everyFile);
}

QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

// "4 page-flipping frames, 16 shades (.g16)": a kind as the preview names it.
QString KindName(const grob::OutputKind& kind) {
    return Latin1(kind.description) + QStringLiteral(" (.") + Latin1(kind.extension) + u')';
}

void MessageBox(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox::warning(parent, title, text, QMessageBox::Ok);
}

WindowGeometry Geometry(const QRect& rect) {
    return {rect.x(), rect.y(), rect.width(), rect.height()};
}

// The frame the window system has drawn round a window, as it says now:
// none until it has framed it.
QMargins FrameMargins(const QWidget* widget) {
    const QWindow* window = widget->windowHandle();
    return window ? window->frameMargins() : QMargins();
}

// The choices a step of the history holds: the preview's kind and every
// option of the preparation (not the zoom, which only enlarges the view).
bool SameStep(const grob::Choices& a, const grob::Choices& b) {
    for (const grob::OptionEntry& option : grob::Options())
        if (((option.use & grob::kPreparation) || &option == &grob::Option("kind")) &&
            !grob::SameValue(option, option.bind.get(a), option.bind.get(b)))
            return false;
    return true;
}

// One step of the history: the choices before and after it. Changes made
// with one control within kBurst of each other are one step (the arrows of
// a spin box held, a number typed); one that brings the choices back to
// where the step began takes the step away.
class PreparationStep final : public QUndoCommand {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr auto kBurst = std::chrono::milliseconds(1000);

    PreparationStep(std::function<void(const grob::Choices&)> apply, grob::Choices before,
                    grob::Choices after, const QString& name, const grob::OptionEntry* option)
        : QUndoCommand(name), apply_(std::move(apply)), before_(std::move(before)),
          after_(std::move(after)), option_(option), at_(Clock::now()) {}

    void undo() override { apply_(before_); }
    // Pushed once the change is made already: only a redo makes it again.
    void redo() override {
        if (!std::exchange(made_, false)) apply_(after_);
    }
    int id() const override { return 1; }
    bool mergeWith(const QUndoCommand* other) override {
        const auto* next = static_cast<const PreparationStep*>(other);
        if (!option_ || next->option_ != option_ || next->at_ - at_ > kBurst) return false;
        after_ = next->after_;
        at_ = next->at_;
        setObsolete(SameStep(before_, after_));
        return true;
    }

  private:
    std::function<void(const grob::Choices&)> apply_;
    grob::Choices before_, after_;
    const grob::OptionEntry* option_;
    Clock::time_point at_; // the step's last change
    bool made_ = true;
};

} // namespace

MainWindow::MainWindow(Options options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)),
      ownPrompter_(options_.prompter ? nullptr : std::make_unique<QtFilePrompter>()),
      openDialog_(options_.prompter ? options_.prompter : ownPrompter_.get()),
      saveDialog_(options_.prompter ? options_.prompter : ownPrompter_.get()) {
    if (!options_.messenger) options_.messenger = MessageBox;
    if (options_.preferencesPath.isEmpty())
        options_.preferencesPath = Shown(Preferences::PathBeside(Native(options_.settingsPath)));
    preferences_ = Preferences::Load(Native(options_.preferencesPath));
    batch_ = cmdline::IsBatch(Native(options_.argumentText));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        twips::SetDpi(screen->logicalDotsPerInch());
    setWindowTitle(QStringLiteral("VELDAR V2.4 Image converter"));
    setWindowIcon(QIcon(QStringLiteral(":/veldar/icon.ico")));
    setAcceptDrops(true);

    auto* client = new QWidget(this);
    setCentralWidget(client);

    // The frame in the picture's area, which scrolls it when it is larger.
    area_ = new PictureArea(client);
    pictureFrame_ = new QGroupBox(area_);
    pictureFrame_->setObjectName(QStringLiteral("pictureFrame"));
    // A classic frame: the title sits on the border line, above the picture.
    pictureFrame_->setStyleSheet(QStringLiteral(
        "QGroupBox#pictureFrame { border: 1px solid palette(mid); border-radius: 2px; "
        "margin-top: 7px; }"
        "QGroupBox#pictureFrame::title { subcontrol-origin: margin; left: 6px; padding: 0 3px; }"));
    pictureFrame_->setGeometry(twips::ToPixels(kFrameLeft), twips::ToPixels(kFrameTop),
                               twips::ToPixels(kFrameWidth), twips::ToPixels(kFrameHeight));

    pictureBox_ = new PictureBox(pictureFrame_);
    pictureBox_->setObjectName(QStringLiteral("picture"));
    pictureBox_->setGeometry(twips::ToPixels(kPictureLeft), twips::ToPixels(kPictureTop),
                             twips::ToPixels(kPictureWidth), twips::ToPixels(kPictureHeight));
    pictureBox_->clearPicture();
    // A word on the empty area, over it: the picture box's own pixels, which
    // a conversion without a picture writes, stay white.
    hint_ = new QLabel(QStringLiteral("Open a picture with File... > Open, or drop one here"),
                       pictureBox_);
    hint_->setObjectName(QStringLiteral("hint"));
    hint_->setAlignment(Qt::AlignCenter);
    hint_->setWordWrap(true);
    hint_->setAttribute(Qt::WA_TransparentForMouseEvents); // drops go to the picture box
    QPalette hintPalette = hint_->palette();
    hintPalette.setColor(QPalette::WindowText, hintPalette.color(QPalette::PlaceholderText));
    hint_->setPalette(hintPalette);
    hint_->setGeometry(pictureBox_->contentsRect());

    // The marker: a check mark in the frame's top-right corner.
    marker_ = new QLabel(QStringLiteral("\u2714"), pictureFrame_);
    marker_->setObjectName(QStringLiteral("marker"));
    QFont markerFont = marker_->font();
    markerFont.setPointSize(12);
    markerFont.setWeight(QFont::Medium);
    marker_->setFont(markerFont);
    marker_->setAlignment(Qt::AlignCenter);
    QPalette markerPalette = marker_->palette();
    markerPalette.setColor(QPalette::WindowText, QColor(0x20, 0x80, 0x30));
    marker_->setPalette(markerPalette);
    marker_->setGeometry(twips::ToPixels(kMarkerLeft), twips::ToPixels(kMarkerTop),
                         twips::ToPixels(kMarkerSize), twips::ToPixels(kMarkerSize));
    marker_->hide();

    // Over the foot of the client area, outside the classic layout.
    statusLine_ = new QLabel(client);
    statusLine_->setObjectName(QStringLiteral("statusLine"));
    statusLine_->setAutoFillBackground(true);
    statusLine_->hide();
    saveTimer_ = new QTimer(this);
    saveTimer_->setSingleShot(true);
    saveTimer_->setInterval(500);
    connect(saveTimer_, &QTimer::timeout, this, &MainWindow::savePreferences);
    // Under an animation or a list: which frame is shown, and the way to the others.
    frameBar_ = new QWidget(client);
    frameBar_->setObjectName(QStringLiteral("frameBar"));
    auto* barLayout = new QHBoxLayout(frameBar_);
    barLayout->setContentsMargins(0, 0, 0, 0);
    previousFrame_ = new QToolButton(frameBar_);
    previousFrame_->setArrowType(Qt::LeftArrow);
    previousFrame_->setToolTip(QStringLiteral("Previous frame (Page Up)"));
    frameCounter_ = new QLabel(frameBar_);
    nextFrame_ = new QToolButton(frameBar_);
    nextFrame_->setArrowType(Qt::RightArrow);
    nextFrame_->setToolTip(QStringLiteral("Next frame (Page Down)"));
    barLayout->addWidget(previousFrame_);
    barLayout->addWidget(frameCounter_);
    barLayout->addWidget(nextFrame_);
    frameBar_->hide();
    // Left and Right step frames wherever the focus is, on the arrows too
    // (which would otherwise only move the focus between them).
    previousFrame_->installEventFilter(this);
    nextFrame_->installEventFilter(this);
    connect(previousFrame_, &QToolButton::clicked, this, [this] { showFrame(frame_ - 1); });
    connect(nextFrame_, &QToolButton::clicked, this, [this] { showFrame(frame_ + 1); });
    passingTimer_ = new QTimer(this);
    passingTimer_->setSingleShot(true);
    passingTimer_->setInterval(4000);
    connect(passingTimer_, &QTimer::timeout, this, [this] { updateStatusLine(); });

    history_ = new QUndoStack(this);
    recorded_ = preferences_;
    buildMenus();
    addShortcuts();

    // The preview and its preparation, in a panel at the window's side that
    // can float as a window of its own; made when first shown.
    previewPanel_ = new QDockWidget(QStringLiteral("Preview - VELDAR Image converter"), this);
    previewPanel_->setObjectName(QStringLiteral("previewPanel"));
    previewPanel_->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    previewPanel_->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                               QDockWidget::DockWidgetFloatable);
    addDockWidget(Qt::RightDockWidgetArea, previewPanel_);
    previewPanel_->hide();
    for (auto changed : {&QDockWidget::topLevelChanged, &QDockWidget::visibilityChanged})
        connect(previewPanel_, changed, this, &MainWindow::panelChanged, Qt::QueuedConnection);
    connect(previewPanel_, &QDockWidget::dockLocationChanged, this, &MainWindow::panelChanged,
            Qt::QueuedConnection);
    client->installEventFilter(this);

    resize(twips::ToPixels(kDesignedClientWidth),
           twips::ToPixels(kDesignedClientHeight) + menuBar()->sizeHint().height());

    connect(pictureBox_, &PictureBox::resized, this, &MainWindow::fitFrameToPicture);
    connect(pictureBox_, &PictureBox::filesDropped, this, &MainWindow::loadFirstDropped);
    // The preview's numbers follow the mouse; a closed preview opens once the
    // crop is drawn (were it to open at once, its panel could move the
    // picture under the mouse).
    connect(pictureBox_, &PictureBox::cropDrawn, this, [this](const grob::Region& crop, bool done) {
        if (done || previewShown()) setCrop(crop);
    });
    connect(pictureBox_, &PictureBox::cropCleared, this, [this] { setCrop({}); });
    connect(area_, &PictureArea::scrolled, this, &MainWindow::placeMarker);
    connect(area_, &PictureArea::zoomAsked, this, [this](int steps, QPoint at) {
        zoomTo(PictureArea::Zoomed(pictureBox_->scale(), steps), at);
    });
    // The crop's items on the picture's own menu too.
    pictureBox_->setContextMenuPolicy(Qt::ActionsContextMenu);
    pictureBox_->addActions({menuItem(MenuArray::View, 6), menuItem(MenuArray::View, 7)});
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &MainWindow::onFocusWindowChanged);

    restoreWindowSettings();
}

MainWindow::~MainWindow() {
    // A transfer under way ends on its own (the helpers' timeouts): the file
    // it sends lives in the window's folder.
    if (sending_) sending_->wait();
}

void MainWindow::buildMenus() {
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
        if (item.command == Command::SeriesHP48 || item.command == Command::SeriesHP49) {
            action->setCheckable(true);
            action->setChecked(item.checked);
        }
        if (item.command == Command::ClearPadding || item.command == Command::Viewer) {
            action->setCheckable(true);
            action->setChecked(item.command == Command::Viewer ? preferences_.viewer
                                                               : preferences_.clearPadding);
        }
        action->setCheckable(action->isCheckable() || item.command == Command::FitToWindow);
        if (item.keys) action->setShortcuts(QKeySequence::listFromString(item.keys));
        std::optional<grob::OutputKind> kind;
        if (!item.kind.empty()) kind = grob::KindForExtension(item.kind);
        connect(action, &QAction::triggered, this,
                [this, command = item.command, kind, index = item.index] {
                    run(command, kind ? &*kind : nullptr, index);
                });
        menus_[item.array][item.index] = action;
    }
    // Whether each recent file is there is looked at as the menu opens.
    connect(qobject_cast<QMenu*>(menuItem(MenuArray::Recent, 10)->parent()), &QMenu::aboutToShow,
            this, &MainWindow::updateRecentMenu);
    updateRecentMenu();
    QAction* undo = menuItem(MenuArray::Edit, 1);
    QAction* redo = menuItem(MenuArray::Edit, 2);
    undo->setEnabled(false);
    redo->setEnabled(false);
    connect(history_, &QUndoStack::canUndoChanged, undo, &QAction::setEnabled);
    connect(history_, &QUndoStack::canRedoChanged, redo, &QAction::setEnabled);
    // "Undo Contrast": the step's name after the caption.
    connect(history_, &QUndoStack::undoTextChanged, undo, [undo](const QString& step) {
        undo->setText(step.isEmpty() ? QStringLiteral("Undo") : QStringLiteral("Undo ") + step);
    });
    connect(history_, &QUndoStack::redoTextChanged, redo, [redo](const QString& step) {
        redo->setText(step.isEmpty() ? QStringLiteral("Redo") : QStringLiteral("Redo ") + step);
    });
}

void MainWindow::updateRecentMenu() {
    const std::vector<std::string>& files = preferences_.recentFiles;
    for (std::size_t index = 1; index <= Preferences::kRecentFiles; ++index) {
        QAction* item = menuItem(MenuArray::Recent, int(index));
        item->setVisible(index <= files.size());
        if (index > files.size()) continue;
        // The name as a terminal shows it (no line break, no stray byte), an
        // "&" as itself; the number its key.
        QString shown = QString::fromStdString(filenames::Printable(files[index - 1]));
        item->setText(QStringLiteral("&%1 %2").arg(index).arg(shown.replace(u'&', "&&")));
        item->setEnabled(filenames::Exists(files[index - 1]));
    }
    menuItem(MenuArray::Recent, 9)->setVisible(!files.empty());
    menuItem(MenuArray::Recent, 10)->setEnabled(!files.empty());
}

void MainWindow::openRecent(int index) {
    if (index >= 1 && std::size_t(index) <= preferences_.recentFiles.size())
        loadPictureOrSay(Shown(preferences_.recentFiles[std::size_t(index) - 1]));
}

void MainWindow::run(Command command, const grob::OutputKind* kind, int index) {
    switch (command) {
    case Command::Open:
        return open();
    case Command::OpenAsKind:
        return openAs(*kind);
    case Command::Exit:
        close();
        return;
    case Command::ConvertTo:
        return convertTo(*kind);
    case Command::CopyAsText:
        return copyAsText(*kind);
    case Command::SendTo:
        return sendTo(*kind);
    case Command::ListOfFrames:
        return convertFramesTo(*kind);
    case Command::SeriesHP48:
        return setSeries(grob::Series::HP48);
    case Command::SeriesHP49:
        return setSeries(grob::Series::HP49);
    case Command::ShowPreview:
        return showPreview();
    case Command::ClearPadding:
        preferences_.clearPadding = menuItem(MenuArray::Preview, 3)->isChecked();
        return savePreferences();
    case Command::Viewer:
        preferences_.viewer = menuItem(MenuArray::Preview, 4)->isChecked();
        return savePreferences();
    case Command::About:
        return showAbout();
    case Command::FitToWindow:
        return fitToWindow(menuItem(MenuArray::View, 1)->isChecked());
    case Command::ZoomIn:
    case Command::ZoomOut:
        return zoomTo(
            PictureArea::Zoomed(pictureBox_->scale(), command == Command::ZoomIn ? 1 : -1));
    case Command::NaturalSize:
        return zoomTo(1);
    case Command::ClearCrop:
        return setCrop({});
    case Command::CropToFill:
        return cropToFill();
    case Command::OpenRecent:
        return openRecent(index);
    case Command::ClearRecent:
        preferences_.recentFiles.clear();
        updateRecentMenu();
        return savePreferences();
    case Command::Undo:
        return history_->undo();
    case Command::Redo:
        return history_->redo();
    case Command::None:
        return;
    }
}

// Keys people type without thinking, shown beside the items' captions:
// Ctrl+O, Ctrl+Q, Ctrl+C (the preview's kind), Ctrl+Z and Ctrl+Shift+Z or
// Ctrl+Y, here and in the preview (a text field's own copy and undo come
// first); each key once, for Qt does nothing with a key two shortcuts
// share. Alt+F opens the File menu.
void MainWindow::addShortcuts() {
    auto keys = [this](MenuArray array, int index, const QList<QKeySequence>& sequences) {
        QAction* item = menuItem(array, index);
        item->setShortcuts(sequences);
        item->setShortcutContext(Qt::ApplicationShortcut);
    };
    keys(MenuArray::File, 1, {QKeySequence(Qt::CTRL | Qt::Key_O)});
    keys(MenuArray::File, 2, {QKeySequence(Qt::CTRL | Qt::Key_Q)});
    keys(MenuArray::Edit, 1, {QKeySequence(Qt::CTRL | Qt::Key_Z)});
    keys(MenuArray::Edit, 2,
         {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    for (QAction* copy : menus_.value(MenuArray::Clipboard))
        copy->setShortcutContext(Qt::ApplicationShortcut);
    updateCopyShortcut();
    auto* file = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_F), this);
    connect(file, &QShortcut::activated, this, [this] {
        if (QAction* menu = menuBar()->actions().value(0)) menuBar()->setActiveAction(menu);
    });
}

void MainWindow::updateCopyShortcut() {
    for (const menutable::Item& item : menutable::Items())
        if (item.array == MenuArray::Clipboard && item.command == Command::CopyAsText)
            menuItem(item.array, item.index)
                ->setShortcut(item.kind == preferences_.kind.extension
                                  ? QKeySequence(Qt::CTRL | Qt::Key_C)
                                  : QKeySequence());
}

QAction* MainWindow::menuItem(MenuArray array, int index) const {
    return menus_.value(array).value(index, nullptr);
}

// ---- geometry in twips -------------------------------------------------

float MainWindow::twipsLeft() const {
    return float(twips::FromPixels(frameGeometry().x()));
}
float MainWindow::twipsTop() const {
    return float(twips::FromPixels(frameGeometry().y()));
}
// The outer size less what the preview's panel takes at the window's side:
// the classic window's size, whether or not the panel is beside it.
float MainWindow::twipsWidth() const {
    return float(twips::FromPixels(frameGeometry().width() - panelExtent()));
}
float MainWindow::twipsHeight() const {
    return float(twips::FromPixels(frameGeometry().height()));
}

void MainWindow::setTwipsGeometry(std::optional<float> left, std::optional<float> top,
                                  std::optional<float> width, std::optional<float> height) {
    if (left || top)
        move(left ? twips::ToPixels(*left) : frameGeometry().x(),
             top ? twips::ToPixels(*top) : frameGeometry().y());
    if (width || height) {
        // The picture's area that size, the preview's panel beside it.
        outerSize_ =
            QSize(width ? twips::ToPixels(*width) + panelExtent() : frameGeometry().width(),
                  height ? twips::ToPixels(*height) : frameGeometry().height());
        applyOuterSize();
    }
}

// The inner size that gives the outer size asked for, with the frame the
// window system has drawn around the window so far.
void MainWindow::applyOuterSize() {
    if (!outerSize_) return;
    const QSize margins = frameGeometry().size() - size();
    resize(std::max(1, outerSize_->width() - margins.width()),
           std::max(1, outerSize_->height() - margins.height()));
}

// ---- layout ------------------------------------------------------------

void MainWindow::fitFrameToPicture() {
    const auto fit = layout::FitFrame(float(twips::FromPixels(pictureBox_->width())),
                                      float(twips::FromPixels(pictureBox_->height())));
    frameTwipsWidth_ = fit.frameWidth;
    frameTwipsHeight_ = fit.frameHeight;
    markerTwipsLeft_ = fit.labelLeft;
    pictureFrame_->resize(twips::ToPixels(fit.frameWidth), twips::ToPixels(fit.frameHeight));
    hint_->setGeometry(pictureBox_->contentsRect());
    centreFrame();
}

// The frame where the classic rule centres it; the picture's area scrolls
// it when it reaches past the area. Fitted to the window, the picture takes
// the scale that keeps it whole within.
void MainWindow::centreFrame() {
    const QAction* fit = menuItem(MenuArray::View, 1);
    if (fit && fit->isChecked() && pictureBox_->hasPicture())
        pictureBox_->setScale(fittingScale()); // placed again as the box takes its size
    const auto position =
        layout::CentreFrame(twipsWidth(), twipsHeight(), frameTwipsWidth_, frameTwipsHeight_);
    const QRect classic(twips::ToPixels(float(position.left)), twips::ToPixels(float(position.top)),
                        pictureFrame_->width(), pictureFrame_->height());
    area_->place(pictureFrame_, classic, footHeight(), std::exchange(placeAgain_, false));
    placeMarker();
}

int MainWindow::footHeight() const {
    return std::max(statusLine_->isHidden() ? 0 : statusLine_->sizeHint().height(),
                    frameBar_->isHidden() ? 0 : frameBar_->sizeHint().height());
}

// The marker sits in the frame's top-right corner, but never outside the
// window: a frame wider than the window would carry it out of sight.
void MainWindow::placeMarker() {
    // The client area: the window's inner width below the menu bar, less
    // the preview's panel beside it; the marker within the picture's area.
    const int clientWidth = centralWidget()->width();
    const int clientHeight = centralWidget()->height();
    const int x = std::min(twips::ToPixels(markerTwipsLeft_),
                           area_->width() - pictureFrame_->x() - marker_->width());
    const int y = std::min(twips::ToPixels(kMarkerTop),
                           area_->height() - pictureFrame_->y() - marker_->height());
    marker_->move(std::max(x, -pictureFrame_->x()), std::max(y, -pictureFrame_->y()));
    const int lineHeight = statusLine_->sizeHint().height();
    const QSize bar = frameBar_->isVisible() ? frameBar_->sizeHint() : QSize(0, 0);
    // The frame counter at the left of the foot, where the preview beside
    // the window (or over its right part) never covers it; the line after it.
    statusLine_->setGeometry(bar.width(), clientHeight - lineHeight, clientWidth - bar.width(),
                             lineHeight);
    // Never cut: shortened with "..." to the room there is, whole in its tooltip.
    const QString line = QStringLiteral(" ") + statusText_;
    statusLine_->setText(statusLine_->fontMetrics().elidedText(
        line, Qt::ElideRight, std::max(0, statusLine_->contentsRect().width())));
    frameBar_->setGeometry(0, clientHeight - bar.height(), bar.width(), bar.height());
}

// What the window must not hide: a preparation in force while the preview
// is open, and the preview's kind. A passing message shows for a moment in
// its place.
void MainWindow::updateStatusLine(const QString& passing, bool inPreview) {
    QString text = passing;
    if (!passing.isEmpty()) {
        passingTimer_->start();
        // Said in the preview too, which may cover the foot of this window.
        if (previewShown() && inPreview) preview_->say(passing);
    } else if (previewShown()) {
        const QString prepared = QString::fromStdString(Describe(preferences_));
        text =
            (prepared.isEmpty() ? QStringLiteral("Converting plainly")
                                : QStringLiteral("Converting as the preview shows: ") + prepared) +
            QStringLiteral("; the preview's kind: ") + KindName(preferences_.kind);
    }
    statusText_ = text;
    statusLine_->setToolTip(text);
    statusLine_->setVisible(!text.isEmpty());
    centreFrame(); // the area above the foot line
    showCrop();    // what is in force shown on the picture too
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // The picture's area is resized by the window and by the panel beside it.
    if (watched == centralWidget() && event->type() == QEvent::Resize) {
        centreFrame();
        if (const int extent = dockedExtent(); extent > 0 && panelDocked_ && !settingDock_)
            dockedWidth_ = extent;
    }
    if ((watched == previousFrame_ || watched == nextFrame_) && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Left || key->key() == Qt::Key_Right) {
            keyPressEvent(key);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// The frames of an animation or a list: Page Down or Right for the next,
// Page Up or Left for the one before, Home and End for the first and last.
void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (frameCount() > 1 && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_PageDown:
        case Qt::Key_Right:
            return showFrame(frame_ + 1);
        case Qt::Key_PageUp:
        case Qt::Key_Left:
            return showFrame(frame_ - 1);
        case Qt::Key_Home:
            return showFrame(0);
        case Qt::Key_End:
            return showFrame(frameCount() - 1);
        default:
            break;
        }
    }
    QMainWindow::keyPressEvent(event);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    centreFrame();
}

// ---- the picture's view and the crop drawn on it -------------------------

void MainWindow::fitToWindow(bool on) {
    menuItem(MenuArray::View, 1)->setChecked(on);
    placeAgain_ = true;
    showAtScale(on ? fittingScale() : 1);
}

void MainWindow::zoomTo(double scale, std::optional<QPoint> at) {
    if (!pictureBox_->hasPicture()) return;
    menuItem(MenuArray::View, 1)->setChecked(false);
    scale = std::clamp(scale, PictureArea::kLeastScale, PictureArea::kMostScale);
    // The pixel under `at`, which stays there.
    const QPoint inner = pictureBox_->contentsRect().topLeft();
    const QPointF pixel =
        at ? QPointF(*at - pictureBox_->mapTo(area_, inner)) / pictureBox_->scale() : QPointF();
    placeAgain_ = !at;
    showAtScale(scale);
    if (at) area_->scrollBy(pictureBox_->mapTo(area_, inner) + (pixel * scale).toPoint() - *at);
    updateStatusLine(QStringLiteral("The picture shown at %1 %.").arg(qRound(scale * 1000) / 10.0),
                     false);
}

void MainWindow::showAtScale(double scale) {
    if (scale == pictureBox_->scale() || !pictureBox_->hasPicture()) return centreFrame();
    pictureBox_->setScale(scale); // the frame follows the box's size
}

double MainWindow::fittingScale() const {
    const QRect room(QPoint(0, 0), centralWidget()->size() - QSize(0, footHeight()));
    auto fits = [&](double scale) {
        const QSize box = pictureBox_->sizeAt(scale);
        const auto fit = layout::FitFrame(float(twips::FromPixels(box.width())),
                                          float(twips::FromPixels(box.height())));
        const auto at =
            layout::CentreFrame(twipsWidth(), twipsHeight(), fit.frameWidth, fit.frameHeight);
        return room.contains(QRect(twips::ToPixels(float(at.left)), twips::ToPixels(float(at.top)),
                                   twips::ToPixels(fit.frameWidth),
                                   twips::ToPixels(fit.frameHeight)));
    };
    // The frame grows with the scale: halved until the scales meet.
    double low = PictureArea::kLeastScale, high = PictureArea::kMostScale;
    if (fits(high) || !fits(low)) return fits(high) ? high : low;
    for (int step = 0; step < 40; ++step) {
        const double middle = std::sqrt(low * high);
        (fits(middle) ? low : high) = middle;
    }
    return low;
}

void MainWindow::setCrop(const grob::Region& crop) {
    if (crop.any() && !previewShown()) openPreview(false);
    grob::Choices choices = preferences_;
    if (choices.preparation.crop == crop) return showCrop();
    choices.preparation.crop = crop;
    if (preview_) return preview_->setChoices(choices); // the window follows its changes
    static_cast<grob::Choices&>(preferences_) = choices;
    savePreferences();
    updateStatusLine();
}

void MainWindow::cropToFill() {
    const QSize size = pictureBox_->innerSize();
    const grob::Region crop =
        grob::FillingCrop(preferences_.preparation, size.width(), size.height());
    if (pictureBox_->hasPicture() && crop.any()) setCrop(crop);
}

// A crop is in force, and shown, while the preview is (the crop of a
// picture opened later is cleared when it comes: see forgetCrop).
void MainWindow::showCrop() {
    const grob::Preparation& prepared = preferences_.preparation;
    const bool inForce = previewShown() && prepared.cropped();
    pictureBox_->setCrop(inForce ? std::optional(prepared.crop) : std::nullopt);
    if (QAction* clear = menuItem(MenuArray::View, 6)) clear->setEnabled(inForce);
    if (QAction* fill = menuItem(MenuArray::View, 7))
        fill->setEnabled(pictureBox_->hasPicture() && prepared.fits());
}

// ---- life of the window ------------------------------------------------

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    centreFrame();
    if (!shownOnce_) {
        shownOnce_ = true;
        // A batch run converts at once, whether or not the window ever
        // reaches the screen.
        if (batch_)
            QTimer::singleShot(0, this, &MainWindow::runBatch);
        else
            QTimer::singleShot(0, this, [this] { firstActivation(1000); }); // a second at most
    }
}

// The first activation comes once the window is on the screen with its
// frame, which the window system may add a little after the window is
// shown; then the outer size is made what was asked for.
void MainWindow::firstActivation(int triesLeft) {
    if (closing_) return;
    if (triesLeft > 0 && windowHandle() && !windowHandle()->isExposed()) {
        QTimer::singleShot(1, this, [this, triesLeft] { firstActivation(triesLeft - 1); });
        return;
    }
    // The preview comes back if it was open at the end of the last run:
    // floating, beside the window at its outer size; at the window's side,
    // the window given that size and the panel's in one step (see
    // dockPreview).
    if (!preferences_.previewShown || preferences_.previewFloating) applyOuterSize();
    if (preferences_.previewShown) showPreview();
    applyOuterSize();
    placed_ = true;
    activated();
}

void MainWindow::onFocusWindowChanged(QWindow* window) {
    // Coming back from the About window counts as an activation; coming back
    // from another program or from a file dialog does not.
    const QWindow* previous = lastFocusWindow_;
    lastFocusWindow_ = window;
    if (!window || window != windowHandle() || closing_) return;
    if (about_ && about_->isVisible() && previous && previous == about_->windowHandle())
        activated();
}

void MainWindow::aboutClosed() {
    if (!closing_ && isVisible()) activated();
}

// The window the user asked from: the preview for its own buttons.
QWidget* MainWindow::asker() {
    return asker_ ? asker_.data() : this;
}

void MainWindow::showFailure(const QString& text) {
    options_.messenger(asker(), kProgramTitle, text);
}

// Started with a picture and no valid option, each activation shows the
// command line's picture again; only the first says when it cannot.
void MainWindow::activated() {
    if (closing_ || options_.argumentText.isEmpty() || batch_) return;
    const bool first = !activatedOnce_;
    activatedOnce_ = true;
    const QString fileName = Shown(cmdline::Parse(Native(options_.argumentText)).fileName);
    QString error;
    if (!loadPicture(fileName, &error) && first)
        showFailure(QStringLiteral("Cannot open \"%1\":\n%2.").arg(fileName, error));
}

// The classic batch run: the picture shown, its GROB written beside it
// and the settings file left as it was placed, then the window closes.
void MainWindow::runBatch() {
    if (closing_) return;
    classicbatch::Batch batch;
    batch.line = cmdline::Parse(Native(options_.argumentText));
    batch.settingsPath = Native(options_.settingsPath);
    batch.start = startSettings_;
    batch.start.hp48 = series_ == grob::Series::HP48;
    batch.twipsPerPixel = twips::PerPixel();
    batch.errors = options_.errors ? options_.errors : stderr;
    batch.show = [this](const std::string& picture) {
        QString error;
        return loadPicture(Shown(picture), &error) ? std::string() : Native(error);
    };
    BusyCursor busy;
    exitCode_ = classicbatch::Run(batch);
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // On the way out: save the settings, close the About window; never refused.
    closing_ = true;
    saveWindowSettings();
    if (about_) about_->close();
    if (preview_) {
        preferences_.previewShown = !previewPanel_->isHidden();
        notePreviewPlace();
        savePreferences();
    }
    event->accept();
}

// ---- picture loading ---------------------------------------------------

bool MainWindow::loadPicture(const QString& path, QString* error) {
    return loadPicture(path, std::nullopt, error);
}

// `as`: the kind of GROB the file holds, whatever its name says.
bool MainWindow::loadPicture(const QString& path, std::optional<grob::OutputKind> as,
                             QString* error) {
    std::optional<grob::OutputKind> grobKind;
    if (path.isEmpty()) {
        pictureBox_->clearPicture();
    } else {
        BusyCursor busy; // a large picture or a metafile can take a moment
        std::string why;
        auto held = pipeline::HeldPicture::Open(Native(path), as, why);
        if (!held) {
            if (error) *error = QString::fromStdString(why);
            return false;
        }
        held_ = std::move(held);
        grobKind = held_->grobKind(); // a GROB or a list: its kind
        if (path != pictureFrame_->title() && preferences_.preparation.cropped()) forgetCrop();
        frame_ = 0;
        pictureBox_->setPicture(held_->frame(0));
        // At natural size, or fitted to the window, from the classic place.
        placeAgain_ = true;
        const QAction* fit = menuItem(MenuArray::View, 1);
        showAtScale(fit->isChecked() ? fittingScale() : 1);
        // First in File... > Open recent, however it was opened (but by a
        // batch run, which nobody watches).
        if (!batch_) {
            preferences_.noteRecent(Native(path));
            updateRecentMenu();
            savePreferences();
        }
    }
    hint_->setVisible(!pictureBox_->hasPicture());
    if (path.isEmpty()) frame_ = 0, held_.reset();
    openedAs_ = as;
    updateFrameBar();
    pictureFrame_->setTitle(path);
    pictureFrame_->setToolTip(path); // the caption is cut at the frame's width
    marker_->hide();
    if (grobKind) showGrobAsItIs(*grobKind);
    if (preview_) preview_->refresh();
    return true;
}

// A crop belongs to the picture it was drawn on: another picture keeps the
// rest of the preparation, and the foot of the window says so.
void MainWindow::forgetCrop() {
    grob::Choices kept = preferences_;
    kept.preparation = grob::CropCleared(kept.preparation);
    if (preview_) {
        preview_->setChoices(kept);
    } else {
        static_cast<grob::Choices&>(preferences_) = kept;
        savePreferences();
    }
    recordStep(QStringLiteral("Crop cleared"));
    const QString rest = QString::fromStdString(Describe(kept));
    updateStatusLine(rest.isEmpty()
                         ? QStringLiteral("The crop belonged to the last picture and was cleared.")
                         : QStringLiteral("The crop belonged to the last picture and was "
                                          "cleared; kept: ") +
                               rest + u'.');
}

// A GROB is what it is already: shown in its own kind with nothing
// prepared, it converts to the same bytes again (the user may still
// prepare it).
void MainWindow::showGrobAsItIs(const grob::OutputKind& kind) {
    grob::Choices plain = preferences_;
    plain.kind = kind;
    plain.preparation = grob::Preparation{};
    if (preview_) {
        preview_->setChoices(plain); // the main window follows the preview's changes
    } else if (plain.kind.extension != preferences_.kind.extension ||
               !preferences_.preparation.neutral() || preferences_.preparation.fit.upscale) {
        static_cast<grob::Choices&>(preferences_) = plain;
        savePreferences();
        updateCopyShortcut();
    }
    recordStep(QStringLiteral("GROB shown as it is"));
}

void MainWindow::recordStep(const QString& name, const grob::OptionEntry* option) {
    if (SameStep(recorded_, preferences_)) return;
    history_->push(new PreparationStep([this](const grob::Choices& step) { applyStep(step); },
                                       recorded_, preferences_, name, option));
    recorded_ = preferences_;
}

void MainWindow::applyStep(const grob::Choices& choices) {
    grob::Choices step = preferences_; // the zoom and what the menus set kept
    step.kind = choices.kind;
    step.preparation = choices.preparation;
    recorded_ = step;
    if (preview_) {
        preview_->setChoices(step); // which the window follows
    } else {
        static_cast<grob::Choices&>(preferences_) = step;
        savePreferences();
        updateCopyShortcut();
    }
}

bool MainWindow::loadPictureOrSay(const QString& path, std::optional<grob::OutputKind> as) {
    QString error;
    if (loadPicture(path, as, &error)) return true;
    showFailure(QStringLiteral("Cannot open \"%1\":\n%2.").arg(path, error));
    return false;
}

// The dialog comes with the filter chosen last, in this run or an earlier
// one (a folder of PNG sprites is empty under the classic kinds).
void MainWindow::open() {
    openDialog_.filter = OpenFilter();
    openDialog_.chosenFilter = QString::fromStdString(preferences_.openFilter);
    if (!openDialog_.showOpen(this)) return;
    if (const std::string chosen = openDialog_.chosenFilter.toStdString();
        chosen != preferences_.openFilter) {
        preferences_.openFilter = chosen;
        savePreferences();
    }
    loadPictureOrSay(openDialog_.fileName);
}

// For a GROB whose name does not say its kind (many published ones have no
// extension at all). The open dialog lists every file first.
void MainWindow::openAs(const grob::OutputKind& kind) {
    openDialog_.filter = OpenFilter(true);
    openDialog_.chosenFilter.clear(); // every file, as it lists first
    const bool chosen = openDialog_.showOpen(this);
    if (chosen) loadPictureOrSay(openDialog_.fileName, kind);
}

// The drop is finished first, so that the program the files came from never
// waits on a message box; the picture is loaded next.
void MainWindow::loadFirstDropped(const QStringList& files) {
    if (files.isEmpty()) return;
    const QString first = files.first();
    if (first.isEmpty() || first == QLatin1String(" ")) return;
    QTimer::singleShot(0, this, [this, first] { loadPictureOrSay(first); });
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    AcceptFileDrop(event);
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
    AcceptFileDrop(event);
}

void MainWindow::dropEvent(QDropEvent* event) {
    loadFirstDropped(AcceptFileDrop(event));
}

// ---- conversion --------------------------------------------------------

windowjob::Job MainWindow::jobFor(const grob::OutputKind& kind, windowjob::Make make) const {
    windowjob::Job job;
    job.picture = pictureBox_->picture();
    job.held = held_ ? held_->file() : nullptr;
    job.frame = frame_;
    job.path = pictureFrame_->title();
    job.grobKind = openedAs_;
    job.choices.kind = kind;
    job.choices.series = series_;
    // What you see is what you convert: the preparation applies while the
    // preview window is open; how the bytes are written, always.
    if (previewShown()) grob::CopyOptions(preferences_, job.choices, grob::kPreparation);
    grob::CopyOptions(preferences_, job.choices, grob::kEncoding);
    job.make = make;
    return job;
}

QString MainWindow::suggestedName(const QString& extension) const {
    const QString picture = pictureFrame_->title();
    const QString again = savedNames_.value(picture + u'\n' + extension);
    if (!again.isEmpty()) return again;
    if (picture.isEmpty()) return lastFolder_;
    const QString name =
        QFileInfo(Shown(cmdline::OutputName(Native(picture), Native(extension)))).fileName();
    const QString folder = QFileInfo(picture).path();
    return QDir(folder.isEmpty() ? lastFolder_ : folder).filePath(name);
}

std::optional<windowjob::Outcome> MainWindow::saveAs(const QString& filter,
                                                     const QString& extension, windowjob::Job job) {
    // What the picture cannot give is said before a name is asked for.
    if (const windowjob::Outcome refused = windowjob::Refusal(job); !refused.ok()) {
        showFailure(QStringLiteral("Cannot convert \"%1\":\n%2.").arg(refused.file, refused.cause));
        return std::nullopt;
    }
    saveDialog_.filter = filter;
    saveDialog_.defaultSuffix = extension;
    saveDialog_.fileName = suggestedName(extension);
    if (!saveDialog_.showSave(asker())) return std::nullopt;
    job.file = saveDialog_.fileName;
    savedNames_[job.path + u'\n' + extension] = job.file;
    lastFolder_ = QFileInfo(job.file).path();
    BusyCursor busy;
    windowjob::Outcome outcome = windowjob::Run(job);
    if (!outcome.ok()) {
        // The picture when it cannot give what was asked (too large a GROB,
        // a crop outside it); the file chosen when it cannot be written.
        const bool picture = !outcome.file.isEmpty() && outcome.file == job.path;
        showFailure((picture ? QStringLiteral("Cannot convert \"%1\":\n%2.")
                             : QStringLiteral("Cannot write \"%1\":\n%2."))
                        .arg(outcome.file.isEmpty() ? job.file : outcome.file, outcome.cause));
        return std::nullopt;
    }
    marker_->show();
    return outcome;
}

void MainWindow::convertTo(const grob::OutputKind& kind) {
    // With the grayscale viewer (Settings), a grayscale kind is written as
    // the program that shows it on the calculator.
    windowjob::Job job = jobFor(kind, windowjob::Make::Grob);
    const bool viewer = grob::Applied(job.choices).viewer;
    const auto made =
        viewer ? saveAs(menutable::ViewerFilter(), Latin1(grob::kProgramExtension), std::move(job))
               : saveAs(menutable::SaveFilter(kind), Latin1(kind.extension), std::move(job));
    // Converting with no picture open writes the empty picture box, as it
    // always has: said, so that it is not taken for a picture.
    if (made && !pictureBox_->hasPicture() && !made->written.isEmpty())
        updateStatusLine(QStringLiteral("No picture is open: wrote a blank %1 x %2 GROB to %3.")
                             .arg(made->dotsWide)
                             .arg(made->dotsHigh)
                             .arg(QFileInfo(made->written.front()).fileName()));
}

void MainWindow::convertFramesTo(const grob::OutputKind& kind) {
    windowjob::Job job = jobFor(kind, windowjob::Make::Sprites);
    job.choices.cutting.frames = true;
    job.choices.list = true;
    if (const auto made = saveAs(menutable::ListFilter(kind), menutable::ListExtension(kind), job))
        updateStatusLine(QStringLiteral("Wrote %1 GROBs as one list.").arg(made->pictures));
}

void MainWindow::showSprites() {
    if (sprites_) {
        sprites_->raise();
        sprites_->activateWindow();
        return;
    }
    const QString prepared =
        previewShown() ? QString::fromStdString(Describe(preferences_)) : QString();
    const QString what =
        QStringLiteral("Each GROB a %1, %2.")
            .arg(KindName(preferences_.kind),
                 prepared.isEmpty() ? QStringLiteral("converted plainly")
                                    : QStringLiteral("prepared as the preview shows: ") + prepared);
    sprites_ =
        new SpritesDialog(lastSprites_, what,
                          preview_ ? static_cast<QWidget*>(preview_) : static_cast<QWidget*>(this));
    sprites_->setAttribute(Qt::WA_DeleteOnClose);
    connect(sprites_, &QDialog::accepted, this, [this] {
        lastSprites_ = sprites_->sprites();
        const QPointer<QWidget> was = std::exchange(asker_, sprites_->parentWidget());
        saveSprites(lastSprites_);
        asker_ = was;
    });
    sprites_->open();
}

// The sprite tools as the command line has them: the picture's file read
// again (every frame, its transparency for the masks; a GROB as the kind it
// was opened as).
void MainWindow::saveSprites(const grob::Choices& sprites) {
    const grob::OutputKind kind = preferences_.kind;
    windowjob::Job job = jobFor(kind, windowjob::Make::Sprites);
    grob::CopyOptions(sprites, job.choices, grob::kCutting);
    job.choices.list = sprites.list;
    job.readFile = !job.path.isEmpty();
    const QString extension =
        sprites.list ? menutable::ListExtension(kind) : Latin1(kind.extension);
    const QString filter = sprites.list ? menutable::ListFilter(kind) : menutable::SaveFilter(kind);
    const auto made = saveAs(filter, extension, job);
    if (!made) return;
    // A list counts its masks among its GROBs.
    const int grobs = made->pictures * (sprites.cutting.masks ? 2 : 1);
    QString said = made->written.size() == 1
                       ? QStringLiteral("Wrote %1 GROB%2%3 to %4")
                             .arg(grobs)
                             .arg(grobs == 1 ? QString() : QStringLiteral("s"))
                             .arg(sprites.cutting.masks
                                      ? QStringLiteral(" (%1 and their masks)").arg(made->pictures)
                                      : QString())
                             .arg(QFileInfo(made->written.front()).fileName())
                       : QStringLiteral("Wrote %1 files, %2 to %3")
                             .arg(made->written.size())
                             .arg(QFileInfo(made->written.front()).fileName(),
                                  QFileInfo(made->written.back()).fileName());
    for (const QString& note : made->notes)
        said += QStringLiteral("; ") + note;
    updateStatusLine(said + u'.');
}

// The bare object, as a calculator's command line or an emulator takes it
// pasted (files written with --text keep their %%HP: line).
void MainWindow::copyAsText(const grob::OutputKind& kind) {
    const windowjob::Outcome made = windowjob::Run(jobFor(kind, windowjob::Make::BareText));
    if (!made.ok()) {
        showFailure(QStringLiteral("Cannot copy the GROB:\n%1.").arg(made.cause));
        return;
    }
    QGuiApplication::clipboard()->setText(QString::fromLatin1(
        reinterpret_cast<const char*>(made.bytes.data()), qsizetype(made.bytes.size())));
    updateStatusLine(QStringLiteral("Copied the %1 as text: %2 x %3 dots.")
                         .arg(Latin1(kind.description))
                         .arg(made.dotsWide)
                         .arg(made.dotsHigh));
}

// The GROB shown, in the preview's kind and preparation (with Shift, its
// view as a PNG), carried out of the window as a file: onto a file manager,
// an emulator or another program. The file is written to a folder of the
// program's own, which lives as long as the window, under the name a save
// would offer.
// Where the window's own copy of the GROB shown (or, with `png`, of its
// view) goes: a folder of the program's own, which lives as long as the
// window, under the name a save would offer.
QString MainWindow::ownCopyPath(const QString& extension, bool png) {
    if (!dragFolder_) dragFolder_ = std::make_unique<QTemporaryDir>();
    const QFileInfo picture(pictureFrame_->title());
    const QString name =
        pictureFrame_->title().isEmpty() ? QStringLiteral("blank.") + extension
        : png ? picture.completeBaseName() + QStringLiteral("-preview.png")
              : QFileInfo(Shown(cmdline::OutputName(Native(picture.filePath()), Native(extension))))
                    .fileName();
    return QDir(dragFolder_->path()).filePath(name);
}

void MainWindow::dragOut(bool png) {
    const QString extension = png ? QStringLiteral("png") : Latin1(preferences_.kind.extension);
    const QString file = ownCopyPath(extension, png);
    const QPointer<QWidget> was = std::exchange(asker_, preview_.data());
    bool written = false;
    {
        BusyCursor busy;
        if (!dragFolder_->isValid()) {
            showFailure(
                QStringLiteral("Cannot write \"%1\":\n%2.").arg(file, dragFolder_->errorString()));
        } else if (png) {
            written = preview_->savePng(file); // a failure is said there
        } else {
            windowjob::Job job = jobFor(preferences_.kind, windowjob::Make::Grob);
            job.file = file;
            const windowjob::Outcome made = windowjob::Run(job);
            written = made.ok();
            if (!written)
                showFailure(QStringLiteral("Cannot write \"%1\":\n%2.").arg(made.file, made.cause));
        }
    }
    asker_ = was;
    if (!written) return;
    auto carried = std::make_unique<QMimeData>();
    carried->setUrls({QUrl::fromLocalFile(file)});
    if (png) carried->setImageData(QImage(file));
    if (options_.dragger) return options_.dragger(*carried);
    auto* drag = new QDrag(preview_->canvas);
    const QImage view = preview_->image();
    drag->setPixmap(QPixmap::fromImage(
        view.scaled(QSize(160, 160).boundedTo(view.size()), Qt::KeepAspectRatio)));
    drag->setMimeData(carried.release());
    drag->exec(Qt::CopyAction);
}

// Convert to... > Send to calculator > a kind: asks for the line (as
// --send, --protocol and --baud have it, kept in the preferences), writes
// the GROB shown, in that kind and the preview's preparation, as a drag out
// would, and sends it while the window goes on.
void MainWindow::sendTo(const grob::OutputKind& kind) {
    if (sendDialog_) {
        sendDialog_->raise();
        sendDialog_->activateWindow();
        return;
    }
    sendDialog_ = new SendDialog(
        preferences_,
        QStringLiteral("The picture shown as a %1, sent as a file.").arg(KindName(kind)), this);
    sendDialog_->setAttribute(Qt::WA_DeleteOnClose);
    connect(sendDialog_, &QDialog::accepted, this, [this, kind] {
        const grob::Choices link = sendDialog_->link();
        preferences_.send = link.send;
        preferences_.protocol = link.protocol;
        preferences_.baud = link.baud;
        savePreferences();
        sendFile(kind);
    });
    sendDialog_->open();
}

SendDialog* MainWindow::sendDialog() const {
    return sendDialog_;
}

void MainWindow::sendFile(const grob::OutputKind& kind) {
    if (sending_) {
        showFailure(QStringLiteral("A file is being sent already: send this one when it is done."));
        return;
    }
    windowjob::Job job = jobFor(kind, windowjob::Make::Grob);
    // With the grayscale viewer (Settings), the program that shows it.
    const bool viewer = grob::Applied(job.choices).viewer;
    const QString file =
        ownCopyPath(Latin1(viewer ? grob::kProgramExtension : kind.extension), false);
    job.file = file;
    const windowjob::Outcome made = [&] {
        BusyCursor busy;
        return windowjob::Run(job);
    }();
    if (!made.ok()) {
        showFailure(QStringLiteral("Cannot send the GROB:\n%1.").arg(made.cause));
        return;
    }
    const sending::Link link{preferences_.send,
                             preferences_.protocol == 1 ? sending::Protocol::XModem
                                                        : sending::Protocol::Kermit,
                             preferences_.baud};
    const std::string path = Native(file), name = sending::CalculatorName(path);
    const QString shown = QFileInfo(file).fileName();
    const QString line = QString::fromStdString(link.device);
    updateStatusLine(QStringLiteral("Sending %1 to %2...").arg(shown, line));
    auto failure = std::make_shared<std::string>();
    sending_ = QThread::create(
        [link, path, name, failure] { *failure = sending::Send(link, path, name); });
    connect(sending_, &QThread::finished, this, [this, failure, shown, line, name] {
        sending_->deleteLater();
        sending_ = nullptr;
        if (!failure->empty()) {
            updateStatusLine(QStringLiteral("%1 was not sent.").arg(shown));
            showFailure(QStringLiteral("Cannot send \"%1\" to %2:\n%3.")
                            .arg(shown, line, QString::fromStdString(*failure)));
            return;
        }
        updateStatusLine(
            QStringLiteral("Sent %1 to %2 as %3.").arg(shown, line, QString::fromStdString(name)));
    });
    sending_->start();
}

// The frames of an animation or a list: one shown at a time.
void MainWindow::showFrame(int index) {
    if (frameCount() < 2) return;
    const int wanted = (index + frameCount()) % frameCount();
    std::string why;
    const auto frame = [&] {
        BusyCursor busy; // a frame far into a large animation takes a moment
        return held_->frame(wanted, nullptr, &why);
    }();
    if (!frame) {
        showFailure(QStringLiteral("Cannot show frame %1 of \"%2\":\n%3.")
                        .arg(wanted + 1)
                        .arg(pictureFrame_->title(), QString::fromStdString(why)));
        return;
    }
    frame_ = wanted;
    pictureBox_->setPicture(frame);
    updateFrameBar();
    if (preview_) preview_->refresh();
}

void MainWindow::updateFrameBar() {
    const bool several = frameCount() > 1;
    frameBar_->setVisible(several);
    if (several)
        frameCounter_->setText(QStringLiteral("Frame %1 of %2").arg(frame_ + 1).arg(frameCount()));
    centreFrame();
}

// ---- series and settings file ------------------------------------------

void MainWindow::setSeries(grob::Series series) {
    series_ = series;
    menuItem(MenuArray::Settings, 1)->setChecked(series == grob::Series::HP48);
    menuItem(MenuArray::Settings, 2)->setChecked(series == grob::Series::HP49);
    if (preview_) preview_->refresh();
}

// The room a window has: the available part of the screen `at` is on (the
// primary screen when it is on none).
static QRect RoomAt(const QPoint& at, const QScreen* fallback) {
    const QScreen* screen = QGuiApplication::screenAt(at);
    if (!screen) screen = fallback ? fallback : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

// `frame` moved (and made smaller if need be) to lie within `room`.
static QRect Within(QRect frame, const QRect& room) {
    frame.setSize(frame.size().boundedTo(room.size()));
    frame.moveLeft(std::clamp(frame.left(), room.left(), room.right() + 1 - frame.width()));
    frame.moveTop(std::clamp(frame.top(), room.top(), room.bottom() + 1 - frame.height()));
    return frame;
}

void MainWindow::restoreWindowSettings() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize screenPx = screen ? screen->geometry().size() : QSize(1024, 768);
    const float screenW = float(twips::FromPixels(screenPx.width()));
    const float screenH = float(twips::FromPixels(screenPx.height()));
    if (const auto values = settings::Load(Native(options_.settingsPath))) {
        setTwipsGeometry(values->left, values->top, values->width, values->height);
        // Where a larger or a second screen had it: back within this one,
        // so that its menus can be reached.
        // (A file may say any size and place: both are bounded before any
        // sum is made of them.)
        constexpr int kFar = 1 << 24;
        const QPoint at(std::clamp(frameGeometry().x(), -kFar, kFar),
                        std::clamp(frameGeometry().y(), -kFar, kFar));
        const QSize size = outerSize_ ? *outerSize_ : frameGeometry().size();
        const QRect room = RoomAt(at, screen);
        const QRect stood(at, QSize(std::clamp(size.width(), 1, std::max(room.width(), 1)),
                                    std::clamp(size.height(), 1, std::max(room.height(), 1))));
        if (stood.size() != size || !room.contains(stood)) {
            const QRect kept = Within(stood, room);
            move(kept.topLeft());
            if (kept.size() != size) {
                outerSize_ = kept.size();
                applyOuterSize();
            }
        }
        setSeries(values->hp48 ? grob::Series::HP48 : grob::Series::HP49);
        startSettings_ = *values;
        return;
    }
    const auto fallback = settings::FallbackSize(screenW, screenH);
    setTwipsGeometry(std::nullopt, std::nullopt, fallback.width, fallback.height);
    const auto position =
        settings::CentredPosition(screenW, screenH, {twipsWidth(), twipsHeight()});
    setTwipsGeometry(position.left, position.top, std::nullopt, std::nullopt);
    startSettings_ = {position.left, position.top, fallback.width, fallback.height, false};
}

void MainWindow::saveWindowSettings() {
    // The window as it stands: its outer frame in whole pixels, as twips. A
    // batch run has left the file as the window was placed.
    if (batch_) return;
    settings::WindowSettings values{twipsLeft(), twipsTop(), twipsWidth(), twipsHeight(),
                                    series_ == grob::Series::HP48};
    // Closed before the window system framed it: the outer size asked for
    // is the one it stands at (its frame is not yet counted in).
    if (!placed_ && outerSize_) {
        values.width = float(twips::FromPixels(outerSize_->width() - panelExtent()));
        values.height = float(twips::FromPixels(outerSize_->height()));
    }
    const std::string error = settings::Save(Native(options_.settingsPath), values);
    if (!error.empty()) {
        std::FILE* out = options_.errors ? options_.errors : stderr;
        std::fprintf(out, "veldar-convert: cannot write the settings file %s: %s\n",
                     qPrintable(options_.settingsPath), error.c_str());
        std::fflush(out);
    }
}

// ---- preview and preparation -------------------------------------------

void MainWindow::showPreview() {
    openPreview(true);
}

void MainWindow::openPreview(bool forward) {
    if (!preview_) {
        preview_ = new PreviewWindow(
            preferences_,
            [this] {
                return PreviewSource{pictureBox_->hasPicture() ? pictureBox_->picture() : nullptr,
                                     pictureFrame_->title(), series_, held_, frame_};
            },
            options_.messenger, options_.prompter ? options_.prompter : ownPrompter_.get(),
            previewPanel_);
        previewPanel_->setWidget(preview_);
        connect(preview_, &PreviewWindow::preferencesChanged, this, [this] {
            // The menu's, not the preview's.
            const bool clearPadding = preferences_.clearPadding, viewer = preferences_.viewer;
            static_cast<grob::Choices&>(preferences_) = preview_->preferences();
            preferences_.clearPadding = clearPadding;
            preferences_.viewer = viewer;
            saveTimer_->start(); // written once the changes come to rest
            updateCopyShortcut();
            updateStatusLine();
        });
        // A change made with a control, or Reset to defaults: a step of the history.
        connect(preview_, &PreviewWindow::edited, this, [this](const grob::OptionEntry* option) {
            recordStep(option ? TableText(option->label) : QStringLiteral("Reset to defaults"),
                       option);
        });
        // Asked from the preview, its dialogs and messages belong to it.
        connect(preview_, &PreviewWindow::saveGrobRequested, this, [this] {
            const QPointer<QWidget> was = std::exchange(asker_, preview_.data());
            convertTo(preferences_.kind);
            asker_ = was;
        });
        connect(preview_, &PreviewWindow::copyRequested, this, [this] {
            const QPointer<QWidget> was = std::exchange(asker_, preview_.data());
            copyAsText(preferences_.kind);
            asker_ = was;
        });
        connect(preview_, &PreviewWindow::spritesRequested, this, &MainWindow::showSprites);
        connect(preview_, &PreviewWindow::seriesChosen, this, &MainWindow::setSeries);
        connect(preview_->canvas, &PreviewCanvas::dragged, this, &MainWindow::dragOut);
        connect(preview_, &PreviewWindow::filesDropped, this, &MainWindow::loadFirstDropped);
    }
    if (previewPanel_->isHidden()) {
        preferences_.previewShown = true;
        // At the window's side unless it was left floating, or the screen
        // has no room for the window and the panel side by side.
        if (preferences_.previewFloating || !dockPreview()) floatPreview();
        savePreferences();
    }
    if (previewPanel_->isFloating() && forward) {
        previewPanel_->raise();
        previewPanel_->activateWindow();
    }
    updateStatusLine();
}

bool MainWindow::previewShown() const {
    return preview_ && !previewPanel_->isHidden();
}

QDockWidget* MainWindow::previewPanel() const {
    return previewPanel_;
}

// What the preview's panel takes of the window's width beside the picture's
// area, as laid out now: nothing unless it is shown at the window's side.
int MainWindow::dockedExtent() const {
    if (previewPanel_->isHidden() || previewPanel_->isFloating()) return 0;
    return std::max(0, width() - centralWidget()->width());
}

// The same as the window last settled it (a panel just closed or docked
// counts once the window has made room for it or taken its room back).
int MainWindow::panelExtent() const {
    return panelDocked_ ? dockedWidth_ : 0;
}

// The window's frame with the panel at its side, from `outer`, its frame
// without it: wider by the panel's width, so that the picture's area keeps
// its size (and ORBEX.ini its meaning), as far as the screen allows; beyond
// that the panel is narrower, down to its least width, and takes the rest
// from the picture's area, down to kLeastArea. The picture's area stays where it was (a panel on
// the left widens the window to the left). None when even that leaves no room.
std::optional<MainWindow::PanelPlace> MainWindow::frameWithPanel(const QRect& outer,
                                                                 bool onLeft) const {
    constexpr int kLeastArea = 240;
    const QRect room = RoomAt(outer.center(), screen());
    const int separator = dockSeparator();
    int panel = panelWidth();
    QRect frame(outer.topLeft(), QSize(outer.width() + panel + separator, outer.height()));
    if (isVisible() && frame.width() > room.width()) {
        // Narrower, down to its least width, rather than float.
        panel = std::clamp(room.width() - kLeastArea - separator,
                           previewPanel_->minimumSizeHint().width(), panel);
        if (room.width() - panel - separator < kLeastArea) return std::nullopt;
        frame.setWidth(std::max(room.width(), outer.width()));
    }
    if (onLeft) frame.moveLeft(outer.right() + 1 - frame.width());
    return PanelPlace{isVisible() ? Within(frame, room) : frame, panel};
}

int MainWindow::panelWidth() const {
    const int least = previewPanel_->minimumSizeHint().width();
    return preferences_.previewWidth > 0 ? std::max(preferences_.previewWidth, least)
                                         : previewPanel_->sizeHint().width();
}

int MainWindow::dockSeparator() const {
    return style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent, nullptr, this);
}

// The window given `frame`, and the panel its width in it.
void MainWindow::widenForPanel(const PanelPlace& place) {
    const QRect& frame = place.frame;
    outerSize_ = frame.size();
    applyOuterSize();
    if (frame.topLeft() != frameGeometry().topLeft()) move(frame.topLeft());
    // The picture's area its width, the panel the rest: held while the
    // layout places them, which keeps the sizes it placed.
    const int margins = frameGeometry().width() - width();
    QWidget* area = centralWidget();
    area->setFixedWidth(std::max(0, frame.width() - margins - place.panel - dockSeparator()));
    layout()->activate();
    area->setMinimumWidth(0);
    area->setMaximumWidth(QWIDGETSIZE_MAX);
    dockedWidth_ = dockedExtent();
}

// The panel at the window's side, the window made wider for it. False, and
// nothing shown, when the screen has no room for both side by side.
//
// The window manager answers each size asked of it some time later, and Qt
// takes each answer for the window's size as it comes: an answer to a size
// asked on the way (the one without the panel, or the least one with it)
// that comes after the window was made wider leaves the window narrower for
// a moment, the panel squeezed to its least width, and the layout then asks
// for that least width again, after the full one. So the window is asked
// for one size only: the full width, before the panel is shown in it.
bool MainWindow::dockPreview() {
    const bool onLeft = preferences_.previewOnLeft;
    // Before the first activation has made the outer size what was asked
    // for, that size, with the frame the window system has drawn since.
    const QRect outer(frameGeometry().topLeft(),
                      placed_ || !outerSize_ ? frameGeometry().size() : *outerSize_);
    const auto frame = frameWithPanel(outer, onLeft);
    if (!frame) {
        if (!placed_) applyOuterSize(); // the panel floats beside the window as asked for
        return false;
    }
    const Qt::DockWidgetArea side = onLeft ? Qt::LeftDockWidgetArea : Qt::RightDockWidgetArea;
    settingDock_ = true;
    outerSize_ = frame->frame.size();
    applyOuterSize();
    if (frame->frame.topLeft() != frameGeometry().topLeft()) move(frame->frame.topLeft());
    if (dockWidgetArea(previewPanel_) != side) addDockWidget(side, previewPanel_);
    previewPanel_->setFloating(false);
    previewPanel_->show();
    widenForPanel(*frame);
    settingDock_ = false;
    panelShown_ = panelDocked_ = true;
    return true;
}

// The panel as a window of its own: where it stood last time, frame and
// all; the first time beside this window. Always within the screen.
void MainWindow::floatPreview() {
    settingDock_ = true;
    previewPanel_->setFloating(true);
    panelShown_ = true;
    panelDocked_ = false;
    const QRect meant = placePreview();
    previewPanel_->show();
    settingDock_ = false;
    // A window manager may place a new window where it likes (over its
    // parent, say), and draws its frame only once it is shown: the
    // window goes where it was meant to once it has its frame.
    settlePreview(meant, 100);
}

// The panel was closed, floated or docked by the user: the window narrower
// or wider by the panel's width, so that the picture's area keeps its size;
// what was chosen is kept for the next start.
void MainWindow::panelChanged() {
    if (settingDock_ || closing_ || !preview_ || !isVisible() || isMinimized()) return;
    const bool shown = !previewPanel_->isHidden();
    const bool docked = shown && !previewPanel_->isFloating();
    const bool onLeft = dockWidgetArea(previewPanel_) == Qt::LeftDockWidgetArea;
    if (shown == panelShown_ && docked == panelDocked_ &&
        (!docked || onLeft == preferences_.previewOnLeft))
        return;
    if (docked && !panelDocked_) {
        // Docked by the user: the window made wider for it where it can be.
        // (Qt may have widened it already to the panel's least width.)
        const QRect outer = frameGeometry();
        const QRect area(outer.topLeft() + QPoint(onLeft ? dockedExtent() : 0, 0),
                         outer.size() - QSize(dockedExtent(), 0));
        if (const auto frame = frameWithPanel(area, onLeft))
            widenForPanel(*frame);
        else
            dockedWidth_ = dockedExtent();
    } else if (!docked && panelDocked_) {
        // Closed or floated: the window as narrow as before, once the
        // layout no longer counts the panel's least width.
        layout()->invalidate();
        layout()->activate();
        outerSize_ = frameGeometry().size() - QSize(dockedWidth_, 0);
        applyOuterSize();
        dockedWidth_ = 0;
    }
    panelShown_ = shown;
    panelDocked_ = docked;
    preferences_.previewShown = shown;
    if (shown) preferences_.previewFloating = !docked;
    if (docked) preferences_.previewOnLeft = onLeft;
    savePreferences();
    updateStatusLine();
}

// Where it stood last time, frame and all; the first time beside this
// window. Always within the screen. Returns the frame meant.
QRect MainWindow::placePreview() {
    // The frame the window manager draws round the panel, as far as known.
    const QMargins margins = panelFrame();
    const QRect outer = frameGeometry();
    const QSize least = previewPanel_->minimumSizeHint().grownBy(margins);
    QRect frame;
    if (preferences_.previewGeometry) {
        const WindowGeometry& stood = *preferences_.previewGeometry;
        frame = QRect(stood.x, stood.y, stood.width, stood.height);
    } else {
        // To the right of this window; else to its left; else at the
        // screen's right edge, narrower (down to its least width) so as to
        // leave this window's menus in sight.
        const QRect room = RoomAt(outer.center(), screen());
        frame =
            QRect(QPoint(0, 0), previewPanel_->sizeHint().grownBy(margins).boundedTo(room.size()));
        int x = outer.right() + 8;
        if (x + frame.width() - 1 > room.right()) x = outer.left() - 8 - frame.width();
        if (x < room.left()) {
            const int menus = outer.left() + 320;
            frame.setWidth(std::clamp(room.right() + 1 - menus, least.width(), frame.width()));
            x = room.right() + 1 - frame.width();
        }
        frame.moveTo(x, outer.top());
    }
    frame.setSize(frame.size().expandedTo(least));
    frame = Within(frame, RoomAt(frame.center(), screen()));
    previewPanel_->resize(
        frame.size().shrunkBy(margins).expandedTo(previewPanel_->minimumSizeHint()));
    previewPanel_->move(frame.topLeft()); // the frame's corner
    return frame;
}

// The frame round the floating panel, as the window system says it has
// drawn it: none until then, and none at all where the window manager draws
// none round such a window (openbox, say). Never this window's frame: with
// that guessed at first and the real one taken later, the panel's size would
// depend on when the window manager's answer came.
QMargins MainWindow::panelFrame() const {
    return FrameMargins(previewPanel_);
}

// Once the window manager has framed the window (or after `triesLeft`
// hundredths of a second), its frame is put exactly where it was meant to
// be: the inner size the frame meant less the panel's frame, as placePreview
// made it if the window manager draws none.
void MainWindow::settlePreview(QRect frame, int triesLeft) {
    if (!previewPanel_->isFloating() || closing_) return;
    const QWindow* window = previewPanel_->windowHandle();
    const bool framed = !FrameMargins(previewPanel_).isNull();
    if (triesLeft > 0 && !(framed && window && window->isExposed())) {
        QTimer::singleShot(10, this,
                           [this, frame, triesLeft] { settlePreview(frame, triesLeft - 1); });
        return;
    }
    const QSize inner =
        frame.size().shrunkBy(panelFrame()).expandedTo(previewPanel_->minimumSizeHint());
    if (previewPanel_->size() != inner) previewPanel_->resize(inner);
    if (previewPanel_->frameGeometry().topLeft() != frame.topLeft())
        previewPanel_->move(frame.topLeft());
}

// Where the panel stands, for the next start: floating, its frame, counted
// as placePreview and settlePreview count it.
void MainWindow::notePreviewPlace() {
    if (previewPanel_->isHidden()) return;
    if (previewPanel_->isFloating())
        preferences_.previewGeometry = Geometry(QRect(previewPanel_->frameGeometry().topLeft(),
                                                      previewPanel_->size().grownBy(panelFrame())));
    else
        preferences_.previewWidth = previewPanel_->width();
}

PreviewWindow* MainWindow::previewWindow() const {
    return preview_.data();
}

void MainWindow::savePreferences() {
    saveTimer_->stop();
    const std::string error = preferences_.save(Native(options_.preferencesPath));
    if (!error.empty())
        std::fprintf(options_.errors ? options_.errors : stderr, "veldar-convert: %s: %s\n",
                     qPrintable(options_.preferencesPath), error.c_str());
}

// ---- About -------------------------------------------------------------

void MainWindow::showAbout() {
    if (about_) {
        about_->raise();
        about_->activateWindow();
        return;
    }
    // Modeless and without an owner window; this window closes it on its way out.
    about_ = new AboutDialog(twipsLeft(), twipsTop(), options_.aboutServices);
    connect(about_, &QDialog::finished, this, &MainWindow::aboutClosed);
    about_->show();
    about_->raise();
    about_->activateWindow();
}

AboutDialog* MainWindow::aboutDialog() const {
    return about_.data();
}

SpritesDialog* MainWindow::spritesDialog() const {
    return sprites_.data();
}
