#include "FrameTrace.h"

#include <array>

namespace {

constexpr std::uint8_t ReadRequestType = 28;
constexpr std::uint8_t WriteCommandType = 45;
constexpr std::uint8_t WriteDataType = 61;

} // namespace

const char *frameKindName(FrameKind kind)
{
    switch (kind) {
    case FrameKind::ReadRequest: return "read-request";
    case FrameKind::WriteCommand: return "write-command";
    case FrameKind::WriteData: return "write-data";
    case FrameKind::BlockHeader: return "block-header";
    case FrameKind::BlockData: return "block-data";
    case FrameKind::Ack: return "ack";
    case FrameKind::Status: return "status";
    case FrameKind::Text: return "text";
    case FrameKind::Poll: return "poll";
    case FrameKind::Other: break;
    }
    return "other";
}

FrameKind sentFrameKind(std::uint8_t type)
{
    switch (type) {
    case ReadRequestType: return FrameKind::ReadRequest;
    case WriteCommandType: return FrameKind::WriteCommand;
    case WriteDataType: return FrameKind::WriteData;
    default: return FrameKind::Other;
    }
}

FrameKind receivedFrameKind(std::uint8_t type)
{
    switch (classifyMessage(type)) {
    case MessageClass::Text: return FrameKind::Text;
    case MessageClass::Status: return FrameKind::Status;
    case MessageClass::BlockHeader: return FrameKind::BlockHeader;
    case MessageClass::BlockData: return FrameKind::BlockData;
    case MessageClass::Acknowledge: return FrameKind::Ack;
    case MessageClass::Unknown: break;
    }
    return FrameKind::Other;
}

bool FrameTrace::open(const QString &path, QString *error)
{
    close();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, m_file.errorString());
        return false;
    }
    m_clock.start();
    return true;
}

void FrameTrace::close()
{
    if (m_file.isOpen())
        m_file.close();
}

QByteArray FrameTrace::formatLine(qint64 ms, Direction direction, FrameKind kind, QByteArrayView line,
                                  const ModuleMessage *plain)
{
    QByteArray text = QByteArray::number(ms);
    text += direction == Direction::Out ? "\tout\t" : "\tin\t";
    text += frameKindName(kind);
    text += '\t';
    text += line.toByteArray().toHex(' ');
    if (plain) {
        text += '\t';
        text += QByteArrayView(plain->data(), plain->size()).toByteArray().toHex(' ');
    }
    return text;
}

void FrameTrace::frame(Direction direction, QByteArrayView line, const ModuleMessage &plain)
{
    const FrameKind kind = direction == Direction::Out ? sentFrameKind(plain[1]) : receivedFrameKind(plain[1]);
    write(direction, kind, line, &plain);
}

void FrameTrace::poll(QByteArrayView line)
{
    write(Direction::Out, FrameKind::Poll, line, nullptr);
}

void FrameTrace::write(Direction direction, FrameKind kind, QByteArrayView line, const ModuleMessage *plain)
{
    if (!m_file.isOpen())
        return;
    // Flushed per line: a trace is read after something went wrong, often a
    // crash or a pulled cable, and must hold the last frames.
    m_file.write(formatLine(m_clock.elapsed(), direction, kind, line, plain) + '\n');
    m_file.flush();
}
