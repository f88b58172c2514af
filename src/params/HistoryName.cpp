#include "HistoryName.h"

#include "serial/PortMap.h"

namespace HistoryName {

QString folder()
{
    return PortMap::xdgFolder("XDG_DATA_HOME", ".local/share") + QStringLiteral("/history");
}

QString fileName(const QDateTime &when, const QString &kind, const QString &port)
{
    QString name = when.toString(QStringLiteral("yyyyMMdd-HHmmss-")) + kind;
    if (!port.isEmpty())
        name += QLatin1Char('-') + port;
    return name + QStringLiteral(".QM3");
}

} // namespace HistoryName
