#pragma once
// Before the editor stores: the fields whose shown value the image cannot
// hold as shown (a partial event code, a number with empty cells, a text
// the module's character set or the field's rules change, a number above
// its range), in words, so that
// the installer decides before anything typed is lost.

#include "params/EEAddr.h"

#include <QString>
#include <QStringList>

namespace StoreCheck {

// A sentence when `shown` (a grid's cells, a blank for an empty one, a text
// field's text or a spinner's number) would be stored as something else;
// empty otherwise.
QString check(const EEAddr::Field &field, const QString &shown);

// The sentences, one per line, and "Store anyway?".
QString question(const QStringList &sentences);

} // namespace StoreCheck
