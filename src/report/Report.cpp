#include "Report.h"

#include "common/Files.h"
#include "common/ShownText.h"
#include "params/FieldModel.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFileInfo>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>

namespace Report {

namespace {

constexpr int Resolution = 300; // dots per inch of the PDF's layout
constexpr int PointSize = 8;
constexpr double MarginMm = 15;
constexpr double FooterMm = 8; // room kept for "Page n of m"

const QString DateFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

// Blanks kept as they are: event codes and numbers may hold blank positions,
// and a value is never broken across lines. Values and site details came
// from outside: shown escaped, as everywhere.
QString cell(const QString &text)
{
    return ShownText::shown(text).toHtmlEscaped().replace(QLatin1Char(' '), QStringLiteral("&nbsp;"));
}

// A label wraps between its words only; its value stays on one line.
QString row(const QString &label, const QString &value)
{
    return QStringLiteral("<tr><td>%1</td><td nowrap><b>%2</b></td></tr>").arg(label.toHtmlEscaped(), cell(value));
}

// A site's own texts may be long: they wrap between words as well.
QString textRow(const QString &label, const QString &text)
{
    return QStringLiteral("<tr><td width=\"62%\">%1</td><td><b>%2</b></td></tr>")
        .arg(label.toHtmlEscaped(), ShownText::shown(text).toHtmlEscaped());
}

QString table(const QString &rows)
{
    return QStringLiteral("<table cellspacing=0 cellpadding=2 border=0.5 width=\"100%\">%1</table>").arg(rows);
}

QString pageTable(const Contents &contents, EEAddr::Page page)
{
    QString rows;
    for (const EEAddr::Field &f : FieldModel::namedFields())
        if (f.page == page) {
            const FieldModel::FieldValue value = FieldModel::Decode(contents.image, f);
            const bool masked = FieldModel::isSecret(f) && !contents.showPassword;
            rows += row(FieldModel::labelOf(f),
                        masked ? FieldModel::secretState(value) : FieldModel::formatValue(value));
        }
    return QStringLiteral("<h3>%1</h3>%2").arg(FieldModel::pageCaption(page).toHtmlEscaped(), table(rows));
}

QString stateTable(const ModuleState &state)
{
    const StatusDisplay &d = state.display;
    const auto word = [](const char *name) { return QString::fromLatin1(name); };
    const QString rows = row(word(StatusWords::Inputs), inputsText(d)) + row(word(StatusWords::Line), d.line.text)
                         + row(word(StatusWords::CallState), d.callState.text)
                         + row(word(StatusWords::SignalLevel),
                               QStringLiteral("%1 of %2").arg(d.signalText).arg(StatusDisplay::MaxSignalLevel));
    return QStringLiteral("<h3>Module state at %1</h3>%2").arg(cell(state.received.toString(DateFormat)), table(rows));
}

// Room for a name, a signature and a date by hand, for each side of the handover.
QString handover()
{
    const QString blank = QStringLiteral("<td>&nbsp;</td>");
    QString rows = QStringLiteral("<tr><td width=\"16%\"></td><td width=\"36%\">Name</td>"
                                  "<td width=\"30%\">Signature</td><td width=\"18%\">Date</td></tr>");
    for (const char *side : {"Installer", "Customer"})
        rows += QStringLiteral("<tr><td>%1</td>%2%2%2</tr>").arg(QString::fromLatin1(side), blank);
    return QStringLiteral("<h3>Handed over</h3><table cellspacing=0 cellpadding=12 border=0.5 width=\"100%\">%1</table>")
        .arg(rows);
}

constexpr EEAddr::Page Pages[] = {EEAddr::Page::Phone,  EEAddr::Page::Sms,     EEAddr::Page::CallFilter,
                                  EEAddr::Page::Output, EEAddr::Page::Bell103, EEAddr::Page::Gprs,
                                  EEAddr::Page::Tell};

} // namespace

QString html(const Contents &contents)
{
    QString head;
    if (contents.site && contents.site->withoutSet)
        head = QStringLiteral("<tr><td colspan=2><b>%1</b></td></tr>")
                   .arg(QStringLiteral("Site: %1 (no parameter set in the book)")
                            .arg(ShownText::shown(contents.site->name))
                            .toHtmlEscaped());
    else if (contents.site)
        head = textRow(QStringLiteral("Site"), contents.site->name);
    if (contents.site)
        head += textRow(QStringLiteral("Address"), contents.site->address)
            + textRow(QStringLiteral("Contact"), contents.site->contact);
    head += row(QStringLiteral("Date and time"), contents.made.toString(DateFormat));
    head += row(QStringLiteral("Port"), contents.port.isEmpty() ? QStringLiteral("(none)") : contents.port);
    if (!contents.source.isEmpty())
        head += row(QStringLiteral("File"), QFileInfo(contents.source).fileName());

    // Each editor page as a table of its own, the module's state and the
    // handover after them.
    QString body;
    for (EEAddr::Page page : Pages)
        body += pageTable(contents, page);
    if (contents.state)
        body += stateTable(*contents.state);
    // The image may hold edits no module has: the line under the header says so.
    const QString origin = contents.origin.isEmpty() ? QString() : QStringLiteral("<p>%1</p>").arg(ShownText::shown(contents.origin).toHtmlEscaped());
    return QStringLiteral("<h2>%1</h2>%2%3%4%5")
        .arg(QString::fromLatin1(Title), origin, table(head), body, handover());
}

QByteArray pdf(const Contents &contents, int *pages)
{
    QByteArray bytes;
    int pageCount = 0;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter pdf(&buffer);
        pdf.setTitle(QString::fromLatin1(Title));
        pdf.setCreator(QStringLiteral("Quelmar Setup"));
        pdf.setResolution(Resolution);
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(MarginMm, MarginMm, MarginMm, MarginMm), QPageLayout::Millimeter));

        const QRect page = pdf.pageLayout().paintRectPixels(Resolution);
        const int footer = int(FooterMm / 25.4 * Resolution);
        QTextDocument document;
        QFont font = document.defaultFont();
        font.setPointSize(PointSize);
        document.setDefaultFont(font);
        document.documentLayout()->setPaintDevice(&pdf);
        document.setHtml(html(contents));
        document.setPageSize(QSizeF(page.width(), page.height() - footer));
        pageCount = document.pageCount();

        QPainter painter(&pdf);
        const double height = page.height() - footer;
        for (int k = 0; k < pageCount; ++k) {
            if (k > 0)
                pdf.newPage();
            painter.save();
            painter.translate(0, -k * height);
            document.drawContents(&painter, QRectF(0, k * height, page.width(), height));
            painter.restore();
            painter.setFont(font);
            painter.drawText(QRect(0, page.height() - footer, page.width(), footer), Qt::AlignCenter,
                             QStringLiteral("Page %1 of %2").arg(k + 1).arg(pageCount));
        }
        painter.end();
    }
    if (pages)
        *pages = pageCount;
    return bytes;
}

Written writePdf(const QString &path, const Contents &contents)
{
    int pageCount = 0;
    const QByteArray bytes = pdf(contents, &pageCount);
    // It lists the customer's numbers (and the password when asked): its owner's only.
    if (const int error = Files::save(path, bytes, Files::Access::Private))
        return {Files::errorMessage(path, error), 0};
    return {{}, pageCount};
}

} // namespace Report
