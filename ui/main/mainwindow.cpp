#include "mainwindow.h"

#include "aboutdialog.h"
#include "busycursor.h"
#include "commandline.h"
#include "layout.h"
#include "picturebox.h"
#include "previewwindow.h"
#include "qtnames.h"
#include "settings.h"
#include "targets.h"
#include "twips.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
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
#include <QTimer>
#include <QToolButton>

#include <cstdio>

namespace {

// Names between the window's text and the system's bytes, without loss.
std::string Native(const QString& name) {
    return qtnames::ToNative(name).toStdString();
}
QString Shown(const std::string& name) {
    return qtnames::FromNative(QByteArray::fromStdString(name));
}

constexpr float kDesignedClientWidth = 5010, kDesignedClientHeight = 4620;
constexpr float kFrameLeft = 0, kFrameTop = 0, kFrameWidth = 4575, kFrameHeight = 3615;
constexpr float kPictureLeft = 120, kPictureTop = 240, kPictureWidth = 4335, kPictureHeight = 3255;
constexpr float kMarkerLeft = 4200, kMarkerTop = 0, kMarkerSize = 255;

const QString kProgramTitle = QStringLiteral("VELDAR Image converter");

// The open dialog's filters: the classic list first, then GROBs, everything
// the loader reads, then every file.
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
    // With the GROB image plugin installed Qt names the kinds too: each once.
    QStringList all = patterns + grobs;
    all.removeDuplicates();
    return QStringLiteral("Image Files|*.jpg;*.gif;*.bmp;*.dib;*.wmf;*.emf;*.ico;*.cur") +
           QStringLiteral("|GROB files|") + grobs.join(u';') + QStringLiteral("|All pictures|") +
           all.join(u';') + QStringLiteral("|All files|*");
}

void MessageBox(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox::warning(parent, title, text, QMessageBox::Ok);
}

// A length in twips as the window stands it: whole pixels.
float WholePixels(float value) {
    return float(twips::FromPixels(twips::ToPixels(value)));
}

} // namespace

MainWindow::MainWindow(Options options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)),
      ownPrompter_(options_.prompter ? nullptr : std::make_unique<QtFilePrompter>()),
      openDialog_(options_.prompter ? options_.prompter : ownPrompter_.get()),
      saveDialog_(options_.prompter ? options_.prompter : ownPrompter_.get()) {
    if (!options_.messenger) options_.messenger = MessageBox;
    if (options_.preferencesPath.isEmpty())
        options_.preferencesPath = Preferences::PathBeside(options_.settingsPath);
    preferences_ = Preferences::Load(options_.preferencesPath);
    batch_ = cmdline::KindForOption(cmdline::Parse(options_.argumentText).option).has_value();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        twips::SetDpi(screen->logicalDotsPerInch());
    setWindowTitle(QStringLiteral("VELDAR V2.4 Image converter"));
    setWindowIcon(QIcon(QStringLiteral(":/veldar/icon.ico")));
    setAcceptDrops(true);

    auto* client = new QWidget(this);
    setCentralWidget(client);

    pictureFrame_ = new QGroupBox(client);
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
    connect(previousFrame_, &QToolButton::clicked, this, [this] { showFrame(frame_ - 1); });
    connect(nextFrame_, &QToolButton::clicked, this, [this] { showFrame(frame_ + 1); });
    passingTimer_ = new QTimer(this);
    passingTimer_->setSingleShot(true);
    passingTimer_->setInterval(4000);
    connect(passingTimer_, &QTimer::timeout, this, [this] { updateStatusLine(); });

    buildMenus();

    resize(twips::ToPixels(kDesignedClientWidth),
           twips::ToPixels(kDesignedClientHeight) + menuBar()->sizeHint().height());

    connect(pictureBox_, &PictureBox::resized, this, &MainWindow::fitFrameToPicture);
    connect(pictureBox_, &PictureBox::filesDropped, this, &MainWindow::loadFirstDropped);
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &MainWindow::onFocusWindowChanged);

    restoreWindowSettings();
}

MainWindow::~MainWindow() = default;

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
        if (item.command == Command::ClearPadding) {
            action->setCheckable(true);
            action->setChecked(preferences_.clearPadding);
        }
        std::optional<grob::OutputKind> kind;
        if (!item.kind.empty()) kind = grob::KindForExtension(item.kind);
        connect(action, &QAction::triggered, this,
                [this, command = item.command, kind] { run(command, kind ? &*kind : nullptr); });
        menus_[item.array][item.index] = action;
    }
}

void MainWindow::run(Command command, const grob::OutputKind* kind) {
    switch (command) {
    case Command::Open:
        return open();
    case Command::Exit:
        close();
        return;
    case Command::ConvertTo:
        return convertTo(*kind);
    case Command::CopyAsText:
        return copyAsText(*kind);
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
    case Command::About:
        return showAbout();
    case Command::None:
        return;
    }
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
float MainWindow::twipsWidth() const {
    return float(twips::FromPixels(frameGeometry().width()));
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
        outerSize_ = QSize(width ? twips::ToPixels(*width) : frameGeometry().width(),
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
    centreFrame();
}

void MainWindow::centreFrame() {
    const auto position =
        layout::CentreFrame(twipsWidth(), twipsHeight(), frameTwipsWidth_, frameTwipsHeight_);
    pictureFrame_->move(twips::ToPixels(float(position.left)),
                        twips::ToPixels(float(position.top)));
    placeMarker();
}

// The marker sits in the frame's top-right corner, but never outside the
// window: a frame wider than the window would carry it out of sight.
void MainWindow::placeMarker() {
    // The client area spans the window's inner width, below the menu bar.
    const int clientWidth = width();
    const int clientHeight = height() - menuBar()->height();
    const int x = std::min(twips::ToPixels(markerTwipsLeft_),
                           clientWidth - pictureFrame_->x() - marker_->width());
    const int y = std::min(twips::ToPixels(kMarkerTop),
                           clientHeight - pictureFrame_->y() - marker_->height());
    marker_->move(std::max(x, -pictureFrame_->x()), std::max(y, -pictureFrame_->y()));
    const int lineHeight = statusLine_->sizeHint().height();
    const QSize bar = frameBar_->isVisible() ? frameBar_->sizeHint() : QSize(0, 0);
    statusLine_->setGeometry(0, clientHeight - lineHeight, clientWidth - bar.width(), lineHeight);
    frameBar_->setGeometry(clientWidth - bar.width(), clientHeight - bar.height(), bar.width(),
                           bar.height());
}

// What the window must not hide: a preparation in force while the preview
// is open. A passing message shows for a moment in its place.
void MainWindow::updateStatusLine(const QString& passing) {
    QString text = passing;
    if (!passing.isEmpty()) {
        passingTimer_->start();
    } else if (preview_ && preview_->isVisible()) {
        const QString prepared = Describe(preferences_.preparation);
        if (!prepared.isEmpty())
            text = QStringLiteral("Converting as the preview shows: ") + prepared;
    }
    statusLine_->setText(QStringLiteral(" ") + text);
    statusLine_->setToolTip(text);
    statusLine_->setVisible(!text.isEmpty());
    placeMarker();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (frames_.size() > 1 && (event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown))
        return showFrame(frame_ + (event->key() == Qt::Key_PageDown ? 1 : -1));
    QMainWindow::keyPressEvent(event);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    centreFrame();
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
    applyOuterSize();
    // The preview comes back if it was open at the end of the last run.
    if (preferences_.previewShown) showPreview();
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

void MainWindow::batchFailure(const QString& file, const QString& cause) {
    std::FILE* out = options_.errors ? options_.errors : stderr;
    const QString line = QStringLiteral("veldar-convert: %1: %2").arg(file, cause);
    std::fprintf(out, "%s\n", qtnames::Printable(line).toLocal8Bit().constData());
    std::fflush(out);
    exitCode_ = 1;
    close();
}

void MainWindow::showFailure(const QString& text) {
    options_.messenger(this, kProgramTitle, text);
}

// Started with a picture and no valid option, each activation shows the
// command line's picture again; only the first says when it cannot.
void MainWindow::activated() {
    if (closing_ || options_.argumentText.isEmpty() || batch_) return;
    const bool first = !activatedOnce_;
    activatedOnce_ = true;
    const cmdline::CommandLine line = cmdline::Parse(options_.argumentText);
    QString error;
    if (!loadPicture(line.fileName, &error) && first)
        showFailure(QStringLiteral("Cannot open \"%1\":\n%2.").arg(line.fileName, error));
}

// The classic batch run: the picture shown, its GROB written beside it
// through the pipeline, then the window closes.
void MainWindow::runBatch() {
    if (closing_) return;
    const cmdline::CommandLine line = cmdline::Parse(options_.argumentText);
    const grob::OutputKind kind = *cmdline::KindForOption(line.option);
    if (line.fileName.isEmpty())
        return batchFailure(line.fileName, QStringLiteral("no file name given"));
    QString error;
    if (!loadPicture(line.fileName, &error)) return batchFailure(line.fileName, error);
    pipeline::Request request;
    request.source = pipeline::Source::File(Native(line.fileName));
    request.kind = kind;
    request.series = series_;
    const QString output =
        cmdline::OutputName(line.fileName, QString::fromLatin1(kind.extension.data(),
                                                               qsizetype(kind.extension.size())));
    request.outputs = {{pipeline::Product::Grob, pipeline::Target::File(Native(output))}};
    for (const pipeline::Clash& clash : pipeline::CheckTargets({request}))
        return batchFailure(Shown(clash.file), QString::fromStdString(clash.cause));
    BusyCursor busy;
    const pipeline::Result result = pipeline::Convert(request);
    if (!result.ok()) return batchFailure(Shown(result.file), QString::fromStdString(result.cause));
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // On the way out: save the settings, close the About window; never refused.
    closing_ = true;
    saveWindowSettings();
    if (about_) about_->close();
    if (preview_) {
        preferences_.previewShown = preview_->isVisible();
        preferences_.previewGeometry = preview_->geometry();
        savePreferences();
        preview_->close();
    }
    event->accept();
}

// ---- picture loading ---------------------------------------------------

bool MainWindow::loadPicture(const QString& path, QString* error) {
    if (path.isEmpty()) {
        pictureBox_->clearPicture();
    } else {
        BusyCursor busy; // a large picture or a metafile can take a moment
        pictureloader::Options options;
        options.allFrames = true; // an animation, a multi-page picture, a list of GROBs
        loading::Picture result = pictureloader::Load(Native(path), options);
        if (!result.ok()) {
            if (error) *error = QString::fromStdString(result.error);
            return false;
        }
        frames_.clear();
        delays_.clear();
        for (loading::Frame& frame : result.frames) {
            frames_.push_back(std::make_shared<const grob::Image>(std::move(frame.image)));
            delays_.push_back(frame.delayMs);
        }
        frame_ = 0;
        pictureBox_->setPicture(frames_.front());
    }
    if (path.isEmpty()) frames_.clear(), delays_.clear(), frame_ = 0;
    updateFrameBar();
    pictureFrame_->setTitle(path);
    pictureFrame_->setToolTip(path); // the caption is cut at the frame's width
    marker_->hide();
    if (preview_) preview_->refresh();
    return true;
}

bool MainWindow::loadPictureOrSay(const QString& path) {
    QString error;
    if (loadPicture(path, &error)) return true;
    showFailure(QStringLiteral("Cannot open \"%1\":\n%2.").arg(path, error));
    return false;
}

void MainWindow::open() {
    openDialog_.filter = OpenFilter();
    if (!openDialog_.showOpen(this)) return;
    loadPictureOrSay(openDialog_.fileName);
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

pipeline::Request MainWindow::requestFor(const grob::OutputKind& kind) const {
    pipeline::Request request;
    request.source =
        pipeline::Source::Loaded(pictureBox_->picture(), Native(pictureFrame_->title()));
    request.kind = kind;
    request.series = series_;
    // What you see is what you convert: the preparation applies while the
    // preview window is open.
    if (preview_ && preview_->isVisible()) request.preparation = preferences_.preparation;
    request.padding = preferences_.clearPadding ? grob::Padding::Clear : grob::Padding::Classic;
    return request;
}

// Asks where to write (cancelled: nothing converted, nothing changed), then
// writes the request's one output there; a failure is said and leaves the
// marker as it was.
std::optional<pipeline::Result> MainWindow::saveAs(const QString& filter, pipeline::Request request,
                                                   pipeline::Product product) {
    saveDialog_.filter = filter;
    if (!saveDialog_.showSave(this)) return std::nullopt;
    request.outputs = {{product, pipeline::Target::File(Native(saveDialog_.fileName))}};
    pipeline::Context context;
    context.audience = pipeline::Audience::Window;
    BusyCursor busy;
    pipeline::Result result = pipeline::Convert(request, context);
    if (!result.ok()) {
        showFailure(QStringLiteral("Cannot write \"%1\":\n%2.")
                        .arg(saveDialog_.fileName, QString::fromStdString(result.cause)));
        return std::nullopt;
    }
    marker_->show();
    return result;
}

void MainWindow::convertTo(const grob::OutputKind& kind) {
    saveAs(menutable::SaveFilter(kind), requestFor(kind), pipeline::Product::Grob);
}

void MainWindow::convertFramesTo(const grob::OutputKind& kind) {
    pipeline::Request request = requestFor(kind);
    request.source.frames =
        frames_.empty() ? std::vector<std::shared_ptr<const grob::Image>>{pictureBox_->picture()}
                        : frames_;
    request.cutting.frames = true;
    const QString extension =
        QString::fromLatin1(kind.extension.data(), qsizetype(kind.extension.size()));
    if (const auto result = saveAs(QStringLiteral("GROB list (*.%1.lst)|*.lst").arg(extension),
                                   request, pipeline::Product::List))
        updateStatusLine(QStringLiteral("Wrote %1 GROBs as one list.").arg(result->pictures));
}

// The frames of an animation or a list: one shown at a time.
void MainWindow::showFrame(int index) {
    if (frames_.size() < 2) return;
    frame_ = (index + int(frames_.size())) % int(frames_.size());
    pictureBox_->setPicture(frames_[std::size_t(frame_)]);
    updateFrameBar();
    if (preview_) preview_->refresh();
}

void MainWindow::updateFrameBar() {
    const bool several = frames_.size() > 1;
    frameBar_->setVisible(several);
    if (several)
        frameCounter_->setText(
            QStringLiteral("Frame %1 of %2").arg(frame_ + 1).arg(frames_.size()));
    placeMarker();
}

void MainWindow::copyAsText(const grob::OutputKind& kind) {
    pipeline::Request request = requestFor(kind);
    request.outputs = {{pipeline::Product::GrobText, pipeline::Target::Memory()}};
    pipeline::Context context;
    context.audience = pipeline::Audience::Window;
    const pipeline::Result result = pipeline::Convert(request, context);
    if (!result.ok()) {
        showFailure(
            QStringLiteral("Cannot copy the GROB:\n%1.").arg(QString::fromStdString(result.cause)));
        return;
    }
    const std::vector<std::uint8_t>& text = result.made.front().bytes;
    QGuiApplication::clipboard()->setText(
        QString::fromLatin1(reinterpret_cast<const char*>(text.data()), qsizetype(text.size())));
    updateStatusLine(
        QStringLiteral("Copied the %1 as text: %2 x %3 dots.")
            .arg(QString::fromLatin1(kind.description.data(), qsizetype(kind.description.size())))
            .arg(result.dotsWide)
            .arg(result.dotsHigh));
}

// ---- series and settings file ------------------------------------------

void MainWindow::setSeries(grob::Series series) {
    series_ = series;
    menuItem(MenuArray::Settings, 1)->setChecked(series == grob::Series::HP48);
    menuItem(MenuArray::Settings, 2)->setChecked(series == grob::Series::HP49);
    if (preview_) preview_->refresh();
}

void MainWindow::restoreWindowSettings() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize screenPx = screen ? screen->geometry().size() : QSize(1024, 768);
    const float screenW = float(twips::FromPixels(screenPx.width()));
    const float screenH = float(twips::FromPixels(screenPx.height()));
    if (const auto values = settings::Load(options_.settingsPath)) {
        setTwipsGeometry(values->left, values->top, values->width, values->height);
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
    // batch run never gave anyone the chance to move it: it leaves the
    // values it was placed by, whether or not the window reached the screen.
    settings::WindowSettings values{twipsLeft(), twipsTop(), twipsWidth(), twipsHeight(),
                                    series_ == grob::Series::HP48};
    if (batch_)
        values = {WholePixels(startSettings_.left), WholePixels(startSettings_.top),
                  WholePixels(startSettings_.width), WholePixels(startSettings_.height),
                  series_ == grob::Series::HP48};
    const QString error = settings::Save(options_.settingsPath, values);
    if (!error.isEmpty()) {
        std::FILE* out = options_.errors ? options_.errors : stderr;
        std::fprintf(out, "veldar-convert: cannot write the settings file %s: %s\n",
                     qPrintable(options_.settingsPath), qPrintable(error));
        std::fflush(out);
    }
}

// ---- preview and preparation -------------------------------------------

void MainWindow::showPreview() {
    if (!preview_) {
        preview_ = new PreviewWindow(
            preferences_,
            [this] {
                return PreviewSource{pictureBox_->hasPicture() ? pictureBox_->picture() : nullptr,
                                     pictureFrame_->title(), series_, frames_, delays_};
            },
            options_.messenger, this);
        preview_->setAttribute(Qt::WA_DeleteOnClose);
        connect(preview_, &PreviewWindow::preferencesChanged, this, [this] {
            const bool clearPadding = preferences_.clearPadding; // the menu's, not the preview's
            static_cast<Choices&>(preferences_) = preview_->preferences();
            preferences_.clearPadding = clearPadding;
            preferences_.previewShown = true;
            saveTimer_->start(); // written once the changes come to rest
            updateStatusLine();
        });
        connect(preview_, &QDialog::finished, this, [this] {
            if (closing_) return;
            preferences_.previewShown = false;
            preferences_.previewGeometry = preview_->geometry();
            savePreferences();
            updateStatusLine();
        });
        preferences_.previewShown = true;
        placePreview();
        savePreferences();
        preview_->show();
        // A window manager may place a new window where it likes (over its
        // parent, say): it goes where it was meant to once it is shown.
        const QPoint meant = preview_->pos();
        QTimer::singleShot(0, preview_, [preview = preview_, meant] {
            if (preview && preview->pos() != meant) preview->move(meant);
        });
    }
    preview_->show();
    preview_->raise();
    updateStatusLine();
}

// Where it stood last time; the first time beside this window, on the screen.
void MainWindow::placePreview() {
    if (preferences_.previewGeometry) {
        preview_->setGeometry(*preferences_.previewGeometry);
        return;
    }
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QRect room = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const QRect main = frameGeometry();
    const QSize size = preview_->sizeHint();
    // To the right of this window; else to its left; else as far right as
    // the screen allows, leaving this window's menus in sight.
    int x = main.right() + 8;
    if (x + size.width() > room.right()) x = main.left() - 8 - size.width();
    if (x < room.left())
        x = std::max({room.left(), room.right() - size.width(), main.left() + 320});
    const int y =
        std::clamp(main.top(), room.top(), std::max(room.top(), room.bottom() - size.height()));
    preview_->move(x, y);
}

PreviewWindow* MainWindow::previewWindow() const {
    return preview_.data();
}

void MainWindow::savePreferences() {
    saveTimer_->stop();
    const QString error = preferences_.save(options_.preferencesPath);
    if (!error.isEmpty())
        std::fprintf(options_.errors ? options_.errors : stderr, "veldar-convert: %s: %s\n",
                     qPrintable(options_.preferencesPath), qPrintable(error));
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
