#include "TrafficFile.h"

#include <QSaveFile>

QString trafficText(const QList<TrafficChannel> &channels)
{
    QString out;
    for (const TrafficChannel &channel : channels) {
        if (!out.isEmpty())
            out += QLatin1Char('\n');
        out += channel.heading + QLatin1Char('\n') + QString(channel.heading.size(), QLatin1Char('=')) + QLatin1Char('\n');
        if (!channel.text.isEmpty())
            out += channel.text + QLatin1Char('\n');
    }
    return out;
}

bool saveTrafficFile(const QString &path, const QList<TrafficChannel> &channels, QString *error)
{
    QSaveFile file(path);
    const QByteArray bytes = trafficText(channels).toUtf8();
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    if (error)
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
    return false;
}
