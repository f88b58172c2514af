#include "IPv4Text.h"

#include <QStringList>

namespace IPv4Text {
namespace {

std::optional<int> parseOctet(QStringView part)
{
    part = part.trimmed();
    if (part.isEmpty() || part.size() > 3)
        return std::nullopt;
    int value = 0;
    for (QChar c : part) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    if (value > 255)
        return std::nullopt;
    return value;
}

} // namespace

QString format(const Octets &octets)
{
    bool anyFilled = false;
    for (const auto &o : octets)
        anyFilled = anyFilled || o.has_value();
    if (!anyFilled)
        return {};
    QStringList parts;
    for (const auto &o : octets)
        parts << QString::number(o.value_or(0));
    return parts.join(u'.');
}

void apply(Octets &octets, const QString &text)
{
    const QStringList parts = text.split(u'.');
    Octets result = octets;
    for (int i = 0; i < parts.size() && i < 4; ++i) {
        const std::optional<int> value = parseOctet(parts[i]);
        if (!value) {
            octets.fill(std::nullopt);
            return;
        }
        result[static_cast<size_t>(i)] = value;
    }
    octets = result;
}

} // namespace IPv4Text
