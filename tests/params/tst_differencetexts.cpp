// Differences in words: the rows the differences window lists and the lines
// the command line prints come from one rendering, value by value.

#include "params/TransferTexts.h"

#include <QTest>

namespace {

ImageBytes erased()
{
    ImageBytes image;
    image.fill(0xFF);
    return image;
}

} // namespace

class TestDifferenceTexts : public QObject
{
    Q_OBJECT

private slots:
    void valuesPerEncoding_data();
    void valuesPerEncoding();
    void bytesOutsideEveryField();
    void storedDifferentlySameValue();
    void sameValueRowsComeLast();
    void passwordIsMasked_data();
    void passwordIsMasked();
};

void TestDifferenceTexts::valuesPerEncoding_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value"); // as set takes it, stored in the second image
    QTest::addColumn<QString>("before"); // the erased image's value as shown
    QTest::addColumn<QString>("after");
    QTest::newRow("Digits16") << "USER1" << "0612345678" << "(none)" << "0612345678";
    QTest::newRow("EventCode") << "Event1" << "12*4" << "(none)" << "\"12*4\"";
    QTest::newRow("SmsText") << "SMS1" << "Alarm $" << "\"\"" << "\"Alarm $\"";
    QTest::newRow("GprsText") << "APN" << "internet" << "\"\"" << "\"internet\"";
    QTest::newRow("ByteValue") << "REL1" << "12" << "255" << "12";
    QTest::newRow("FlagByte") << "GPRSmode" << "on" << "off" << "on";
    QTest::newRow("IPv4Address") << "IPAddress1" << "10.0.0.1" << "255.255.255.255" << "10.0.0.1";
}

void TestDifferenceTexts::valuesPerEncoding()
{
    QFETCH(QString, name);
    QFETCH(QString, value);
    QFETCH(QString, before);
    QFETCH(QString, after);
    const EEAddr::Field &f = *FieldModel::findField(name);
    const ImageBytes a = erased();
    ImageBytes b = a;
    FieldModel::store(b, f, FieldModel::parseValue(f, value).value);
    const QList<DifferenceRow> rows = differenceRows(FieldModel::DiffImages(a, b), a, b);
    QCOMPARE(rows.size(), 1);
    QVERIFY(!rows[0].sameValue);
    QCOMPARE(rows[0].cells(), (QStringList{FieldModel::pageCaption(f.page), FieldModel::labelOf(f), name, before, after}));
    QCOMPARE(differenceLines(rows), QStringList{name + " (" + FieldModel::labelOf(f) + "): " + before + " -> " + after});
}

void TestDifferenceTexts::bytesOutsideEveryField()
{
    ImageBytes a = erased(), b = erased();
    a[1000] = 0x0A;
    b[1001] = 0x1B;
    const FieldModel::ImageDifferences d = FieldModel::DiffImages(a, b);
    const QList<DifferenceRow> rows = differenceRows(d, a, b);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].cells(), (QStringList{QString(), "bytes 1000 to 1001", QString(), "0A FF", "FF 1B"}));
    QCOMPARE(differenceLines(rows, "module", "file"),
             (QStringList{"module -> file", "bytes 1000 to 1001 (outside every field): 0A FF -> FF 1B"}));
    // The JSON document keeps its shape: hexadecimal digits, no blanks.
    QVERIFY(differencesJson(d, a, b).contains(R"({"first": 1000, "last": 1001, "a": "0aff", "b": "ff1b"})"));
}

void TestDifferenceTexts::storedDifferentlySameValue()
{
    // Each field stored again with the value it reads as: where that changes
    // its bytes, the field model says the value is the same.
    const ImageBytes a = erased();
    int same = 0;
    for (const EEAddr::Field &f : FieldModel::namedFields()) {
        ImageBytes b = a;
        FieldModel::store(b, f, FieldModel::Decode(a, f));
        const FieldModel::ImageDifferences d = FieldModel::DiffImages(a, b);
        if (d.isEmpty())
            continue;
        QCOMPARE(d.fields.size(), 1);
        QVERIFY2(d.fields[0].sameValue(), qPrintable(FieldModel::nameOf(f)));
        QCOMPARE(d.valueCount(), 0);
        ++same;
    }
    QVERIFY(same > 0);
}

void TestDifferenceTexts::sameValueRowsComeLast()
{
    const ImageBytes a = erased();
    ImageBytes b = a;
    const EEAddr::Field &prefix = *FieldModel::findField(u"NETPREFIX");
    FieldModel::store(b, prefix, QString()); // erased against stored empty
    FieldModel::store(b, *FieldModel::findField(u"USER1"), QStringLiteral("0612345678"));
    b[1000] = 0x01;
    const FieldModel::ImageDifferences d = FieldModel::DiffImages(a, b);
    QCOMPARE(d.count(), 3); // every differing byte counts for the exit status
    QCOMPARE(differenceCountText(d), QStringLiteral("2 fields differ (1 stored differently)"));
    // The site book counts them as the outcome line does.
    WriteOutcome verify;
    verify.ending = WriteEnding::VerifyDiffered;
    verify.result.outcome = TransferOutcome::Failed;
    verify.differences = d;
    QCOMPARE(outcomeText(verify), QStringLiteral(" Verify: 2 fields differ (1 stored differently)."));
    ExchangeRecord stage;
    stage.operation = Operation::Verify;
    stage.result = verify.result;
    stage.differences = d;
    QCOMPARE(siteExchangeText(stage), QStringLiteral("2 fields differ (1 stored differently)"));
    const QString label = FieldModel::labelOf(prefix);
    const QStringList lines = differenceLines(differenceRows(d, a, b));
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines[0].startsWith(QStringLiteral("USER1 (")));
    QCOMPARE(lines[1], QStringLiteral("byte 1000 (outside every field): FF -> 01"));
    QCOMPARE(lines[2], QStringLiteral("stored differently, same value"));
    QCOMPARE(lines[3], "NETPREFIX (" + label + "), bytes 85 to 93: FF FF FF FF FF FF FF FF FF -> 00 00 00 00 00 00 00 00 00");
}

void TestDifferenceTexts::passwordIsMasked_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("json"); // the field's "a" and "b" in the diff document
    QTest::newRow("set") << "" << "s3cretpw" << R"(PWD (Password): "" -> ********)" << R"("a": "", "b": "********")";
    QTest::newRow("changed") << "old-pw" << "s3cretpw" << "PWD (Password): ******** -> changed"
                             << R"("a": "********", "b": "changed")";
    QTest::newRow("removed") << "s3cretpw" << "" << R"(PWD (Password): ******** -> "")" << R"("a": "********", "b": "")";
}

void TestDifferenceTexts::passwordIsMasked()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    const EEAddr::Field &pwd = *FieldModel::findField(u"PWD");
    ImageBytes a = erased(), b = erased();
    FieldModel::store(a, pwd, before);
    FieldModel::store(b, pwd, after);
    const FieldModel::ImageDifferences d = FieldModel::DiffImages(a, b);
    const QString secret = QStringLiteral("s3cretpw");
    QFETCH(QString, line);
    QCOMPARE(differenceLines(differenceRows(d, a, b)), QStringList{line});
    // The rows and the document mask by the same rule.
    QFETCH(QString, json);
    QVERIFY2(differencesJson(d, a, b).contains(json.toUtf8()), differencesJson(d, a, b).constData());
    QVERIFY(!differencesJson(d, a, b).contains(secret.toUtf8()));
    QVERIFY(!differencesJson(d, a, b).contains(secret.toUtf8().toHex()));
    QCOMPARE(shownValue(pwd, FieldModel::Decode(b, pwd)), after.isEmpty() ? "\"\"" : "********");
    // Asked for, it shows.
    QVERIFY(differenceLines(differenceRows(d, a, b, FieldModel::Secrets::Shown)).constFirst().contains(secret));
    QVERIFY(differencesJson(d, a, b, FieldModel::Secrets::Shown).contains(secret.toUtf8()));
}

QTEST_GUILESS_MAIN(TestDifferenceTexts)
#include "tst_differencetexts.moc"
