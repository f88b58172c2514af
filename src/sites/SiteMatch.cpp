#include "SiteMatch.h"

#include "params/FieldModel.h"

#include <QHash>
#include <QStringList>

#include <utility>

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

// Compatibility decomposition, case folding, marks dropped.
QString unicodeFold(const QString &text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_KD).toCaseFolded();
    QString folded;
    for (const QChar c : decomposed) {
        const QChar::Category category = c.category();
        if (category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining
            || category == QChar::Mark_Enclosing)
            continue;
        folded += plainLetter(c);
    }
    return folded;
}

const QHash<QChar, QString> &foldMap()
{
    static const QHash<QChar, QString> map = [] {
        QHash<QChar, QString> m;
        for (const FoldPair &p : foldPairs())
            m.insert(p.from, p.to);
        return m;
    }();
    return map;
}

} // namespace

const QList<FoldPair> &foldPairs()
{
    // Latin with its accents, the combining marks, Greek and Cyrillic: what
    // customers' names are written in. Kept short enough for SQLite's
    // expression depth, as the database applies it one replace() each.
    static const QList<FoldPair> pairs = [] {
        QHash<QChar, QString> raw;
        QList<QChar> order;
        for (const auto &[first, last] :
             {std::pair{0x00A0, 0x024F}, std::pair{0x0300, 0x036F}, std::pair{0x0370, 0x04FF}}) {
            for (int u = first; u <= last; ++u) {
                const QChar c{char16_t(u)};
                const QString folded = unicodeFold(QString(c));
                if (folded != QString(c)) {
                    raw.insert(c, folded);
                    order << c;
                }
            }
        }
        QList<FoldPair> list;
        for (const QChar c : order) {
            // A text that holds a character of the table takes that one's text.
            QString to;
            for (const QChar t : raw.value(c))
                to += raw.contains(t) ? raw.value(t) : QString(t);
            list << FoldPair{c, to};
        }
        return list;
    }();
    return pairs;
}

const QString &phoneSeparators()
{
    static const QString separators = [] {
        QString s = QStringLiteral("\t\n\r");
        for (char c = 0x20; c < 0x7F; ++c)
            if (!(c >= '0' && c <= '9') && !(c >= 'A' && c <= 'Z'))
                s += QLatin1Char(c);
        // Dashes, spaces and dots that pasted numbers bring.
        for (const char16_t u : {u'\u00B7', u'\u2007', u'\u2009', u'\u2010', u'\u2011', u'\u2012', u'\u2013', u'\u2014',
                                 u'\u2015', u'\u202F', u'\u2212'})
            s += QChar(u);
        return s;
    }();
    return separators;
}

QString foldText(const QString &text)
{
    const QHash<QChar, QString> &map = foldMap();
    QString folded;
    folded.reserve(text.size());
    for (const QChar c : text) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            folded += QChar(c.unicode() + 32);
        else if (const auto it = map.constFind(c); it != map.constEnd())
            folded += *it;
        else
            folded += c;
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
    for (const QChar c : foldText(text))
        if (!phoneSeparators().contains(c))
            digits += c;
    return digits;
}

QString searchTextOf(const SiteDetails &details, const std::optional<ImageBytes> &current)
{
    // Fields are kept apart by a line feed, so a match never spans two.
    QStringList parts{foldText(details.name),  foldText(details.address), foldText(details.contact),
                      foldText(details.phone), foldText(details.notes),   digitsOf(details.phone),
                      setTextOf(current)};
    parts.removeAll(QString());
    return parts.join(QLatin1Char('\n'));
}

QString setTextOf(const std::optional<ImageBytes> &current)
{
    QStringList parts;
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

QString searchedText(const QString &text)
{
    return isPhoneLike(text) ? digitsOf(text) : foldText(text.trimmed());
}

QString likePatternFor(const QString &text)
{
    const QString wanted = searchedText(text);
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
