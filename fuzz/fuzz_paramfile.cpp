// Any file as a parameter file. Loading takes exactly its first 1088 bytes,
// or leaves the image alone when the file is shorter. Then every field goes
// through the editor's load and store at the level of its encoding (a short
// file's bytes padded like an erased image): reading accepts any bytes,
// storing touches no byte outside the fields, what a reload shows is what was
// loaded with only the documented clean-ups, and a second load and store
// changes nothing more.

#include "FieldRoundTrip.h"
#include "FuzzSupport.h"

#include "params/ParameterFile.h"

#include <algorithm>
#include <sys/mman.h>
#include <unistd.h>

namespace {

void require(bool condition, const char *what)
{
    if (!condition)
        Fuzz::fail("paramfile", what);
}

// The file lives in memory (a memfd, opened by name through /proc), so that
// ParameterFile::Load itself runs on every input without disk traffic.
class MemoryFile
{
public:
    MemoryFile()
        : m_fd(::memfd_create("quelmar-paramfile", MFD_CLOEXEC))
    {
        if (m_fd < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        m_path = QStringLiteral("/proc/self/fd/%1").arg(m_fd);
    }
    const QString &path() const { return m_path; }
    void fill(const std::uint8_t *data, std::size_t size)
    {
        if (::ftruncate(m_fd, 0) != 0
            || (size > 0 && ::pwrite(m_fd, data, size, 0) != static_cast<ssize_t>(size))) {
            std::perror("memfd");
            std::abort();
        }
    }

private:
    int m_fd;
    QString m_path;
};

void checkLoad(const std::uint8_t *data, std::size_t size)
{
    static MemoryFile file;
    file.fill(data, size);
    ImageBytes image;
    image.fill(0xA5);
    const ImageBytes before = image;
    const ParameterFile::Result result = ParameterFile::load(file.path(), image);
    if (size < image.size()) {
        require(!result.ok, "a short file loaded");
        require(result.message == QLatin1String(ParameterFile::ReadBeyondEndText), "a short file gave another message");
        require(image == before, "a short file changed the image");
    } else {
        require(result.ok && result.message.isEmpty(), "a full file did not load");
        require(std::equal(image.begin(), image.end(), data), "the image differs from the file's first bytes");
    }
}

void checkLoadAndStore(const std::uint8_t *data, std::size_t size)
{
    ImageBytes image;
    image.fill(0xFF);
    std::copy_n(data, std::min(size, image.size()), image.begin());

    using namespace FieldRoundTrip;
    const ImageBytes stored = loadAndStoreAll(image);
    require(onlyFieldsDiffer(image, stored), "a byte outside the fields changed");
    for (const EEAddr::Field &f : EEAddr::Fields)
        require(reloadShowsTheSame(f, image, stored), "a reload shows another value");
    require(loadAndStoreAll(stored) == stored, "a second load and store changed the image");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    checkLoad(data, size);
    checkLoadAndStore(data, size);
    return 0;
}
