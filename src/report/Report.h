#pragma once
// The commissioning sheet: what a parameter image holds, a table of label and
// value for each editor page, the module's last state and room for the
// installer's and the customer's name, signature and date, as a PDF to hand
// over at the site. Needs a QGuiApplication (fonts); the offscreen
// platform is enough, so it runs without a display.

#include "params/ParameterImage.h"
#include "status/StatusDisplay.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace Report {

inline constexpr char Title[] = "Quelmar commissioning report";

// The last status message of the run and when it arrived.
struct ModuleState
{
    StatusDisplay display;
    QDateTime received;
};

// The customer site the image belongs to.
struct Site
{
    QString name;
    QString address;
    QString contact;
    // The book holds no parameter set for it: the values are not the site's.
    bool withoutSet = false;
};

struct Contents
{
    std::optional<Site> site; // heads the report
    ImageBytes image{};
    QString port;   // "COM3"; empty when the image did not come from a module
    QString source; // a file the image came from, or empty
    // Where the values come from, as one line under the header ("Read from
    // the module on COM60 at 12:30:05"); empty: no such line.
    QString origin;
    QDateTime made = QDateTime::currentDateTime();
    std::optional<ModuleState> state;
    // The GPRS password as it is; otherwise only whether one is set.
    bool showPassword = false;
};

// The report as rich text for a QTextDocument.
QString html(const Contents &contents);

struct Written
{
    QString error; // empty when written
    int pages = 0;
    bool ok() const { return error.isEmpty(); }
};

// The report as A4 pages numbered "Page N of M".
QByteArray pdf(const Contents &contents, int *pages = nullptr);

// The PDF through Files::save.
Written writePdf(const QString &path, const Contents &contents);

} // namespace Report
