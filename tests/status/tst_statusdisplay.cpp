// What the status window shows for the module's status bytes.

#include "status/StatusDisplay.h"

#include <QTest>

Q_DECLARE_METATYPE(Rgb)

namespace {

const Rgb Black = StatusColour::Black;
const Rgb Red = StatusColour::Red;
const Rgb Green = StatusColour::Green;
const Rgb Blue = StatusColour::Blue;

} // namespace

class TestStatusDisplay : public QObject
{
    Q_OBJECT

private slots:
    void inputsAndLine_data();
    void inputsAndLine();
    void callState_data();
    void callState();
    void signalLevel_data();
    void signalLevel();
    void oneLine();
};

void TestStatusDisplay::inputsAndLine_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<QString>("inputs"); // S: short, O: open, IN1 first
    QTest::addColumn<QString>("lineText");
    QTest::addColumn<Rgb>("lineColour");

    QTest::newRow("0x1F all set") << 0x1F << "SSSS" << "Line Exists" << Green;
    QTest::newRow("0x00 none set") << 0x00 << "OOOO" << "No Line" << Red;
    QTest::newRow("0xE0 upper bits only") << 0xE0 << "OOOO" << "No Line" << Red;
    QTest::newRow("0xFF upper bits change nothing") << 0xFF << "SSSS" << "Line Exists" << Green;
    QTest::newRow("0x05 IN1 and IN3") << 0x05 << "SOSO" << "No Line" << Red;
    QTest::newRow("0x1A IN2, IN4, line") << 0x1A << "OSOS" << "Line Exists" << Green;
}

void TestStatusDisplay::inputsAndLine()
{
    QFETCH(int, flags);
    QFETCH(QString, inputs);
    StatusFields fields;
    fields.StatusFlags = static_cast<std::uint8_t>(flags);
    const StatusDisplay d = describeStatus(fields);
    for (int k = 0; k < 4; ++k) {
        const Indicator expected = inputs[k] == QLatin1Char('S') ? Indicator{"Short", Red} : Indicator{"Open", Black};
        QVERIFY2(d.inputs[static_cast<std::size_t>(k)] == expected, qPrintable(QStringLiteral("IN%1").arg(k + 1)));
    }
    QTEST(d.line.text, "lineText");
    QTEST(d.line.colour, "lineColour");
}

void TestStatusDisplay::callState_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::addColumn<Rgb>("colour");

    QTest::newRow("0") << 0 << "Normal state. 0" << Black;
    QTest::newRow("1") << 1 << "Picked up, waiting for dial. 1" << Red;
    QTest::newRow("2") << 2 << "Outgoing call in progress. 2" << Green;
    QTest::newRow("3") << 3 << "Auto receivimg Contac-ID signals 3" << Blue;
    QTest::newRow("4") << 4 << "Incoming call, waiting for pick up. 4" << Red;
    QTest::newRow("5") << 5 << "Incoming call in progress. 5" << Green;
    QTest::newRow("6") << 6 << "Automatic call in progress. 6" << Green;
    QTest::newRow("7") << 7 << ". 7" << Black;
    QTest::newRow("8") << 8 << ". 8" << Black;
    QTest::newRow("9") << 9 << "End of call. 9" << Green;
    QTest::newRow("10") << 10 << ". 10" << Black;
    QTest::newRow("11") << 11 << "Output control call in progress 11" << Green;
    QTest::newRow("12") << 12 << ". 12" << Black;
    QTest::newRow("200") << 200 << ". 200" << Black;
    QTest::newRow("255") << 255 << ". 255" << Black;
}

void TestStatusDisplay::callState()
{
    QFETCH(int, code);
    StatusFields fields;
    fields.CallState = static_cast<std::uint8_t>(code);
    const StatusDisplay d = describeStatus(fields);
    QTEST(d.callState.text, "text");
    QTEST(d.callState.colour, "colour");
}

void TestStatusDisplay::signalLevel_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("bar");
    QTest::addColumn<QString>("number");

    QTest::newRow("0") << 0 << 0 << "0";
    QTest::newRow("17") << 17 << 17 << "17";
    QTest::newRow("31 fills the bar") << 31 << 31 << "31";
    QTest::newRow("99 fills it too") << 99 << 31 << "99";
    QTest::newRow("255") << 255 << 31 << "255";
}

void TestStatusDisplay::signalLevel()
{
    QFETCH(int, level);
    StatusFields fields;
    fields.SignalLevel = static_cast<std::uint8_t>(level);
    const StatusDisplay d = describeStatus(fields);
    QTEST(d.signalBar, "bar");
    QTEST(d.signalText, "number");
}

// The command line's status line and the report's inputs row use the same words.
void TestStatusDisplay::oneLine()
{
    StatusFields fields;
    fields.StatusFlags = 0x14;
    fields.SignalLevel = 23;
    const StatusDisplay d = describeStatus(fields);
    QCOMPARE(inputsText(d), QStringLiteral("IN1 Open, IN2 Open, IN3 Short, IN4 Open"));
    QCOMPARE(statusLine(d), QStringLiteral("IN1 Open, IN2 Open, IN3 Short, IN4 Open, Line Exists, call state ")
                                + d.callState.text + QStringLiteral(", signal level 23"));
}

QTEST_GUILESS_MAIN(TestStatusDisplay)
#include "tst_statusdisplay.moc"
