#include "previewwindow.h"

#include "preview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>

namespace {

QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

// The fit choices: natural size, the two calculator screens, any size.
constexpr int kNatural = 0, kScreen64 = 1, kScreen80 = 2, kCustom = 3;

} // namespace

PreviewWindow::PreviewWindow(Preferences preferences, std::function<grob::PixelView()> picture,
                             std::function<grob::Series()> series, QWidget* parent)
    : QDialog(parent, Qt::Window), preferences_(std::move(preferences)),
      picture_(std::move(picture)), series_(std::move(series)) {
    setWindowTitle(QStringLiteral("Preview - VELDAR Image converter"));
    setModal(false);

    kindBox = new QComboBox(this);
    for (const grob::OutputKind& kind : grob::OutputKinds())
        kindBox->addItem(Latin1(kind.description) + QStringLiteral(" (.") + Latin1(kind.extension) +
                             u')',
                         Latin1(kind.extension));
    fitBox = new QComboBox(this);
    fitBox->addItems({QStringLiteral("Natural size"), QStringLiteral("131 x 64 (HP 48, HP 49G)"),
                      QStringLiteral("131 x 80 (later HP 49)"), QStringLiteral("Any size")});
    fitWidth = new QSpinBox(this);
    fitHeight = new QSpinBox(this);
    for (QSpinBox* box : {fitWidth, fitHeight})
        box->setRange(1, 16384);
    upscale = new QCheckBox(QStringLiteral("Enlarge smaller pictures (whole factors)"), this);
    brightness = new QSpinBox(this);
    contrast = new QSpinBox(this);
    for (QSpinBox* box : {brightness, contrast})
        box->setRange(-100, 100);
    gamma = new QDoubleSpinBox(this);
    gamma->setRange(0.05, 20);
    gamma->setSingleStep(0.1);
    invert = new QCheckBox(QStringLiteral("Invert"), this);
    ditherBox = new QComboBox(this);
    ditherBox->addItem(QStringLiteral("None (plain bands)"), QStringLiteral("none"));
    ditherBox->addItem(QStringLiteral("Floyd-Steinberg"), QStringLiteral("floyd-steinberg"));
    ditherBox->addItem(QStringLiteral("Atkinson"), QStringLiteral("atkinson"));
    ditherBox->addItem(QStringLiteral("Ordered (8 x 8 Bayer)"), QStringLiteral("ordered"));
    zoom = new QSpinBox(this);
    zoom->setRange(1, 16);
    zoom->setSuffix(QStringLiteral(" x"));
    saveButton = new QPushButton(QStringLiteral("Save as PNG..."), this);

    auto* size = new QHBoxLayout;
    size->addWidget(fitWidth);
    size->addWidget(new QLabel(QStringLiteral("x"), this));
    size->addWidget(fitHeight);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Kind"), kindBox);
    form->addRow(QStringLiteral("Fit"), fitBox);
    form->addRow(QStringLiteral("Size"), size);
    form->addRow(QString(), upscale);
    form->addRow(QStringLiteral("Brightness"), brightness);
    form->addRow(QStringLiteral("Contrast"), contrast);
    form->addRow(QStringLiteral("Gamma"), gamma);
    form->addRow(QString(), invert);
    form->addRow(QStringLiteral("Dithering"), ditherBox);
    form->addRow(QStringLiteral("Zoom"), zoom);
    view_ = new QLabel(this);
    view_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* scroll = new QScrollArea(this);
    scroll->setWidget(view_);
    scroll->setWidgetResizable(true);
    scroll->setMinimumSize(2 * 131 + 24, 2 * 80 + 24);
    info_ = new QLabel(this);
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
    fitBox->setCurrentIndex(!p.fits()                                ? kNatural
                            : p.fitWidth == 131 && p.fitHeight == 64 ? kScreen64
                            : p.fitWidth == 131 && p.fitHeight == 80 ? kScreen80
                                                                     : kCustom);
    fitWidth->setValue(p.fits() ? p.fitWidth : 131);
    fitHeight->setValue(p.fits() ? p.fitHeight : 64);
    upscale->setChecked(p.upscale);
    brightness->setValue(int(p.brightness));
    contrast->setValue(int(p.contrast));
    gamma->setValue(p.gamma);
    invert->setChecked(p.invert);
    ditherBox->setCurrentIndex(int(p.dither));
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
    grob::Preparation& p = preferences_.preparation;
    preferences_.kind = grob::KindForExtension(kindBox->currentData().toString().toStdString())
                            .value_or(grob::OutputKinds()[0]);
    const int fit = fitBox->currentIndex();
    if (fit == kScreen64 || fit == kScreen80) {
        fitWidth->blockSignals(true);
        fitHeight->blockSignals(true);
        fitWidth->setValue(131);
        fitHeight->setValue(fit == kScreen64 ? 64 : 80);
        fitWidth->blockSignals(false);
        fitHeight->blockSignals(false);
    }
    fitWidth->setEnabled(fit == kCustom);
    fitHeight->setEnabled(fit == kCustom);
    upscale->setEnabled(fit != kNatural);
    p.fitWidth = fit == kNatural ? 0 : fitWidth->value();
    p.fitHeight = fit == kNatural ? 0 : fitHeight->value();
    p.upscale = fit != kNatural && upscale->isChecked();
    p.brightness = brightness->value();
    p.contrast = contrast->value();
    p.gamma = gamma->value();
    p.invert = invert->isChecked();
    p.dither = grob::DitherForName(ditherBox->currentData().toString().toStdString())
                   .value_or(grob::Dither::None);
    preferences_.zoom = zoom->value();
}

void PreviewWindow::refresh() {
    try {
        const preview::View view = preview::Render(picture_(), preferences_.kind, series_(),
                                                   preferences_.preparation, preferences_.zoom);
        image_ = view.image;
        info_->setText(preview::Describe(view));
        saveButton->setEnabled(true);
    } catch (const grob::GrobError& e) {
        image_ = QImage();
        info_->setText(QStringLiteral("No preview: %1.").arg(QString::fromStdString(e.cause())));
        saveButton->setEnabled(false);
    }
    view_->setPixmap(QPixmap::fromImage(image_));
}

QString PreviewWindow::description() const {
    return info_->text();
}

bool PreviewWindow::savePng(const QString& path) {
    const QString target =
        path.isEmpty()
            ? QFileDialog::getSaveFileName(this, QStringLiteral("Save the preview"), QString(),
                                           QStringLiteral("PNG picture (*.png)"))
            : path;
    if (target.isEmpty() || image_.isNull()) return false;
    return image_.save(target, "png");
}
