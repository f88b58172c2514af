#include "FrameTrace.h"

#include "common/Files.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
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

namespace {

// Why the open file may not be traced into: not a regular file, or one whose
// first line is not a trace line; empty when it may.
QString refusalOf(int fd, const QString &path)
{
    const QString refused = path + QStringLiteral(": not a trace file; nothing was traced");
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return refused;
    if (st.st_uid != ::geteuid())
        return path + QStringLiteral(": belongs to another user; nothing was traced");
    char head[512];
    const ssize_t n = ::pread(fd, head, sizeof head, 0);
    if (n <= 0)
        return n == 0 ? QString() : refused;
    QByteArray first(head, n);
    if (const qsizetype end = first.indexOf('\n'); end >= 0)
        first.truncate(end + 1);
    static const QRegularExpression traceLine(QStringLiteral(R"(^\d+\t(out|in)\t[a-z-]+\t[0-9a-f ]+(\t[0-9a-f ]+)?\r?\n?$)"));
    return traceLine.match(QString::fromLatin1(first)).hasMatch() ? QString() : refused;
}

QString linkRefusal(const QString &path)
{
    return path + QStringLiteral(": a link; traces are never written through one, nothing was traced");
}

} // namespace

QString FrameTrace::refusal(const QString &path)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return errno == ELOOP ? linkRefusal(path) : QString(); // a missing file is made by open()
    const QString refused = refusalOf(fd, path);
    ::close(fd);
    return refused;
}

bool FrameTrace::open(const QString &path, QString *error)
{
    close();
    // Opened once, without following a link, and judged by what was opened:
    // it holds the decrypted blocks, the GPRS login too, for its owner only.
    QString refused;
    const int fd = Files::openForWriting(path, Files::Access::Private);
    if (fd < 0) {
        refused = errno == ELOOP ? linkRefusal(path)
            : errno == EINVAL    ? path + QStringLiteral(": not a trace file; nothing was traced")
                                 : Files::errorMessage(path, errno);
    } else if (refused = refusalOf(fd, path); !refused.isEmpty() || ::ftruncate(fd, 0) != 0) {
        if (refused.isEmpty())
            refused = Files::errorMessage(path, errno);
        ::close(fd);
    } else if (m_file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        m_clock.start();
        return true;
    } else {
        refused = path + QStringLiteral(": ") + m_file.errorString();
        ::close(fd);
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
