#include "ShownText.h"

namespace ShownText {

namespace {

bool kept(QChar c, Breaks breaks)
{
    return breaks == Breaks::Kept && (c == u'\n' || c == u'\t');
}

void appendEscape(QString &out, QChar c)
{
    switch (c.unicode()) {
    case u'\n': out += QLatin1String("\\n"); return;
    case u'\r': out += QLatin1String("\\r"); return;
    case u'\t': out += QLatin1String("\\t"); return;
    default: out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
}

} // namespace

bool isControl(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || (u >= 0x7f && u <= 0x9f) || u == 0x061c || u == 0x200e || u == 0x200f
        || (u >= 0x2028 && u <= 0x202e) || (u >= 0x2066 && u <= 0x2069);
}

QString shown(QStringView text, Breaks breaks)
{
    if (!hasControl(text, breaks))
        return text.toString();
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (isControl(c) && !kept(c, breaks))
            appendEscape(out, c);
        else
            out += c;
    }
    return out;
}

QString quoted(QStringView text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == u'"' || c == u'\\')
            out += QLatin1Char('\\');
        if (isControl(c))
            appendEscape(out, c);
        else
            out += c;
    }
    return out + QLatin1Char('"');
}

bool hasControl(QStringView text, Breaks breaks)
{
    for (const QChar c : text)
        if (isControl(c) && !kept(c, breaks))
            return true;
    return false;
}

} // namespace ShownText
