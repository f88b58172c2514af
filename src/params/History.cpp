#include "History.h"

#include "FieldModel.h"
#include "ParameterFile.h"

#include "common/Files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>

namespace History {

namespace {

const QString Suffix = QStringLiteral(".QM3");
// How an entry's operation ended, beside it in a hidden file: ".NAME.outcome".
QString outcomePath(const QString &entryPath)
{
    const QFileInfo entry(entryPath);
    return entry.dir().filePath(QLatin1Char('.') + entry.fileName() + QStringLiteral(".outcome"));
}
const QString StampFormat = QStringLiteral("yyyyMMdd-HHmmss");

bool newerFirst(const Entry &a, const Entry &b)
{
    if (a.when != b.when)
        return a.when > b.when;
    if (a.sequence != b.sequence)
        return a.sequence > b.sequence;
    return a.name > b.name;
}

} // namespace

QString defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/quelmar/history");
}

QString entryName(const QDateTime &when, Operation operation, const QString &port, int sequence)
{
    QString name = when.toString(StampFormat) + QLatin1Char('-') + operationWord(operation);
    if (!port.isEmpty())
        name += QLatin1Char('-') + port;
    if (sequence > 1)
        name += QLatin1Char('-') + QString::number(sequence);
    return name + Suffix;
}

bool parseName(const QString &name, Entry &entry)
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(^(\d{8}-\d{6})-(read|write|backup)(?:-(COM\d{1,2}))?(?:-(\d+))?\.QM3$)"));
    const QRegularExpressionMatch m = pattern.match(name);
    if (!m.hasMatch())
        return false;
    const QDateTime when = QDateTime::fromString(m.captured(1), StampFormat);
    if (!when.isValid())
        return false;
    entry.name = name;
    entry.when = when;
    for (Operation op : {Operation::Read, Operation::Write, Operation::Backup})
        if (operationWord(op) == m.captured(2))
            entry.operation = op;
    entry.port = m.captured(3);
    entry.sequence = m.captured(4).isEmpty() ? 1 : m.captured(4).toInt();
    return true;
}

QString summaryOf(const ImageBytes &image)
{
    QStringList parts;
    for (const QString &name : {QStringLiteral("USER1"), QStringLiteral("APN")}) {
        const EEAddr::Field *field = FieldModel::findField(name);
        if (!field)
            continue;
        const QString value = FieldModel::formatValue(FieldModel::Decode(image, *field));
        parts << name + QLatin1Char(' ') + (value.isEmpty() ? QStringLiteral("(none)") : value);
    }
    return parts.join(QStringLiteral(", "));
}

QString outcomeNote(const Kept &kept)
{
    return kept.ok() ? QString() : QStringLiteral(" History not saved: %1.").arg(kept.error);
}

Store::Store(QString folder, int limit)
    : m_folder(std::move(folder))
    , m_limit(limit)
{
}

QString Store::refusal() const
{
    const int error = Files::checkKeepingFolder(m_folder);
    return Files::isRefusal(error) ? Files::errorMessage(m_folder, error) : QString();
}

Kept Store::keep(const ImageBytes &image, Operation operation, const QString &port, const QDateTime &when,
                 const QString &outcome) const
{
    if (const int error = Files::makeFolder(m_folder, Files::Access::Private))
        return {{}, ParameterFile::errorText(error)};
    if (const QString refused = refusal(); !refused.isEmpty())
        return {{}, refused};
    const QDir dir(m_folder);
    const QByteArrayView bytes(reinterpret_cast<const char *>(image.data()), qsizetype(image.size()));
    // Created only where no name is, so no entry and nothing planted is replaced.
    QString path;
    int error = EEXIST;
    for (int sequence = 1; error == EEXIST; ++sequence) {
        path = dir.filePath(entryName(when, operation, port, sequence));
        error = Files::save(path, bytes, Files::Access::Private, Files::Replace::Never);
    }
    if (error != 0)
        return {{}, ParameterFile::errorText(error)};
    // A record left by an entry removed by hand must not describe this one.
    QFile::remove(outcomePath(path));
    if (!outcome.isEmpty())
        Files::save(outcomePath(path), outcome.toUtf8() + '\n', Files::Access::Private, Files::Replace::Never);
    prune();
    return {path, {}};
}

QList<Entry> Store::entries() const
{
    QList<Entry> list;
    const QDir dir(m_folder);
    // Links, FIFOs and devices are no entries: none is opened, none can hang a listing.
    for (const QString &name : dir.entryList({QStringLiteral("*") + Suffix}, QDir::Files | QDir::NoSymLinks)) {
        Entry e;
        if (!parseName(name, e) || !Files::isPlainFile(dir.filePath(name)))
            continue;
        e.path = dir.filePath(name);
        e.outcome = QString::fromUtf8(Files::readPlainFile(outcomePath(e.path), 1024).split('\n').first()).trimmed();
        list << e;
    }
    std::sort(list.begin(), list.end(), newerFirst);
    return list;
}

void Store::prune() const
{
    const QList<Entry> list = entries();
    for (qsizetype k = m_limit; k < list.size(); ++k) {
        QFile::remove(list.at(k).path);
        QFile::remove(outcomePath(list.at(k).path));
    }
}

} // namespace History
