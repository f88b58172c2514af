// The report command: the commissioning report of a parameter file, for a support desk.

#include "CommandLine.h"

#include "params/ImageState.h"
#include "report/Report.h"

#include <QFileInfo>

namespace Cli {

namespace {

const QCommandLineOption PdfOption(QStringList{QStringLiteral("o"), QStringLiteral("output")},
                                   QStringLiteral("The PDF to write (required)."), QStringLiteral("OUT.pdf"));

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
    contents.source = in;
    ImageState state;
    state.loadedFromFile(QFileInfo(in).fileName());
    contents.origin = state.sourceLine();
    contents.showPassword = parsed.isSet(showPasswordOption());
    const Report::Written written = Report::writePdf(out, contents);
    if (!written.ok())
        return fail(io, ExitDiffers, written.error);
    if (io.outIsTerminal)
        io.out << out << ": " << written.pages << (written.pages == 1 ? " page\n" : " pages\n");
    return ExitDone;
}

} // namespace

QList<Command> reportCommands()
{
    return {{QStringLiteral("report"), QStringLiteral("report FILE -o OUT.pdf"),
             QStringLiteral("Writes the commissioning report of FILE as a PDF"),
             QStringLiteral("Every field under its editor page caption with its English label and value,\n"
                            "on one A4 page when it fits. Needs no display. The GPRS password (PWD)\n"
                            "shows as set or not set; --show-password prints it, for the installer's\n"
                            "own copy."),
             {PdfOption, showPasswordOption()}, 1, 1, runReport}};
}

} // namespace Cli
