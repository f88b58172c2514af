#pragma once
// The traffic details window's memos as one text file for support: each
// channel under its heading, in channel order.

#include <QList>
#include <QString>

struct TrafficChannel
{
    QString heading;
    QString text; // the memo's lines, LF-separated
};

QString trafficText(const QList<TrafficChannel> &channels);

// Saved through Files::save, so a failed save leaves any old file as it was;
// the error is "PATH: system text".
bool saveTrafficFile(const QString &path, const QList<TrafficChannel> &channels, QString *error);
