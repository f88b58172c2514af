// The parameter file: exact size and contents, failures that leave the image
// and the old file alone, and the error texts.

#include "params/ParameterFile.h"
#include "params/ParameterImage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeRaw(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray Bytes(const ImageBytes &image)
{
    return QByteArray(reinterpret_cast<const char *>(image.data()), static_cast<qsizetype>(image.size()));
}

ImageBytes randomImage(quint32 seed)
{
    QRandomGenerator random(seed);
    ImageBytes image;
    for (std::uint8_t &b : image)
        b = static_cast<std::uint8_t>(random.bounded(256));
    return image;
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

} // namespace

class TestParameterFile : public QObject
{
    Q_OBJECT

private slots:
    void errorTexts_data();
    void errorTexts();
    void saveAtStartIsErased();
    void saveAndLoadRoundTrip();
    void loadUsesFirst1088Bytes();
    void loadShortFileLeavesImage_data();
    void loadShortFileLeavesImage();
    void loadFailures_data();
    void loadFailures();
    void saveFailures_data();
    void saveFailures();
    void failedWriteKeepsOldFile();
    void saveReplacesExistingFile();
    void saveThroughLinkUpdatesTarget();

private:
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }
};

void TestParameterFile::errorTexts_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("text");
    QTest::newRow("ENOENT") << ENOENT << "File not found";
    QTest::newRow("ENAMETOOLONG") << ENAMETOOLONG << "Invalid filename";
    QTest::newRow("EINVAL") << EINVAL << "Invalid filename";
    QTest::newRow("ENOTDIR") << ENOTDIR << "Invalid filename";
    QTest::newRow("EMFILE") << EMFILE << "Too many open files";
    QTest::newRow("ENFILE") << ENFILE << "Too many open files";
    QTest::newRow("EACCES") << EACCES << "File access denied";
    QTest::newRow("EPERM") << EPERM << "File access denied";
    QTest::newRow("EROFS") << EROFS << "File access denied";
    QTest::newRow("EISDIR") << EISDIR << "File access denied";
    QTest::newRow("ENOSPC") << ENOSPC << "Disk full";
    QTest::newRow("EDQUOT") << EDQUOT << "Disk full";
    QTest::newRow("EIO") << EIO << "I/O error 5";
    QTest::newRow("EFBIG") << EFBIG << "I/O error 27";
    QTest::newRow("EBUSY") << EBUSY << "I/O error 16";
}

void TestParameterFile::errorTexts()
{
    QFETCH(int, error);
    QFETCH(QString, text);
    QCOMPARE(ParameterFile::errorText(error), text);
}

void TestParameterFile::saveAtStartIsErased()
{
    QCOMPARE(Bytes(ParameterImage), QByteArray(1088, '\xFF'));
    QVERIFY(std::all_of(TransferBuffer.begin(), TransferBuffer.end(), [](std::uint8_t b) { return b == 0; }));
    const auto result = ParameterFile::save(path("start.QM3"), ParameterImage);
    QVERIFY2(result.ok, qPrintable(result.message));
    QCOMPARE(contents(path("start.QM3")), QByteArray(1088, '\xFF'));
}

void TestParameterFile::saveAndLoadRoundTrip()
{
    const ImageBytes image = randomImage(7);
    // A bare name goes to the working directory.
    const QString old = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir.path()));
    const auto saved = ParameterFile::save(QStringLiteral("roundtrip.QM3"), image);
    QVERIFY(QDir::setCurrent(old));
    QVERIFY2(saved.ok, qPrintable(saved.message));
    QVERIFY(saved.message.isEmpty());
    QCOMPARE(QFileInfo(path("roundtrip.QM3")).size(), 1088);

    ImageBytes loaded;
    loaded.fill(0x5A);
    const auto result = ParameterFile::load(path("roundtrip.QM3"), loaded);
    QVERIFY2(result.ok, qPrintable(result.message));
    QCOMPARE(Bytes(loaded), Bytes(image));
    QVERIFY(!entries(m_dir.path()).join(' ').contains(QStringLiteral(".tmp")));
}

void TestParameterFile::loadUsesFirst1088Bytes()
{
    QByteArray bytes(2000, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7);
    writeRaw(path("long.QM3"), bytes);
    ImageBytes image{};
    const auto result = ParameterFile::load(path("long.QM3"), image);
    QVERIFY(result.ok);
    QCOMPARE(Bytes(image), bytes.left(1088));
}

void TestParameterFile::loadShortFileLeavesImage_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("empty") << 0;
    QTest::newRow("100 bytes") << 100;
    QTest::newRow("one short") << 1087;
}

void TestParameterFile::loadShortFileLeavesImage()
{
    QFETCH(int, size);
    writeRaw(path("short.QM3"), QByteArray(size, '\x01'));
    ImageBytes image = randomImage(11);
    const ImageBytes before = image;
    const auto result = ParameterFile::load(path("short.QM3"), image);
    QVERIFY(!result.ok);
    QCOMPARE(result.message, QStringLiteral("Read beyond end of file"));
    QCOMPARE(Bytes(image), Bytes(before));
}

void TestParameterFile::loadFailures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing file") << "missing.QM3" << "File not found";
    QTest::newRow("missing directory") << "nodir/x.QM3" << "File not found";
    QTest::newRow("a directory") << "adir" << "File access denied";
    QTest::newRow("under a regular file") << "plain/x.QM3" << "Invalid filename";
    QTest::newRow("empty name") << "" << "Invalid filename";
    // Must not wait for a writer.
    QTest::newRow("fifo") << "fifo" << "Read beyond end of file";
}

void TestParameterFile::loadFailures()
{
    QFETCH(QString, name);
    QFETCH(QString, message);
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("adir")));
    writeRaw(path("plain"), "x");
    if (!QFileInfo::exists(path("fifo")))
        QCOMPARE(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600), 0);

    ImageBytes image = randomImage(13);
    const ImageBytes before = image;
    const auto result = ParameterFile::load(name.isEmpty() ? name : path(name), image);
    QVERIFY(!result.ok);
    QCOMPARE(result.message, message);
    QCOMPARE(Bytes(image), Bytes(before));
}

// Run as root, so permission bits cannot provoke failures; these paths can.
void TestParameterFile::saveFailures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing directory") << "nodir/x.QM3" << "File not found";
    QTest::newRow("target is a directory") << "adir" << "File access denied";
    QTest::newRow("under a regular file") << "plain/x.QM3" << "Invalid filename";
    QTest::newRow("name too long") << QString(300, QLatin1Char('n')) + ".QM3" << "Invalid filename";
    QTest::newRow("empty name") << "" << "Invalid filename";
}

void TestParameterFile::saveFailures()
{
    QFETCH(QString, name);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("adir/inner")));
    writeRaw(dir.filePath("plain"), "old");
    const QStringList before = entries(dir.path());

    const auto result = ParameterFile::save(name.isEmpty() ? name : dir.filePath(name), randomImage(17));
    QVERIFY(!result.ok);
    QCOMPARE(result.message, message);
    QCOMPARE(entries(dir.path()), before); // no temporary left behind
    QCOMPARE(entries(dir.filePath("adir")), QStringList{"inner"});
    QCOMPARE(contents(dir.filePath("plain")), QByteArray("old"));
}

// A write that fails half way (here: the file size limit) must leave the old file whole.
void TestParameterFile::failedWriteKeepsOldFile()
{
    QTemporaryDir dir;
    const QString target = dir.filePath("keep.QM3");
    const QByteArray old(1088, '\x11');
    writeRaw(target, old);

    rlimit saved{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 100;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto result = ParameterFile::save(target, randomImage(19));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!result.ok);
    QCOMPARE(result.message, QStringLiteral("I/O error %1").arg(EFBIG));
    QCOMPARE(contents(target), old);
    QCOMPARE(entries(dir.path()), QStringList{"keep.QM3"});
}

void TestParameterFile::saveReplacesExistingFile()
{
    const QString target = path("existing.QM3");
    writeRaw(target, QByteArray(2000, '\x11'));
    QCOMPARE(::chmod(QFile::encodeName(target).constData(), 0640), 0);
    const ImageBytes image = randomImage(23);
    const auto result = ParameterFile::save(target, image);
    QVERIFY2(result.ok, qPrintable(result.message));
    QCOMPARE(contents(target), Bytes(image));
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(target).constData(), &st), 0);
    QCOMPARE(st.st_mode & 07777, 0640u);
}

void TestParameterFile::saveThroughLinkUpdatesTarget()
{
    QTemporaryDir dir;
    const QString real = dir.filePath("real.QM3");
    const QString link = dir.filePath("link.QM3");
    writeRaw(real, "old");
    QVERIFY(QFile::link(real, link));
    const ImageBytes image = randomImage(29);
    QVERIFY(ParameterFile::save(link, image).ok);
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(contents(real), Bytes(image));
}

QTEST_GUILESS_MAIN(TestParameterFile)
#include "tst_parameterfile.moc"
