// The window's controls made from the options table, one kind of widget for
// each type of option: a check box for a flag, a spin box for a whole or a
// decimal number, a list for a choice, a list of the boxes offered with a
// width and a height for a size that has presets (else a check box with
// them), and a check box with a size and a corner for a region. Captions,
// ranges, steps and help come from the table; each control is read and
// shown through the option's binding, and is enabled only where its option
// has its effect (the table's requirements), so that a new option of a
// known type needs nothing here.
#pragma once

#include "grob/options.h"

#include <QObject>
#include <QString>

#include <deque>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QFormLayout;
class QLayout;
class QSpinBox;
class QWidget;

// The text of the table in the window: UTF-8 ("90°").
QString TableText(std::string_view text);

// Tab and Shift+Tab go through the widgets of `layout` as it lays them out:
// row by row, each from left to right, into the layouts it holds, the
// layouts of widgets that take no focus themselves and the page of a scroll
// area, whatever order the widgets were made in.
void TabInLayoutOrder(const QLayout* layout);

class OptionForm final : public QObject {
    Q_OBJECT
  public:
    // `uses`: the options the window has (kConversion), whose requirements
    // decide what is enabled; one on any other option always holds.
    OptionForm(QWidget* parent, unsigned uses = grob::kConversion);

    // One option's widgets; those its type does not use are null.
    struct Control {
        const grob::OptionEntry* option = nullptr;
        QCheckBox* check = nullptr;       // Flag; on or off for a Region or a Size without presets
        QComboBox* list = nullptr;        // Choice; the presets of a Size
        QSpinBox* whole = nullptr;        // Whole
        QDoubleSpinBox* number = nullptr; // Number
        QSpinBox* width = nullptr;        // Size, Region
        QSpinBox* height = nullptr;
        QSpinBox* x = nullptr; // Region
        QSpinBox* y = nullptr;
    };

    // The control of an option, as rows at the end of `layout`.
    const Control& add(const grob::OptionEntry& option, QFormLayout* layout);
    // The controls of every option of the table whose use has one of `uses`
    // and that a control can show (not a path), in the table's order.
    void add(unsigned uses, QFormLayout* layout);

    // The control of an option added (the program's own mistake otherwise).
    const Control& operator[](const grob::OptionEntry& option) const;
    const std::deque<Control>& controls() const { return controls_; }

    // Every control as `choices` have its option (without a change said).
    void show(const grob::Choices& choices);
    // Every option of a control as the control has it.
    void read(grob::Choices& choices) const;
    // Each control enabled where its option has its effect with `choices`,
    // and the parts of a size or a region where they are used.
    void follow(const grob::Choices& choices);

  Q_SIGNALS:
    // The user changed a control.
    void changed(const grob::OptionEntry& option);

  private:
    grob::OptionValue value(const Control& control) const;
    void show(const Control& control, const grob::OptionValue& value);

    unsigned uses_;
    std::deque<Control> controls_; // never moved: add() hands out references
    bool showing_ = false;
};
