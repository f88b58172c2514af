#pragma once
// How the site book matches a search: case and accents are ignored, and a
// text that looks like a phone number matches by its digits alone. Each site
// keeps one search text, made here, that a LIKE pattern runs over.

#include "SiteBook.h"

#include <QString>

namespace Sites {

// Lower case without accents: "Győr" -> "gyor", "Kovács" -> "kovacs".
QString foldText(const QString &text);
// The key that keeps site names unique: Unicode NFC, case folded, outer
// blanks trimmed and inner runs of blanks as one ("KOVÁCS " and "kovács").
QString nameKey(const QString &name);
// "+36 (30) 123-4567" -> "36301234567".
QString digitsOf(const QString &text);

// The folded details, the digits of every phone number (the site's own and
// the current set's), the APN and the serial number (PanelID) of the set.
QString searchTextOf(const SiteDetails &details, const std::optional<ImageBytes> &current);

// A LIKE pattern (escape character '\') for what a user typed: its digits
// when it is a phone number (only digits, blanks and + - / ( ) . with three
// digits or more), else its folded text; "%" for an empty text.
QString likePatternFor(const QString &text);

} // namespace Sites
