#pragma once
// How the settings window's controls show and give a field's value, one rule
// per kind of control. The controls are found by the names the field table
// gives them, so the window itself holds no code for any single field.

#include "params/EEAddr.h"
#include "params/FieldModel.h"

#include <QList>
#include <QSpinBox>

#include <array>
#include <string_view>

class QWidget;

// A number field's spinner: it takes whatever fits in the digits of its
// largest value, so a typed 30 stays 30 where 25 is the most (the store check
// then says so); the arrows keep to the field's range.
class FieldSpinner : public QSpinBox
{
public:
    FieldSpinner(int fieldMaximum, QWidget *parent);
    int fieldMaximum() const { return m_fieldMaximum; }
    void stepBy(int steps) override;

protected:
    StepEnabled stepEnabled() const override;

private:
    int m_fieldMaximum;
};

namespace FieldControls {

struct Binding
{
    const EEAddr::Field *field;
    QWidget *control;   // nullptr for the reserved rows
    QWidget *companion; // the second control of BELLFlags; else nullptr
};

// Every row of the field table with its controls, found by name under
// `window`, in load order: image order, except that the fields whose change
// sets off an enabling rule come last, in the order of RuleOrder.
QList<Binding> bindByName(QWidget *window);

// A changed call filter choice, GPRS mode or Bell choice sets off an enabling
// rule; the Bell choice's rule looks at the call filter, so that one goes first.
inline constexpr std::array<std::string_view, 3> RuleOrder = {"CallFilter", "GPRSmode", "BELLFlags"};

void show(const Binding &binding, const FieldModel::FieldValue &value);
FieldModel::FieldValue valueOf(const Binding &binding);
// What a grid, text field or spinner shows: the cells (a blank for an empty
// cell, each cell's first character), the text or the number; empty for
// other controls.
QString shownText(const Binding &binding);

} // namespace FieldControls
