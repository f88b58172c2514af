#include "CommandLine.h"

#include <QFileInfo>

#include "common/ShownText.h"
#include "params/ParameterFile.h"
#include "sites/SiteBook.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include <unistd.h>

namespace Cli {

namespace {

const QString Program = QString::fromLatin1(ProgramName);

const QList<Command> &commands()
{
    static const QList<Command> table = fileCommands() + moduleCommands() + reportCommands() + siteCommands();
    return table;
}

const Command *findCommand(const QString &name)
{
    for (const Command &c : commands())
        if (c.name == name)
            return &c;
    return nullptr;
}

QString optionNames(const QCommandLineOption &option)
{
    QStringList names;
    for (const QString &n : option.names())
        names << (n.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + n;
    QString text = names.join(QStringLiteral(", "));
    if (!option.valueName().isEmpty())
        text += QLatin1Char(' ') + option.valueName();
    return text;
}

void printProgramHelp(Io &io)
{
    io.out << "Usage: " << Program << " COMMAND [ARGUMENTS]\n\n"
           << "Reads, compares, edits and prepares Quelmar parameter files (.QM3) field by field.\n\n"
           << "Commands:\n";
    int width = 0;
    for (const Command &c : commands())
        width = std::max(width, int(c.synopsis.size()));
    for (const Command &c : commands())
        io.out << "  " << c.synopsis.leftJustified(width + 2) << c.summary << '\n';
    io.out << "\n"
           << "  " << Program << " COMMAND --help   what a command does and its options\n"
           << "  " << Program << " --version        the program's version\n\n"
           << "Exit status: 0 done (for diff: no difference), 1 a difference found or an operation\n"
           << "failed, 2 a usage or input error. Errors go to standard error and name the file or\n"
           << "the field and the rule. A file is written to a temporary file that then replaces\n"
           << "the target, so a failed write leaves the target whole.\n";
}

// The commands of a group ("site add", "site list", ... for "site").
QList<const Command *> groupCommands(const QString &group)
{
    QList<const Command *> list;
    for (const Command &c : commands())
        if (c.name.startsWith(group + QLatin1Char(' ')))
            list << &c;
    return list;
}

QString groupNames(const QList<const Command *> &group)
{
    QStringList names;
    for (const Command *c : group)
        names << c->name.section(QLatin1Char(' '), 1);
    return names.join(QStringLiteral(", "));
}

void printGroupHelp(Io &io, const QString &group, const QList<const Command *> &members)
{
    io.out << "Usage: " << Program << ' ' << group << " COMMAND [ARGUMENTS]\n\nCommands:\n";
    int width = 0;
    for (const Command *c : members)
        width = std::max(width, int(c->synopsis.size()));
    for (const Command *c : members)
        io.out << "  " << c->synopsis.leftJustified(width + 2) << c->summary << '\n';
    io.out << "\n  " << Program << ' ' << group << " COMMAND --help   what a command does and its options\n";
}

bool isHelp(const QString &argument)
{
    return argument == QLatin1String("--help") || argument == QLatin1String("-h");
}

void printCommandHelp(Io &io, const Command &c)
{
    io.out << "Usage: " << Program << ' ' << c.synopsis << "\n\n" << c.summary << ".\n";
    if (!c.help.isEmpty())
        io.out << '\n' << c.help << '\n';
    QList<QCommandLineOption> options = c.options;
    options << QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    int width = 0;
    for (const QCommandLineOption &o : options)
        width = std::max(width, int(optionNames(o).size()));
    io.out << "\nOptions:\n";
    for (const QCommandLineOption &o : options)
        io.out << "  " << optionNames(o).leftJustified(width + 2) << o.description() << '\n';
}

int usage(Io &io, const QString &text, const QString &helpOf = {})
{
    fail(io, ExitUsage, text);
    io.err << "Try '" << Program << (helpOf.isEmpty() ? QString() : QLatin1Char(' ') + helpOf) << " --help'.\n";
    io.err.flush();
    return ExitUsage;
}

int runCommand(const Command &c, const QStringList &arguments, Io &io)
{
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    // "-platform" is one unknown option, not -p -l -a -t -f -o rm.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions(c.options);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    parser.addOption(help);
    if (!parser.parse(QStringList{Program} + arguments))
        return usage(io, c.name + QStringLiteral(": ") + parser.errorText(), c.name);
    if (parser.isSet(help)) {
        printCommandHelp(io, c);
        return ExitDone;
    }
    // An empty name is never what was meant: it is not standard output and
    // not the current folder.
    for (const QCommandLineOption &o : c.options)
        if (!o.valueName().isEmpty() && parser.values(o).contains(QString())) {
            const QString name = optionNames(o).section(QLatin1Char(' '), 0, 0).remove(QLatin1Char(','));
            return usage(io, QStringLiteral("%1: %2 needs a value, not an empty one").arg(c.name, name), c.name);
        }
    const qsizetype count = parser.positionalArguments().size();
    if (count < c.minArguments)
        return usage(io, QStringLiteral("%1: too few arguments; usage: %2 %3").arg(c.name, Program, c.synopsis), c.name);
    if (c.maxArguments >= 0 && count > c.maxArguments)
        return usage(io,
                     QStringLiteral("%1: unexpected argument '%2'")
                         .arg(c.name, parser.positionalArguments().at(c.maxArguments)),
                     c.name);
    const int status = c.run(parser, io);
    io.out.flush();
    io.err.flush();
    return status;
}

int dispatch(const QStringList &arguments, Io &io)
{
    if (arguments.isEmpty())
        return usage(io, QStringLiteral("a command is expected"));
    const QString &first = arguments.first();
    if (first == QLatin1String("--help") || first == QLatin1String("-h") || first == QLatin1String("help")) {
        if (first == QLatin1String("help") && arguments.size() > 1) {
            if (const Command *c = findCommand(arguments.mid(1, 2).join(QLatin1Char(' '))))
                return runCommand(*c, {QStringLiteral("--help")}, io);
            if (const Command *c = findCommand(arguments.at(1)))
                return runCommand(*c, {QStringLiteral("--help")}, io);
            if (const QList<const Command *> group = groupCommands(arguments.at(1)); !group.isEmpty()) {
                printGroupHelp(io, arguments.at(1), group);
                return ExitDone;
            }
            return usage(io, QStringLiteral("no command '%1'").arg(arguments.at(1)));
        }
        printProgramHelp(io);
        io.out.flush();
        return ExitDone;
    }
    if (first == QLatin1String("--version")) {
        io.out << Program << ' ' << QUELMAR_VERSION << '\n';
        io.out.flush();
        return ExitDone;
    }
    const Command *c = findCommand(first);
    // "site add" and its kin are two words.
    if (!c && arguments.size() > 1 && !arguments.at(1).startsWith(QLatin1Char('-')))
        if ((c = findCommand(first + QLatin1Char(' ') + arguments.at(1))))
            return runCommand(*c, arguments.mid(2), io);
    if (const QList<const Command *> group = groupCommands(first); !c && !group.isEmpty()) {
        if (arguments.size() > 1 && isHelp(arguments.at(1))) {
            printGroupHelp(io, first, group);
            io.out.flush();
            return ExitDone;
        }
        return usage(io, QStringLiteral("%1: a command is expected: %2").arg(first, groupNames(group)));
    }
    if (!c)
        return usage(io, first.startsWith(QLatin1Char('-')) ? QStringLiteral("unknown option '%1'").arg(first)
                                                            : QStringLiteral("no command '%1'").arg(first));
    return runCommand(*c, arguments.mid(1), io);
}

} // namespace

int fail(Io &io, int status, const QString &text)
{
    // Errors name files and sites as they were given or kept: shown escaped.
    io.err << Program << ": " << ShownText::shown(text, ShownText::Breaks::Kept) << '\n';
    io.err.flush();
    return status;
}

int failFile(Io &io, int status, const QString &path, const QString &text)
{
    return fail(io, status, path + QStringLiteral(": ") + text);
}

bool needsGui(const QStringList &arguments)
{
    return !arguments.isEmpty() && arguments.first() == QLatin1String("report");
}

int writeOutput(Io &io, const QString &path, const QByteArray &bytes, Files::Access access)
{
    if (path == QLatin1String("-")) {
        io.out.flush();
        if (QIODevice *device = io.out.device()) {
            if (device->write(bytes) != bytes.size())
                io.out.setStatus(QTextStream::WriteFailed);
        } else {
            io.out << QString::fromUtf8(bytes);
        }
        return ExitDone;
    }
    const int error = Files::save(path, bytes, access);
    if (error == 0)
        return ExitDone;
    return fail(io, Files::isRefusal(error) ? ExitUsage : ExitDiffers, Files::errorMessage(path, error));
}

int runParams(const QStringList &arguments, Io &io)
{
    // A change kept waiting by a busy site book is said on a terminal only.
    Sites::setWaitNotice(::isatty(STDERR_FILENO) ? std::function<void()>([] {
        std::fputs("waiting for the site book ...\n", stderr);
        std::fflush(stderr);
    })
                                                 : std::function<void()>());
    const int status = dispatch(arguments, io);
    // What could not be written is never reported as done: a full disk or a
    // closed pipe behind standard output fails the command.
    io.out.flush();
    if (io.out.status() != QTextStream::WriteFailed)
        return status;
    const QIODevice *device = io.out.device();
    const QString reason = device && !device->errorString().isEmpty() ? device->errorString()
                                                                      : QStringLiteral("cannot write");
    return fail(io, ExitDiffers, QStringLiteral("standard output: ") + reason);
}

const QCommandLineOption &showPasswordOption()
{
    static const QCommandLineOption option(QStringLiteral("show-password"),
                                           QStringLiteral("Show the GPRS password (PWD) instead of masking it."));
    return option;
}

FieldModel::Secrets secretsOf(const QCommandLineParser &parsed)
{
    return parsed.isSet(showPasswordOption()) ? FieldModel::Secrets::Shown : FieldModel::Secrets::Masked;
}

std::optional<ImageBytes> loadImage(Io &io, const QString &path)
{
    if (const QString refused = notAParameterFile(path); !refused.isEmpty()) {
        failFile(io, ExitUsage, path, refused);
        return std::nullopt;
    }
    ImageBytes image{};
    const ParameterFile::Result r = ParameterFile::load(path, image);
    if (!r.ok) {
        failFile(io, ExitUsage, path, r.error != 0 ? Files::systemText(r.error) : r.message);
        return std::nullopt;
    }
    return image;
}

QString notAParameterFile(const QString &path)
{
    const QFileInfo info(path); // a link is followed
    if (!info.exists())
        return {}; // the load says why, in the system's words
    const QString size = QStringLiteral("a parameter file has %1").arg(EEAddr::ImageSize);
    if (!info.isFile())
        return QStringLiteral("not a parameter file (not a regular file; %1 bytes)").arg(size);
    if (info.size() != EEAddr::ImageSize)
        return QStringLiteral("not a parameter file (%1 bytes; %2)").arg(info.size()).arg(size);
    return {};
}

bool refuseSameFile(Io &io, const QString &output, const QStringList &inputs)
{
    for (const QString &input : inputs)
        if (output != QLatin1String("-") && Files::sameFile(output, input)) {
            failFile(io, ExitUsage, output, QStringLiteral("is an input of this command (%1); nothing was written").arg(input));
            return true;
        }
    return false;
}

} // namespace Cli
