#include "previewwindow.h"

#include "grob/options.h"
#include "preview.h"
#include "qtnames.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
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
    const grob::FitPreset& preset = grob::FitPresetFor(p.fitWidth, p.fitHeight);
    return int(&preset - grob::kFitPresets.data());
}

// Shows the preview image as it is, painting only what is exposed: a large
// preview costs the window no conversion of its own.
class Canvas final : public QWidget {
  public:
    using QWidget::QWidget;
    void setImage(const QImage& image) {
        image_ = image;
        setFixedSize(image.size());
        update();
    }

  protected:
    void paintEvent(QPaintEvent* event) override {
        if (image_.isNull()) return;
        QPainter painter(this);
        painter.drawImage(event->rect(), image_, event->rect());
    }

  private:
    QImage image_;
};

} // namespace

PreviewWindow::PreviewWindow(Preferences preferences, std::function<PreviewSource()> source,
                             Messenger messenger, QWidget* parent)
    : QDialog(parent, Qt::Window), preferences_(std::move(preferences)), source_(std::move(source)),
      messenger_(std::move(messenger)) {
    setWindowTitle(QStringLiteral("Preview - VELDAR Image converter"));
    setModal(false);

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
    playTimer_ = new QTimer(this);
    playTimer_->setSingleShot(true);
    saveButton = new QPushButton(QStringLiteral("Save as PNG..."), this);
    pool_.setMaxThreadCount(1);
    fitCache_ = std::make_shared<pipeline::FitCache>();
    busyTimer_ = new QTimer(this);
    busyTimer_->setSingleShot(true);
    busyTimer_->setInterval(100);

    auto* size = new QHBoxLayout;
    size->addWidget(fitWidth);
    size->addWidget(new QLabel(QStringLiteral("x"), this));
    size->addWidget(fitHeight);
    auto* form = new QFormLayout;
    form->addRow(Latin1(Entry("kind").label), kindBox);
    form->addRow(Latin1(Entry("fit").label), fitBox);
    form->addRow(QStringLiteral("Size"), size);
    form->addRow(QString(), upscale);
    form->addRow(Latin1(Entry("brightness").label), brightness);
    form->addRow(Latin1(Entry("contrast").label), contrast);
    form->addRow(Latin1(Entry("gamma").label), gamma);
    form->addRow(QString(), invert);
    form->addRow(Latin1(Entry("dither").label), ditherBox);
    form->addRow(Latin1(Entry("zoom").label), zoom);
    form->addRow(QString(), fitToWindow);
    form->addRow(QString(), play);
    view_ = new Canvas(this);
    scroll_ = new QScrollArea(this);
    scroll_->setWidget(view_);
    scroll_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // A 131 x 80 screen at zoom 4 fits without scroll bars.
    const preview::Size screens = preview::PreviewSize(0, 0, 4);
    scroll_->setMinimumSize(int(screens.width) + 2 * scroll_->frameWidth() + 2,
                            int(screens.height) + 2 * scroll_->frameWidth() + 2);
    scroll_->viewport()->installEventFilter(this);
    info_ = new QLabel(this);
    info_->setWordWrap(true);
    info_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    busyLabel_ = new QLabel(QStringLiteral("Drawing..."), this);
    busyLabel_->hide();
    connect(busyTimer_, &QTimer::timeout, busyLabel_, &QWidget::show);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(busyLabel_);
    bottom->addStretch(1);
    bottom->addWidget(saveButton);
    auto* right = new QVBoxLayout;
    right->addWidget(scroll_, 1);
    right->addWidget(info_);
    right->addLayout(bottom);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(right, 1);

    // The controls as the preferences left them.
    const grob::Preparation& p = preferences_.preparation;
    kindBox->setCurrentIndex(kindBox->findData(Latin1(preferences_.kind.extension)));
    fitBox->setCurrentIndex(FitIndex(p));
    fitWidth->setValue(p.fits() ? p.fitWidth : grob::kScreens[0].width);
    fitHeight->setValue(p.fits() ? p.fitHeight : grob::kScreens[0].height);
    upscale->setChecked(p.upscale);
    brightness->setValue(int(p.brightness));
    contrast->setValue(int(p.contrast));
    gamma->setValue(p.gamma);
    invert->setChecked(p.invert);
    ditherBox->setCurrentIndex(ditherBox->findData(Latin1(grob::NameOfDither(p.dither))));
    zoom->setValue(preferences_.zoom);

    auto changed = [this] {
        if (building_) return;
        readControls();
        refresh();
        Q_EMIT preferencesChanged();
    };
    for (QComboBox* box : {kindBox, fitBox, ditherBox})
        connect(box, &QComboBox::currentIndexChanged, this, changed);
    for (QSpinBox* box : {fitWidth, fitHeight, brightness, contrast, zoom})
        connect(box, &QSpinBox::valueChanged, this, changed);
    connect(gamma, &QDoubleSpinBox::valueChanged, this, changed);
    for (QCheckBox* box : {upscale, invert})
        connect(box, &QCheckBox::toggled, this, changed);
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
    building_ = false;
    readControls();
    refresh();
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
    p.fitWidth = natural ? 0 : fitWidth->value();
    p.fitHeight = natural ? 0 : fitHeight->value();
    p.upscale = !natural && upscale->isChecked();
    p.brightness = brightness->value();
    p.contrast = contrast->value();
    p.gamma = gamma->value();
    p.invert = invert->isChecked();
    grob::SetOption(choices, Entry("dither"), ditherBox->currentData().toString().toStdString());
    choices.zoom = zoom->value();
}

pipeline::Request PreviewWindow::request(const PreviewSource& source) const {
    pipeline::Request request;
    request.source =
        pipeline::Source::Loaded(source.picture, qtnames::ToNative(source.path).toStdString());
    request.kind = preferences_.kind;
    request.series = source.series;
    request.preparation = preferences_.preparation;
    request.zoom = preferences_.zoom;
    request.outputs = {{pipeline::Product::Grob, pipeline::Target::Memory()},
                       {pipeline::Product::Preview, pipeline::Target::Memory()}};
    return request;
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
    auto* watcher = new QFutureWatcher<pipeline::Result>(this);
    connect(watcher, &QFutureWatcher<pipeline::Result>::finished, this,
            [this, watcher, generation] {
                --pending_;
                if (generation == generation_) display(watcher->result(), false);
                watcher->deleteLater();
            });
    const pipeline::Request request = this->request(source);
    const std::shared_ptr<pipeline::FitCache> cache = fitCache_;
    watcher->setFuture(QtConcurrent::run(&pool_, [request, cancel, cache] {
        pipeline::Context context;
        context.audience = pipeline::Audience::Window;
        context.lowerZoom = true;
        context.cancelled = cancel.get();
        context.fitCache = cache.get();
        return pipeline::Convert(request, context);
    }));
}

void PreviewWindow::display(const pipeline::Result& result, bool empty) {
    busyTimer_->stop();
    busyLabel_->hide();
    if (empty) {
        pixels_ = {};
        image_ = QImage();
        info_->setText(QStringLiteral("No picture: open one with File... > Open, or drop one on "
                                      "the main window."));
        saveButton->setEnabled(false);
    } else if (result.ok()) {
        pixels_ = result.made[1].image;
        image_ = QImage(reinterpret_cast<const uchar*>(pixels_.pixels.data()), pixels_.width,
                        pixels_.height, qsizetype(pixels_.width) * 4, QImage::Format_RGBX8888);
        QString text =
            QStringLiteral("%1 x %2 dots, %3 bytes")
                .arg(result.dotsWide)
                .arg(result.dotsHigh)
                .arg(QLocale(QLocale::English).toString(qlonglong(result.made[0].bytes.size())));
        for (const std::string& note : result.notes)
            text += u'\n' + QString::fromStdString(note);
        info_->setText(text);
        saveButton->setEnabled(true);
    } else {
        pixels_ = {};
        image_ = QImage();
        info_->setText(QStringLiteral("No preview: %1.").arg(QString::fromStdString(result.cause)));
        saveButton->setEnabled(false);
    }
    static_cast<Canvas*>(view_)->setImage(image_);
    Q_EMIT shown();
}

int PreviewWindow::zoomThatFits() const {
    // The dots across and down (at least the screens'), from the preview on show.
    const int margin = 2 * preview::kMargin;
    const preview::Size screens = preview::PreviewSize(0, 0, 1);
    const double dotsWide = image_.isNull() ? double(screens.width - margin)
                                            : double(pixels_.width - margin) / preferences_.zoom;
    const double dotsHigh = image_.isNull() ? double(screens.height - margin)
                                            : double(pixels_.height - margin) / preferences_.zoom;
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
    QDialog::keyPressEvent(event);
}

void PreviewWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (fitToWindow && fitToWindow->isChecked()) zoom->setValue(zoomThatFits());
}

QString PreviewWindow::description() const {
    return info_->text();
}

bool PreviewWindow::savePng(const QString& path) {
    if (image_.isNull()) return false;
    QString target = path;
    if (target.isEmpty()) {
        const PreviewSource source = source_();
        const QString suggested = source.path.isEmpty()
                                      ? QString()
                                      : QFileInfo(source.path)
                                            .dir()
                                            .filePath(QFileInfo(source.path).completeBaseName() +
                                                      QStringLiteral("-preview.png"));
        target = QFileDialog::getSaveFileName(this, QStringLiteral("Save the preview"), suggested,
                                              QStringLiteral("PNG picture (*.png)"));
        if (target.isEmpty()) return false;
        if (QFileInfo(target).suffix().isEmpty()) target += QStringLiteral(".png");
    }
    pipeline::Request request = this->request(source_());
    request.outputs = {{pipeline::Product::PreviewPng,
                        pipeline::Target::File(qtnames::ToNative(target).toStdString())}};
    pipeline::Context context;
    context.audience = pipeline::Audience::Window;
    context.lowerZoom = true;
    const pipeline::Result result = pipeline::Convert(request, context);
    if (!result.ok()) {
        messenger_(this, QStringLiteral("VELDAR Image converter"),
                   QStringLiteral("Cannot write \"%1\":\n%2.")
                       .arg(target, QString::fromStdString(result.cause)));
        return false;
    }
    return true;
}
