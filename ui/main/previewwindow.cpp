#include "previewwindow.h"

#include "grob/options.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>

namespace {

QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

const grob::OptionSpec& Spec(std::string_view name) {
    return grob::Option(name);
}

// A control's range, tooltip and label from the options table.
void FromTable(QSpinBox* box, const grob::OptionSpec& option) {
    box->setRange(int(option.minimum), int(option.maximum));
    box->setToolTip(Latin1(option.help));
}

void FromTable(QDoubleSpinBox* box, const grob::OptionSpec& option) {
    box->setRange(option.minimum, option.maximum);
    box->setToolTip(Latin1(option.help));
}

int FitIndex(const grob::Preparation& p) {
    const grob::FitPreset& preset = grob::FitPresetFor(p.fitWidth, p.fitHeight);
    return int(&preset - grob::kFitPresets.data());
}

} // namespace

PreviewWindow::PreviewWindow(Preferences preferences, std::function<PreviewSource()> source,
                             QWidget* parent)
    : QDialog(parent, Qt::Window), preferences_(std::move(preferences)),
      source_(std::move(source)) {
    setWindowTitle(QStringLiteral("Preview - VELDAR Image converter"));
    setModal(false);

    kindBox = new QComboBox(this);
    for (const grob::OptionChoice& kind : grob::kKindChoices)
        kindBox->addItem(Latin1(kind.label) + QStringLiteral(" (.") + Latin1(kind.name) + u')',
                         Latin1(kind.name));
    kindBox->setToolTip(Latin1(Spec("kind").help));
    fitBox = new QComboBox(this);
    for (const grob::FitPreset& preset : grob::kFitPresets)
        fitBox->addItem(Latin1(preset.label), Latin1(preset.name));
    fitBox->setToolTip(Latin1(Spec("fit").help));
    fitWidth = new QSpinBox(this);
    fitHeight = new QSpinBox(this);
    FromTable(fitWidth, Spec("fit"));
    FromTable(fitHeight, Spec("fit"));
    upscale = new QCheckBox(Latin1(Spec("upscale").label), this);
    upscale->setToolTip(Latin1(Spec("upscale").help));
    brightness = new QSpinBox(this);
    contrast = new QSpinBox(this);
    FromTable(brightness, Spec("brightness"));
    FromTable(contrast, Spec("contrast"));
    gamma = new QDoubleSpinBox(this);
    FromTable(gamma, Spec("gamma"));
    gamma->setSingleStep(0.1);
    invert = new QCheckBox(Latin1(Spec("invert").label), this);
    invert->setToolTip(Latin1(Spec("invert").help));
    ditherBox = new QComboBox(this);
    for (const grob::DitherMethod& method : grob::kDitherMethods)
        ditherBox->addItem(Latin1(method.label), Latin1(method.name));
    ditherBox->setToolTip(Latin1(Spec("dither").help));
    zoom = new QSpinBox(this);
    FromTable(zoom, Spec("zoom"));
    zoom->setSuffix(QStringLiteral(" x"));
    saveButton = new QPushButton(QStringLiteral("Save as PNG..."), this);

    auto* size = new QHBoxLayout;
    size->addWidget(fitWidth);
    size->addWidget(new QLabel(QStringLiteral("x"), this));
    size->addWidget(fitHeight);
    auto* form = new QFormLayout;
    form->addRow(Latin1(Spec("kind").label), kindBox);
    form->addRow(Latin1(Spec("fit").label), fitBox);
    form->addRow(QStringLiteral("Size"), size);
    form->addRow(QString(), upscale);
    form->addRow(Latin1(Spec("brightness").label), brightness);
    form->addRow(Latin1(Spec("contrast").label), contrast);
    form->addRow(Latin1(Spec("gamma").label), gamma);
    form->addRow(QString(), invert);
    form->addRow(Latin1(Spec("dither").label), ditherBox);
    form->addRow(Latin1(Spec("zoom").label), zoom);
    view_ = new QLabel(this);
    view_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* scroll = new QScrollArea(this);
    scroll->setWidget(view_);
    scroll->setWidgetResizable(true);
    scroll->setMinimumSize(2 * 131 + 24, 2 * 80 + 24);
    info_ = new QLabel(this);
    info_->setWordWrap(true);
    auto* right = new QVBoxLayout;
    right->addWidget(scroll, 1);
    right->addWidget(info_);
    right->addWidget(saveButton, 0, Qt::AlignRight);
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
    connect(saveButton, &QPushButton::clicked, this, [this] { savePng({}); });
    building_ = false;
    readControls();
    refresh();
}

void PreviewWindow::readControls() {
    Choices& choices = preferences_;
    grob::Preparation& p = choices.preparation;
    SetChoice(choices, Spec("kind"), kindBox->currentData().toString().toStdString());
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
    SetChoice(choices, Spec("dither"), ditherBox->currentData().toString().toStdString());
    choices.zoom = zoom->value();
}

pipeline::Request PreviewWindow::request(const PreviewSource& source) const {
    pipeline::Request request;
    request.source = pipeline::Source::Loaded(source.picture, source.path);
    request.kind = preferences_.kind;
    request.series = source.series;
    request.preparation = preferences_.preparation;
    request.zoom = preferences_.zoom;
    request.outputs = {{pipeline::Product::Grob, pipeline::Target::Memory()},
                       {pipeline::Product::Preview, pipeline::Target::Memory()}};
    return request;
}

void PreviewWindow::refresh() {
    const PreviewSource source = source_();
    pipeline::Context context;
    context.audience = pipeline::Audience::Window;
    context.lowerZoom = true;
    const pipeline::Result result = pipeline::Convert(request(source), context);
    if (result.ok()) {
        pixels_ = result.made[1].image;
        image_ = QImage(reinterpret_cast<const uchar*>(pixels_.pixels.data()), pixels_.width,
                        pixels_.height, qsizetype(pixels_.width) * 4, QImage::Format_RGBX8888);
        QString text =
            QStringLiteral("%1 x %2 dots, %3 bytes")
                .arg(result.dotsWide)
                .arg(result.dotsHigh)
                .arg(QLocale(QLocale::English).toString(qlonglong(result.made[0].bytes.size())));
        if (!result.note.isEmpty()) text += u'\n' + result.note;
        info_->setText(text);
        saveButton->setEnabled(true);
    } else {
        pixels_ = {};
        image_ = QImage();
        info_->setText(QStringLiteral("No preview: %1.").arg(result.cause));
        saveButton->setEnabled(false);
    }
    view_->setPixmap(QPixmap::fromImage(image_));
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
    request.outputs = {{pipeline::Product::PreviewPng, pipeline::Target::File(target)}};
    pipeline::Context context;
    context.audience = pipeline::Audience::Window;
    context.lowerZoom = true;
    const pipeline::Result result = pipeline::Convert(request, context);
    if (!result.ok()) {
        QMessageBox::warning(this, QStringLiteral("VELDAR Image converter"),
                             QStringLiteral("Cannot write \"%1\":\n%2.").arg(target, result.cause));
        return false;
    }
    return true;
}
