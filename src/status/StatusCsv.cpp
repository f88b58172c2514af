#include "StatusCsv.h"

#include "SignalHistory.h"
#include "StatusDisplay.h"

#include "common/Files.h"
#include "common/ShownText.h"

#include <cerrno>
#include <unistd.h>

namespace StatusCsv {

QString header()
{
    return QStringLiteral("time,IN1,IN2,IN3,IN4,line,call_state,call_state_text,signal_level,message");
}

QString timeText(const QDateTime &time)
{
    // The offset is always written as +hh:mm, "+00:00" too (Qt would write "Z"),
    // so that every row has the same shape.
    const int offset = time.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + (offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
           + QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString field(const QString &input)
{
    // A spreadsheet runs a cell that begins like a formula; the quote makes it text.
    static const QString formulaStarts = QStringLiteral("=+-@");
    const QString text = !input.isEmpty() && formulaStarts.contains(input.front()) ? QLatin1Char('\'') + input : input;
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString statusRow(const QDateTime &time, const StatusFields &fields)
{
    const StatusDisplay d = describeStatus(fields);
    QStringList columns{timeText(time)};
    for (const Indicator &input : d.inputs)
        columns.append(input.text);
    columns.append(d.line.text);
    columns.append(QString::number(fields.CallState));
    columns.append(field(callStateIndicator(fields.CallState).text));
    columns.append(QString::number(fields.SignalLevel));
    columns.append(QString());
    return columns.join(QLatin1Char(','));
}

QString textRow(const QDateTime &time, const QString &message)
{
    return timeText(time) + QStringLiteral(",,,,,,,,,") + field(ShownText::shown(message));
}

} // namespace StatusCsv

QStringList StateTextLines::add(QStringView fragment)
{
    QStringList done;
    for (const QChar ch : fragment) {
        if (ch == QLatin1Char('\r')) {
            if (!m_line.isEmpty())
                done.append(m_line);
            m_line.clear();
        } else if (ch != QLatin1Char('\n')) {
            m_line.append(ch);
        }
    }
    return done;
}

bool StatusRecorder::start(const QString &path, QString *error)
{
    stop();
    m_path = path;
    m_lines = StateTextLines();
    m_error.clear();
    // Appended, not replaced: a recording stopped and started again continues
    // the same file, and rows already on disk survive any failure. Opened by
    // the save routine's rule, so a link planted in a shared folder is not followed.
    const int fd = Files::openForAppending(path, Files::Access::Shared);
    if (fd < 0 || !m_file.open(fd, QIODevice::WriteOnly | QIODevice::Append, QFileDevice::AutoCloseHandle)) {
        if (error)
            *error =
                fd < 0 ? Files::errorMessage(path, errno) : QStringLiteral("%1: %2").arg(path, m_file.errorString());
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    m_lastSyncMs = SignalHistory::clockMs();
    if (m_file.size() == 0 && !writeRow(StatusCsv::header())) {
        if (error)
            *error = m_error;
        return false;
    }
    return true;
}

void StatusRecorder::stop()
{
    if (!m_file.isOpen())
        return;
    m_file.flush();
    ::fdatasync(m_file.handle());
    m_file.close();
}

bool StatusRecorder::addStatus(const QDateTime &time, const StatusFields &fields)
{
    return !isRecording() || writeRow(StatusCsv::statusRow(time, fields));
}

bool StatusRecorder::addText(const QDateTime &time, QStringView fragment)
{
    const QStringList lines = m_lines.add(fragment);
    for (const QString &line : lines)
        if (isRecording() && !writeRow(StatusCsv::textRow(time, line)))
            return false;
    return true;
}

bool StatusRecorder::writeRow(const QString &row)
{
    const QByteArray bytes = (row + QLatin1Char('\n')).toUtf8();
    if (m_file.write(bytes) != bytes.size() || !m_file.flush())
        return failed(m_file.errorString());
    const qint64 now = SignalHistory::clockMs();
    if (now - m_lastSyncMs >= SyncIntervalMs) {
        m_lastSyncMs = now;
        // QFile never sees this call: the reason is the system's own.
        if (::fdatasync(m_file.handle()) != 0)
            return failed(Files::systemText(errno));
    }
    return true;
}

bool StatusRecorder::failed(const QString &reason)
{
    m_error = m_path + QStringLiteral(": ") + reason;
    m_file.close();
    return false;
}
