#include "previewwindow.h"

#include "commondialog.h"
#include "grob/options.h"
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

QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

const grob::OptionEntry& Entry(std::string_view name) {
    return grob::Option(name);
}

// A control's range, tooltip and label from the options table.
void FromTable(QSpinBox* box, const grob::OptionEntry& option) {
    box->setRange(int(option.minimum), int(option.maximum));
    box->setToolTip(Latin1(option.help));
}

void FromTable(QDoubleSpinBox* box, const grob::OptionEntry& option) {
    box->setRange(option.minimum, option.maximum);
    box->setToolTip(Latin1(option.help));
}

int FitIndex(const grob::Preparation& p) {
    const grob::FitPreset& preset = grob::FitPresetFor(p.fit.width, p.fit.height);
    return int(&preset - grob::kFitPresets.data());
}

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
    : QDialog(parent, Qt::Window), preferences_(std::move(preferences)), source_(std::move(source)),
      messenger_(std::move(messenger)), prompter_(prompter) {
    setWindowTitle(QStringLiteral("Preview - VELDAR Image converter"));
    setModal(false);
    setAcceptDrops(true);

    kindBox = new QComboBox(this);
    for (const grob::OptionChoice& kind : grob::kKindChoices)
        kindBox->addItem(Latin1(kind.label) + QStringLiteral(" (.") + Latin1(kind.name) + u')',
                         Latin1(kind.name));
    kindBox->setToolTip(Latin1(Entry("kind").help));
    fitBox = new QComboBox(this);
    for (const grob::FitPreset& preset : grob::kFitPresets)
        fitBox->addItem(Latin1(preset.label), Latin1(preset.name));
    fitBox->setToolTip(Latin1(Entry("fit").help));
    fitWidth = new QSpinBox(this);
    fitHeight = new QSpinBox(this);
    FromTable(fitWidth, Entry("fit"));
    FromTable(fitHeight, Entry("fit"));
    upscale = new QCheckBox(Latin1(Entry("upscale").label), this);
    upscale->setToolTip(Latin1(Entry("upscale").help));
    brightness = new QSpinBox(this);
    contrast = new QSpinBox(this);
    FromTable(brightness, Entry("brightness"));
    FromTable(contrast, Entry("contrast"));
    gamma = new QDoubleSpinBox(this);
    FromTable(gamma, Entry("gamma"));
    gamma->setSingleStep(0.1);
    invert = new QCheckBox(Latin1(Entry("invert").label), this);
    invert->setToolTip(Latin1(Entry("invert").help));
    ditherBox = new QComboBox(this);
    for (const grob::DitherMethod& method : grob::kDitherMethods)
        ditherBox->addItem(Latin1(method.label), Latin1(method.name));
    ditherBox->setToolTip(Latin1(Entry("dither").help));
    threshold = new QSpinBox(this);
    FromTable(threshold, Entry("threshold"));
    turnBox = new QComboBox(this);
    for (const grob::OptionChoice& turn : grob::kTurnChoices)
        turnBox->addItem(Latin1(turn.name) + QStringLiteral("°: ") + Latin1(turn.label));
    turnBox->setToolTip(Latin1(Entry("rotate").help));
    flipBox = new QComboBox(this);
    for (const grob::OptionChoice& flip : grob::kFlipChoices) {
        QString label = Latin1(flip.label);
        label[0] = label[0].toUpper();
        flipBox->addItem(label);
    }
    flipBox->setToolTip(Latin1(Entry("flip").help));
    crop = new QCheckBox(Latin1(Entry("crop").label), this);
    crop->setToolTip(Latin1(Entry("crop").help));
    cropWidth = new QSpinBox(this);
    cropHeight = new QSpinBox(this);
    cropX = new QSpinBox(this);
    cropY = new QSpinBox(this);
    for (QSpinBox* side : {cropWidth, cropHeight, cropX, cropY}) {
        FromTable(side, Entry("crop"));
        side->setToolTip(crop->toolTip());
    }
    for (QSpinBox* corner : {cropX, cropY})
        corner->setMinimum(0);
    resetButton = new QPushButton(QStringLiteral("Reset to defaults"), this);
    resetButton->setToolTip(
        QStringLiteral("The whole picture as it stands, at its natural size, no change of tone, no "
                       "dithering: the plain conversion."));
    zoom = new QSpinBox(this);
    FromTable(zoom, Entry("zoom"));
    zoom->setSuffix(QStringLiteral(" x"));
    zoom->setToolTip(Latin1(Entry("zoom").help) +
                     QStringLiteral(" Ctrl+wheel, Ctrl++ and Ctrl+-."));
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
    // Enter in a control takes its value; it never presses a button.
    for (QPushButton* button : {resetButton, saveGrobButton, copyButton, spritesButton, saveButton})
        button->setAutoDefault(false);
    playTimer_ = new QTimer(this);
    playTimer_->setSingleShot(true);
    pool_.setMaxThreadCount(1);
    memory_ = std::make_shared<windowjob::Memory>();
    busyTimer_ = new QTimer(this);
    busyTimer_->setSingleShot(true);
    busyTimer_->setInterval(100);

    // The controls in a column of their own, which scrolls on a low screen.
    auto* controls = new QWidget(this);
    auto* size = new QHBoxLayout;
    size->addWidget(fitWidth);
    size->addWidget(new QLabel(QStringLiteral("x"), controls));
    size->addWidget(fitHeight);
    auto* form = new QFormLayout(controls);
    form->addRow(Latin1(Entry("kind").label), kindBox);
    auto* part = new QHBoxLayout;
    part->addWidget(cropWidth);
    part->addWidget(new QLabel(QStringLiteral("x"), controls));
    part->addWidget(cropHeight);
    auto* corner = new QHBoxLayout;
    corner->addWidget(cropX);
    corner->addWidget(new QLabel(QStringLiteral(","), controls));
    corner->addWidget(cropY);
    form->addRow(crop);
    form->addRow(QStringLiteral("Part"), part);
    form->addRow(QStringLiteral("From"), corner);
    form->addRow(Latin1(Entry("rotate").label), turnBox);
    form->addRow(Latin1(Entry("flip").label), flipBox);
    form->addRow(Latin1(Entry("fit").label), fitBox);
    form->addRow(QStringLiteral("Size"), size);
    form->addRow(upscale);
    form->addRow(Latin1(Entry("brightness").label), brightness);
    form->addRow(Latin1(Entry("contrast").label), contrast);
    form->addRow(Latin1(Entry("gamma").label), gamma);
    form->addRow(invert);
    form->addRow(Latin1(Entry("dither").label), ditherBox);
    form->addRow(Latin1(Entry("threshold").label), threshold);
    form->addRow(QString(), resetButton);
    form->addRow(Latin1(Entry("zoom").label), zoom);
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
    // The actions two by two, so that they never widen the window.
    auto* actions = new QGridLayout;
    actions->addWidget(busyLabel_, 0, 0, 2, 1);
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
    // A 131 x 80 screen at zoom 2 (the first zoom) without scroll bars.
    const preview::Size screens = preview::PreviewSize(0, 0, 2);
    resize(column->width() + int(screens.width) + 40,
           std::max(controls->sizeHint().height() + 24, int(screens.height) + 130));

    showControls();

    auto changed = [this] {
        if (building_) return;
        readControls();
        refresh();
        Q_EMIT preferencesChanged();
    };
    for (QComboBox* box : {kindBox, turnBox, flipBox, fitBox, ditherBox})
        connect(box, &QComboBox::currentIndexChanged, this, changed);
    for (QSpinBox* box : {fitWidth, fitHeight, brightness, contrast, threshold, cropWidth,
                          cropHeight, cropX, cropY})
        connect(box, &QSpinBox::valueChanged, this, changed);
    connect(gamma, &QDoubleSpinBox::valueChanged, this, changed);
    for (QCheckBox* box : {upscale, invert, crop})
        connect(box, &QCheckBox::toggled, this, changed);
    // The zoom only enlarges what is shown: nothing is drawn again.
    connect(zoom, &QSpinBox::valueChanged, this, [this](int value) {
        if (building_) return;
        preferences_.zoom = value;
        canvas->setZoom(value);
        Q_EMIT preferencesChanged();
    });
    connect(resetButton, &QPushButton::clicked, this, [this] {
        grob::Choices plain = preferences_;
        plain.preparation = grob::Preparation{};
        setChoices(plain);
    });
    connect(showFitted, &QCheckBox::toggled, canvas, &PreviewCanvas::setShowFitted);
    connect(play, &QCheckBox::toggled, this, [this](bool on) {
        playing_ = on ? 0 : -1;
        if (!on) playTimer_->stop();
        refresh();
    });
    connect(playTimer_, &QTimer::timeout, this, [this] {
        const std::size_t count = source_().frames.size();
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
    const bool wasBuilding = building_;
    building_ = true;
    const grob::Preparation& p = preferences_.preparation;
    kindBox->setCurrentIndex(kindBox->findData(Latin1(preferences_.kind.extension)));
    fitBox->setCurrentIndex(FitIndex(p));
    fitWidth->setValue(p.fits() ? p.fit.width : grob::kScreens[0].width);
    fitHeight->setValue(p.fits() ? p.fit.height : grob::kScreens[0].height);
    upscale->setChecked(p.fit.upscale);
    brightness->setValue(int(p.brightness));
    contrast->setValue(int(p.contrast));
    gamma->setValue(p.gamma);
    invert->setChecked(p.invert);
    ditherBox->setCurrentIndex(ditherBox->findData(Latin1(grob::NameOfDither(p.dither))));
    threshold->setValue(p.threshold);
    turnBox->setCurrentIndex(int(Entry("rotate").bind.get(preferences_).choice));
    flipBox->setCurrentIndex(int(Entry("flip").bind.get(preferences_).choice));
    crop->setChecked(p.cropped());
    cropWidth->setValue(p.cropped() ? p.crop.width : grob::kScreens[0].width);
    cropHeight->setValue(p.cropped() ? p.crop.height : grob::kScreens[0].height);
    cropX->setValue(p.cropped() ? p.crop.x : 0);
    cropY->setValue(p.cropped() ? p.crop.y : 0);
    zoom->setValue(preferences_.zoom);
    canvas->setZoom(preferences_.zoom);
    building_ = wasBuilding;
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

void PreviewWindow::readControls() {
    grob::Choices& choices = preferences_;
    grob::Preparation& p = choices.preparation;
    grob::SetOption(choices, Entry("kind"), kindBox->currentData().toString().toStdString());
    const grob::FitPreset& preset = grob::kFitPresets[std::size_t(fitBox->currentIndex())];
    const bool natural = preset.width == 0, custom = preset.width < 0;
    if (!natural && !custom) {
        const QSignalBlocker blockWidth(fitWidth), blockHeight(fitHeight);
        fitWidth->setValue(preset.width);
        fitHeight->setValue(preset.height);
    }
    fitWidth->setEnabled(custom);
    fitHeight->setEnabled(custom);
    upscale->setEnabled(!natural);
    p.fit = {natural ? 0 : fitWidth->value(), natural ? 0 : fitHeight->value(),
             !natural && upscale->isChecked()};
    p.brightness = brightness->value();
    p.contrast = contrast->value();
    p.gamma = gamma->value();
    p.invert = invert->isChecked();
    grob::SetOption(choices, Entry("dither"), ditherBox->currentData().toString().toStdString());
    // The threshold is the 1-bit kind's, without dithering: elsewhere it is
    // kept, unused.
    p.threshold = threshold->value();
    threshold->setEnabled(choices.kind.shades() == 2 && p.dither == grob::Dither::None);
    grob::OptionValue turn, flip;
    turn.choice = std::size_t(turnBox->currentIndex());
    flip.choice = std::size_t(flipBox->currentIndex());
    Entry("rotate").bind.set(choices, turn);
    Entry("flip").bind.set(choices, flip);
    grob::OptionValue part;
    if (crop->isChecked())
        part.region = {cropX->value(), cropY->value(), cropWidth->value(), cropHeight->value()};
    Entry("crop").bind.set(choices, part);
    for (QSpinBox* side : {cropWidth, cropHeight, cropX, cropY})
        side->setEnabled(crop->isChecked());
    choices.zoom = zoom->value();
    resetButton->setEnabled(!p.neutral() || p.fit.upscale);
}

windowjob::Job PreviewWindow::job(const PreviewSource& source) const {
    windowjob::Job job;
    job.picture = source.picture;
    job.bytes = source.bytes;
    job.frame = source.frame;
    job.path = source.path;
    job.kind = preferences_.kind;
    job.series = source.series;
    job.preparation = preferences_.preparation;
    job.zoom = preferences_.zoom;
    job.make = windowjob::Make::View;
    return job;
}

PreviewWindow::~PreviewWindow() {
    if (cancel_) cancel_->store(true);
    pool_.waitForDone();
}

void PreviewWindow::refresh() {
    PreviewSource source = source_();
    play->setEnabled(source.frames.size() > 1);
    if (playing_ >= 0 && source.frames.size() > 1) {
        playing_ %= int(source.frames.size());
        source.picture = source.frames[std::size_t(playing_)];
        source.frame = playing_;
        const int delay =
            std::size_t(playing_) < source.delays.size() ? source.delays[std::size_t(playing_)] : 0;
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
    return std::clamp(fits, int(Entry("zoom").minimum), int(Entry("zoom").maximum));
}

void PreviewWindow::stepZoom(int step) {
    if (!fitToWindow->isChecked()) zoom->setValue(zoom->value() + step);
}

bool PreviewWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == scroll_->viewport() && event->type() == QEvent::Wheel) {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            if (wheel->angleDelta().y() != 0) stepZoom(wheel->angleDelta().y() > 0 ? 1 : -1);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void PreviewWindow::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::ZoomIn) ||
        (event->modifiers() & Qt::ControlModifier && event->key() == Qt::Key_Equal))
        return stepZoom(1);
    if (event->matches(QKeySequence::ZoomOut)) return stepZoom(-1);
    // Enter has given a spin box its value; Escape is no way to close the
    // preview, and with it the preparation: both end here.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
        event->key() == Qt::Key_Escape)
        return event->accept();
    QDialog::keyPressEvent(event);
}

void PreviewWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
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
