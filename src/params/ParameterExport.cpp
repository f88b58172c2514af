#include "ParameterExport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace ParameterExport {

namespace {

const QLatin1String FormatKey("format");
const QLatin1String VersionKey("version");
const QLatin1String FieldsKey("fields");
const QLatin1String ImageKey("image");

QString fieldError(const EEAddr::Field &field, const char *rule)
{
    return FieldModel::nameOf(field) + QStringLiteral(": ") + QLatin1String(rule);
}

QString hexOf(const ImageBytes &image)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(image.data()), image.size()).toHex());
}

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

std::optional<ImageBytes> imageFromHex(const QString &hex)
{
    ImageBytes image{};
    if (hex.size() != 2 * qsizetype(image.size()))
        return std::nullopt;
    for (std::size_t i = 0; i < image.size(); ++i) {
        const int high = hexDigit(hex.at(2 * i));
        const int low = hexDigit(hex.at(2 * i + 1));
        if (high < 0 || low < 0)
            return std::nullopt;
        image[i] = std::uint8_t(high * 16 + low);
    }
    return image;
}

} // namespace

QByteArray jsonString(QStringView text)
{
    QByteArray out;
    out.reserve(text.size() + 2);
    out += '"';
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'"': out += "\\\""; break;
        case u'\\': out += "\\\\"; break;
        case u'\n': out += "\\n"; break;
        case u'\r': out += "\\r"; break;
        case u'\t': out += "\\t"; break;
        default:
            if (c.unicode() < 0x20)
                out += "\\u00" + QByteArray::number(c.unicode(), 16).rightJustified(2, '0');
            else
                out += QStringView(&c, 1).toUtf8();
        }
    }
    out += '"';
    return out;
}

QByteArray jsonValue(const FieldModel::FieldValue &value)
{
    if (const int *n = std::get_if<int>(&value))
        return QByteArray::number(*n);
    if (const bool *b = std::get_if<bool>(&value))
        return *b ? "true" : "false";
    return jsonString(FieldModel::formatValue(value));
}

FieldModel::Parsed valueFromJson(const EEAddr::Field &field, const QJsonValue &json)
{
    using E = EEAddr::Encoding;
    switch (field.encoding) {
    case E::ByteValue:
    case E::Word16BE:
    case E::FlagBits: {
        if (!json.isDouble())
            return {0, fieldError(field, "a number is expected")};
        const double d = json.toDouble();
        if (d != std::floor(d))
            return {0, fieldError(field, "a whole number is expected")};
        // Far out of range stays out of range, for validate() to name the range.
        return {int(std::clamp(d, -1e9, 1e9)), {}};
    }
    case E::FlagByte:
        if (!json.isBool())
            return {false, fieldError(field, "true or false is expected")};
        return {json.toBool(), {}};
    case E::IPv4Address:
        if (!json.isString())
            return {FieldModel::Octets{}, fieldError(field, "an address a.b.c.d is expected")};
        return FieldModel::parseValue(field, json.toString());
    default:
        if (!json.isString())
            return {QString(), fieldError(field, "a text is expected")};
        return {json.toString(), {}};
    }
}

QByteArray exportImage(const ImageBytes &image)
{
    QByteArray out = "{\n  \"format\": " + jsonString(QString::fromLatin1(FormatName))
                     + ",\n  \"version\": " + QByteArray::number(FormatVersion) + ",\n  \"fields\": {\n";
    const auto fields = FieldModel::namedFields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const EEAddr::Field &f = fields[i];
        out += "    " + jsonString(FieldModel::nameOf(f)) + ": " + jsonValue(FieldModel::Decode(image, f))
               + (i + 1 < fields.size() ? ",\n" : "\n");
    }
    out += "  },\n  \"image\": " + jsonString(hexOf(image)) + "\n}\n";
    return out;
}

namespace {

// The first key that an object of the document holds twice, or empty. The
// parser would keep the last one silently.
QString duplicateKey(QByteArrayView json)
{
    QList<QSet<QString>> objects; // the keys seen, per open object
    QList<bool> isObject;         // per open bracket: object or array
    bool expectKey = false;
    for (qsizetype i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (c == '{') {
            objects.append(QSet<QString>());
            isObject.append(true);
            expectKey = true;
        } else if (c == '[') {
            isObject.append(false);
            expectKey = false;
        } else if (c == '}' || c == ']') {
            if (!isObject.isEmpty()) {
                if (isObject.takeLast())
                    objects.removeLast();
            }
            expectKey = false;
        } else if (c == ',') {
            expectKey = !isObject.isEmpty() && isObject.last();
        } else if (c == '"') {
            qsizetype end = i + 1;
            while (end < json.size() && json[end] != '"')
                end += json[end] == '\\' ? 2 : 1;
            if (expectKey && !objects.isEmpty()) {
                // Decoded as the parser decodes it, escapes included.
                const QByteArray quoted = json.sliced(i, std::min(end, json.size() - 1) - i + 1).toByteArray();
                const QString key = QJsonDocument::fromJson('[' + quoted + ']').array().at(0).toString();
                if (objects.last().contains(key))
                    return key;
                objects.last().insert(key);
            }
            expectKey = false;
            i = end;
        }
    }
    return {};
}

} // namespace

QStringList applyChanges(ImageBytes &image, const QList<Change> &changes, QStringList *notes)
{
    ImageBytes changed = image;
    QStringList errors;
    for (const Change &c : changes) {
        if (FieldModel::Decode(changed, *c.field) == c.value)
            continue;
        const QString error = FieldModel::validate(*c.field, c.value);
        if (!error.isEmpty()) {
            errors << error;
            continue;
        }
        FieldModel::store(changed, *c.field, c.value);
        const FieldModel::FieldValue stored = FieldModel::Decode(changed, *c.field);
        if (notes && stored != c.value)
            *notes << QStringLiteral("%1: %2 is stored as %3")
                          .arg(FieldModel::nameOf(*c.field), FieldModel::formatValue(c.value),
                               FieldModel::formatValue(stored));
    }
    if (errors.isEmpty())
        image = changed;
    return errors;
}

Imported importImage(QByteArrayView json, const std::optional<ImageBytes> &base)
{
    Imported result;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json.toByteArray(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        result.errors << QStringLiteral("not JSON: %1 at offset %2").arg(parseError.errorString()).arg(parseError.offset);
        return result;
    }
    if (!document.isObject()) {
        result.errors << QStringLiteral("an object is expected");
        return result;
    }
    if (const QString key = duplicateKey(json); !key.isEmpty()) {
        result.errors << QStringLiteral("\"%1\": given twice").arg(key);
        return result;
    }
    const QJsonObject root = document.object();
    for (auto it = root.begin(); it != root.end(); ++it)
        if (it.key() != FormatKey && it.key() != VersionKey && it.key() != FieldsKey && it.key() != ImageKey)
            result.errors << QStringLiteral("\"%1\": not part of the export format").arg(it.key());
    if (root.value(FormatKey) != QJsonValue(QLatin1String(FormatName)))
        result.errors << QStringLiteral("\"format\": \"%1\" is expected").arg(QLatin1String(FormatName));
    if (root.value(VersionKey) != QJsonValue(FormatVersion))
        result.errors << QStringLiteral("\"version\": %1 is expected").arg(FormatVersion);

    ImageBytes start;
    start.fill(0xFF);
    if (root.contains(ImageKey)) {
        const std::optional<ImageBytes> image = imageFromHex(root.value(ImageKey).toString());
        if (!image)
            result.errors << QStringLiteral("\"image\": %1 hexadecimal digits are expected").arg(2 * EEAddr::ImageSize);
        else
            start = *image;
    }
    if (base)
        start = *base;

    QList<Change> changes;
    const QJsonValue fields = root.value(FieldsKey);
    if (!fields.isUndefined() && !fields.isObject())
        result.errors << QStringLiteral("\"fields\": an object is expected");
    const QJsonObject object = fields.toObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
        const EEAddr::Field *field = FieldModel::findField(it.key());
        if (!field) {
            result.errors << QStringLiteral("%1: no such field").arg(it.key());
            continue;
        }
        FieldModel::Parsed parsed = valueFromJson(*field, it.value());
        if (!parsed.error.isEmpty())
            result.errors << parsed.error;
        else
            changes << Change{field, std::move(parsed.value)};
    }
    result.errors << applyChanges(start, changes, &result.warnings);
    if (result.ok())
        result.image = start;
    return result;
}

} // namespace ParameterExport
