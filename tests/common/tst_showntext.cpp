// The one escaping of text from outside: what a terminal, a list or a report
// would act on is shown as an escape, everything else as it is.

#include "common/ShownText.h"

#include <QTest>

class TestShownText : public QObject
{
    Q_OBJECT

private slots:
    void escapes_data();
    void escapes();
};

void TestShownText::escapes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("note"); // with line breaks and tabs kept
    QTest::addColumn<QString>("quoted");
    QTest::newRow("plain") << "Győr, Fő út 1." << "Győr, Fő út 1." << "Győr, Fő út 1." << "\"Győr, Fő út 1.\"";
    QTest::newRow("terminal title and clear") << "Evil\x1b]0;pwned\a\x1b[2J" << "Evil\\u001b]0;pwned\\u0007\\u001b[2J"
                                             << "Evil\\u001b]0;pwned\\u0007\\u001b[2J"
                                             << "\"Evil\\u001b]0;pwned\\u0007\\u001b[2J\"";
    QTest::newRow("forged line") << "a\nb\tc\rd" << "a\\nb\\tc\\rd" << "a\nb\tc\\rd" << "\"a\\nb\\tc\\rd\"";
    QTest::newRow("DEL and C1 CSI") << QStringLiteral("x\x7fy") + QChar(0x9b) + QStringLiteral("2J")
                                    << "x\\u007fy\\u009b2J" << "x\\u007fy\\u009b2J" << "\"x\\u007fy\\u009b2J\"";
    QTest::newRow("right-to-left override") << QStringLiteral("invoice") + QChar(0x202e) + QStringLiteral("fdp.exe")
                                            << "invoice\\u202efdp.exe" << "invoice\\u202efdp.exe"
                                            << "\"invoice\\u202efdp.exe\"";
    QTest::newRow("isolate and line separator") << QChar(0x2066) + QStringLiteral("a") + QChar(0x2028)
                                                << "\\u2066a\\u2028" << "\\u2066a\\u2028" << "\"\\u2066a\\u2028\"";
    QTest::newRow("quotes and backslashes") << "say \"C:\\x\"" << "say \"C:\\x\"" << "say \"C:\\x\""
                                            << "\"say \\\"C:\\\\x\\\"\"";
}

void TestShownText::escapes()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QFETCH(QString, note);
    QFETCH(QString, quoted);
    QCOMPARE(ShownText::shown(text), shown);
    QCOMPARE(ShownText::shown(text, ShownText::Breaks::Kept), note);
    QCOMPARE(ShownText::quoted(text), quoted);
    QCOMPARE(ShownText::hasControl(text), shown != text);
    QCOMPARE(ShownText::hasControl(text, ShownText::Breaks::Kept), note != text);
    QCOMPARE(ShownText::shown(shown), shown); // shown once is shown for good
}

QTEST_GUILESS_MAIN(TestShownText)
#include "tst_showntext.moc"
