#include "FieldControls.h"

#include "CharGrid.h"
#include "IPAddressControl.h"
#include "RadioGroup.h"
#include "params/Encodings.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSpinBox>

#include <algorithm>
#include <cstdint>

FieldSpinner::FieldSpinner(int fieldMaximum, QWidget *parent)
    : QSpinBox(parent)
    , m_fieldMaximum(fieldMaximum)
{
    int typable = 9;
    while (typable < fieldMaximum)
        typable = typable * 10 + 9;
    setRange(0, typable);
}

void FieldSpinner::stepBy(int steps)
{
    setValue(std::clamp(value() + steps, 0, m_fieldMaximum));
    selectAll();
}

QAbstractSpinBox::StepEnabled FieldSpinner::stepEnabled() const
{
    StepEnabled enabled = StepNone;
    if (value() > 0)
        enabled |= StepDownEnabled;
    if (value() < m_fieldMaximum)
        enabled |= StepUpEnabled;
    return enabled;
}

namespace FieldControls {

namespace {

// What the image takes of a spinner's number: the field's range, so that a
// value the store check named is never cut to its low bits.
int numberIn(const EEAddr::Field &field, int value)
{
    return std::clamp(value, 0, field.maximum);
}

using EEAddr::Encoding;
using FieldModel::FieldValue;

QWidget *Named(QWidget *window, std::string_view name)
{
    if (name.empty())
        return nullptr;
    const QString objectName = QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
    QWidget *w = window->findChild<QWidget *>(objectName);
    if (!w)
        qFatal("no control named %s", qPrintable(objectName));
    return w;
}

int ruleRank(const EEAddr::Field &f)
{
    const auto *at = std::find(RuleOrder.begin(), RuleOrder.end(), f.name);
    return static_cast<int>(at - RuleOrder.begin());
}

// Positions with a digit fill their cell; the others stay empty.
void showDigits(CharGrid *grid, const QString &positions)
{
    grid->clearCells();
    for (int p = 0; p < grid->cellCount() && p < positions.size(); ++p)
        if (positions[p] != QLatin1Char(' '))
            grid->setCell(p, QString(positions[p]));
}

// Four blank cells, then the code's positions if there is one.
void showEventCode(CharGrid *grid, const QString &positions)
{
    for (int c = 0; c < grid->cellCount(); ++c)
        grid->setCell(c, QString(c < positions.size() ? positions[c] : QLatin1Char(' ')));
}

// A cell beginning with a symbol gives it; any other cell is a blank position.
QString EventPositions(const CharGrid *grid)
{
    QString positions;
    bool any = false;
    for (const QString &cell : grid->cells()) {
        const QChar ch = cell.isEmpty() ? QLatin1Char(' ') : cell.front();
        const bool symbol = (ch >= QLatin1Char('0') && ch <= QLatin1Char('9')) || ch == QLatin1Char('*');
        positions.append(symbol ? ch : QLatin1Char(' '));
        any = any || symbol;
    }
    return any ? positions : QString();
}

bool isChoice(const QWidget *w)
{
    return qobject_cast<const RadioGroup *>(w) != nullptr;
}

void showFlag(QWidget *w, bool on)
{
    if (auto *choice = qobject_cast<RadioGroup *>(w))
        choice->setItemIndex(on ? 1 : 0);
    else
        static_cast<QCheckBox *>(w)->setChecked(on);
}

bool flagOf(const QWidget *w)
{
    if (isChoice(w))
        return static_cast<const RadioGroup *>(w)->itemIndex() == 1;
    return static_cast<const QCheckBox *>(w)->isChecked();
}

} // namespace

QList<Binding> bindByName(QWidget *window)
{
    QList<Binding> bindings;
    for (const EEAddr::Field &f : EEAddr::Fields) {
        QWidget *companion = f.encoding == Encoding::FlagBits ? Named(window, f.companion) : nullptr;
        bindings.append({&f, Named(window, f.control), companion});
    }
    std::stable_sort(bindings.begin(), bindings.end(),
                     [](const Binding &a, const Binding &b) { return ruleRank(*a.field) < ruleRank(*b.field); });
    return bindings;
}

void show(const Binding &binding, const FieldValue &value)
{
    QWidget *w = binding.control;
    switch (binding.field->encoding) {
    case Encoding::Digits16:
    case Encoding::Digits8:
        showDigits(static_cast<CharGrid *>(w), std::get<QString>(value));
        break;
    case Encoding::EventCode:
        showEventCode(static_cast<CharGrid *>(w), std::get<QString>(value));
        break;
    case Encoding::SmsText:
    case Encoding::GprsText:
        static_cast<QLineEdit *>(w)->setText(std::get<QString>(value));
        break;
    case Encoding::Word16BE:
        // The spinners take 16-bit values as signed numbers and hold them in their range.
        static_cast<QSpinBox *>(w)->setValue(numberIn(*binding.field, static_cast<std::int16_t>(std::get<int>(value))));
        break;
    case Encoding::ByteValue:
        static_cast<QSpinBox *>(w)->setValue(numberIn(*binding.field, std::get<int>(value)));
        break;
    case Encoding::IPv4Address:
        static_cast<IPAddressControl *>(w)->setAddress(std::get<FieldModel::Octets>(value));
        break;
    case Encoding::FlagByte:
        showFlag(w, std::get<bool>(value));
        break;
    case Encoding::FlagBits:
        showFlag(w, (std::get<int>(value) & 1) != 0);
        showFlag(binding.companion, (std::get<int>(value) & 2) != 0);
        break;
    case Encoding::ReservedZero:
        break;
    }
}

FieldValue valueOf(const Binding &binding)
{
    const QWidget *w = binding.control;
    switch (binding.field->encoding) {
    case Encoding::Digits16:
    case Encoding::Digits8:
        // Gaps between filled cells close up.
        return Encodings::digitsFromCells(static_cast<const CharGrid *>(w)->cells());
    case Encoding::EventCode:
        return EventPositions(static_cast<const CharGrid *>(w));
    case Encoding::SmsText:
    case Encoding::GprsText:
        return static_cast<const QLineEdit *>(w)->text();
    case Encoding::Word16BE:
    case Encoding::ByteValue:
        return numberIn(*binding.field, static_cast<const QSpinBox *>(w)->value());
    case Encoding::IPv4Address:
        return static_cast<const IPAddressControl *>(w)->address();
    case Encoding::FlagByte:
        return flagOf(w);
    case Encoding::FlagBits:
        return (flagOf(w) ? 1 : 0) + (flagOf(binding.companion) ? 2 : 0);
    case Encoding::ReservedZero:
        break;
    }
    return 0;
}

QString shownText(const Binding &binding)
{
    if (const auto *grid = qobject_cast<const CharGrid *>(binding.control)) {
        QString text;
        for (const QString &cell : grid->cells())
            text += cell.isEmpty() ? QLatin1Char(' ') : cell.front();
        return text;
    }
    if (const auto *field = qobject_cast<const QLineEdit *>(binding.control))
        return field->text();
    if (const auto *spin = qobject_cast<const QSpinBox *>(binding.control))
        return QString::number(spin->value());
    return {};
}

} // namespace FieldControls
