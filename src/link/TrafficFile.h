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

// Written to a temporary file next to path and renamed into place, so a
// failed save leaves any old file as it was.
bool saveTrafficFile(const QString &path, const QList<TrafficChannel> &channels, QString *error);
