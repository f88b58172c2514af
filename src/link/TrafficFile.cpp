#include "TrafficFile.h"

#include "common/Files.h"

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
    const int failure = Files::save(path, trafficText(channels).toUtf8(), Files::Access::Shared);
    if (failure != 0 && error)
        *error = Files::errorMessage(path, failure);
    return failure == 0;
}
