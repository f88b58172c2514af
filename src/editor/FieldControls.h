#pragma once
// How the settings window's controls show and give a field's value, one rule
// per kind of control. The controls are found by the names the field table
// gives them, so the window itself holds no code for any single field.

#include "params/EEAddr.h"
#include "params/FieldModel.h"

#include <QList>

#include <array>
#include <string_view>

class QWidget;

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
// What a grid or text field shows: the cells (a blank for an empty cell, each
// cell's first character) or the text; empty for other controls.
QString shownText(const Binding &binding);

} // namespace FieldControls
