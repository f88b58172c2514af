#include "ParameterFile.h"

#include "common/Files.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ParameterFile {

namespace {

Result Failure(int errorNumber)
{
    return {false, errorText(errorNumber), errorNumber};
}

// Empty names and names with a NUL cannot reach the system intact.
bool usable(const QString &path)
{
    return !path.isEmpty() && !path.contains(QChar(u'\0'));
}

} // namespace

QString errorText(int errorNumber)
{
    if (Files::isRefusal(errorNumber))
        return Files::systemText(errorNumber);
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
    const QByteArrayView bytes(reinterpret_cast<const char *>(image.data()), qsizetype(image.size()));
    const int error = Files::save(path, bytes, Files::Access::Private);
    return error == 0 ? Result{} : Failure(error);
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
