// The module commands of quelmar-params that move a parameter set: read,
// write and compare, on one or several ports at once (PortRun). Each runs
// its operation (ModuleOperations) and renders the record it gives back.

#include "CommandLine.h"
#include "PortRun.h"

#include "common/Files.h"
#include "params/ModuleOperations.h"
#include "params/ParameterFile.h"
#include "params/TransferTexts.h"
#include "sites/BookLocation.h"
#include "sites/BookSession.h"

#include <QFileInfo>

#include <cerrno>
#include <limits>
#include <memory>
#include <unistd.h>

namespace Cli {

namespace {

const QCommandLineOption OutputOption(QStringList{QStringLiteral("o"), QStringLiteral("output")},
                                      QStringLiteral("The parameter file to write (with several ports: a "
                                                     "folder, one COMn.QM3 each)."),
                                      QStringLiteral("FILE"));
const QCommandLineOption VerifyOption(QStringLiteral("verify"),
                                      QStringLiteral("Read the %1 blocks back after the last acknowledgement "
                                                     "and compare them with what was written.")
                                          .arg(EEAddr::BlockCount));
const QCommandLineOption BackupOption(QStringLiteral("backup"),
                                      QStringLiteral("First read the module into DIR/YYYYMMDD-HHMMSS-backup-COMn.QM3; "
                                                     "nothing is written when that read fails."),
                                      QStringLiteral("DIR"));
const QCommandLineOption ChangedOnlyOption(QStringLiteral("changed-only"),
                                           QStringLiteral("Read the module first (the backup, with --backup) and write "
                                                          "only the blocks that differ from the file; --verify reads "
                                                          "back only those."));
const QCommandLineOption SiteOption(QStringLiteral("site"),
                                    QStringLiteral("Work on this site of the site book (one port only)."),
                                    QStringLiteral("NAME"));

// Why a read could not write `target`, or empty: a missing or unwritable
// folder, or a folder where the file belongs. Asked before the first request,
// so that a bad path costs nothing.
QString unwritableText(const QString &target)
{
    if (const int refused = Files::outputRefusal(target))
        return Files::systemText(refused);
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
// is opened; it records each stage as it ends without holding the port.
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

// The note of the book's recording, waited for once the port is closed, so
// that a busy book never holds it.
QString siteNote(Sites::BookSession *book, PortWorker &w)
{
    if (!book)
        return {};
    w.link.hangUp();
    return book->note();
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
    run.keepOutFor(targets);
    return run.run([&](PortWorker &w, PortState &s) {
        // What was read is kept in the history whatever happens to the file
        // or the site; a complete read becomes the site's current set, its
        // bytes 960 to 1087 kept.
        ModuleOperations operations(w.transfer, s.port);
        operations.attach(book.get());
        const ExchangeRecord read = operations.read();
        const QString note = siteNote(book.get(), w);
        if (!read.image) {
            s.fail(outcomeText(read, OutcomeForm::Line) + note);
            return;
        }
        const QString siteName = book ? QStringLiteral("site \"%1\"").arg(p.value(SiteOption)) : QString();
        const QString &target = targets[int(ports->indexOf(s.port))];
        const QString into = outcomeText(read, OutcomeForm::Line) + QStringLiteral(" into ");
        if (target.isEmpty()) {
            // The site was the only place asked for: not updated, the read is not done.
            const QString line = into + siteName + History::outcomeNote(read.history) + note;
            note.isEmpty() ? s.succeed(line) : s.fail(line);
            return;
        }
        const ParameterFile::Result saved = ParameterFile::save(target, w.image);
        if (!saved.ok)
            s.fail(Files::errorMessage(target, saved.error)
                   + (read.history.ok() ? QStringLiteral("; what was read is kept in ") + read.history.path
                                        : History::outcomeNote(read.history))
                   + note);
        else
            s.succeed(into + target + (siteName.isEmpty() ? QString() : QStringLiteral(" and ") + siteName)
                      + History::outcomeNote(read.history) + note);
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
    // Said before anything is sent: a folder others can write would keep sets they can swap.
    for (const History::Store &store : {options.history, History::Store(backupDir)})
        if (const QString refused = store.refusal(); options.backup && !refused.isEmpty())
            return fail(io, ExitUsage, refused);
    // The user's own folder: never pruned.
    if (options.backup)
        options.backupCopies << History::Store(backupDir, std::numeric_limits<int>::max());
    QStringList stages;
    if (options.backup)
        stages << operationWord(Operation::Backup);
    else if (options.changedOnly)
        stages << operationWord(Operation::Read);
    stages << operationWord(Operation::Write);
    if (options.verify)
        stages << operationWord(Operation::Verify);

    PortRun run(p, io, *ports, stages);
    if (!run.usable())
        return ExitUsage;
    return run.run([&](PortWorker &w, PortState &s) {
        w.image = *image;
        ModuleOperations operations(w.transfer, s.port);
        // Each stage goes to the book as it ends: the backup before the
        // first write command goes out.
        operations.attach(book.get());
        const WriteOutcome r = operations.write(options);
        const QString line = outcomeText(r, OutcomeForm::Line) + siteNote(book.get(), w);
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
    const bool quiet = p.isSet(quietOption());
    const CompareWith against = p.isSet(SiteOption) ? CompareWith::Site : CompareWith::File;
    PortRun run(p, io, *ports, {operationWord(Operation::Compare)});
    if (!run.usable())
        return ExitUsage;
    return run.run([&](PortWorker &w, PortState &s) {
        ModuleOperations operations(w.transfer, s.port);
        operations.attach(book.get());
        const ExchangeRecord compare = operations.compare(*image, against);
        const QString line = outcomeText(compare, OutcomeForm::Line) + siteNote(book.get(), w);
        if (!compare.image) {
            s.fail(line);
            return;
        }
        if (!compare.differs()) {
            s.succeed(line);
            return;
        }
        // A difference is a result, not an error: it goes to standard output;
        // with --quiet to standard error, since it is not a success either.
        QStringList &lines = quiet ? s.err : s.out;
        lines << s.port + QStringLiteral(": ") + line
              << indented(differenceLines(differenceRows(compare.differences, *compare.image, *image),
                                          QStringLiteral("module"), QStringLiteral("file")));
        s.failed = true;
    });
}

const QString SiteHelp = QStringLiteral(
    "\n\n--site takes one port. A site book that cannot be opened or written never stops\n"
    "the operation: its outcome line ends with \" Site book not updated: REASON.\"");

} // namespace

QList<Command> moduleCommands()
{
    const QList<QCommandLineOption> common{portOption(), quietOption(), traceOption(), retriesOption()};
    const QList<QCommandLineOption> site{SiteOption, siteBookOption()};
    return {
        {QStringLiteral("read"), QStringLiteral("read --port COMn -o FILE | --site NAME [-o FILE]"),
         QStringLiteral("Reads the module's %1 blocks into a parameter file or a site").arg(EEAddr::BlockCount),
         QStringLiteral("Bytes 960 to 1087 of the file are zero, as a read in the windows leaves them.\n"
                        "With --site the read is recorded as an exchange of the site; a complete one\n"
                        "becomes its current set, bytes 960 to 1087 kept from the set before.\n\n")
             + portsHelp() + SiteHelp,
         common + QList<QCommandLineOption>{OutputOption} + site, 0, 0, runRead},
        {QStringLiteral("write"), QStringLiteral("write --port COMn FILE | --site NAME [--verify] [--backup DIR] [--changed-only]"),
         QStringLiteral("Writes bytes 0 to 959 of a parameter file or a site's current set into the module"),
         QStringLiteral("--backup reads the module first and writes nothing when that read fails;\n"
                        "--verify reads it back after the last acknowledgement and lists the fields\n"
                        "that differ from what was written. --changed-only reads the module first\n"
                        "(that read is the backup) and writes only the %1-byte blocks that differ from\n"
                        "the file, so a verify reads back only those; a module that already holds the\n"
                        "file is left alone, with exit status 0. With --site the backup, the write and\n"
                        "the verify are recorded as exchanges of the site, each as it ends.\n\n")
                 .arg(EEAddr::BlockSize)
             + portsHelp() + SiteHelp,
         common + QList<QCommandLineOption>{VerifyOption, BackupOption, ChangedOnlyOption} + site, 0, 1, runWrite},
        {QStringLiteral("compare"), QStringLiteral("compare --port COMn FILE | --site NAME"),
         QStringLiteral("Reads the module and lists the fields that differ from a parameter file or a site's current set"),
         QStringLiteral("Exit status 1 when any field differs. With --site the compare is recorded\n"
                        "as an exchange of the site, with the module's parameter set.\n\n")
             + portsHelp() + SiteHelp,
         common + site, 0, 1, runCompare},
        statusCommand(common),
    };
}

} // namespace Cli
