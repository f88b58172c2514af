#pragma once
// Shared by the file fuzz targets: a broken property aborts, so that
// libFuzzer keeps the input, and the files an input is written to live in a
// scratch folder on a memory file system, so that file traffic stays cheap.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <unistd.h>

namespace Fuzz {

namespace Detail {
// Set while a target works inside the scratch folder: a failure must first
// go back, or libFuzzer writes its finding relative to the wrong folder.
inline int &returnDirectory()
{
    static int fd = -1;
    return fd;
}
inline std::filesystem::path &scratch()
{
    static std::filesystem::path made;
    return made;
}
inline void removeScratch()
{
    std::error_code ignored;
    if (!scratch().empty())
        std::filesystem::remove_all(scratch(), ignored);
}
} // namespace Detail

[[noreturn]] inline void fail(const char *target, const char *what)
{
    if (Detail::returnDirectory() >= 0)
        (void)::fchdir(Detail::returnDirectory());
    Detail::removeScratch();
    std::fprintf(stderr, "%s fuzz: %s\n", target, what);
    std::abort();
}

// A private folder, made once per process and removed at exit.
inline const QString &scratchDirectory()
{
    static const QString path = [] {
        const QByteArray base =
            QDir("/dev/shm").exists() ? QByteArray("/dev/shm") : QFile::encodeName(QDir::tempPath());
        QByteArray pattern = base + "/quelmar-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        Detail::scratch() = pattern.constData();
        std::atexit(Detail::removeScratch);
        return QFile::decodeName(pattern);
    }();
    return path;
}

// Replaces the file with exactly these bytes.
inline void WriteFile(const QString &path, const std::uint8_t *data, std::size_t size)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    bool ok = fd >= 0;
    for (std::size_t done = 0; ok && done < size;) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += static_cast<std::size_t>(n);
    }
    if (fd >= 0 && ::close(fd) != 0)
        ok = false;
    if (!ok) {
        std::perror("fuzz input file");
        std::abort();
    }
}

// Makes the scratch folder the current directory for the code under test,
// which looks its files up there by plain name.
class InScratchDirectory
{
public:
    InScratchDirectory()
    {
        Detail::returnDirectory() = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (Detail::returnDirectory() < 0 || ::chdir(QFile::encodeName(scratchDirectory()).constData()) != 0) {
            std::perror("scratch directory");
            std::abort();
        }
    }
    ~InScratchDirectory()
    {
        const int fd = Detail::returnDirectory();
        Detail::returnDirectory() = -1;
        if (::fchdir(fd) != 0)
            std::abort();
        ::close(fd);
    }
    InScratchDirectory(const InScratchDirectory &) = delete;
    InScratchDirectory &operator=(const InScratchDirectory &) = delete;
};

} // namespace Fuzz
