#include "previewwindow.h"

#include "commondialog.h"
#include "grob/options.h"
#include "optionform.h"
#include "picturebox.h"
#include "preview.h"
#include "previewcanvas.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFormLayout>
#include <QFutureWatcher>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>
#include <QWheelEvent>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace {

// A label whose wrapped text always has the height it needs: the layout
// gives the room to it, never draws it over its neighbours.
class WrappedLabel final : public QLabel {
  public:
    explicit WrappedLabel(QWidget* parent) : QLabel(parent) { setWordWrap(true); }
    void setWrappedText(const QString& text) {
        setText(text);
        fitHeight();
    }

  protected:
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        fitHeight();
    }

  private:
    // The text's height at the present width (heightForWidth would count
    // the minimum height set before).
    void fitHeight() {
        const QMargins margins = contentsMargins();
        const int room = std::max(1, width() - margins.left() - margins.right() - 2 * margin());
        const int height = fontMetrics()
                               .boundingRect(QRect(0, 0, room, 1 << 20),
                                             int(alignment()) | Qt::TextWordWrap, text())
                               .height() +
                           margins.top() + margins.bottom() + 2 * margin();
        if (height != minimumHeight()) setMinimumHeight(height);
    }
};

// An RGBX picture over pixels that `owner` keeps alive.
QImage ImageOf(const grob::Image& picture) {
    return QImage(reinterpret_cast<const uchar*>(picture.pixels.data()), picture.width,
                  picture.height, qsizetype(picture.width) * 4, QImage::Format_RGBX8888);
}

} // namespace

// A drawing as it comes back from its thread.
struct PreviewWindow::Drawn {
    windowjob::Outcome outcome;
    QImage dots; // one pixel a dot, in the view's colours
};

PreviewWindow::PreviewWindow(Preferences preferences, std::function<PreviewSource()> source,
                             Messenger messenger, FilePrompter* prompter, QWidget* parent)
    : QWidget(parent), preferences_(std::move(preferences)), source_(std::move(source)),
      messenger_(std::move(messenger)), prompter_(prompter) {
    setWindowTitle(QStringLiteral("Preview - VELDAR Image converter"));
    setAcceptDrops(true);

    resetButton = new QPushButton(QStringLiteral("Reset to defaults"), this);
    resetButton->setToolTip(
        QStringLiteral("The whole picture as it stands, at its natural size, no change of tone, no "
                       "dithering: the plain conversion."));
    fitToWindow = new QCheckBox(QStringLiteral("Fit to window"), this);
    fitToWindow->setToolTip(
        QStringLiteral("The largest zoom at which the preview fits the window."));
    play = new QCheckBox(QStringLiteral("Play the frames"), this);
    play->setToolTip(
        QStringLiteral("An animation's frames at its own pace, a list's GROBs in turn."));
    showFitted = new QCheckBox(QStringLiteral("Before: the picture as fitted"), this);
    showFitted->setToolTip(QStringLiteral(
        "Before and after: the picture as fitted, before its tone, dithering and shades, in "
        "place of the calculator's view."));
    saveGrobButton = new QPushButton(QStringLiteral("Save GROB..."), this);
    saveGrobButton->setToolTip(QStringLiteral("Writes the GROB shown, in the preview's kind."));
    copyButton = new QPushButton(QStringLiteral("Copy as text"), this);
    copyButton->setToolTip(
        QStringLiteral("The GROB shown on the clipboard as the bare text object, ready to paste "
                       "into a calculator's or an emulator's command line."));
    spritesButton = new QPushButton(QStringLiteral("Sprites..."), this);
    spritesButton->setToolTip(QStringLiteral(
        "Every frame, tiles and masks, as numbered files or one list, in the preview's kind."));
    saveButton = new QPushButton(QStringLiteral("Save as PNG..."), this);
    saveButton->setToolTip(QStringLiteral("The calculator's view as a PNG picture."));
    // Enter on a button presses it (there is no default button: Enter in a
    // control only takes its value).
    for (QPushButton* button : {resetButton, saveGrobButton, copyButton, spritesButton, saveButton})
        button->setAutoDefault(true);
    playTimer_ = new QTimer(this);
    playTimer_->setObjectName(QStringLiteral("playTimer"));
    playTimer_->setSingleShot(true);
    pool_.setMaxThreadCount(1);
    memory_ = std::make_shared<windowjob::Memory>();
    busyTimer_ = new QTimer(this);
    busyTimer_->setSingleShot(true);
    busyTimer_->setInterval(100);

    // The controls in a column of their own, which scrolls on a low screen:
    // the kind, the preparation, and the view's own.
    auto* controls = new QWidget(this);
    auto* form = new QFormLayout(controls);
    options = new OptionForm(this);
    options->add(grob::Option("kind"), form);
    // Which calculator or program shows the kind; the series beside it (the
    // main window's Settings menu has it too).
    shownBy = new WrappedLabel(this);
    shownBy->setObjectName(QStringLiteral("shownBy"));
    form->addRow(shownBy);
    options->add(grob::Option("series"), form);
    options->add(grob::kPreparation, form);
    form->addRow(QString(), resetButton);
    zoom = options->add(grob::Option("zoom"), form).whole;
    zoom->setSuffix(QStringLiteral(" x"));
    zoom->setToolTip(zoom->toolTip() + QStringLiteral(" Ctrl+wheel, Ctrl++ and Ctrl+-."));
    form->addRow(fitToWindow);
    form->addRow(play);
    form->addRow(showFitted);
    auto* column = new QScrollArea(this);
    column->setObjectName(QStringLiteral("controls"));
    column->setWidget(controls);
    column->setWidgetResizable(true);
    column->setFrameShape(QFrame::NoFrame);
    column->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    column->setFixedWidth(controls->sizeHint().width() +
                          column->verticalScrollBar()->sizeHint().width());
    column->setMinimumHeight(std::min(controls->sizeHint().height(), 160));

    canvas = new PreviewCanvas(this);
    canvas->setToolTip(QStringLiteral(
        "Drag it out of the window onto a file manager, an emulator or another program: the "
        "GROB as a file, as Save GROB... writes it; with Shift held, the view as a PNG."));
    scroll_ = new QScrollArea(this);
    scroll_->setWidget(canvas);
    scroll_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    scroll_->setMinimumSize(160, 100);
    scroll_->viewport()->installEventFilter(this);
    auto* wrapped = new WrappedLabel(this);
    info = wrapped;
    info->setTextInteractionFlags(Qt::TextSelectableByMouse);
    info->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    busyLabel_ = new QLabel(QStringLiteral("Drawing..."), this);
    busyLabel_->hide();
    connect(busyTimer_, &QTimer::timeout, busyLabel_, &QWidget::show);
    said = new QLabel(this);
    said->setWordWrap(true);
    said->hide();
    saidTimer_ = new QTimer(this);
    saidTimer_->setSingleShot(true);
    saidTimer_->setInterval(6000);
    connect(saidTimer_, &QTimer::timeout, said, &QWidget::hide);
    auto* notes = new QVBoxLayout;
    notes->addWidget(busyLabel_);
    notes->addWidget(said);
    // The actions two by two, so that they never widen the window.
    auto* actions = new QGridLayout;
    actions->addLayout(notes, 0, 0, 2, 1);
    actions->setColumnStretch(0, 1);
    actions->addWidget(saveGrobButton, 0, 1);
    actions->addWidget(copyButton, 0, 2);
    actions->addWidget(spritesButton, 1, 1);
    actions->addWidget(saveButton, 1, 2);
    auto* right = new QVBoxLayout;
    right->addWidget(scroll_, 1);
    right->addWidget(info);
    right->addLayout(actions);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(column);
    layout->addLayout(right, 1);
    // Tab goes down the controls' column (which scrolls to show each), to the
    // view and then the buttons, as they stand; the column is no stop itself.
    column->setFocusPolicy(Qt::NoFocus);
    TabInLayoutOrder(layout);
    // Ctrl+Z in a number's field undoes what was typed there, and else the
    // window's last step.
    for (QAbstractSpinBox* field : controls->findChildren<QAbstractSpinBox*>())
        field->installEventFilter(this);
    // A 131 x 80 screen at zoom 2 (the first zoom) without scroll bars.
    const preview::Size screens = preview::PreviewSize(0, 0, 2);
    wanted_ = QSize(column->width() + int(screens.width) + 40,
                    std::max(controls->sizeHint().height() + 24, int(screens.height) + 130));
    resize(wanted_);

    showControls();

    connect(options, &OptionForm::changed, this, &PreviewWindow::changed);
    connect(resetButton, &QPushButton::clicked, this, [this] {
        grob::Choices plain = preferences_;
        plain.preparation = grob::Preparation{};
        setChoices(plain);
        Q_EMIT edited(nullptr);
    });
    connect(showFitted, &QCheckBox::toggled, canvas, &PreviewCanvas::setShowFitted);
    connect(play, &QCheckBox::toggled, this, [this](bool on) {
        playing_ = on ? 0 : -1;
        if (!on) playTimer_->stop();
        refresh();
    });
    connect(playTimer_, &QTimer::timeout, this, [this] {
        const PreviewSource shown = source_();
        const int count = shown.held ? shown.held->frames() : 0;
        if (playing_ < 0 || count < 2) return;
        playing_ = (playing_ + 1) % int(count);
        refresh();
    });
    connect(fitToWindow, &QCheckBox::toggled, this, [this](bool on) {
        zoom->setEnabled(!on);
        if (on) zoom->setValue(zoomThatFits());
    });
    connect(saveButton, &QPushButton::clicked, this, [this] { savePng({}); });
    connect(saveGrobButton, &QPushButton::clicked, this, &PreviewWindow::saveGrobRequested);
    connect(copyButton, &QPushButton::clicked, this, &PreviewWindow::copyRequested);
    connect(spritesButton, &QPushButton::clicked, this, &PreviewWindow::spritesRequested);
    building_ = false;
    readControls();
    refresh();
}

// The controls as the preferences have them.
void PreviewWindow::showControls() {
    options->show(preferences_);
    canvas->setZoom(preferences_.zoom);
}

void PreviewWindow::setChoices(const grob::Choices& choices) {
    grob::Choices& mine = preferences_;
    const int keptZoom = mine.zoom;
    mine = choices;
    mine.zoom = keptZoom;
    showControls();
    readControls();
    refresh();
    Q_EMIT preferencesChanged();
}

// The choices as the controls have them; the controls enabled where their
// option has its effect (the threshold for the 1-bit kind without
// dithering, say), as the table says.
void PreviewWindow::readControls() {
    options->read(preferences_);
    options->follow(preferences_);
    zoom->setEnabled(!fitToWindow->isChecked());
    const grob::Preparation& p = preferences_.preparation;
    resetButton->setEnabled(!p.neutral() || p.fit.upscale);
}

// A control changed: the zoom only enlarges what is shown, nothing is
// drawn again; anything else is drawn anew.
void PreviewWindow::changed(const grob::OptionEntry& option) {
    if (building_) return;
    readControls();
    if (&option == &grob::Option("series")) {
        // The main window's to keep (in ORBEX.ini); it draws the preview again.
        Q_EMIT seriesChosen(preferences_.series.value_or(grob::Series::HP49));
        return;
    }
    if (&option == &grob::Option("zoom"))
        canvas->setZoom(preferences_.zoom);
    else
        refresh();
    Q_EMIT preferencesChanged();
    Q_EMIT edited(&option);
}

windowjob::Job PreviewWindow::job(const PreviewSource& source) const {
    windowjob::Job job;
    job.picture = source.picture;
    job.held = source.held ? source.held->file() : nullptr;
    job.frame = source.frame;
    job.path = source.path;
    job.choices.kind = preferences_.kind;
    job.choices.series = source.series;
    grob::CopyOptions(preferences_, job.choices, grob::kPreparation | grob::kPreviewView);
    job.make = windowjob::Make::View;
    return job;
}

PreviewWindow::~PreviewWindow() {
    if (cancel_) cancel_->store(true);
    pool_.waitForDone();
}

void PreviewWindow::refresh() {
    PreviewSource source = source_();
    if (preferences_.series != source.series) {
        preferences_.series = source.series;
        options->show(preferences_);
    }
    static_cast<WrappedLabel*>(shownBy)->setWrappedText(
        QString::fromStdString(grob::ShownBy(preferences_.kind)));
    const int frames = source.held ? source.held->frames() : 0;
    play->setEnabled(frames > 1);
    if (playing_ >= 0 && frames > 1) {
        playing_ %= frames;
        int delay = 0;
        if (auto frame = source.held->frame(playing_, &delay)) {
            source.picture = std::move(frame);
            source.frame = playing_;
        }
        playTimer_->start(delay > 0 ? delay : 100);
    }
    if (cancel_) cancel_->store(true); // the drawing under way is no longer wanted
    const quint64 generation = ++generation_;
    if (!source.picture) {
        display({}, true);
        return;
    }
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    cancel_ = cancel;
    ++pending_;
    if (!busyTimer_->isActive() && !busyLabel_->isVisible()) busyTimer_->start();
    auto* watcher = new QFutureWatcher<Drawn>(this);
    connect(watcher, &QFutureWatcher<Drawn>::finished, this, [this, watcher, generation] {
        --pending_;
        if (generation == generation_) display(watcher->result(), false);
        watcher->deleteLater();
    });
    watcher->setFuture(
        QtConcurrent::run(&pool_, [job = job(source), cancel, memory = memory_]() -> Drawn {
            Drawn drawn;
            drawn.outcome = windowjob::Run(job, cancel.get(), memory.get());
            const windowjob::Outcome& made = drawn.outcome;
            if (made.ok() && made.fitted) {
                // The dots of the view at one pixel a dot: those of the
                // picture as fitted, inside the margin.
                drawn.dots = ImageOf(made.view).copy(preview::kMargin, preview::kMargin,
                                                     made.fitted->width, made.fitted->height);
            }
            return drawn;
        }));
}

void PreviewWindow::display(const Drawn& drawn, bool empty) {
    busyTimer_->stop();
    busyLabel_->hide();
    const windowjob::Outcome& made = drawn.outcome;
    const bool shows = !empty && made.ok() && !drawn.dots.isNull();
    if (empty) {
        setInfo(QStringLiteral("No picture: open one with File... > Open, or drop one here or on "
                               "the main window."));
    } else if (made.ok()) {
        QString text = QStringLiteral("%1 x %2 dots, %3 bytes")
                           .arg(made.dotsWide)
                           .arg(made.dotsHigh)
                           .arg(QLocale(QLocale::English).toString(qulonglong(made.grobBytes)));
        for (const QString& note : made.notes)
            text += u'\n' + note;
        setInfo(text);
    } else {
        setInfo(QStringLiteral("No preview: %1.").arg(made.cause));
    }
    fitted_ = shows ? made.fitted : nullptr;
    canvas->setView(shows ? drawn.dots : QImage(), shows ? ImageOf(*fitted_) : QImage(),
                    preferences_.zoom);
    for (QPushButton* button : {saveButton, saveGrobButton, copyButton, spritesButton})
        button->setEnabled(shows);
    if (fitToWindow->isChecked()) zoom->setValue(zoomThatFits());
    Q_EMIT shown();
}

void PreviewWindow::say(const QString& text) {
    said->setText(text);
    said->setToolTip(text);
    said->show();
    saidTimer_->start();
}

void PreviewWindow::setInfo(const QString& text) {
    shownText_ = text;
    static_cast<WrappedLabel*>(info)->setWrappedText(text);
}

int PreviewWindow::zoomThatFits() const {
    // The dots across and down (at least the screens').
    const int margin = 2 * preview::kMargin;
    const preview::Size screens = preview::PreviewSize(0, 0, 1);
    const QSize dots = canvas->dots();
    const double dotsWide = std::max<double>(dots.width(), double(screens.width - margin));
    const double dotsHigh = std::max<double>(dots.height(), double(screens.height - margin));
    const QSize room = scroll_->viewport()->size() - QSize(margin, margin);
    const int fits = int(std::min(room.width() / dotsWide, room.height() / dotsHigh));
    return std::clamp(fits, int(grob::Option("zoom").minimum), int(grob::Option("zoom").maximum));
}

QSize PreviewWindow::sizeHint() const {
    return wanted_.expandedTo(minimumSizeHint());
}

void PreviewWindow::stepZoom(int step) {
    if (!fitToWindow->isChecked()) zoom->setValue(zoom->value() + step);
}

bool PreviewWindow::eventFilter(QObject* watched, QEvent* event) {
    // A field with nothing of its own to undo or redo leaves the keys to the window.
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const auto* field = watched->findChild<QLineEdit*>();
        if (field && ((key->matches(QKeySequence::Undo) && !field->isUndoAvailable()) ||
                      (key->matches(QKeySequence::Redo) && !field->isRedoAvailable())))
            return true;
    }
    if (watched == scroll_->viewport() && event->type() == QEvent::Wheel) {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            if (wheel->angleDelta().y() != 0) stepZoom(wheel->angleDelta().y() > 0 ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

int PreviewWindow::ZoomStepOf(const QKeyEvent* key) {
    if (key->matches(QKeySequence::ZoomIn) ||
        (key->modifiers() & Qt::ControlModifier && key->key() == Qt::Key_Equal))
        return 1;
    return key->matches(QKeySequence::ZoomOut) ? -1 : 0;
}

// The zoom keys are the preview's own where the focus is in it, though the
// main window (whose panel it may be in) zooms its picture by the same keys.
bool PreviewWindow::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride &&
        ZoomStepOf(static_cast<QKeyEvent*>(event)) != 0) {
        event->accept();
        return true;
    }
    return QWidget::event(event);
}

void PreviewWindow::keyPressEvent(QKeyEvent* event) {
    if (const int step = ZoomStepOf(event)) return stepZoom(step);
    // Enter has given a spin box its value: it ends here.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) return event->accept();
    QWidget::keyPressEvent(event);
}

void PreviewWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (fitToWindow && fitToWindow->isChecked()) zoom->setValue(zoomThatFits());
}

void PreviewWindow::dragEnterEvent(QDragEnterEvent* event) {
    AcceptFileDrop(event);
}

void PreviewWindow::dragMoveEvent(QDragMoveEvent* event) {
    AcceptFileDrop(event);
}

void PreviewWindow::dropEvent(QDropEvent* event) {
    const QStringList files = AcceptFileDrop(event);
    if (!files.isEmpty()) Q_EMIT filesDropped(files);
}

QImage PreviewWindow::image() const {
    return canvas->render();
}

QString PreviewWindow::description() const {
    return shownText_;
}

bool PreviewWindow::savePng(const QString& path) {
    if (canvas->dots().isEmpty()) return false;
    const PreviewSource source = source_();
    QString target = path;
    if (target.isEmpty()) {
        CommonDialog dialog(prompter_);
        dialog.filter = QStringLiteral("PNG picture (*.png)|*.png");
        dialog.defaultSuffix = QStringLiteral("png");
        // Beside the picture unless another name was chosen before.
        dialog.fileName = !pngName_.isEmpty() || source.path.isEmpty()
                              ? pngName_
                              : QFileInfo(source.path)
                                    .dir()
                                    .filePath(QFileInfo(source.path).completeBaseName() +
                                              QStringLiteral("-preview.png"));
        if (!dialog.showSave(this)) return false;
        target = pngName_ = dialog.fileName;
    }
    windowjob::Job job = this->job(source);
    job.make = windowjob::Make::ViewPng;
    job.file = target;
    const windowjob::Outcome made = windowjob::Run(job);
    if (!made.ok()) {
        messenger_(this, QStringLiteral("VELDAR Image converter"),
                   QStringLiteral("Cannot write \"%1\":\n%2.").arg(target, made.cause));
        return false;
    }
    for (const QString& note : made.notes)
        setInfo(shownText_ + u'\n' + note);
    return true;
}
