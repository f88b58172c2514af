#pragma once
// Where the parameter sets exchanged with modules are kept, and what their
// files are called: one place, so every kind of kept set sorts the same way.

#include <QDateTime>
#include <QString>

namespace HistoryName {

// $XDG_DATA_HOME/quelmar/history, or ~/.local/share/quelmar/history.
QString folder();

// "20250131-093005-backup-COM3.QM3": sorts by time, then says what and which
// port; without a port "20250131-093005-backup.QM3". History keeps the files.
QString fileName(const QDateTime &when, const QString &kind, const QString &port);

} // namespace HistoryName
