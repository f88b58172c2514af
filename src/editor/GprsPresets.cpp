#include "GprsPresets.h"

#include "serial/TextLineFile.h"

namespace GprsPresets {

namespace {

// Cuts the next quoted field off the front of line.
QString takeQuotedField(QString &line)
{
    const qsizetype open = line.indexOf(u'"');
    if (open >= 0)
        line.remove(0, open + 1);
    const qsizetype close = line.indexOf(u'"');
    if (close < 0)
        return QString();
    QString field = line.first(close);
    line.remove(0, close + 1);
    return field;
}

} // namespace

QString presetLine(const QString &name, const PresetFields &fields)
{
    // One pass over the pattern: a field holding "%2" stays as it is.
    return QStringLiteral("%1\"%2\",\"%3\",\"%4\"")
        .arg(name.leftJustified(NameWidth), fields.apn, fields.userName, fields.password);
}

QStringList builtInList()
{
    // The custom entry's fields are never read: it shows the remembered
    // texts. Its tail, stray quote included, matches the preset files
    // already in use, so saving the list does not change their first line.
    return {
        QStringLiteral("Egyéni beállítás").leftJustified(NameWidth) + QStringLiteral("\"\",\"\",\"'"),
        presetLine(QStringLiteral("T-Mobile"), {QStringLiteral("internet"), {}, {}}),
        presetLine(QStringLiteral("Pannon GSM"), {QStringLiteral("net"), {}, {}}),
        presetLine(QStringLiteral("Vodafone"), {QStringLiteral("internet.vodafone.net"), {}, {}}),
        presetLine(QStringLiteral("VodaVitamax"), {QStringLiteral("vitamax.internet.vodafone.net"), {}, {}}),
    };
}

PresetFields readPresetLine(const QString &line)
{
    QString rest = line;
    PresetFields fields;
    fields.apn = takeQuotedField(rest);
    fields.userName = takeQuotedField(rest);
    fields.password = takeQuotedField(rest);
    return fields;
}

QStringList loadPresetList(const QString &fileName)
{
    const auto lines = TextLineFile::Read(fileName);
    // An empty file is most likely a damaged one; without a line there would
    // be no custom entry either.
    if (!lines || lines->isEmpty())
        return builtInList();
    return *lines;
}

bool savePresetList(const QStringList &list, const QString &fileName)
{
    return TextLineFile::Write(fileName, list) == 0;
}

bool isCustomEntry(const QStringList &list, int index)
{
    return index <= 0 || index >= list.size();
}

PresetFields selectionTexts(const QStringList &list, int index, const PresetFields &remembered)
{
    return isCustomEntry(list, index) ? remembered : readPresetLine(list.at(index));
}

} // namespace GprsPresets
