#pragma once
// Lookups into the field table for the settings window's own files.

#include "params/EEAddr.h"

#include <QString>
#include <QtGlobal>

namespace SettingsFields {

// The field that starts at this offset; the window only asks for real ones.
inline const EEAddr::Field &fieldAt(int offset)
{
    for (const EEAddr::Field &f : EEAddr::Fields)
        if (f.offset == offset)
            return f;
    qFatal("no parameter field at offset %d", offset);
}

inline QString toQString(std::string_view s)
{
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

inline QString controlName(int offset)
{
    return toQString(fieldAt(offset).control);
}

// A spinner's text field, or the second control of a two-flag byte.
inline QString companionName(int offset)
{
    return toQString(fieldAt(offset).companion);
}

} // namespace SettingsFields
