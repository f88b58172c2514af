// The editor's typing rules on plain grid data, and the address text form.

#include "editor/GridRules.h"
#include "editor/IPv4Text.h"

#include <QTest>

using GridRules::GridState;

namespace {

// "12_4" -> cells "1", "2", "", "4".
GridState grid(const QString &cells, int cursor)
{
    GridState g;
    for (QChar c : cells)
        g.cells << (c == u'_' ? QString() : QString(c));
    g.cursor = cursor;
    return g;
}

QString show(const GridState &g)
{
    QString s;
    for (const QString &c : g.cells)
        s += c.isEmpty() ? QStringLiteral("_") : c;
    return s;
}

} // namespace

class GridRulesTest : public QObject
{
    Q_OBJECT

private slots:
    void digitGrid_data();
    void digitGrid();
    void eventGrid_data();
    void eventGrid();
    void cellGuards_data();
    void cellGuards();
    void addressFormat_data();
    void addressFormat();
    void addressApply_data();
    void addressApply();
};

void GridRulesTest::digitGrid_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("cursorAfter");

    QTest::newRow("digit fills and moves on") << "____" << 0 << "7" << "7___" << 1;
    QTest::newRow("last cell keeps the cursor") << "123_" << 3 << "4" << "1234" << 3;
    QTest::newRow("further digit replaces the last") << "1234" << 3 << "9" << "1239" << 3;
    QTest::newRow("backspace after the digits") << "123_" << 3 << "\b" << "12__" << 2;
    QTest::newRow("backspace on a digit keeps what is before") << "123_" << 2 << "\b" << "1___" << 1;
    // The last cell counts as "after the cursor" too, so a full grid loses two.
    QTest::newRow("backspace at the last cell") << "1234" << 3 << "\b" << "12__" << 2;
    for (const char *other : {"*", "#", "+", "a", " ", "\r"})
        QTest::newRow(qPrintable(QStringLiteral("ignored %1").arg(QString::fromLatin1(other).toHtmlEscaped())))
            << "12__" << 2 << other << "12__" << 2;
}

void GridRulesTest::digitGrid()
{
    QFETCH(QString, before);
    QFETCH(int, cursor);
    QFETCH(QString, typed);
    QFETCH(QString, after);
    QFETCH(int, cursorAfter);

    GridState g = grid(before, cursor);
    for (QChar c : typed)
        GridRules::DigitGridKeyPress(g, c);
    QCOMPARE(show(g), after);
    QCOMPARE(g.cursor, cursorAfter);
}

void GridRulesTest::eventGrid_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("cursorAfter");

    QTest::newRow("small letter shown capital") << "____" << 0 << "b" << "B___" << 1;
    QTest::newRow("letters beyond F ignored") << "____" << 0 << "gG" << "____" << 0;
    QTest::newRow("hash ignored") << "____" << 0 << "#" << "____" << 0;
    QTest::newRow("star and digits") << "____" << 0 << "*5*0" << "*5*0" << 3;
    QTest::newRow("fifth symbol replaces the fourth") << "____" << 0 << "12345" << "1235" << 3;
    QTest::newRow("backspace") << "12*_" << 3 << "\b" << "12__" << 2;
    QTest::newRow("blank cells from load are emptied") << "    " << 2 << "\b" << " ___" << 1;
    QTest::newRow("accented letter ignored") << "____" << 0 << QString(QChar(0xE1)) << "____" << 0;
}

void GridRulesTest::eventGrid()
{
    QFETCH(QString, before);
    QFETCH(int, cursor);
    QFETCH(QString, typed);
    QFETCH(QString, after);
    QFETCH(int, cursorAfter);

    GridState g = grid(before, cursor);
    for (QChar c : typed)
        GridRules::EventGridKeyPress(g, c);
    QCOMPARE(show(g), after);
    QCOMPARE(g.cursor, cursorAfter);
}

void GridRulesTest::cellGuards_data()
{
    QTest::addColumn<bool>("eventGrid");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("kept");

    QTest::newRow("digit: first digit kept") << false << "12" << "1";
    QTest::newRow("digit: leading letter empties") << false << "a1" << "";
    QTest::newRow("digit: star empties") << false << "*" << "";
    QTest::newRow("digit: empty stays empty") << false << "" << "";
    QTest::newRow("event: letter upper-cased") << true << "b7" << "B";
    QTest::newRow("event: star kept") << true << "*x" << "*";
    QTest::newRow("event: digit kept") << true << "90" << "9";
    QTest::newRow("event: G empties") << true << "g" << "";
    QTest::newRow("event: blank empties") << true << " " << "";
}

void GridRulesTest::cellGuards()
{
    QFETCH(bool, eventGrid);
    QFETCH(QString, value);
    QFETCH(QString, kept);
    QCOMPARE(eventGrid ? GridRules::eventCellValidate(value) : GridRules::digitCellValidate(value), kept);
}

void GridRulesTest::addressFormat_data()
{
    QTest::addColumn<QList<int>>("octets"); // -1: blank field
    QTest::addColumn<QString>("text");

    QTest::newRow("blank control") << QList<int>{-1, -1, -1, -1} << "";
    QTest::newRow("full address") << QList<int>{192, 168, 0, 1} << "192.168.0.1";
    QTest::newRow("blank field among filled reads 0") << QList<int>{10, -1, 3, 255} << "10.0.3.255";
}

void GridRulesTest::addressFormat()
{
    QFETCH(QList<int>, octets);
    QFETCH(QString, text);
    IPv4Text::Octets o;
    for (std::size_t i = 0; i < 4; ++i)
        if (octets[static_cast<qsizetype>(i)] >= 0)
            o[i] = octets[static_cast<qsizetype>(i)];
    QCOMPARE(IPv4Text::format(o), text);
}

void GridRulesTest::addressApply_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("result"); // starting from 1.2.3.4

    QTest::newRow("four parts") << "10.20.30.40" << "10.20.30.40";
    QTest::newRow("two parts set two octets") << "10.20" << "10.20.3.4";
    QTest::newRow("one part") << "9" << "9.2.3.4";
    QTest::newRow("above 255 clears") << "1.2.3.256" << "";
    QTest::newRow("letters clear") << "a.b" << "";
    QTest::newRow("empty part clears") << "1..3.4" << "";
    QTest::newRow("empty text clears") << "" << "";
    QTest::newRow("minus clears") << "-1.2.3.4" << "";
    QTest::newRow("fifth part ignored") << "5.6.7.8.9" << "5.6.7.8";
}

void GridRulesTest::addressApply()
{
    QFETCH(QString, text);
    QFETCH(QString, result);
    IPv4Text::Octets o{1, 2, 3, 4};
    IPv4Text::apply(o, text);
    QCOMPARE(IPv4Text::format(o), result);
}

QTEST_GUILESS_MAIN(GridRulesTest)
#include "tst_gridrules.moc"
