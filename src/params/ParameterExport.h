#pragma once
// The export format: every named field under its layout name with the value
// the editor shows, and the whole image in hexadecimal so that nothing is
// lost. Import starts from a base image and writes a field only when the
// value given differs from what the base decodes to, so an unchanged export
// imports back byte for byte and a template changes only what it names.

#include "FieldModel.h"
#include "ParameterImage.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

namespace ParameterExport {

inline constexpr char FormatName[] = "quelmar-parameters";
inline constexpr int FormatVersion = 1;

// The export document of an image, UTF-8, fields in image order, one a line.
QByteArray exportImage(const ImageBytes &image);

// JSON text of one string, and of one field's value as the export holds it.
QByteArray jsonString(QStringView text);
QByteArray jsonValue(const FieldModel::FieldValue &value);
// The value of a field from its JSON form; on failure `error` names the field.
FieldModel::Parsed valueFromJson(const EEAddr::Field &field, const QJsonValue &json);

struct Change
{
    const EEAddr::Field *field;
    FieldModel::FieldValue value;
};
// Writes, in order, each value that differs from what its field decodes to,
// after checking it. Returns the messages of the values refused, each naming
// its field; the image is changed only when there are none.
// A value that the field stores differently (a letter its encoding lacks,
// trailing blanks) adds "SMS2: Ű is stored as Ü" to `notes`.
QStringList applyChanges(ImageBytes &image, const QList<Change> &changes, QStringList *notes = nullptr);

struct Imported
{
    ImageBytes image{};
    QStringList errors;   // empty when the document was accepted
    QStringList warnings; // values stored differently, as applyChanges notes them
    bool ok() const { return errors.isEmpty(); }
};
// Builds an image from an export or a partial one. The base is `base` when
// given, else the document's "image", else an erased image (all 0xFF).
Imported importImage(QByteArrayView json, const std::optional<ImageBytes> &base = std::nullopt);

} // namespace ParameterExport
