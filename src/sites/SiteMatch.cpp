#include "SiteMatch.h"

#include "params/FieldModel.h"

#include <QStringList>

namespace Sites {

namespace {

// Letters that carry their mark in the letter itself, so decomposition leaves them.
QChar plainLetter(QChar c)
{
    switch (c.unicode()) {
    case 0x0142: return QLatin1Char('l'); // ł
    case 0x00F8: return QLatin1Char('o'); // ø
    case 0x0111: return QLatin1Char('d'); // đ
    case 0x0131: return QLatin1Char('i'); // dotless i
    default: return c;
    }
}

bool isPhoneLike(const QString &text)
{
    int digits = 0;
    for (const QChar c : text) {
        if (c.isDigit())
            ++digits;
        else if (!QStringLiteral(" +-/().").contains(c))
            return false;
    }
    return digits >= 3;
}

} // namespace

QString foldText(const QString &text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_KD).toCaseFolded();
    QString folded;
    folded.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        const QChar::Category category = c.category();
        if (category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining
            || category == QChar::Mark_Enclosing)
            continue;
        folded += plainLetter(c);
    }
    return folded;
}

QString nameKey(const QString &name)
{
    return name.normalized(QString::NormalizationForm_C)
        .toCaseFolded()
        .normalized(QString::NormalizationForm_C)
        .simplified();
}

QString digitsOf(const QString &text)
{
    QString digits;
    for (const QChar c : text)
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digits += c;
    return digits;
}

QString searchTextOf(const SiteDetails &details, const std::optional<ImageBytes> &current)
{
    // Fields are kept apart by a line feed, so a match never spans two.
    QStringList parts{foldText(details.name), foldText(details.address), foldText(details.contact),
                      foldText(details.phone), foldText(details.notes), digitsOf(details.phone)};
    if (current) {
        for (const EEAddr::Field &f : FieldModel::namedFields()) {
            const bool phone = f.encoding == EEAddr::Encoding::Digits16;
            const bool wanted = phone || f.offset == EEAddr::APN || f.offset == EEAddr::PanelID;
            if (!wanted)
                continue;
            const QString value = FieldModel::formatValue(FieldModel::Decode(*current, f));
            parts << (phone ? digitsOf(value) : foldText(value));
        }
    }
    parts.removeAll(QString());
    return parts.join(QLatin1Char('\n'));
}

QString likePatternFor(const QString &text)
{
    const QString wanted = isPhoneLike(text) ? digitsOf(text) : foldText(text.trimmed());
    QString pattern = QStringLiteral("%");
    for (const QChar c : wanted) {
        if (c == QLatin1Char('%') || c == QLatin1Char('_') || c == QLatin1Char('\\'))
            pattern += QLatin1Char('\\');
        pattern += c;
    }
    if (!wanted.isEmpty())
        pattern += QLatin1Char('%');
    return pattern;
}

} // namespace Sites
