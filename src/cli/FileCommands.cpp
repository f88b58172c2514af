// The commands on parameter files: show, diff, export, import and set.

#include "CommandLine.h"

#include "common/Files.h"
#include "params/FieldModel.h"
#include "params/ParameterExport.h"
#include "params/ParameterFile.h"
#include "params/TransferTexts.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <algorithm>
#include <optional>

namespace Cli {

namespace {

const QCommandLineOption JsonOption(QStringLiteral("json"), QStringLiteral("Print the result as JSON."));
const QCommandLineOption OutputOption(QStringList{QStringLiteral("o"), QStringLiteral("output")},
                                      QStringLiteral("Write to OUT instead (- for standard output)."),
                                      QStringLiteral("OUT"));
const QCommandLineOption RequiredOutputOption(QStringList{QStringLiteral("o"), QStringLiteral("output")},
                                              QStringLiteral("The parameter file to write (required; - for "
                                                             "standard output)."),
                                              QStringLiteral("OUT"));

std::optional<QByteArray> readText(Io &io, const QString &path)
{
    if (path == QLatin1String("-")) {
        if (!io.in) {
            failFile(io, ExitUsage, path, QStringLiteral("no standard input"));
            return std::nullopt;
        }
        return io.in->readAll();
    }
    // A FIFO or a device could block or never end: only a regular file.
    if (QFileInfo::exists(path) && !QFileInfo(path).isFile()) {
        failFile(io, ExitUsage, path, QStringLiteral("not a regular file (- reads standard input)"));
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        failFile(io, ExitUsage, path, Files::systemText(errno));
        return std::nullopt;
    }
    return file.readAll();
}

// An export holds the GPRS login as a parameter file does: the owner's only.
int writeOut(Io &io, const QString &path, const QByteArray &bytes)
{
    return writeOutput(io, path, bytes, Files::Access::Private);
}

int writeImage(Io &io, const QString &path, const ImageBytes &image)
{
    return writeOut(io, path, QByteArray(reinterpret_cast<const char *>(image.data()), qsizetype(image.size())));
}

// A value the module's encoding keeps otherwise is still taken, with a word on
// standard error: "SMS2: Ű is stored as Ü".
void warn(Io &io, const QStringList &warnings)
{
    for (const QString &warning : warnings)
        io.err << ProgramName << ": " << warning << '\n';
    io.err.flush();
}

// The image with every secret that is set stored as "********": what show
// --json prints unless asked for the password.
ImageBytes masked(ImageBytes image)
{
    for (const EEAddr::Field &f : FieldModel::namedFields())
        if (FieldModel::isSecret(f))
            FieldModel::store(image, f, FieldModel::maskedValue(FieldModel::Decode(image, f)));
    return image;
}

int labelWidth()
{
    int width = 0;
    for (const EEAddr::Field &f : FieldModel::namedFields())
        width = std::max(width, int(FieldModel::labelOf(f).size()));
    return width;
}

int runShow(const QCommandLineParser &p, Io &io)
{
    const QString path = p.positionalArguments().at(0);
    const std::optional<ImageBytes> image = loadImage(io, path);
    if (!image)
        return ExitUsage;
    const FieldModel::Secrets secrets = secretsOf(p);
    if (p.isSet(JsonOption))
        return writeOut(io, QStringLiteral("-"), ParameterExport::exportImage(secrets == FieldModel::Secrets::Shown ? *image
                                                                                                 : masked(*image)));

    using P = EEAddr::Page;
    const int width = labelWidth();
    bool first = true;
    for (const P page : {P::Phone, P::Sms, P::CallFilter, P::Output, P::Bell103, P::Gprs, P::Tell}) {
        io.out << (first ? "" : "\n") << FieldModel::pageCaption(page) << '\n';
        first = false;
        for (const EEAddr::Field &f : FieldModel::namedFields())
            if (f.page == page)
                io.out << "  " << FieldModel::nameOf(f).leftJustified(17) << FieldModel::labelOf(f).leftJustified(width + 2)
                       << shownValue(f, FieldModel::Decode(*image, f), secrets) << '\n';
    }
    return ExitDone;
}

int runDiff(const QCommandLineParser &p, Io &io)
{
    const std::optional<ImageBytes> a = loadImage(io, p.positionalArguments().at(0));
    if (!a)
        return ExitUsage;
    const std::optional<ImageBytes> b = loadImage(io, p.positionalArguments().at(1));
    if (!b)
        return ExitUsage;
    const FieldModel::ImageDifferences d = FieldModel::DiffImages(*a, *b);
    if (p.isSet(JsonOption)) {
        writeOut(io, QStringLiteral("-"), differencesJson(d, *a, *b, secretsOf(p)));
    } else {
        for (const QString &line : differenceLines(differenceRows(d, *a, *b, secretsOf(p))))
            io.out << line << '\n';
    }
    return d.isEmpty() ? ExitDone : ExitDiffers;
}

int runExport(const QCommandLineParser &p, Io &io)
{
    const std::optional<ImageBytes> image = loadImage(io, p.positionalArguments().at(0));
    if (!image || refuseSameFile(io, p.value(OutputOption), p.positionalArguments()))
        return ExitUsage;
    return writeOut(io, p.isSet(OutputOption) ? p.value(OutputOption) : QStringLiteral("-"),
                    ParameterExport::exportImage(*image));
}

const QCommandLineOption BaseOption(QStringLiteral("base"),
                                    QStringLiteral("Start from this parameter file instead of the document's image."),
                                    QStringLiteral("FILE"));

int runImport(const QCommandLineParser &p, Io &io)
{
    const QString path = p.positionalArguments().at(0);
    const QString out = p.value(RequiredOutputOption);
    if (out.isEmpty())
        return fail(io, ExitUsage, QStringLiteral("import: -o OUT is required"));
    std::optional<ImageBytes> base;
    if (p.isSet(BaseOption) && !(base = loadImage(io, p.value(BaseOption))))
        return ExitUsage;
    if (refuseSameFile(io, out, {path, p.value(BaseOption)}))
        return ExitUsage;
    const std::optional<QByteArray> json = readText(io, path);
    if (!json)
        return ExitUsage;
    const ParameterExport::Imported imported = ParameterExport::importImage(*json, base);
    for (const QString &error : imported.errors)
        failFile(io, ExitUsage, path, error);
    if (!imported.ok())
        return ExitUsage;
    warn(io, imported.warnings);
    return writeImage(io, out, imported.image);
}

int runSet(const QCommandLineParser &p, Io &io)
{
    const QStringList args = p.positionalArguments();
    QList<ParameterExport::Change> changes;
    QStringList errors;
    for (const QString &assignment : args.mid(1)) {
        const qsizetype equals = assignment.indexOf(QLatin1Char('='));
        if (equals <= 0) {
            errors << QStringLiteral("'%1' is not NAME=VALUE").arg(assignment);
            continue;
        }
        const QString name = assignment.left(equals);
        const EEAddr::Field *field = FieldModel::findField(name);
        if (!field) {
            errors << QStringLiteral("%1: no such field").arg(name);
            continue;
        }
        FieldModel::Parsed parsed = FieldModel::parseValue(*field, assignment.mid(equals + 1));
        if (!parsed.error.isEmpty())
            errors << parsed.error;
        else
            changes << ParameterExport::Change{field, std::move(parsed.value)};
    }
    const QString path = args.at(0);
    std::optional<ImageBytes> image = loadImage(io, path);
    if (!image)
        return ExitUsage;
    const ImageBytes original = *image;
    QStringList warnings;
    errors << ParameterExport::applyChanges(*image, changes, &warnings);
    for (const QString &error : errors)
        fail(io, ExitUsage, error);
    if (!errors.isEmpty())
        return ExitUsage;
    warn(io, warnings);
    const QString out = p.isSet(OutputOption) ? p.value(OutputOption) : path;
    if (out == path && *image == original)
        return ExitDone; // nothing to change: the file keeps its time stamp
    return writeImage(io, out, *image);
}

} // namespace

QList<Command> fileCommands()
{
    return {
        {QStringLiteral("show"), QStringLiteral("show FILE [--json]"),
         QStringLiteral("Lists every field of a parameter file by editor page: name, label, value"),
         QStringLiteral("Texts and event codes are shown in double quotes, so that blanks show;\n"
                        "an empty number or event code shows as (none). With --json the export\n"
                        "format is printed instead (see export). The GPRS password (PWD) shows as\n"
                        "******** (in --json too) unless --show-password is given."),
         {JsonOption, showPasswordOption()}, 1, 1, runShow},
        {QStringLiteral("diff"), QStringLiteral("diff A B [--json]"),
         QStringLiteral("Lists the fields that differ between two parameter files"),
         QStringLiteral("One line per field whose bytes differ: name, label, value in A -> value in B,\n"
                        "in image order; then each run of differing bytes outside every field, in\n"
                        "hexadecimal; then, under \"stored differently, same value\", the fields whose\n"
                        "bytes differ but read as the same value, with their byte ranges. The GPRS\n"
                        "password (PWD) shows as ********, a changed one as changed, unless\n"
                        "--show-password is given. Exit status 0 when the files are equal, 1 when\n"
                        "any byte differs."),
         {JsonOption, showPasswordOption()}, 2, 2, runDiff},
        {QStringLiteral("export"), QStringLiteral("export FILE [-o OUT]"),
         QStringLiteral("Writes a parameter file in the export format (JSON)"),
         QStringLiteral("The document holds \"format\": \"quelmar-parameters\", \"version\": 1, \"fields\"\n"
                        "with all 60 named fields as the editor shows them (numbers and event codes\n"
                        "as strings, \"\" for none; texts as UTF-8; spinner values and BELLFlags as\n"
                        "numbers; CallFilter, VoiceCaller and GPRSmode as true or false; addresses\n"
                        "as \"a.b.c.d\") and \"image\": the 1088 bytes as 2176 hexadecimal digits.\n"
                        "Without -o, or with -o -, it goes to standard output. The GPRS password\n"
                        "(PWD) is kept as it is, unmasked, since an export must give back the same\n"
                        "bytes: keep the file as private as the parameter file."),
         {OutputOption}, 1, 1, runExport},
        {QStringLiteral("import"), QStringLiteral("import JSON -o OUT [--base FILE]"),
         QStringLiteral("Builds a parameter file from an export or a template"),
         QStringLiteral("The start is the --base file, else the document's \"image\", else an erased\n"
                        "image (1088 bytes 0xFF). A field is written only when its value differs\n"
                        "from what the start holds, so an unchanged export gives back the same\n"
                        "bytes, and a template that names a few fields changes only those. An\n"
                        "unknown field, a value of the wrong type or one its field cannot store is\n"
                        "an error naming the field, and nothing is written. JSON \"-\" reads\n"
                        "standard input."),
         {RequiredOutputOption, BaseOption}, 1, 1, runImport},
        {QStringLiteral("set"), QStringLiteral("set FILE NAME=VALUE... [-o OUT]"),
         QStringLiteral("Changes named fields of a parameter file, in place or into OUT"),
         QStringLiteral("VALUE as show prints it, without quotes: USER1=0612345678, Event1=12*4,\n"
                        "SMS1='Alarm $', CallFilter=on|off|true|false|1|0, REL1=255, BELLFlags=3,\n"
                        "IPAddress1=10.0.0.1, an empty value for no number. Every value is checked\n"
                        "before anything is written; on any error the file stays as it was."),
         {OutputOption}, 2, -1, runSet},
    };
}

} // namespace Cli
