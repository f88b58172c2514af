// The commissioning report, written into a temporary folder and read back
// with pdftotext, as a person reading the PDF would see it.

#include "params/FieldModel.h"
#include "report/Report.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void set(ImageBytes &image, const char *name, const FieldModel::FieldValue &value)
{
    const EEAddr::Field *field = FieldModel::findField(QString::fromLatin1(name));
    QVERIFY2(field, name);
    FieldModel::store(image, *field, value);
}

// A site's set: a known number and an SMS text with accented letters.
ImageBytes siteImage(bool longTexts)
{
    ImageBytes image;
    image.fill(0xFF);
    set(image, "USER1", QStringLiteral("0612345678"));
    set(image, "SMS1", QStringLiteral("Riasztás bejárat"));
    set(image, "APN", QStringLiteral("internet"));
    if (longTexts)
        for (const EEAddr::Field &f : FieldModel::namedFields())
            if (f.encoding == EEAddr::Encoding::SmsText || f.encoding == EEAddr::Encoding::GprsText)
                FieldModel::store(image, f, QString(f.capacity, QLatin1Char('W')));
    return image;
}

// -layout as the page looks; -raw in the order it was drawn, so that a label
// wrapped inside its cell reads on, before its value.
QString pdfText(const QString &path, const char *mode = "-layout")
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QString::fromLatin1(mode), path, QStringLiteral("-")});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class TestReport : public QObject
{
    Q_OBJECT

private slots:
    void report_data();
    void report();
    void labelsAndValuesWhole_data();
    void labelsAndValuesWhole();
    void unwritableTarget();
    void passwordOnlyWhenAsked();
};

void TestReport::report_data()
{
    QTest::addColumn<bool>("withState");
    QTest::addColumn<bool>("longTexts");
    QTest::newRow("a file's image") << false << false;
    QTest::newRow("after a status message") << true << false;
    QTest::newRow("every text full") << true << true;
}

void TestReport::report()
{
    QFETCH(bool, withState);
    QFETCH(bool, longTexts);
    QTemporaryDir tmp;
    Report::Contents contents;
    contents.image = siteImage(longTexts);
    contents.port = QStringLiteral("COM3");
    contents.made = QDateTime(QDate(2026, 3, 14), QTime(9, 26, 53));
    contents.origin = QStringLiteral("Read from the module on COM3 at 09:26:50");
    if (withState) {
        StatusFields fields;
        fields.StatusFlags = 0x10 | 0x02; // line present, IN2 shorted
        fields.SignalLevel = 17;
        fields.CallState = 5;
        contents.state = Report::ModuleState{describeStatus(fields), QDateTime(QDate(2026, 3, 14), QTime(9, 25, 1))};
    }
    const QString path = tmp.filePath(QStringLiteral("site.pdf"));
    const Report::Written written = Report::writePdf(path, contents);
    QVERIFY2(written.ok(), qPrintable(written.error));
    QVERIFY(QFile::exists(path));

    const QString text = pdfText(path);
    QVERIFY2(!text.isEmpty(), "pdftotext found no text");
    QVERIFY(text.contains(QLatin1String(Report::Title)));
    QVERIFY(text.contains(QStringLiteral("2026-03-14 09:26:53")));
    QVERIFY(text.contains(QStringLiteral("Read from the module on COM3 at 09:26:50")));
    QVERIFY(text.contains(QStringLiteral("COM3")));
    QVERIFY(text.contains(QStringLiteral("0612345678")));
    if (!longTexts)
        QVERIFY(text.contains(QStringLiteral("Riasztás bejárat")));
    for (EEAddr::Page page : {EEAddr::Page::Phone, EEAddr::Page::Sms, EEAddr::Page::CallFilter, EEAddr::Page::Output,
                              EEAddr::Page::Bell103, EEAddr::Page::Gprs, EEAddr::Page::Tell})
        QVERIFY2(text.contains(FieldModel::pageCaption(page)), qPrintable(FieldModel::pageCaption(page)));
    QVERIFY(text.contains(QStringLiteral("Primary User")));
    QCOMPARE(text.contains(QStringLiteral("Module state at 2026-03-14 09:25:01")), withState);
    if (withState) {
        QVERIFY(text.contains(QStringLiteral("IN2 Short")));
        QVERIFY(text.contains(QStringLiteral("Line Exists")));
        QVERIFY(text.contains(QStringLiteral("Incoming call in progress. 5")));
        QVERIFY(text.contains(QStringLiteral("17 of 31")));
    }
    // pdftotext ends every page with a form feed; each page says which of how many it is.
    QCOMPARE(int(text.count(QLatin1Char('\f'))), written.pages);
    const QStringList pages = text.split(QLatin1Char('\f'), Qt::SkipEmptyParts);
    QCOMPARE(pages.size(), written.pages);
    for (int k = 0; k < written.pages; ++k)
        QVERIFY2(pages.at(k).contains(QStringLiteral("Page %1 of %2").arg(k + 1).arg(written.pages)),
                 qPrintable(QString::number(k + 1)));
    // The handover lines close the last page.
    const QString last = pages.constLast();
    for (const char *word : {"Handed over", "Installer", "Customer", "Name", "Signature", "Date"})
        QVERIFY2(last.contains(QLatin1String(word)), word);
}

void TestReport::labelsAndValuesWhole_data()
{
    QTest::addColumn<bool>("longTexts");
    QTest::newRow("a site's set") << false;
    QTest::newRow("every text full") << true;
}

void TestReport::labelsAndValuesWhole()
{
    QFETCH(bool, longTexts);
    QTemporaryDir tmp;
    Report::Contents contents;
    contents.image = siteImage(longTexts);
    set(contents.image, "REL1", 254);
    const QString path = tmp.filePath(QStringLiteral("site.pdf"));
    QVERIFY(Report::writePdf(path, contents).ok());
    // Lines joined by one blank: a label wrapped between words still reads
    // whole, one broken inside a word or number does not.
    // Compatibility forms fold the font's ligatures ("fi") back into letters.
    const QString text = pdfText(path, "-raw")
                             .normalized(QString::NormalizationForm_KC)
                             .replace(QChar(0xA0), QLatin1Char(' '))
                             .simplified();
    QVERIFY(!text.isEmpty());
    for (const EEAddr::Field &f : FieldModel::namedFields()) {
        const QString label = FieldModel::labelOf(f).simplified();
        QVERIFY2(text.contains(label), qPrintable(label));
        const FieldModel::FieldValue value = FieldModel::Decode(contents.image, f);
        const QString shown = (FieldModel::isSecret(f) ? FieldModel::secretState(value) : FieldModel::formatValue(value))
                                  .simplified();
        QVERIFY2(text.contains(shown), qPrintable(label + QStringLiteral(": ") + shown));
    }
    QVERIFY(text.contains(QStringLiteral("1. Controllable Output Timing (0-254 sec, 255=bistable) 254")));
}

void TestReport::unwritableTarget()
{
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("missing/site.pdf"));
    Report::Contents contents;
    const Report::Written written = Report::writePdf(path, contents);
    QVERIFY(!written.ok());
    QVERIFY(written.error.startsWith(path));
    QVERIFY(!QFile::exists(path));
}

void TestReport::passwordOnlyWhenAsked()
{
    QTemporaryDir tmp;
    Report::Contents contents;
    contents.image = siteImage(false);
    set(contents.image, "PWD", QStringLiteral("s3cretpw"));
    const QString path = tmp.filePath(QStringLiteral("site.pdf"));
    for (const bool asked : {false, true}) {
        contents.showPassword = asked;
        QVERIFY(Report::writePdf(path, contents).ok());
        const QString text = pdfText(path);
        QCOMPARE(text.contains(QStringLiteral("s3cretpw")), asked);
        QCOMPARE(QRegularExpression(QStringLiteral("Password\\s+set\\n")).match(text).hasMatch(), !asked);
    }
    set(contents.image, "PWD", QString());
    contents.showPassword = false;
    QVERIFY(Report::html(contents).contains(QStringLiteral("not&nbsp;set")));
}

QTEST_MAIN(TestReport)
#include "tst_report.moc"
