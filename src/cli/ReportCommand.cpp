// The report command: the commissioning report of a parameter file, for a support desk.

#include "CommandLine.h"

#include "params/ImageState.h"
#include "report/Report.h"

#include <QFileInfo>

namespace Cli {

namespace {

const QCommandLineOption PdfOption(QStringList{QStringLiteral("o"), QStringLiteral("output")},
                                   QStringLiteral("The PDF to write (required; - for standard output)."),
                                   QStringLiteral("OUT.pdf"));

int runReport(const QCommandLineParser &parsed, Io &io)
{
    const QString in = parsed.positionalArguments().constFirst();
    const QString out = parsed.value(PdfOption);
    if (out.isEmpty())
        return fail(io, ExitUsage, QStringLiteral("report: -o OUT.pdf is required"));
    const std::optional<ImageBytes> image = loadImage(io, in);
    if (!image)
        return ExitUsage;
    Report::Contents contents;
    contents.image = *image;
    if (refuseSameFile(io, out, {in}))
        return ExitUsage;
    contents.source = in;
    ImageState state;
    state.loadedFromFile(QFileInfo(in).fileName());
    contents.origin = state.sourceLine();
    contents.showPassword = parsed.isSet(showPasswordOption());
    int pages = 0;
    // It lists the customer's numbers, and the password with --show-password:
    // created for its owner only, like every set.
    if (const int status = writeOutput(io, out, Report::pdf(contents, &pages), Files::Access::Private))
        return status;
    if (io.outIsTerminal && out != QLatin1String("-"))
        io.out << out << ": " << pages << (pages == 1 ? " page\n" : " pages\n");
    return ExitDone;
}

} // namespace

QList<Command> reportCommands()
{
    return {{QStringLiteral("report"), QStringLiteral("report FILE -o OUT.pdf"),
             QStringLiteral("Writes the commissioning report of FILE as a PDF"),
             QStringLiteral("Each editor page as a table of English labels and values, on A4 pages\n"
                            "numbered \"Page N of M\", with lines for the installer's and the customer's\n"
                            "name, signature and date at the end. Needs no display. The GPRS password (PWD)\n"
                            "shows as set or not set; --show-password prints it, for the installer's\n"
                            "own copy."),
             {PdfOption, showPasswordOption()}, 1, 1, runReport}};
}

} // namespace Cli
