#pragma once
// Where the parameter sets exchanged with modules are kept, and what their
// files are called: one place, so every kind of kept set sorts the same way.

#include "ParameterFile.h"

#include <QDateTime>
#include <QString>

namespace HistoryName {

// $XDG_DATA_HOME/quelmar/history, or ~/.local/share/quelmar/history.
QString folder();

// "20250131-093005-backup-COM3.QM3": sorts by time, then says what and which
// port; without a port "20250131-093005-backup.QM3".
QString fileName(const QDateTime &when, const QString &kind, const QString &port);

struct Kept
{
    ParameterFile::Result result;
    QString path; // the file written, or the one that could not be
};

// Saves the image into the folder (created when missing) through a temporary
// file and a rename.
Kept keep(const ImageBytes &image, const QString &kind, const QString &port,
          const QDateTime &when = QDateTime::currentDateTime());

} // namespace HistoryName
