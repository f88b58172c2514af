#pragma once
// The module, the parameter image and the preset file all carry 8-bit
// Windows-1250 text. This is the one place that converts it.

#include <QByteArray>
#include <QByteArrayView>
#include <QChar>
#include <QString>

namespace Windows1250 {

// Every byte maps to exactly one character; the five bytes the code page
// leaves undefined map to the C1 control of the same value, so any byte
// sequence survives a round trip.
QChar toChar(unsigned char byte);
QString toUnicode(QByteArrayView bytes);

// A character the code page cannot hold becomes this one byte.
inline constexpr char Unmappable = '?';

// Exactly one byte per UTF-16 unit of the text.
char fromChar(QChar ch);
QByteArray fromUnicode(const QString &text);

} // namespace Windows1250
