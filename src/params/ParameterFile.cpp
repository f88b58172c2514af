#include "ParameterFile.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ParameterFile {

namespace {

Result Failure(int errorNumber)
{
    return {false, errorText(errorNumber)};
}

// Empty names and names with a NUL cannot reach the system intact.
bool usable(const QString &path)
{
    return !path.isEmpty() && !path.contains(QChar(u'\0'));
}

QByteArray directoryOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    if (slash == 0)
        return QByteArrayLiteral("/");
    return path.left(slash);
}

// Writing through a link must update what it points at, not replace the link.
QByteArray resolveLink(const QByteArray &path)
{
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char *real = ::realpath(path.constData(), nullptr);
    if (!real)
        return path; // dangling: the new file takes the link's place
    QByteArray resolved(real);
    std::free(real);
    return resolved;
}

// A new, exclusively created file in the target's directory; -1 with errno set on failure.
int createTemporary(const QByteArray &directory, QByteArray &name)
{
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = directory + "/.quelmar-" + QByteArray::number(::getpid()) + '-' + QByteArray::number(counter++)
               + ".tmp";
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

bool writeAll(int fd, const std::uint8_t *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The file's new contents keep the old file's permissions and owner.
void takeOverAttributes(int fd, const QByteArray &target)
{
    struct stat st {};
    if (::stat(target.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    (void)::fchmod(fd, st.st_mode & 07777);
    (void)::fchown(fd, st.st_uid, st.st_gid);
}

} // namespace

QString errorText(int errorNumber)
{
    switch (errorNumber) {
    case ENOENT:
        return QStringLiteral("File not found");
    case ENAMETOOLONG:
    case EINVAL:
    case ENOTDIR:
    case ELOOP:
        return QStringLiteral("Invalid filename");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("Too many open files");
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        return QStringLiteral("File access denied");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("Disk full");
    default:
        return QStringLiteral("I/O error %1").arg(errorNumber);
    }
}

Result save(const QString &path, const ImageBytes &image)
{
    return saveBytes(path, image);
}

Result saveBytes(const QString &path, std::span<const std::uint8_t> bytes)
{
    if (!usable(path))
        return Failure(EINVAL);
    const QByteArray target = resolveLink(QFile::encodeName(path));
    const QByteArray directory = directoryOf(target);

    QByteArray temporary;
    const int fd = createTemporary(directory, temporary);
    if (fd < 0)
        return Failure(errno);
    takeOverAttributes(fd, target);

    int error = 0;
    if (!writeAll(fd, bytes.data(), bytes.size()) || ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.constData(), target.constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.constData());
        return Failure(error);
    }

    // Make the rename itself durable; the file is already in place, so a
    // failure here is not worth a message.
    const int dirFd = ::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        (void)::fsync(dirFd);
        ::close(dirFd);
    }
    return {};
}

Result load(const QString &path, ImageBytes &image)
{
    if (!usable(path))
        return Failure(EINVAL);
    // Non-blocking so that a FIFO chosen by mistake cannot hang the window.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Failure(errno);

    ImageBytes loaded{};
    std::size_t got = 0;
    while (got < loaded.size()) {
        const ssize_t n = ::read(fd, loaded.data() + got, loaded.size() - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(fd);
            return Failure(error);
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);

    if (got < loaded.size())
        return {false, QString::fromLatin1(ReadBeyondEndText)};
    image = loaded;
    return {};
}

} // namespace ParameterFile
