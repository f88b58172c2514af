#include "Files.h"

#include <QFile>
#include <QRegularExpression>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace Files {

namespace {

unsigned fileMode(Access access)
{
    return access == Access::Private ? PrivateFileMode : 0666;
}

// Empty names and names with a NUL cannot reach the system intact.
bool usable(const QString &path)
{
    return !path.isEmpty() && !path.contains(QChar(u'\0'));
}

QByteArray folderOf(const QByteArray &path)
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

// 0, or the error number.
int writeAll(int fd, const char *data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<std::size_t>(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return ENOSPC;
        data += n;
        size -= n;
    }
    return 0;
}

// A descriptor that is a regular file is flushed to disk as a saved file is;
// pipes and terminals have nothing to flush.
int syncIfFile(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    return ::fdatasync(fd) == 0 ? 0 : errno;
}

int saveToDescriptor(int fd, QByteArrayView bytes)
{
    if (::fcntl(fd, F_GETFD) < 0)
        return errno;
    if (const int error = writeAll(fd, bytes.data(), bytes.size()))
        return error;
    return syncIfFile(fd);
}

int connectSocket(const QByteArray &path)
{
    sockaddr_un address{};
    if (std::size_t(path.size()) >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

// A device, FIFO or socket: what the name leads to is written as it is.
int saveInPlace(const QByteArray &path, const struct stat &st, QByteArrayView bytes)
{
    const int fd = S_ISSOCK(st.st_mode) ? connectSocket(path)
                                        : ::open(path.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int error = writeAll(fd, bytes.data(), bytes.size());
    if (::close(fd) != 0 && error == 0)
        error = errno;
    return error;
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

int saveByRename(const QByteArray &path, QByteArrayView bytes, Access access)
{
    const QByteArray target = resolveLink(path);
    const QByteArray folder = folderOf(target);

    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = temporaryName(folder);
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, fileMode(access));
        if (fd < 0 && errno != EEXIST)
            return errno;
    }
    if (fd < 0)
        return EEXIST;
    takeOverAttributes(fd, target);

    int error = writeAll(fd, bytes.data(), bytes.size());
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.constData(), target.constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.constData());
        return error;
    }

    // Make the rename itself durable; the file is already in place, so a
    // failure here is not worth a message.
    const int folderFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        (void)::fsync(folderFd);
        ::close(folderFd);
    }
    return 0;
}

} // namespace

QString systemText(int errorNumber)
{
    char buffer[256] = {};
    // The GNU strerror_r returns the text, which may not be in the buffer.
    return QString::fromLocal8Bit(::strerror_r(errorNumber, buffer, sizeof buffer));
}

QString errorMessage(const QString &path, int errorNumber)
{
    return path + QStringLiteral(": ") + systemText(errorNumber);
}

bool sameFile(const QString &a, const QString &b)
{
    struct stat first {};
    struct stat second {};
    return usable(a) && usable(b) && ::stat(QFile::encodeName(a).constData(), &first) == 0
           && ::stat(QFile::encodeName(b).constData(), &second) == 0 && first.st_dev == second.st_dev
           && first.st_ino == second.st_ino;
}

int descriptorOf(const QString &path)
{
    if (path == QLatin1String("-") || path == QLatin1String("/dev/stdout"))
        return STDOUT_FILENO;
    if (path == QLatin1String("/dev/stderr"))
        return STDERR_FILENO;
    if (path == QLatin1String("/dev/stdin"))
        return STDIN_FILENO;
    static const QRegularExpression numbered(QStringLiteral(R"(^/(?:dev|proc/self)/fd/(\d{1,9})$)"));
    const QRegularExpressionMatch m = numbered.match(path);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QByteArray temporaryName(const QByteArray &folder)
{
    // Port workers save on threads of their own: the count is shared by all.
    static std::atomic<unsigned> counter{0};
    return folder + "/.quelmar-" + QByteArray::number(::getpid()) + '-' + QByteArray::number(counter++) + ".tmp";
}

int save(const QString &path, QByteArrayView bytes, Access access)
{
    if (!usable(path))
        return EINVAL;
    if (const int fd = descriptorOf(path); fd >= 0)
        return saveToDescriptor(fd, bytes);
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return EISDIR;
        if (S_ISBLK(st.st_mode))
            return EPERM; // a disk is never written over
        if (!S_ISREG(st.st_mode))
            return saveInPlace(name, st, bytes);
    }
    return saveByRename(name, bytes, access);
}

int makeFolder(const QString &path, Access access)
{
    if (!usable(path))
        return path.isEmpty() ? ENOENT : EINVAL;
    const QByteArray name = QFile::encodeName(path);
    const unsigned mode = access == Access::Private ? PrivateFolderMode : 0777;
    struct stat st {};
    if (::stat(name.constData(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    // Each missing part from the top down; a part that exists is passed over.
    for (qsizetype slash = name.indexOf('/', 1); ; slash = name.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? name : name.left(slash);
        if (!part.endsWith('/') && ::mkdir(part.constData(), mode) != 0 && errno != EEXIST)
            return errno;
        if (slash < 0)
            break;
    }
    if (::stat(name.constData(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

int createFile(const QString &path, Access access)
{
    if (!usable(path))
        return path.isEmpty() ? ENOENT : EINVAL;
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY,
                          fileMode(access));
    if (fd < 0)
        return errno;
    ::close(fd);
    return 0;
}

int openForWriting(const QString &path, Access access)
{
    if (!usable(path)) {
        errno = path.isEmpty() ? ENOENT : EINVAL;
        return -1;
    }
    return ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY,
                  fileMode(access));
}

} // namespace Files
