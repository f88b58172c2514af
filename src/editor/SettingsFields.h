#pragma once
// Lookups into the field table for the settings window's own files.

#include "params/EEAddr.h"

#include <QString>
#include <QtGlobal>

namespace SettingsFields {

// The field that starts at this offset; the window only asks for real ones.
inline const EEAddr::Field &FieldAt(int offset)
{
    for (const EEAddr::Field &f : EEAddr::Fields)
        if (f.offset == offset)
            return f;
    qFatal("no parameter field at offset %d", offset);
}

inline QString ToQString(std::string_view s)
{
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

inline QString ControlName(int offset)
{
    return ToQString(FieldAt(offset).control);
}

// A spinner's text field, or the second control of a two-flag byte.
inline QString CompanionName(int offset)
{
    return ToQString(FieldAt(offset).companion);
}

} // namespace SettingsFields
