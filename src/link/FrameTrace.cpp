#include "FrameTrace.h"

#include "common/Files.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <unistd.h>

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
    case FrameKind::Repeat: return "repeat";
    case FrameKind::ReadBack: return "read-back";
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

QString FrameTrace::refusal(const QString &path)
{
    QFile existing(path);
    if (!QFileInfo(path).isFile() || !existing.open(QIODevice::ReadOnly) || existing.size() == 0)
        return {};
    static const QRegularExpression traceLine(QStringLiteral(R"(^\d+\t(out|in)\t[a-z-]+\t[0-9a-f ]+(\t[0-9a-f ]+)?\r?\n?$)"));
    if (traceLine.match(QString::fromLatin1(existing.readLine(512))).hasMatch())
        return {};
    return path + QStringLiteral(": not a trace file; nothing was traced");
}

bool FrameTrace::open(const QString &path, QString *error)
{
    close();
    QString refused = refusal(path);
    if (refused.isEmpty()) {
        // It holds the decrypted blocks, the GPRS login too: the owner's only.
        const int fd = Files::openForWriting(path, Files::Access::Private);
        if (fd < 0) {
            refused = Files::errorMessage(path, errno);
        } else if (m_file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
            m_clock.start();
            return true;
        } else {
            refused = path + QStringLiteral(": ") + m_file.errorString();
            ::close(fd);
        }
    }
    if (error)
        *error = refused;
    return false;
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

void FrameTrace::repeat(int block)
{
    mark(FrameKind::Repeat, block);
}

void FrameTrace::readBack(int block)
{
    mark(FrameKind::ReadBack, block);
}

void FrameTrace::mark(FrameKind kind, int block)
{
    if (!m_file.isOpen())
        return;
    m_file.write(QByteArray::number(m_clock.elapsed()) + "\tout\t" + frameKindName(kind) + "\tblock "
                 + QByteArray::number(block + 1) + '\n');
    m_file.flush();
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
