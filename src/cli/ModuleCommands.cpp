// The module commands of quelmar-params: read, write, compare and status, on
// one or several ports at once. Each port runs on its own thread with its own
// link (PortWorker); the threads only fill their PortState, and this thread
// prints, so the output of several modules never interleaves within a line.

#include "CommandLine.h"

#include "common/Files.h"
#include "link/FrameTrace.h"
#include "params/CheckedWrite.h"
#include "params/FieldModel.h"
#include "params/History.h"
#include "params/ParameterFile.h"
#include "params/PortWorker.h"
#include "params/TransferTexts.h"
#include "serial/PortMap.h"
#include "sites/BookLocation.h"
#include "sites/BookSession.h"
#include "sites/SiteRecorder.h"
#include "status/StatusCsv.h"
#include "status/StatusDisplay.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <deque>
#include <limits>
#include <memory>
#include <optional>
#include <unistd.h>

namespace Cli {

namespace {

constexpr int Blocks = EEAddr::BlockCount;
constexpr int PollMs = 500;
// A status answer is awaited as long as a block is.
constexpr int StatusPatienceMs = Transfer::ReadTicks * Transfer::TickMs;

const QCommandLineOption PortOption(QStringLiteral("port"),
                                    QStringLiteral("A port COM1 to COM96; repeat it or give a list "
                                                   "COM33,COM34 to serve several modules at once."),
                                    QStringLiteral("COMn"));
const QCommandLineOption QuietOption(QStringList{QStringLiteral("q"), QStringLiteral("quiet")},
                                     QStringLiteral("Print only errors."));
const QCommandLineOption TraceOption(QStringLiteral("trace"),
                                     QStringLiteral("Log every frame sent and received into FILE (with several "
                                                    "ports: a folder, one COMn.trace each)."),
                                     QStringLiteral("FILE"));
const QCommandLineOption OutputOption(QStringList{QStringLiteral("o"), QStringLiteral("output")},
                                      QStringLiteral("The parameter file to write (with several ports: a "
                                                     "folder, one COMn.QM3 each)."),
                                      QStringLiteral("FILE"));
const QCommandLineOption VerifyOption(QStringLiteral("verify"),
                                      QStringLiteral("Read the 15 blocks back after the last acknowledgement "
                                                     "and compare them with what was written."));
const QCommandLineOption BackupOption(QStringLiteral("backup"),
                                      QStringLiteral("First read the module into DIR/YYYYMMDD-HHMMSS-backup-COMn.QM3; "
                                                     "nothing is written when that read fails."),
                                      QStringLiteral("DIR"));
const QCommandLineOption ChangedOnlyOption(QStringLiteral("changed-only"),
                                           QStringLiteral("Read the module first (the backup, with --backup) and write "
                                                          "only the blocks that differ from the file; --verify reads "
                                                          "back only those."));
const QCommandLineOption RetriesOption(QStringLiteral("retries"),
                                       QStringLiteral("Ask again for a block whose answer is lost or damaged (send it "
                                                      "again when unacknowledged) up to N times, 0 to 3; 0 turns "
                                                      "repeats off (default 3)."),
                                       QStringLiteral("N"), QString::number(Transfer::MaxRetries));
const QCommandLineOption WatchOption(QStringLiteral("watch"),
                                     QStringLiteral("Print every status message until interrupted."));
const QCommandLineOption CsvOption(QStringLiteral("csv"), QStringLiteral("Print CSV rows (one port only)."));
const QCommandLineOption SiteOption(QStringLiteral("site"),
                                    QStringLiteral("Work on this site of the site book (one port only)."),
                                    QStringLiteral("NAME"));

const QString Program = QString::fromLatin1(ProgramName);

// What one port's thread reports. Progress is read while the thread runs;
// everything else once it has ended, except `pending`, guarded by its lock.
struct PortState
{
    QString port;
    std::atomic<int> stage{-1}; // index into the command's stage names
    std::atomic<int> position{0};
    QStringList out;
    QStringList err;
    bool failed = false;

    QMutex lock;
    QStringList pending; // status lines, printed as they arrive

    void succeed(const QString &text) { out << port + QStringLiteral(": ") + text; }
    void fail(const QString &text)
    {
        err << port + QStringLiteral(": ") + text;
        failed = true;
    }
};

// The bar of the windows becomes the progress of one port, one stage per
// sequence (backup, write, verify).
class PortProgress : public TransferDisplay
{
public:
    explicit PortProgress(PortState &state)
        : m_state(state)
    {
    }
    void sequenceStarted() override
    {
        m_state.position = 0;
        ++m_state.stage;
    }
    void DisableButtons() override {}
    void EnableButtons() override {}
    void setProgress(int position) override { m_state.position = position; }
    void SetBarColour(std::uint32_t) override {}
    void showMessage(const QString &) override {}
    // The transfer's result carries the port's error.
    void showError(const QString &) override {}

private:
    PortState &m_state;
};

// Lines (differences, say) indented under their outcome line.
QStringList indented(const QStringList &lines)
{
    QStringList result;
    for (const QString &line : lines)
        result << QStringLiteral("  ") + line;
    return result;
}

// Every --port, lists split, as upper-case names; nullopt after a usage error.
std::optional<QStringList> parsePorts(const QCommandLineParser &p, Io &io)
{
    QStringList ports;
    for (const QString &value : p.values(PortOption))
        for (const QString &item : value.split(QLatin1Char(','))) {
            // COM049 is COM49: one spelling per port, so that "given twice" sees it.
            const int number = PortMap::portNumber(item.trimmed());
            const QString name = QStringLiteral("COM%1").arg(number);
            if (number < PortMap::FirstPort || number > PortMap::LastPort) {
                fail(io, ExitUsage, QStringLiteral("--port: '%1' is not a port COM1 to COM96").arg(item));
                return std::nullopt;
            }
            if (ports.contains(name)) {
                fail(io, ExitUsage, QStringLiteral("--port: %1 is given twice").arg(name));
                return std::nullopt;
            }
            ports << name;
        }
    if (ports.isEmpty()) {
        fail(io, ExitUsage, QStringLiteral("--port is required"));
        return std::nullopt;
    }
    return ports;
}

// The folder and its missing parents, the owner's only (they hold parameter
// sets); false after an input error with the system's reason.
bool madeFolder(Io &io, const QString &path)
{
    const int error = Files::makeFolder(path, Files::Access::Private);
    if (error != 0)
        failFile(io, ExitUsage, path, QStringLiteral("cannot make the folder: ") + Files::systemText(error));
    return error == 0;
}

// The file for a port: the path itself for one port, else PATH/COMn.SUFFIX
// (the folder made when missing). Empty after an input error.
QString perPortPath(Io &io, const QString &path, const QStringList &ports, const QString &port, const char *suffix)
{
    if (ports.size() == 1)
        return path;
    if (!madeFolder(io, path))
        return {};
    return QDir(path).filePath(port + QLatin1Char('.') + QLatin1String(suffix));
}

// Runs the operation on every port at once and prints, in port order, each
// port's outcome lines. Progress lines (one per port, redrawn in place) only
// on a terminal and without --quiet.
class PortRun
{
public:
    using Operation = std::function<void(PortWorker &, PortState &)>;

    PortRun(const QCommandLineParser &p, Io &io, QStringList ports, QStringList stages)
        : m_io(io)
        , m_quiet(p.isSet(QuietOption))
        , m_ports(std::move(ports))
        , m_stages(std::move(stages))
        , m_states(static_cast<std::size_t>(m_ports.size()))
    {
        for (int i = 0; i < m_ports.size(); ++i)
            m_states[static_cast<std::size_t>(i)].port = m_ports[i];
        bool number = false;
        m_retries = p.value(RetriesOption).toInt(&number);
        if (!number || m_retries < 0 || m_retries > Transfer::MaxRetries) {
            fail(io, ExitUsage, QStringLiteral("--retries: '%1' is not 0 to %2").arg(p.value(RetriesOption)).arg(Transfer::MaxRetries));
            m_usable = false;
        }
        if (p.isSet(TraceOption))
            for (const QString &port : m_ports) {
                m_tracePaths << perPortPath(io, p.value(TraceOption), m_ports, port, "trace");
                if (m_tracePaths.last().isEmpty()) {
                    m_usable = false; // said once, not once per port
                    break;
                }
                // Refused before any port is opened, so nothing is replaced.
                if (const QString refused = FrameTrace::refusal(m_tracePaths.last()); !refused.isEmpty()) {
                    fail(io, ExitUsage, refused);
                    m_usable = false;
                    break;
                }
                if (refuseSameFile(io, m_tracePaths.last(), p.positionalArguments())) {
                    m_usable = false;
                    break;
                }
            }
    }

    bool usable() const { return m_usable; }
    std::deque<PortState> &states() { return m_states; }

    int run(const Operation &operation, const std::function<void()> &alsoOnTick = {})
    {
        const bool progress = m_io.outIsTerminal && !m_quiet && !m_stages.isEmpty();
        const QStringList failures = runConcurrently(
            int(m_ports.size()), [&](int i) { serve(i, operation); },
            [&] {
                if (alsoOnTick)
                    alsoOnTick();
                if (progress)
                    drawProgress();
            });
        // What ended a port's thread early is that port's failure only.
        for (int i = 0; i < failures.size(); ++i)
            if (!failures[i].isEmpty())
                m_states[static_cast<std::size_t>(i)].fail(failures[i]);
        if (m_drawn > 0) // the outcome lines replace the progress lines
            m_io.out << QStringLiteral("\x1b[%1A\r\x1b[J").arg(m_drawn);
        bool failed = false;
        for (PortState &s : m_states) {
            if (!m_quiet)
                for (const QString &line : s.out)
                    m_io.out << line << '\n';
            for (const QString &line : s.err)
                m_io.err << line << '\n';
            failed = failed || s.failed;
        }
        m_io.out.flush();
        m_io.err.flush();
        return failed ? ExitDiffers : ExitDone;
    }

private:
    void serve(int i, const Operation &operation)
    {
        PortState &s = m_states[static_cast<std::size_t>(i)];
        PortProgress display(s);
        // Before the worker, whose codec points at it until the worker goes.
        FrameTrace trace;
        PortWorker worker(s.port, display);
        worker.transfer.setRetries(m_retries);
        if (!m_tracePaths.isEmpty()) {
            QString error;
            if (!trace.open(m_tracePaths[i], &error)) {
                s.fail(QStringLiteral("cannot write the trace ") + error);
                return;
            }
            worker.link.Codec.setTrace(&trace);
        }
        if (!worker.open().isEmpty()) {
            s.fail(QStringLiteral("cannot open ")
                   + Files::errorMessage(worker.link.ComPort1.devicePath(), worker.openError()));
            return;
        }
        operation(worker, s);
        worker.link.Codec.setTrace(nullptr);
    }

    void drawProgress()
    {
        QString text;
        if (m_drawn > 0)
            text += QStringLiteral("\x1b[%1A").arg(m_drawn);
        for (const PortState &s : m_states) {
            const int stage = s.stage;
            const QString what = stage < 0 ? QStringLiteral("opening")
                                           : QStringLiteral("%1 block %2 of %3")
                                                 .arg(m_stages.value(stage, m_stages.last()))
                                                 .arg(std::min(s.position.load() + 1, Blocks))
                                                 .arg(Blocks);
            text += QStringLiteral("\r\x1b[K%1: %2\n").arg(s.port, what);
        }
        m_drawn = int(m_states.size());
        m_io.out << text;
        m_io.out.flush();
    }

    Io &m_io;
    bool m_quiet;
    QStringList m_ports;
    QStringList m_stages;
    QStringList m_tracePaths;
    std::deque<PortState> m_states;
    bool m_usable = true;
    int m_drawn = 0;
    int m_retries = Transfer::MaxRetries;
};

// Why a read could not write `target`, or empty: a missing or unwritable
// folder, or a folder where the file belongs. Asked before the first request,
// so that a bad path costs nothing.
QString unwritableText(const QString &target)
{
    const QFileInfo info(target);
    if (info.isDir())
        return qt_error_string(EISDIR);
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    if (::access(folder.constData(), W_OK | X_OK) != 0)
        return QStringLiteral("%1: %2").arg(info.absolutePath(), qt_error_string(errno));
    return {};
}

// --site takes exactly one port; false after a usage error.
bool siteUsable(const QCommandLineParser &p, Io &io, const QStringList &ports)
{
    if (p.isSet(SiteOption) && ports.size() != 1) {
        fail(io, ExitUsage, QStringLiteral("--site takes exactly one --port"));
        return false;
    }
    return true;
}

// A read into a site the book does not have is a usage error: a misspelt
// name costs no read. A book that cannot be opened is not: it only gives the
// outcome's note.
bool siteKnown(Sites::BookSession *book, Io &io)
{
    if (!book)
        return true;
    const auto &error = book->open();
    if (error && error->kind() == Sites::SiteBookError::Kind::NoSite) {
        fail(io, ExitUsage, error->message());
        return false;
    }
    return true;
}

// The command's one connection to the book with --site, made before any port
// is opened and used by the port after it closed its port.
std::unique_ptr<Sites::BookSession> bookSession(const QCommandLineParser &p)
{
    if (!p.isSet(SiteOption))
        return nullptr;
    return std::make_unique<Sites::BookSession>(siteBookUrl(p.value(siteBookOption())), p.value(SiteOption));
}

// The image to write or compare: the site's current set with --site, else
// the file argument; nullopt after an error, with its exit status.
std::optional<ImageBytes> imageToUse(const QCommandLineParser &p, Io &io, Sites::BookSession *book, int &status)
{
    status = ExitUsage;
    const QStringList args = p.positionalArguments();
    if (!p.isSet(SiteOption)) {
        if (args.isEmpty()) {
            fail(io, ExitUsage, QStringLiteral("a parameter file or --site NAME is required"));
            return std::nullopt;
        }
        return loadImage(io, args.at(0));
    }
    if (!args.isEmpty()) {
        fail(io, ExitUsage, QStringLiteral("--site uses the site's current set: no FILE is taken"));
        return std::nullopt;
    }
    if (const auto &error = book->open()) {
        status = error->kind() == Sites::SiteBookError::Kind::NoSite ? ExitUsage : ExitDiffers;
        fail(io, status, error->message());
        return std::nullopt;
    }
    const Sites::Site &site = *book->site();
    if (!site.current)
        fail(io, ExitUsage, QStringLiteral("site \"%1\" has no current set").arg(site.details.name));
    return site.current;
}

// Records the exchanges into the --site through the command's connection,
// the port closed first so that a busy book never holds it; the note for the
// outcome line when the book was not updated.
QString recordToSite(Sites::BookSession *book, PortWorker &w, const QList<Sites::NewExchange> &exchanges)
{
    if (!book || exchanges.isEmpty())
        return {};
    w.link.hangUp();
    return book->record(exchanges);
}

int runRead(const QCommandLineParser &p, Io &io)
{
    const auto ports = parsePorts(p, io);
    if (!ports)
        return ExitUsage;
    if (!p.isSet(OutputOption) && !p.isSet(SiteOption))
        return fail(io, ExitUsage, QStringLiteral("read: -o FILE or --site NAME is required"));
    if (!siteUsable(p, io, *ports))
        return ExitUsage;
    QStringList targets;
    for (const QString &port : *ports) {
        if (!p.isSet(OutputOption)) {
            targets << QString();
            continue;
        }
        targets << perPortPath(io, p.value(OutputOption), *ports, port, "QM3");
        if (targets.last().isEmpty())
            return ExitUsage;
        const QString unwritable = unwritableText(targets.last());
        if (!unwritable.isEmpty())
            return failFile(io, ExitUsage, targets.last(), unwritable);
        if (const QString book = Sites::outputIsBook(targets.last(), siteBookUrl(p.value(siteBookOption())));
            !book.isEmpty())
            return failFile(io, ExitUsage, targets.last(), book);
    }
    const auto book = bookSession(p);
    if (!siteKnown(book.get(), io))
        return ExitUsage;
    PortRun run(p, io, *ports, {QStringLiteral("read")});
    if (!run.usable())
        return ExitUsage;
    return run.run([&](PortWorker &w, PortState &s) {
        if (w.transfer.Read() != TransferOutcome::Succeeded) {
            s.fail(outcomeText(Sequence::Read, w.transfer.Result(), {}, OutcomeForm::Line)
                   + recordToSite(book.get(), w, {Sites::readExchange(w.transfer.Result(), w.image, s.port)}));
            return;
        }
        // What was read is kept whatever happens to the file or the site.
        const History::Kept kept = History::Store().keep(w.image, History::Operation::Read, s.port);
        // A complete read becomes the site's current set, its bytes 960 to 1087 kept.
        const QString siteNote =
            recordToSite(book.get(), w, {Sites::readExchange(w.transfer.Result(), w.image, s.port)});
        const QString site = p.isSet(SiteOption) ? QStringLiteral("site \"%1\"").arg(p.value(SiteOption)) : QString();
        const QString &target = targets[int(ports->indexOf(s.port))];
        const QString read = QStringLiteral("read %1 of %1 blocks%2 into ").arg(Blocks).arg(repeatedText(w.transfer.Result()));
        if (target.isEmpty()) {
            // The site was the only place asked for: not updated, the read is not done.
            const QString line = read + site + History::outcomeNote(kept) + siteNote;
            siteNote.isEmpty() ? s.succeed(line) : s.fail(line);
            return;
        }
        const ParameterFile::Result saved = ParameterFile::save(target, w.image);
        if (!saved.ok)
            s.fail(Files::errorMessage(target, saved.error)
                   + (kept.ok() ? QStringLiteral("; what was read is kept in ") + kept.path : History::outcomeNote(kept))
                   + siteNote);
        else
            s.succeed(read + target + (site.isEmpty() ? QString() : QStringLiteral(" and ") + site)
                      + History::outcomeNote(kept) + siteNote);
    });
}

int runWrite(const QCommandLineParser &p, Io &io)
{
    const auto ports = parsePorts(p, io);
    if (!ports || !siteUsable(p, io, *ports))
        return ExitUsage;
    int status = ExitUsage;
    const auto book = bookSession(p);
    const auto image = imageToUse(p, io, book.get(), status);
    if (!image)
        return status;
    CheckedWriteOptions options;
    options.verify = p.isSet(VerifyOption);
    options.backup = p.isSet(BackupOption);
    options.changedOnly = p.isSet(ChangedOnlyOption);
    const QString backupDir = p.value(BackupOption);
    if (options.backup && !madeFolder(io, backupDir))
        return ExitUsage;
    // The user's own folder: never pruned.
    if (options.backup)
        options.backupCopies << History::Store(backupDir, std::numeric_limits<int>::max());
    QStringList stages;
    if (options.backup)
        stages << QStringLiteral("backup");
    else if (options.changedOnly)
        stages << QStringLiteral("read");
    stages << QStringLiteral("write");
    if (options.verify)
        stages << QStringLiteral("verify");

    PortRun run(p, io, *ports, stages);
    if (!run.usable())
        return ExitUsage;
    return run.run([&](PortWorker &w, PortState &s) {
        w.image = *image;
        CheckedWriteOptions mine = options;
        mine.port = s.port;
        const WriteOutcome r = checkedWrite(w.transfer, mine);
        const QString line = outcomeText(r, OutcomeForm::Line)
            + recordToSite(book.get(), w, Sites::writeExchanges(r, options.backup, *image, s.port));
        if (r.succeeded()) {
            s.succeed(line);
            return;
        }
        s.fail(line);
        if (r.ending == WriteEnding::VerifyDiffered)
            s.err << indented(differenceLines(differenceRows(r.differences, r.written, r.readBack),
                                              QStringLiteral("written"), QStringLiteral("module")));
    });
}

int runCompare(const QCommandLineParser &p, Io &io)
{
    const auto ports = parsePorts(p, io);
    if (!ports || !siteUsable(p, io, *ports))
        return ExitUsage;
    int status = ExitUsage;
    const auto book = bookSession(p);
    const auto image = imageToUse(p, io, book.get(), status);
    if (!image)
        return status;
    const bool quiet = p.isSet(QuietOption);
    PortRun run(p, io, *ports, {QStringLiteral("compare")});
    if (!run.usable())
        return ExitUsage;
    return run.run([&](PortWorker &w, PortState &s) {
        ImageBytes module{};
        using Sites::NewExchange;
        if (w.transfer.readInto(module) != TransferOutcome::Succeeded) {
            s.fail(outcomeText(Sequence::Compare, w.transfer.Result(), {}, OutcomeForm::Line)
                   + recordToSite(book.get(), w,
                                  {NewExchange(Sites::Operation::Compare, s.port,
                                               Sites::stoppedOutcome(w.transfer.Result()), std::nullopt)}));
            return;
        }
        const auto d = FieldModel::DiffImages(module, *image, {0, EEAddr::ModuleBytes - 1});
        const QString siteNote =
            recordToSite(book.get(), w, {Sites::compareExchange(w.transfer.Result(), module, d.count(), s.port)});
        if (d.isEmpty()) {
            s.succeed(QStringLiteral("compare: the module holds the %1 data")
                          .arg(p.isSet(SiteOption) ? QStringLiteral("site's") : QStringLiteral("file's"))
                      + siteNote);
            return;
        }
        // A difference is a result, not an error: it goes to standard output;
        // with --quiet to standard error, since it is not a success either.
        TransferResult differs = w.transfer.Result();
        differs.differs = true;
        QStringList &lines = quiet ? s.err : s.out;
        lines << s.port + QStringLiteral(": ") + outcomeText(Sequence::Compare, differs, d, OutcomeForm::Line) + siteNote
              << indented(differenceLines(differenceRows(d, module, *image), QStringLiteral("module"),
                                          QStringLiteral("file")));
        s.failed = true;
    });
}

// SIGINT and SIGTERM end a --watch cleanly.
std::atomic<bool> stopWatching{false};

extern "C" void onStopSignal(int)
{
    stopWatching = true;
}

// The status window's fields and the state texts of one port.
class StatusListener : public StatusSink, public MemoSink
{
public:
    StatusListener(PortState &state, bool csv)
        : m_state(state)
        , m_csv(csv)
    {
    }
    int messages = 0;

    StatusFields &Status() override { return m_fields; }
    void RefreshStatus() override
    {
        ++messages;
        const QDateTime now = QDateTime::currentDateTime();
        if (m_csv) {
            post(StatusCsv::statusRow(now, m_fields));
            return;
        }
        post(m_state.port + QStringLiteral(": ") + statusLine(describeStatus(m_fields)));
    }
    void AppendToMemo(MemoId memo, const QString &text, bool) override
    {
        if (memo != MemoId::MemoState)
            return;
        for (const QString &line : m_lines.add(text))
            post(m_csv ? StatusCsv::textRow(QDateTime::currentDateTime(), line)
                       : m_state.port + QStringLiteral(": text: ") + line);
    }

private:
    void post(const QString &line)
    {
        QMutexLocker locker(&m_state.lock);
        m_state.pending << line;
    }

    PortState &m_state;
    bool m_csv;
    StatusFields m_fields;
    StateTextLines m_lines;
};

int runStatus(const QCommandLineParser &p, Io &io)
{
    const auto ports = parsePorts(p, io);
    if (!ports)
        return ExitUsage;
    const bool watch = p.isSet(WatchOption);
    const bool csv = p.isSet(CsvOption);
    if (csv && ports->size() > 1)
        return fail(io, ExitUsage, QStringLiteral("status: --csv takes one port"));
    PortRun run(p, io, *ports, {});
    if (!run.usable())
        return ExitUsage;
    if (csv)
        io.out << StatusCsv::header() << '\n';

    stopWatching = false;
    struct sigaction action{}, oldInt{}, oldTerm{};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &oldInt);
    sigaction(SIGTERM, &action, &oldTerm);

    const auto printPending = [&] {
        for (PortState &s : run.states()) {
            QMutexLocker locker(&s.lock);
            for (const QString &line : std::as_const(s.pending))
                io.out << line << '\n';
            s.pending.clear();
        }
        io.out.flush();
    };
    const int status = run.run(
        [&](PortWorker &w, PortState &s) {
            StatusListener listener(s, csv);
            w.link.Dispatcher.StatusWindow = &listener;
            w.link.Dispatcher.Memos = &listener;
            QElapsedTimer clock;
            clock.start();
            qint64 lastPoll = -PollMs;
            // Sleeps in the event loop; the port's bytes and the 100 ms tick
            // wake it.
            while (w.link.ComPort1.Connected() && !stopWatching && (watch || listener.messages == 0)) {
                if (!watch && clock.elapsed() > StatusPatienceMs)
                    break;
                if (clock.elapsed() - lastPoll >= PollMs) {
                    lastPoll = clock.elapsed();
                    try {
                        w.link.Codec.SendText(QByteArrayLiteral("??"));
                    } catch (const ESerialPort &) {
                        break;
                    }
                }
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            }
            w.link.Dispatcher.StatusWindow = nullptr;
            w.link.Dispatcher.Memos = nullptr;
            if (!w.link.ComPort1.Connected())
                s.fail(QStringLiteral("status: the port is closed"));
            else if (listener.messages == 0)
                s.fail(QStringLiteral("status: no answer"));
        },
        printPending);
    printPending();
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
    return status;
}

const QString PortsHelp = QStringLiteral(
    "Ports are the tool's names COM1 to COM96, mapped to devices through the port\n"
    "directory as in the windows. With several ports the modules are served at the\n"
    "same time, one link each; one that does not answer or is unplugged ends only its\n"
    "own operation. One outcome line per port; exit status 1 when any port failed.\n"
    "Time-outs: 5 s per block for read and compare, 8 s for write. A block whose\n"
    "answer is lost or damaged is asked for again (a write: sent again) after the line\n"
    "has been quiet for 100 ms, up to 3 times with 1 s per try, within those limits;\n"
    "--retries 0 turns this off.");

const QString SiteHelp = QStringLiteral(
    "\n\n--site takes one port. A site book that cannot be opened or written never stops\n"
    "the operation: its outcome line ends with \" Site book not updated: REASON.\"");

} // namespace

QList<Command> moduleCommands()
{
    const QList<QCommandLineOption> common{PortOption, QuietOption, TraceOption, RetriesOption};
    const QList<QCommandLineOption> site{SiteOption, siteBookOption()};
    return {
        {QStringLiteral("read"), QStringLiteral("read --port COMn -o FILE | --site NAME [-o FILE]"),
         QStringLiteral("Reads the module's 15 blocks into a parameter file or a site"),
         QStringLiteral("Bytes 960 to 1087 of the file are zero, as a read in the windows leaves them.\n"
                        "With --site the read is recorded as an exchange of the site; a complete one\n"
                        "becomes its current set, bytes 960 to 1087 kept from the set before.\n\n")
             + PortsHelp + SiteHelp,
         common + QList<QCommandLineOption>{OutputOption} + site, 0, 0, runRead},
        {QStringLiteral("write"), QStringLiteral("write --port COMn FILE | --site NAME [--verify] [--backup DIR] [--changed-only]"),
         QStringLiteral("Writes bytes 0 to 959 of a parameter file or a site's current set into the module"),
         QStringLiteral("--backup reads the module first and writes nothing when that read fails;\n"
                        "--verify reads it back after the last acknowledgement and lists the fields\n"
                        "that differ from what was written. --changed-only reads the module first\n"
                        "(that read is the backup) and writes only the 64-byte blocks that differ from\n"
                        "the file, so a verify reads back only those; a module that already holds the\n"
                        "file is left alone, with exit status 0. With --site the backup, the write and\n"
                        "the verify are recorded as exchanges of the site.\n\n")
             + PortsHelp + SiteHelp,
         common + QList<QCommandLineOption>{VerifyOption, BackupOption, ChangedOnlyOption} + site, 0, 1, runWrite},
        {QStringLiteral("compare"), QStringLiteral("compare --port COMn FILE | --site NAME"),
         QStringLiteral("Reads the module and lists the fields that differ from a parameter file or a site's current set"),
         QStringLiteral("Exit status 1 when any field differs. With --site the compare is recorded\n"
                        "as an exchange of the site, with the module's parameter set.\n\n")
             + PortsHelp + SiteHelp,
         common + site, 0, 1, runCompare},
        {QStringLiteral("status"), QStringLiteral("status --port COMn [--watch] [--csv]"),
         QStringLiteral("Polls the module and prints its state in the status window's words"),
         QStringLiteral("Polls with \"??\" every 500 ms and prints the first status message (every one\n"
                        "with --watch, until Ctrl+C) and the state texts as they arrive. --csv prints\n"
                        "the columns ")
             + StatusCsv::header() + QStringLiteral(".\n\n") + PortsHelp,
         common + QList<QCommandLineOption>{WatchOption, CsvOption}, 0, 0, runStatus},
    };
}

} // namespace Cli
