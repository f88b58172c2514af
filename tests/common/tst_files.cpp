// The one save, folder and system-error routines, and the files that go out
// through them: modes of new and replaced files, folders, temporary names
// shared by threads, a save cut short by the system, and what another user
// planted in a shared folder.

#include "OtherUser.h"

#include "common/Files.h"
#include "link/FrameTrace.h"
#include "link/TrafficFile.h"
#include "serial/TextLineFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>

namespace {

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

unsigned modeOf(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0xffffu;
}

unsigned currentUmask()
{
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

// Runs `save` with the file size limited to 100 bytes; its result.
template<typename Save>
auto withSmallFileLimit(Save save)
{
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 100;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const auto result = save();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    return result;
}

} // namespace

class TestFiles : public QObject
{
    Q_OBJECT

private slots:
    void errorMessageIsPathAndSystemText_data();
    void errorMessageIsPathAndSystemText();
    void newFilesTakeTheirAccess_data();
    void newFilesTakeTheirAccess();
    void replacedFileKeepsItsMode_data();
    void replacedFileKeepsItsMode();
    void linksAreFollowedAsTheKernelWould_data();
    void linksAreFollowedAsTheKernelWould();
    void plantedFilesBecomeTheWritersOwn();
    void tracesRefuseWhatIsNotTheirs_data();
    void tracesRefuseWhatIsNotTheirs();
    void makeFolderGivesTheSystemsReason_data();
    void makeFolderGivesTheSystemsReason();
    void madeFoldersArePrivate();
    void temporaryNamesAreDistinctAcrossThreads();
    void cutShortSavesFail();
    void descriptorNames_data();
    void descriptorNames();
    void specialFilesAreWrittenInPlace_data();
    void specialFilesAreWrittenInPlace();
    void directoriesAndDisksAreRefused();
};

void TestFiles::errorMessageIsPathAndSystemText_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("text");
    QTest::newRow("ENOENT") << ENOENT << "site.QM3/x: No such file or directory";
    QTest::newRow("ENOTDIR") << ENOTDIR << "site.QM3/x: Not a directory";
    QTest::newRow("ENOSPC") << ENOSPC << "site.QM3/x: No space left on device";
    QTest::newRow("EBUSY") << EBUSY << "site.QM3/x: Device or resource busy";
}

void TestFiles::errorMessageIsPathAndSystemText()
{
    QFETCH(int, error);
    QFETCH(QString, text);
    QCOMPARE(Files::errorMessage(QStringLiteral("site.QM3/x"), error), text);
}

void TestFiles::newFilesTakeTheirAccess_data()
{
    QTest::addColumn<bool>("isPrivate");
    QTest::addColumn<unsigned>("mode");
    QTest::newRow("private") << true << 0600u;
    QTest::newRow("shared") << false << (0666u & ~currentUmask());
}

void TestFiles::newFilesTakeTheirAccess()
{
    QFETCH(bool, isPrivate);
    QFETCH(unsigned, mode);
    QTemporaryDir dir;
    const auto access = isPrivate ? Files::Access::Private : Files::Access::Shared;
    const QString saved = dir.filePath(QStringLiteral("saved"));
    QCOMPARE(Files::save(saved, "bytes", access), 0);
    QCOMPARE(contents(saved), QByteArray("bytes"));
    QCOMPARE(modeOf(saved), mode);
    const QString created = dir.filePath(QStringLiteral("created"));
    QCOMPARE(Files::createFile(created, access), 0);
    QCOMPARE(modeOf(created), mode);
    const int fd = Files::openForWriting(dir.filePath(QStringLiteral("opened")), access);
    QVERIFY(fd >= 0);
    ::close(fd);
    QCOMPARE(modeOf(dir.filePath(QStringLiteral("opened"))), mode);
}

void TestFiles::replacedFileKeepsItsMode_data()
{
    QTest::addColumn<bool>("isPrivate");
    QTest::addColumn<unsigned>("before");
    QTest::addColumn<unsigned>("after");
    // A set or a report never becomes readable by others; other files keep all.
    QTest::newRow("private, 644") << true << 0644u << 0640u;
    QTest::newRow("private, 666") << true << 0666u << 0660u;
    QTest::newRow("shared, 644") << false << 0644u << 0644u;
}

void TestFiles::replacedFileKeepsItsMode()
{
    QFETCH(bool, isPrivate);
    QFETCH(unsigned, before);
    QFETCH(unsigned, after);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kept"));
    QCOMPARE(Files::save(path, "old", Files::Access::Shared), 0);
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), before), 0);
    QCOMPARE(Files::save(path, "new", isPrivate ? Files::Access::Private : Files::Access::Shared), 0);
    QCOMPARE(modeOf(path), after);
    QCOMPARE(Files::createFile(path, Files::Access::Private), 0);
    QCOMPARE(contents(path), QByteArray("new"));
    QCOMPARE(modeOf(path), after);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("kept")});
}

void TestFiles::linksAreFollowedAsTheKernelWould_data()
{
    QTest::addColumn<unsigned>("folderMode");
    QTest::addColumn<bool>("folderIsOthers");
    QTest::addColumn<bool>("linkIsOthers");
    QTest::addColumn<bool>("dangling");
    QTest::addColumn<bool>("followed");
    QTest::newRow("another's link, sticky folder for all") << 01777u << false << true << false << false;
    QTest::newRow("another's dangling link, sticky folder") << 01777u << false << true << true << false;
    QTest::newRow("own link, sticky folder") << 01777u << false << false << false << true;
    QTest::newRow("another's link, not sticky") << 0777u << false << true << false << true;
    QTest::newRow("another's link in their own folder") << 01777u << true << true << false << true;
}

// The save, the recording's append and the book's creation take one rule.
void TestFiles::linksAreFollowedAsTheKernelWould()
{
    QUELMAR_REQUIRE_TWO_USERS();
    QFETCH(unsigned, folderMode);
    QFETCH(bool, folderIsOthers);
    QFETCH(bool, linkIsOthers);
    QFETCH(bool, dangling);
    QFETCH(bool, followed);
    QTemporaryDir dir;
    const QByteArray shared = QFile::encodeName(dir.filePath(QStringLiteral("shared")));
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0 && ::mkdir(shared.constData(), 0700) == 0);
    QVERIFY(::chown(shared.constData(), folderIsOthers ? OtherUser::uid() : 0, OtherUser::gid()) == 0
            && ::chmod(shared.constData(), folderMode) == 0);
    const QString target = dir.filePath(QStringLiteral("roots-file"));
    if (!dangling)
        QCOMPARE(Files::save(target, "mine", Files::Access::Private), 0);
    const QByteArray link = shared + "/site.QM3";
    const auto plant = [&] { return ::symlink(QFile::encodeName(target).constData(), link.constData()) == 0; };
    QVERIFY(linkIsOthers ? OtherUser::run(plant) : plant());
    const QString path = QFile::decodeName(link);
    const int appended = Files::openForAppending(path, Files::Access::Shared);
    QCOMPARE(appended >= 0 ? 0 : errno, followed ? 0 : Files::ForeignLink);
    ::close(appended);
    QCOMPARE(Files::createFile(path, Files::Access::Private), followed ? 0 : Files::ForeignLink);
    QCOMPARE(Files::save(path, "set", Files::Access::Private), followed ? 0 : Files::ForeignLink);
    QVERIFY(QFileInfo(path).isSymLink()); // a link stays a link either way
    QCOMPARE(contents(target), followed ? QByteArray("set") : dangling ? QByteArray() : QByteArray("mine"));
    QCOMPARE(QFileInfo::exists(target), followed || !dangling);
    QCOMPARE(Files::errorMessage(QStringLiteral("sticky/site.QM3"), Files::ForeignLink),
             QStringLiteral("sticky/site.QM3: a link that another user made in a shared folder; nothing was written"));
}

// A file another user made for the writer to fill becomes the writer's own.
void TestFiles::plantedFilesBecomeTheWritersOwn()
{
    QUELMAR_REQUIRE_TWO_USERS();
    QTemporaryDir dir;
    QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 01777), 0);
    const QByteArray planted = QFile::encodeName(dir.filePath(QStringLiteral("kovacs.QM3")));
    QVERIFY(OtherUser::run([&] {
        return ::close(::open(planted.constData(), O_WRONLY | O_CREAT, 0666)) == 0
            && ::chmod(planted.constData(), 0666) == 0;
    }));
    QCOMPARE(Files::save(QFile::decodeName(planted), "password", Files::Access::Private), 0);
    struct stat st {};
    QVERIFY(::stat(planted.constData(), &st) == 0 && st.st_uid == ::geteuid());
    QCOMPARE(st.st_mode & 07777, 0660u);
    QVERIFY(!OtherUser::run([&] { return ::open(planted.constData(), O_RDONLY) >= 0; }));
}

void TestFiles::makeFolderGivesTheSystemsReason_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("error");
    QTest::newRow("new, nested") << "a/b/c" << 0;
    QTest::newRow("existing") << "plain-dir" << 0;
    QTest::newRow("a file") << "plain" << ENOTDIR;
    QTest::newRow("under a file") << "plain/x" << ENOTDIR;
    QTest::newRow("empty") << "" << ENOENT;
}

void TestFiles::makeFolderGivesTheSystemsReason()
{
    QFETCH(QString, folder);
    QFETCH(int, error);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("plain-dir")));
    QCOMPARE(Files::save(dir.filePath(QStringLiteral("plain")), "x", Files::Access::Shared), 0);
    const QString path = folder.isEmpty() ? folder : dir.filePath(folder);
    QCOMPARE(Files::makeFolder(path, Files::Access::Private), error);
    QCOMPARE(QFileInfo(path).isDir(), error == 0);
}

void TestFiles::madeFoldersArePrivate()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("old")));
    QCOMPARE(::chmod(QFile::encodeName(dir.filePath(QStringLiteral("old"))).constData(), 0755), 0);
    QCOMPARE(Files::makeFolder(dir.filePath(QStringLiteral("old/new/inner")), Files::Access::Private), 0);
    QCOMPARE(modeOf(dir.filePath(QStringLiteral("old"))), 0755u); // existing: unchanged
    QCOMPARE(modeOf(dir.filePath(QStringLiteral("old/new"))), Files::PrivateFolderMode);
    QCOMPARE(modeOf(dir.filePath(QStringLiteral("old/new/inner"))), Files::PrivateFolderMode);
}

// Port workers save at the same time: no two may get the same temporary name.
void TestFiles::temporaryNamesAreDistinctAcrossThreads()
{
    constexpr int Threads = 4;
    constexpr int Names = 40000;
    QList<QList<QByteArray>> names(Threads);
    QList<QThread *> threads;
    for (int t = 0; t < Threads; ++t)
        threads << QThread::create([&names, t] {
            for (int k = 0; k < Names; ++k)
                names[t] << Files::temporaryName("/tmp");
        });
    for (QThread *thread : threads)
        thread->start();
    QSet<QByteArray> all;
    for (int t = 0; t < Threads; ++t) {
        QVERIFY(threads[t]->wait(60000));
        delete threads[t];
        for (const QByteArray &name : std::as_const(names[t]))
            all.insert(name);
    }
    QCOMPARE(all.size(), qsizetype(Threads) * Names);
}

// A file cut short by the system is never reported as saved, and the old one stays.
void TestFiles::cutShortSavesFail()
{
    QTemporaryDir dir;
    const QString traffic = dir.filePath(QStringLiteral("traffic.txt"));
    const QString lines = dir.filePath(QStringLiteral("APNs.dat"));
    QCOMPARE(Files::save(traffic, "old", Files::Access::Shared), 0);
    QCOMPARE(Files::save(lines, "old", Files::Access::Shared), 0);
    const QList<TrafficChannel> channels{{QStringLiteral("Memo"), QString(4000, QLatin1Char('x'))}};
    QString error;
    QVERIFY(!withSmallFileLimit([&] { return saveTrafficFile(traffic, channels, &error); }));
    QCOMPARE(error, traffic + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(EFBIG)));
    QCOMPARE(contents(traffic), QByteArray("old"));
    const QStringList many(200, QStringLiteral("a line"));
    QCOMPARE(withSmallFileLimit([&] { return TextLineFile::Write(lines, many); }), EFBIG);
    QCOMPARE(contents(lines), QByteArray("old"));
}

void TestFiles::descriptorNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("fd");
    QTest::newRow("-") << "-" << 1;
    QTest::newRow("/dev/stdout") << "/dev/stdout" << 1;
    QTest::newRow("/dev/stderr") << "/dev/stderr" << 2;
    QTest::newRow("/dev/fd/7") << "/dev/fd/7" << 7;
    QTest::newRow("/proc/self/fd/12") << "/proc/self/fd/12" << 12;
    QTest::newRow("a file") << "/dev/fdx/7" << -1;
    QTest::newRow("another process") << "/proc/1/fd/1" << -1;
    QTest::newRow("relative") << "dev/stdout" << -1;
}

// A descriptor is written as it is open: a pipe gets the bytes, a file opened
// to append keeps what it held.
void TestFiles::descriptorNames()
{
    QFETCH(QString, name);
    QFETCH(int, fd);
    QCOMPARE(Files::descriptorOf(name), fd);

    int ends[2];
    QCOMPARE(::pipe(ends), 0);
    QCOMPARE(Files::save(QStringLiteral("/proc/self/fd/%1").arg(ends[1]), "through", Files::Access::Private), 0);
    QCOMPARE(Files::save(QStringLiteral("/dev/fd/%1").arg(ends[1]), " a pipe", Files::Access::Private), 0);
    ::close(ends[1]);
    char buffer[64] = {};
    QCOMPARE(::read(ends[0], buffer, sizeof buffer), ssize_t(14));
    ::close(ends[0]);
    QCOMPARE(QByteArray(buffer), QByteArray("through a pipe"));

    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("log"));
    QCOMPARE(Files::save(log, "old\n", Files::Access::Shared), 0);
    const int appending = ::open(QFile::encodeName(log).constData(), O_WRONLY | O_APPEND);
    QCOMPARE(Files::save(QStringLiteral("/dev/fd/%1").arg(appending), "new\n", Files::Access::Private), 0);
    ::close(appending);
    QCOMPARE(contents(log), QByteArray("old\nnew\n"));
    QCOMPARE(Files::save(QStringLiteral("/dev/fd/999"), "x", Files::Access::Private), EBADF);
}

void TestFiles::specialFilesAreWrittenInPlace_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO") << "fifo";
    QTest::newRow("character device") << "terminal";
    QTest::newRow("socket") << "socket";
}

// What is not a regular file stays what it is and gets the bytes.
void TestFiles::specialFilesAreWrittenInPlace()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QString path = dir.filePath(kind);
    const QByteArray name = QFile::encodeName(path);
    int reader = -1;
    int listener = -1;
    if (kind == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(name.constData(), 0600), 0);
        reader = ::open(name.constData(), O_RDONLY | O_NONBLOCK);
    } else if (kind == QLatin1String("terminal")) {
        reader = ::posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(reader >= 0 && ::grantpt(reader) == 0 && ::unlockpt(reader) == 0);
        path = QString::fromLocal8Bit(::ptsname(reader));
        termios raw{};
        const int slave = ::open(::ptsname(reader), O_RDWR | O_NOCTTY);
        QVERIFY(slave >= 0 && ::tcgetattr(slave, &raw) == 0);
        ::cfmakeraw(&raw);
        QCOMPARE(::tcsetattr(slave, TCSANOW, &raw), 0);
        ::close(slave);
    } else {
        listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, name.constData(), std::size_t(name.size()));
        QCOMPARE(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        QCOMPARE(::listen(listener, 1), 0);
    }
    struct stat before {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &before), 0);

    QCOMPARE(Files::save(path, "in place", Files::Access::Private), 0);
    if (listener >= 0)
        reader = ::accept(listener, nullptr, nullptr);
    QVERIFY(reader >= 0);
    pollfd ready{reader, POLLIN, 0};
    QCOMPARE(::poll(&ready, 1, 5000), 1);
    char buffer[64] = {};
    QCOMPARE(::read(reader, buffer, sizeof buffer), ssize_t(8));
    QCOMPARE(QByteArray(buffer), QByteArray("in place"));
    struct stat after {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &after), 0);
    QCOMPARE(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
    QCOMPARE(after.st_ino, before.st_ino);
    ::close(reader);
    if (listener >= 0)
        ::close(listener);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Hidden | QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size(),
             kind == QLatin1String("terminal") ? 0 : 1); // no temporary left
}

void TestFiles::directoriesAndDisksAreRefused()
{
    QTemporaryDir dir;
    QCOMPARE(Files::save(dir.path(), "x", Files::Access::Private), EISDIR);
    // A disk is named only; it is never opened.
    for (const QFileInfo &entry : QDir(QStringLiteral("/dev")).entryInfoList(QDir::System)) {
        struct stat st {};
        if (::stat(QFile::encodeName(entry.filePath()).constData(), &st) == 0 && S_ISBLK(st.st_mode)) {
            QCOMPARE(Files::save(entry.filePath(), "x", Files::Access::Private), EPERM);
            return;
        }
    }
    QSKIP("no block device in /dev to name");
}

void TestFiles::tracesRefuseWhatIsNotTheirs_data()
{
    QTest::addColumn<QByteArray>("kind");
    QTest::addColumn<QString>("refusal"); // after "PATH: "; empty when traced into
    const QString notATrace = QStringLiteral("not a trace file; nothing was traced");
    QTest::newRow("new file") << QByteArray("none") << QString();
    QTest::newRow("an old trace, 644") << QByteArray("12\tout\tpoll\t3f 3f 0d\n") << QString();
    QTest::newRow("another kind of file") << QByteArray("[Port]\nCOM=3\n") << notATrace;
    QTest::newRow("FIFO") << QByteArray("fifo") << notATrace;
    QTest::newRow("dangling link") << QByteArray("link")
                                   << "a link; traces are never written through one, nothing was traced";
    QTest::newRow("another user's trace") << QByteArray("others") << "belongs to another user; nothing was traced";
}

// Judged on what was opened, never through a link, never waiting on a FIFO.
void TestFiles::tracesRefuseWhatIsNotTheirs()
{
    QFETCH(QByteArray, kind);
    QFETCH(QString, refusal);
    if (kind == "others")
        QUELMAR_REQUIRE_TWO_USERS();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("site.trace"));
    const QByteArray name = QFile::encodeName(path);
    if (kind == "fifo")
        QCOMPARE(::mkfifo(name.constData(), 0666), 0);
    else if (kind == "link")
        QCOMPARE(::symlink("pointed.trace", name.constData()), 0);
    else if (kind != "none")
        QCOMPARE(Files::save(path, kind == "others" ? "1\tin\tack\t7b\n" : kind, Files::Access::Shared), 0);
    if (kind == "others")
        QCOMPARE(::chown(name.constData(), OtherUser::uid(), OtherUser::gid()), 0);
    ::chmod(name.constData(), 0644);
    const QString expected = refusal.isEmpty() ? QString() : path + QStringLiteral(": ") + refusal;
    QCOMPARE(FrameTrace::refusal(path), expected);
    FrameTrace trace;
    QString error;
    QCOMPARE(trace.open(path, &error), refusal.isEmpty());
    trace.close();
    QCOMPARE(error, expected);
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("pointed.trace"))));
    if (refusal.isEmpty())
        QVERIFY(modeOf(path) == 0600u && contents(path).isEmpty()); // emptied for the new trace
    else if (kind.contains('\n'))
        QCOMPARE(contents(path), kind); // left as it was
}

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
