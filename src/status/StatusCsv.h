#pragma once
// The module's state as CSV rows, one per status message and one per state
// text line: the status window's recording and the command line's
// `status --csv` print the same columns through these routines.

#include "link/MessageDispatcher.h"

#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace StatusCsv {

// "time,IN1,IN2,IN3,IN4,line,call_state,call_state_text,signal_level,message"
QString header();
// Local time in ISO 8601 with milliseconds and the UTC offset.
QString timeText(const QDateTime &time);
// Inputs "Short"/"Open", line "Line Exists"/"No Line", the call state's code
// and text, the level; the message column empty.
QString statusRow(const QDateTime &time, const StatusFields &fields);
// Only the time and the message.
QString textRow(const QDateTime &time, const QString &message);
// Quoted when it holds a comma, a quote or a line break; a text that begins
// with =, +, - or @ gets a leading ' so that no spreadsheet runs it.
QString field(const QString &text);

} // namespace StatusCsv

// State texts arrive in fragments; a line ends with CR, LF is dropped.
// Returns the lines finished by this fragment, empty lines left out.
class StateTextLines
{
public:
    QStringList add(QStringView fragment);

private:
    QString m_line;
};

// Appends rows to a CSV file: the header first when the file is empty; each
// row reaches the system at once and the disk at least every second.
class StatusRecorder
{
public:
    static constexpr qint64 SyncIntervalMs = 1000;

    ~StatusRecorder() { stop(); }

    bool start(const QString &path, QString *error);
    void stop();
    bool isRecording() const { return m_file.isOpen(); }
    QString fileName() const { return m_path; }

    // False once a write fails; the recording is then stopped.
    bool addStatus(const QDateTime &time, const StatusFields &fields);
    bool addText(const QDateTime &time, QStringView fragment);

    QString errorString() const { return m_error; }

private:
    bool writeRow(const QString &row);
    // Keeps "FILE: reason" and stops the recording; false.
    bool failed(const QString &reason);

    QFile m_file;
    QString m_path;
    StateTextLines m_lines;
    qint64 m_lastSyncMs = 0;
    QString m_error;
};
