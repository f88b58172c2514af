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

// Blanks kept as they are: event codes and numbers may hold blank positions.
// Values and site details came from outside: shown escaped, as everywhere.
QString cell(const QString &text)
{
    return ShownText::shown(text).toHtmlEscaped().replace(QLatin1Char(' '), QStringLiteral("&nbsp;"));
}

// Labels take a fixed share, so the values of a page line up in one column.
QString row(const QString &label, const QString &value, int labelPercent = 60)
{
    return QStringLiteral("<tr><td width=\"%1%\">%2</td><td><b>%3</b></td></tr>")
        .arg(QString::number(labelPercent), cell(label), cell(value));
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
    return QStringLiteral("<h3>%1</h3><table cellspacing=0 cellpadding=1 width=\"100%\">%2</table>")
        .arg(cell(FieldModel::pageCaption(page)), rows);
}

QString stateTable(const ModuleState &state)
{
    const StatusDisplay &d = state.display;
    const auto word = [](const char *name) { return QString::fromLatin1(name); };
    constexpr int labels = 30;
    const QString rows = row(word(StatusWords::Inputs), inputsText(d), labels)
                         + row(word(StatusWords::Line), d.line.text, labels)
                         + row(word(StatusWords::CallState), d.callState.text, labels)
                         + row(word(StatusWords::SignalLevel),
                               QStringLiteral("%1 of %2").arg(d.signalText).arg(StatusDisplay::MaxSignalLevel), labels);
    return QStringLiteral("<h3>Module state at %1</h3><table cellspacing=0 cellpadding=1 width=\"100%\">%2</table>")
        .arg(cell(state.received.toString(DateFormat)), rows);
}

constexpr EEAddr::Page Pages[] = {EEAddr::Page::Phone,  EEAddr::Page::Sms,     EEAddr::Page::CallFilter,
                                  EEAddr::Page::Output, EEAddr::Page::Bell103, EEAddr::Page::Gprs,
                                  EEAddr::Page::Tell};

} // namespace

QString html(const Contents &contents)
{
    QString head;
    if (contents.site)
        head = row(QStringLiteral("Site"), contents.site->name) + row(QStringLiteral("Address"), contents.site->address)
               + row(QStringLiteral("Contact"), contents.site->contact);
    head += row(QStringLiteral("Date and time"), contents.made.toString(DateFormat));
    head += row(QStringLiteral("Port"), contents.port.isEmpty() ? QStringLiteral("(none)") : contents.port);
    if (!contents.source.isEmpty())
        head += row(QStringLiteral("File"), QFileInfo(contents.source).fileName());

    // Two pages side by side per row keep the whole set on one sheet; the
    // module's state takes the place beside the last page.
    QStringList parts;
    for (EEAddr::Page page : Pages)
        parts << pageTable(contents, page);
    if (contents.state)
        parts << stateTable(*contents.state);
    QString pages;
    for (qsizetype k = 0; k < parts.size(); k += 2)
        pages += QStringLiteral("<tr><td width=\"50%\">%1</td><td width=\"50%\">%2</td></tr>")
                     .arg(parts.at(k), k + 1 < parts.size() ? parts.at(k + 1) : QString());
    // The image may hold edits no module has: the line under the header says so.
    const QString origin = contents.origin.isEmpty()
        ? QString()
        : QStringLiteral("<p>%1</p>").arg(ShownText::shown(contents.origin).toHtmlEscaped());
    return QStringLiteral("<h2>%1</h2>%2<table cellspacing=0 cellpadding=1 width=\"50%\">%3</table>"
                          "<table cellspacing=0 cellpadding=4 width=\"100%\">%4</table>")
        .arg(QString::fromLatin1(Title), origin, head, pages);
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
            if (pageCount > 1) {
                painter.setFont(font);
                painter.drawText(QRect(0, page.height() - footer, page.width(), footer), Qt::AlignCenter,
                                 QStringLiteral("Page %1 of %2").arg(k + 1).arg(pageCount));
            }
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
