#pragma once
// Text form of an IPv4 address field: four octets, each possibly blank.

#include <QString>

#include <array>
#include <optional>

namespace IPv4Text {

using Octets = std::array<std::optional<int>, 4>; // nullopt: a blank field

// "a.b.c.d"; empty when all four fields are blank. A blank field among
// filled ones counts as 0, as it does when the address is stored.
QString format(const Octets &octets);

// Splits at the dots and sets the octets from the left; a shorter text sets
// only the octets it has, parts after the fourth are ignored. A part that is
// not a number 0 to 255 blanks all four fields.
void apply(Octets &octets, const QString &text);

} // namespace IPv4Text
