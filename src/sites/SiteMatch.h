#pragma once
// How the site book matches a search: case and accents are ignored, and a
// text that looks like a phone number matches by its digits alone. Each site
// keeps one search text, made here, that a LIKE pattern runs over.

#include "SiteBook.h"

#include <QString>

namespace Sites {

// One character and what searching takes it for. The database folds its own
// copy of the search text with SQL built from this same table, so the two
// never drift apart: A to Z become a to z, then each of these characters its
// text; no text holds a character of the table.
struct FoldPair
{
    QChar from;
    QString to;
};
const QList<FoldPair> &foldPairs();
// The characters a phone number's digits are taken without (after folding).
const QString &phoneSeparators();

// Lower case without accents: "Győr" -> "gyor", "Kovács" -> "kovacs".
QString foldText(const QString &text);
// The key that keeps site names unique: Unicode NFC, case folded, outer
// blanks trimmed and inner runs of blanks as one ("KOVÁCS " and "kovács").
QString nameKey(const QString &name);
// "+36 (30) 123-4567" -> "36301234567": the folded text without the separators.
QString digitsOf(const QString &text);

// The folded details, the digits of every phone number (the site's own and
// the current set's), the APN and the serial number (PanelID) of the set.
QString searchTextOf(const SiteDetails &details, const std::optional<ImageBytes> &current);
// The part of it from the current set, which the program keeps for the
// database (SQL cannot read a parameter set's fields).
QString setTextOf(const std::optional<ImageBytes> &current);

// What a user typed, as it is looked for: its digits when it is a phone
// number (only digits, blanks and + - / ( ) . with three digits or more),
// else its folded text. Three characters or more are looked for anywhere in
// the search text; one or two only at the start of the folded name.
QString searchedText(const QString &text);
// A LIKE pattern (escape character '\') for searchedText; "%" for an empty text.
QString likePatternFor(const QString &text);

} // namespace Sites
