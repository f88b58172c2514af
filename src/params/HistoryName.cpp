#include "HistoryName.h"

#include "serial/PortMap.h"

#include <QFile>

#include <cerrno>
#include <sys/stat.h>

namespace HistoryName {

namespace {

// Creates every missing folder of the path; 0, or the errno of the first
// folder that could not be made, so the message says why.
int makeFolders(const QString &path)
{
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString sofar;
    for (const QString &part : parts) {
        sofar += QLatin1Char('/') + part;
        if (::mkdir(QFile::encodeName(sofar).constData(), 0777) != 0 && errno != EEXIST)
            return errno;
    }
    return 0;
}

} // namespace

QString folder()
{
    return PortMap::XdgFolder("XDG_DATA_HOME", ".local/share") + QStringLiteral("/history");
}

QString fileName(const QDateTime &when, const QString &kind, const QString &port)
{
    QString name = when.toString(QStringLiteral("yyyyMMdd-HHmmss-")) + kind;
    if (!port.isEmpty())
        name += QLatin1Char('-') + port;
    return name + QStringLiteral(".QM3");
}

Kept keep(const ImageBytes &image, const QString &kind, const QString &port, const QDateTime &when)
{
    const QString dir = folder();
    Kept kept{{}, dir + QLatin1Char('/') + fileName(when, kind, port)};
    if (const int error = makeFolders(dir)) {
        kept.result = {false, ParameterFile::ErrorText(error)};
        return kept;
    }
    kept.result = ParameterFile::Save(kept.path, image);
    return kept;
}

} // namespace HistoryName
