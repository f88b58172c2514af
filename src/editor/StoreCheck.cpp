#include "StoreCheck.h"

#include "params/FieldModel.h"

#include <array>

namespace StoreCheck {

namespace {

using EEAddr::Encoding;

// What the store makes of the value, read back as the editor would show it.
QString storedAs(const EEAddr::Field &field, const FieldModel::FieldValue &value)
{
    std::array<std::uint8_t, EEAddr::ImageSize> image{};
    image.fill(0xFF);
    FieldModel::store(image, field, value);
    return std::get<QString>(FieldModel::Decode(image, field));
}

QString withoutTrailingBlanks(QString text)
{
    while (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    return text;
}

// The field model's rule without the field's name before it.
QString ruleOf(const EEAddr::Field &field, const FieldModel::FieldValue &value)
{
    const QString broken = FieldModel::validate(field, value);
    const qsizetype colon = broken.indexOf(QStringLiteral(": "));
    return colon < 0 ? broken : broken.mid(colon + 2);
}

// The label without the range it ends with: the sentence names the range itself.
QString withoutRange(const QString &label)
{
    const qsizetype open = label.lastIndexOf(QStringLiteral(" ("));
    return open > 0 && label.endsWith(QLatin1Char(')')) ? label.left(open) : label;
}

} // namespace

QString check(const EEAddr::Field &field, const QString &shown)
{
    const QString label = FieldModel::labelOf(field).simplified();
    const QString visible = withoutTrailingBlanks(shown);
    switch (field.encoding) {
    case Encoding::EventCode: {
        if (visible.trimmed().isEmpty())
            return {};
        // Only the symbols a cell begins with count; a code has four.
        QString symbols;
        for (QChar ch : shown.leftJustified(field.capacity, QLatin1Char(' ')))
            symbols += (ch.isDigit() && ch.unicode() < 128) || ch == QLatin1Char('*') ? ch : QLatin1Char(' ');
        if (FieldModel::validate(field, symbols).isEmpty() && storedAs(field, symbols) == shown)
            return {};
        return QStringLiteral("%1 \"%2\" is not a code (four symbols 0 to 9 or *) and will be stored as no code.")
            .arg(label, visible);
    }
    case Encoding::Digits16:
    case Encoding::Digits8: {
        QString digits = visible;
        digits.remove(QLatin1Char(' '));
        const QString stored = withoutTrailingBlanks(storedAs(field, digits));
        if (stored == visible)
            return {};
        return QStringLiteral("%1 \"%2\" has empty cells and will be stored as \"%3\".").arg(label, visible, stored);
    }
    case Encoding::SmsText:
    case Encoding::GprsText: {
        const QString stored = withoutTrailingBlanks(storedAs(field, shown));
        if (stored == visible)
            return {};
        QString rule = ruleOf(field, shown);
        if (rule.isEmpty())
            rule = QStringLiteral("the module's character set");
        return QStringLiteral("%1 \"%2\" cannot be stored as shown (%3) and will be stored as \"%4\".")
            .arg(label, visible, rule, stored);
    }
    case Encoding::Word16BE:
    case Encoding::ByteValue: {
        bool number = false;
        const int value = shown.toInt(&number);
        if (!number || value <= field.maximum)
            return {};
        return QStringLiteral("%1: %2 is above %3 and will be stored as %3.")
            .arg(withoutRange(label), QString::number(value), QString::number(field.maximum));
    }
    default:
        return {};
    }
}

QString question(const QStringList &sentences)
{
    // One field reads as one sentence; several as a list.
    const QLatin1Char separator(sentences.size() == 1 ? ' ' : '\n');
    return sentences.join(QLatin1Char('\n')) + separator + QStringLiteral("Store anyway?");
}

} // namespace StoreCheck
