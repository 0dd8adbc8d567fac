#include "optionform.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>

#include <cmath>
#include <cstdlib>

QString TableText(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

namespace {

void AddStops(const QLayout* layout, QList<QWidget*>& stops) {
    for (int i = 0; layout && i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        QWidget* widget = item->widget();
        if (!widget) {
            AddStops(item->layout(), stops);
        } else if (widget->focusPolicy() & Qt::TabFocus) {
            stops << widget;
        } else if (const auto* area = qobject_cast<QScrollArea*>(widget); area && area->widget()) {
            AddStops(area->widget()->layout(), stops);
        } else {
            AddStops(widget->layout(), stops);
        }
    }
}

} // namespace

void TabInLayoutOrder(const QLayout* layout) {
    QList<QWidget*> stops;
    AddStops(layout, stops);
    for (qsizetype i = 1; i < stops.size(); ++i)
        QWidget::setTabOrder(stops[i - 1], stops[i]);
}

namespace {

using grob::OptionType;

QSpinBox* Side(QWidget* parent, const grob::OptionEntry& option, int minimum) {
    auto* box = new QSpinBox(parent);
    box->setRange(minimum, int(option.maximum));
    box->setToolTip(TableText(option.shownHelp()));
    return box;
}

// Two boxes side by side with a mark between them: "W x H", "X , Y".
QHBoxLayout* Pair(QWidget* parent, QSpinBox* first, const char* mark, QSpinBox* second) {
    auto* pair = new QHBoxLayout;
    pair->addWidget(first);
    pair->addWidget(new QLabel(QString::fromLatin1(mark), parent));
    pair->addWidget(second);
    return pair;
}

// A list as narrow as a short choice, so that the form fits a panel beside
// the picture; its choices open as wide as the longest, and the one shown is
// whole in the tooltip.
void Narrow(QComboBox* list) {
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    list->setMinimumContentsLength(12);
    list->view()->setMinimumWidth(list->view()->sizeHintForColumn(0) +
                                  list->view()->verticalScrollBar()->sizeHint().width());
}

} // namespace

OptionForm::OptionForm(QWidget* parent, unsigned uses) : QObject(parent), uses_(uses) {}

const OptionForm::Control& OptionForm::add(const grob::OptionEntry& option, QFormLayout* layout) {
    auto* parent = qobject_cast<QWidget*>(this->parent());
    Control control;
    control.option = &option;
    const QString caption = TableText(option.label);
    const QString help = TableText(option.shownHelp());
    auto said = [this, &option] {
        if (!showing_) Q_EMIT changed(option);
    };
    auto check = [&] {
        control.check = new QCheckBox(caption, parent);
        control.check->setToolTip(help);
        connect(control.check, &QCheckBox::toggled, this, said);
    };
    auto sides = [&](int minimum) {
        for (QSpinBox** side : {&control.width, &control.height}) {
            *side = Side(parent, option, minimum);
            connect(*side, &QSpinBox::valueChanged, this, said);
        }
    };
    switch (option.type) {
    case OptionType::Flag:
        check();
        layout->addRow(control.check);
        break;
    case OptionType::Whole:
        control.whole = Side(parent, option, int(option.minimum));
        connect(control.whole, &QSpinBox::valueChanged, this, said);
        layout->addRow(caption, control.whole);
        break;
    case OptionType::Number:
        control.number = new QDoubleSpinBox(parent);
        control.number->setDecimals(option.step < 1 ? 2 : 0);
        control.number->setRange(option.minimum, option.maximum);
        control.number->setSingleStep(option.step);
        control.number->setToolTip(help);
        connect(control.number, &QDoubleSpinBox::valueChanged, this, said);
        layout->addRow(caption, control.number);
        break;
    case OptionType::Choice:
        control.list = new QComboBox(parent);
        for (std::size_t i = 0; i < option.choices.size(); ++i)
            control.list->addItem(TableText(grob::ShownChoice(option, i)),
                                  TableText(option.choices[i].name));
        control.list->setToolTip(help);
        Narrow(control.list);
        connect(control.list, &QComboBox::currentIndexChanged, this, said);
        layout->addRow(caption, control.list);
        break;
    case OptionType::Size:
        sides(int(option.minimum));
        if (option.presets.empty()) {
            // Natural size, or this one.
            check();
            auto* row = new QHBoxLayout;
            row->addWidget(control.check);
            row->addLayout(Pair(parent, control.width, "x", control.height));
            layout->addRow(row);
        } else {
            control.list = new QComboBox(parent);
            for (const grob::FitPreset& preset : option.presets)
                control.list->addItem(TableText(preset.label), TableText(preset.name));
            control.list->setToolTip(help);
            Narrow(control.list);
            connect(control.list, &QComboBox::currentIndexChanged, this, said);
            layout->addRow(caption, control.list);
            layout->addRow(QStringLiteral("Size"),
                           Pair(parent, control.width, "x", control.height));
        }
        break;
    case OptionType::Region:
        check();
        sides(int(option.minimum));
        control.x = Side(parent, option, 0);
        control.y = Side(parent, option, 0);
        for (QSpinBox* corner : {control.x, control.y})
            connect(corner, &QSpinBox::valueChanged, this, said);
        layout->addRow(control.check);
        layout->addRow(QStringLiteral("Part"), Pair(parent, control.width, "x", control.height));
        layout->addRow(QStringLiteral("From"), Pair(parent, control.x, ",", control.y));
        break;
    case OptionType::Path:
        std::abort(); // no control shows a path
    }
    controls_.push_back(control);
    return controls_.back();
}

void OptionForm::add(unsigned uses, QFormLayout* layout) {
    for (const grob::OptionEntry& option : grob::Options())
        if ((option.use & uses) && option.type != OptionType::Path) add(option, layout);
}

const OptionForm::Control& OptionForm::operator[](const grob::OptionEntry& option) const {
    for (const Control& control : controls_)
        if (control.option == &option) return control;
    std::abort(); // an option the form was not given: the program's own mistake
}

grob::OptionValue OptionForm::value(const Control& c) const {
    const grob::OptionEntry& option = *c.option;
    grob::OptionValue value;
    switch (option.type) {
    case OptionType::Flag:
        value.flag = c.check->isChecked();
        break;
    case OptionType::Whole:
        value.number = c.whole->value();
        break;
    case OptionType::Number:
        value.number = c.number->value();
        break;
    case OptionType::Choice:
        value.choice = std::size_t(std::max(c.list->currentIndex(), 0));
        break;
    case OptionType::Size:
        if (c.check ? c.check->isChecked() : c.list->currentIndex() > 0) {
            // A preset box is its own size; "any size" (or a check box) the boxes'.
            const grob::FitPreset* preset =
                c.list ? &option.presets[std::size_t(c.list->currentIndex())] : nullptr;
            value.size = preset && preset->width > 0
                             ? grob::Dimensions{preset->width, preset->height}
                             : grob::Dimensions{c.width->value(), c.height->value()};
        }
        break;
    case OptionType::Region:
        if (c.check->isChecked())
            value.region = {c.x->value(), c.y->value(), c.width->value(), c.height->value()};
        break;
    case OptionType::Path:
        break;
    }
    return value;
}

void OptionForm::show(const Control& c, const grob::OptionValue& value) {
    const grob::OptionEntry& option = *c.option;
    // A size or region not in force shows the one offered first.
    auto sides = [&](int width, int height) {
        const bool none = width <= 0 || height <= 0;
        c.width->setValue(none ? option.offered.width : width);
        c.height->setValue(none ? option.offered.height : height);
    };
    switch (option.type) {
    case OptionType::Flag:
        c.check->setChecked(value.flag);
        break;
    case OptionType::Whole:
        c.whole->setValue(int(std::lround(value.number)));
        break;
    case OptionType::Number:
        c.number->setValue(value.number);
        break;
    case OptionType::Choice:
        c.list->setCurrentIndex(int(value.choice));
        break;
    case OptionType::Size:
        sides(value.size.width, value.size.height);
        if (c.check) {
            c.check->setChecked(value.size.width > 0 && value.size.height > 0);
        } else {
            const grob::FitPreset& preset = grob::FitPresetFor(value.size.width, value.size.height);
            c.list->setCurrentIndex(int(&preset - option.presets.data()));
        }
        break;
    case OptionType::Region:
        c.check->setChecked(value.region.any());
        sides(value.region.width, value.region.height);
        c.x->setValue(value.region.any() ? value.region.x : 0);
        c.y->setValue(value.region.any() ? value.region.y : 0);
        break;
    case OptionType::Path:
        break;
    }
}

void OptionForm::show(const grob::Choices& choices) {
    const bool wasShowing = showing_;
    showing_ = true;
    for (const Control& control : controls_)
        show(control, control.option->bind.get(choices));
    showing_ = wasShowing;
    follow(choices);
}

void OptionForm::read(grob::Choices& choices) const {
    for (const Control& control : controls_)
        control.option->bind.set(choices, value(control));
}

void OptionForm::follow(const grob::Choices& choices) {
    const bool wasShowing = showing_;
    showing_ = true;
    for (const Control& c : controls_) {
        const bool applies = grob::Applies(*c.option, choices, uses_);
        for (QWidget* widget : std::initializer_list<QWidget*>{c.check, c.list, c.whole, c.number})
            if (widget) widget->setEnabled(applies);
        // The sides of a preset box show the preset, and only "any size"
        // (or a check box that is on) takes them.
        bool parts = applies;
        if (c.option->type == OptionType::Size && c.list) {
            const grob::FitPreset& preset =
                c.option->presets[std::size_t(std::max(c.list->currentIndex(), 0))];
            parts = parts && preset.width < 0;
            if (preset.width > 0) {
                c.width->setValue(preset.width);
                c.height->setValue(preset.height);
            }
        } else if (c.check && c.option->type != OptionType::Flag) {
            parts = parts && c.check->isChecked();
        }
        for (QWidget* widget : std::initializer_list<QWidget*>{c.width, c.height, c.x, c.y})
            if (widget) widget->setEnabled(parts);
    }
    showing_ = wasShowing;
}
