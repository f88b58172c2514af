#include "Files.h"

#include <QFile>
#include <QRegularExpression>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/random.h>
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

// An open folder and one name in it: what a path names once its links are
// followed, held by descriptor so that nothing is looked up by path again.
struct Entry
{
    int folder = -1;
    QByteArray name;
    bool exists = false;
    struct stat st {};

    Entry() = default;
    Entry(const Entry &) = delete;
    Entry &operator=(const Entry &) = delete;
    ~Entry()
    {
        if (folder >= 0)
            ::close(folder);
    }
};

QByteArray nameOf(const QByteArray &path)
{
    const QByteArray name = path.mid(path.lastIndexOf('/') + 1);
    return name.isEmpty() ? QByteArrayLiteral(".") : name;
}

// The kernel's protected-links rule: in a sticky folder that all may write,
// only a link of this user's or of the folder's owner is followed.
bool mayFollow(const struct stat &link, const struct stat &folder)
{
    const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
    return !shared || link.st_uid == ::geteuid() || link.st_uid == folder.st_uid;
}

// Follows the path's links under that rule: 0, ForeignLink, or the error
// number. Without `follow`, a link is the entry itself.
int locate(const QByteArray &path, Entry &entry, bool follow = true)
{
    QByteArray current = path;
    int base = AT_FDCWD;
    for (int hop = 0; hop < 40; ++hop) {
        const int folder = ::openat(base, folderOf(current).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (base != AT_FDCWD)
            ::close(base);
        if (folder < 0)
            return errno;
        entry.name = nameOf(current);
        if (::fstatat(folder, entry.name.constData(), &entry.st, AT_SYMLINK_NOFOLLOW) != 0) {
            const int error = errno;
            if (error != ENOENT) {
                ::close(folder);
                return error;
            }
            entry.folder = folder;
            return 0;
        }
        if (!S_ISLNK(entry.st.st_mode) || !follow) {
            entry.folder = folder;
            entry.exists = true;
            return 0;
        }
        struct stat folderSt {};
        if (::fstat(folder, &folderSt) != 0 || !mayFollow(entry.st, folderSt)) {
            ::close(folder);
            return ForeignLink;
        }
        char target[4096];
        const ssize_t n = ::readlinkat(folder, entry.name.constData(), target, sizeof target - 1);
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOENT;
            ::close(folder);
            return error;
        }
        current = QByteArray(target, n);
        base = folder; // a relative target is read from the link's own folder
    }
    if (base != AT_FDCWD)
        ::close(base);
    return ELOOP;
}

// A name no other process can foresee: 64 random bits.
QByteArray randomName()
{
    quint64 bits = 0;
    if (::getrandom(&bits, sizeof bits, 0) != ssize_t(sizeof bits)) {
        static std::atomic<quint64> counter{0};
        bits = (quint64(::getpid()) << 40) ^ quint64(::clock()) ^ (counter++ * 0x9E3779B97F4A7C15ull);
    }
    return ".quelmar-" + QByteArray::number(bits, 16).rightJustified(16, '0') + ".tmp";
}

// Opens the entry's name in its folder without following a link or waiting
// on a FIFO; the descriptor then blocks as usual.
int openEntry(const Entry &entry, int flags, unsigned mode)
{
    const int fd =
        ::openat(entry.folder, entry.name.constData(), flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
    if (fd >= 0)
        (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// A descriptor of a regular file, or -1 with EINVAL after closing it.
int regularOnly(int fd)
{
    struct stat st {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
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
int saveInPlace(const Entry &entry, QByteArrayView bytes)
{
    const int fd = S_ISSOCK(entry.st.st_mode)
        ? connectSocket("/proc/self/fd/" + QByteArray::number(entry.folder) + '/' + entry.name)
        : ::openat(entry.folder, entry.name.constData(), O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int error = writeAll(fd, bytes.data(), bytes.size());
    if (::close(fd) != 0 && error == 0)
        error = errno;
    return error;
}

// Puts the temporary file in the entry's place; with Replace::Never only
// where nothing is.
int putInPlace(const Entry &entry, const QByteArray &temporary, Replace replace)
{
    if (replace == Replace::Allowed)
        return ::renameat(entry.folder, temporary.constData(), entry.folder, entry.name.constData()) == 0 ? 0 : errno;
    if (::renameat2(entry.folder, temporary.constData(), entry.folder, entry.name.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without the non-replacing rename: a hard link never replaces either.
    if (::linkat(entry.folder, temporary.constData(), entry.folder, entry.name.constData(), 0) != 0)
        return errno;
    (void)::unlinkat(entry.folder, temporary.constData(), 0);
    return 0;
}

int saveByRename(const Entry &entry, QByteArrayView bytes, Access access, Replace replace)
{
    QByteArray temporary;
    int fd = -1;
    while (fd < 0) {
        temporary = randomName();
        fd = ::openat(entry.folder, temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      fileMode(access));
        if (fd < 0 && errno != EEXIST)
            return errno;
    }
    // The new file is the writer's own; it keeps the old one's mode, but a set
    // or a report never becomes readable by others.
    if (entry.exists && S_ISREG(entry.st.st_mode))
        (void)::fchmod(fd, entry.st.st_mode & (access == Access::Private ? 0770u : 0777u));

    int error = writeAll(fd, bytes.data(), bytes.size());
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0)
        error = putInPlace(entry, temporary, replace);
    if (error != 0) {
        ::unlinkat(entry.folder, temporary.constData(), 0);
        return error;
    }
    // Make the rename itself durable; the file is already in place, so a
    // failure here is not worth a message.
    (void)::fsync(entry.folder);
    return 0;
}

} // namespace

bool isRefusal(int errorNumber)
{
    return errorNumber == ForeignLink || errorNumber == OthersCanWrite || errorNumber == OthersOwn;
}

QString systemText(int errorNumber)
{
    switch (errorNumber) {
    case ForeignLink: return QStringLiteral("a link that another user made in a shared folder; nothing was written");
    case OthersCanWrite: return QStringLiteral("writable by other users; nothing was kept");
    case OthersOwn: return QStringLiteral("belongs to another user; nothing was kept");
    default: break;
    }
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
    return folder + '/' + randomName();
}

int save(const QString &path, QByteArrayView bytes, Access access, Replace replace)
{
    if (!usable(path))
        return EINVAL;
    if (const int fd = descriptorOf(path); fd >= 0)
        return saveToDescriptor(fd, bytes);
    Entry entry;
    // A name that is never replaced is never followed either: a link there is taken.
    if (const int error = locate(QFile::encodeName(path), entry, replace == Replace::Allowed))
        return error;
    if (entry.exists) {
        if (replace == Replace::Never)
            return EEXIST;
        if (S_ISDIR(entry.st.st_mode))
            return EISDIR;
        if (S_ISBLK(entry.st.st_mode))
            return EPERM; // a disk is never written over
        if (!S_ISREG(entry.st.st_mode))
            return saveInPlace(entry, bytes);
    }
    return saveByRename(entry, bytes, access, replace);
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
    Entry entry;
    if (const int error = locate(QFile::encodeName(path), entry))
        return error;
    const int fd = regularOnly(openEntry(entry, O_WRONLY | O_CREAT, fileMode(access)));
    if (fd < 0)
        return errno;
    ::close(fd);
    return 0;
}

int openForAppending(const QString &path, Access access)
{
    if (!usable(path)) {
        errno = path.isEmpty() ? ENOENT : EINVAL;
        return -1;
    }
    Entry entry;
    if (const int error = locate(QFile::encodeName(path), entry)) {
        errno = error;
        return -1;
    }
    return openEntry(entry, O_WRONLY | O_APPEND | O_CREAT, fileMode(access)); // a folder: EISDIR
}

int openForWriting(const QString &path, Access access)
{
    if (!usable(path)) {
        errno = path.isEmpty() ? ENOENT : EINVAL;
        return -1;
    }
    const int fd =
        regularOnly(::open(QFile::encodeName(path).constData(),
                           O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, fileMode(access)));
    if (fd < 0)
        return -1;
    (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (access == Access::Private)
        (void)::fchmod(fd, PrivateFileMode);
    return fd;
}

int outputRefusal(const QString &path)
{
    if (!usable(path) || descriptorOf(path) >= 0)
        return 0;
    Entry entry;
    const int error = locate(QFile::encodeName(path), entry);
    return isRefusal(error) ? error : 0;
}

int checkKeepingFolder(const QString &path)
{
    if (!usable(path))
        return path.isEmpty() ? ENOENT : EINVAL;
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    if (st.st_uid != ::geteuid())
        return OthersOwn;
    return (st.st_mode & S_IWOTH) ? OthersCanWrite : 0;
}

bool isPlainFile(const QString &path)
{
    struct stat st {};
    return usable(path) && ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

QByteArray readPlainFile(const QString &path, qsizetype limit)
{
    if (!usable(path))
        return {};
    const int fd = regularOnly(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd < 0)
        return {};
    QByteArray bytes(limit, Qt::Uninitialized);
    const ssize_t n = ::read(fd, bytes.data(), std::size_t(limit));
    ::close(fd);
    bytes.truncate(n > 0 ? n : 0);
    return bytes;
}

} // namespace Files
