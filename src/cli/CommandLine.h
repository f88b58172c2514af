#pragma once
// The subcommand dispatch of quelmar-params. Each command is a row: its name,
// its synopsis and help, the options it takes and the routine that runs it
// on parsed arguments. Commands write only to the streams they are given, so
// tests run them in-process.

#include "common/Files.h"
#include "params/FieldModel.h"
#include "params/ParameterImage.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QIODevice>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <optional>

namespace Cli {

// Exit status of every command.
inline constexpr int ExitDone = 0;
inline constexpr int ExitDiffers = 1; // a difference found, or an operation failed
inline constexpr int ExitUsage = 2;   // a usage or input error

inline constexpr char ProgramName[] = "quelmar-params";

struct Io
{
    QTextStream &out;
    QTextStream &err;
    QIODevice *in = nullptr;     // standard input, read for a file named "-"
    bool outIsTerminal = false; // progress lines only then
};

struct Command
{
    QString name;
    QString synopsis;  // "show FILE [--json]"
    QString summary;   // one line in the program's help
    QString help;      // what --help of the command adds below its synopsis
    QList<QCommandLineOption> options;
    int minArguments = 0;
    int maxArguments = 0; // -1: any number
    int (*run)(const QCommandLineParser &parsed, Io &io) = nullptr;
};

// The file commands: show, diff, export, import, set.
QList<Command> fileCommands();
// The module commands: read, write, compare, status.
QList<Command> moduleCommands();
// The report command; the program then needs a QGuiApplication (see needsGui).
QList<Command> reportCommands();
// The site book commands, named "site add", "site list", ...
QList<Command> siteCommands();
// --book URL, and the book it names: the given URL, else the configured one.
QCommandLineOption siteBookOption();
QString siteBookUrl(const QString &given);
// True when the command line runs a command that lays out text (fonts).
bool needsGui(const QStringList &arguments);

// Runs the program on its arguments (without the program name).
int runParams(const QStringList &arguments, Io &io);

// "quelmar-params: TEXT" on standard error; returns the status to exit with.
int fail(Io &io, int status, const QString &text);
// The same for a file: "quelmar-params: FILE: TEXT".
int failFile(Io &io, int status, const QString &path, const QString &text);

// --show-password: a command that masks the password shows it.
const QCommandLineOption &showPasswordOption();
FieldModel::Secrets secretsOf(const QCommandLineParser &parsed);

// A parameter file, or nullopt after an input error naming it. Only a regular
// file (or a link to one) of exactly 1088 bytes is taken.
std::optional<ImageBytes> loadImage(Io &io, const QString &path);
// Why the path is not taken as a parameter file ("not a parameter file (3628
// bytes; a parameter file has 1088)"); empty when it is one or is missing.
QString notAParameterFile(const QString &path);
// True, after a usage error naming both, when the output is the same file as
// one of the inputs: nothing is then written.
bool refuseSameFile(Io &io, const QString &output, const QStringList &inputs);

// Writes an output: "-" to standard output (io.out, checked when the command
// ends), anything else through Files::save. ExitDone, or ExitDiffers after
// "PATH: system text".
int writeOutput(Io &io, const QString &path, const QByteArray &bytes, Files::Access access);

} // namespace Cli
