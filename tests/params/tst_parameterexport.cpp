// The export format: random images come back byte for byte, a template
// changes only the fields it names, and a broken document names what is wrong.

#include "params/ParameterExport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTest>

namespace {

ImageBytes randomImage(QRandomGenerator &random)
{
    ImageBytes image;
    for (std::uint8_t &b : image)
        b = std::uint8_t(random.bounded(256));
    return image;
}

} // namespace

class TestParameterExport : public QObject
{
    Q_OBJECT

private slots:
    void randomImagesComeBackByteForByte()
    {
        QRandomGenerator random(1511);
        for (int i = 0; i < 300; ++i) {
            ImageBytes image = randomImage(random);
            // Every few images, erased or cleared runs as real files have them.
            if (i % 3 == 1)
                std::fill_n(image.begin() + random.bounded(900), 100, std::uint8_t(i % 2 ? 0xFF : 0x00));
            const ParameterExport::Imported back = ParameterExport::importImage(ParameterExport::exportImage(image));
            QVERIFY2(back.ok(), qPrintable(back.errors.join(u'\n')));
            QVERIFY2(back.image == image, qPrintable(QStringLiteral("image %1").arg(i)));
        }
    }

    void exportHoldsEveryNamedFieldAsTheEditorShowsIt()
    {
        ImageBytes erased;
        erased.fill(0xFF);
        const QJsonObject root = QJsonDocument::fromJson(ParameterExport::exportImage(erased)).object();
        QCOMPARE(root.value(u"format").toString(), QStringLiteral("quelmar-parameters"));
        QCOMPARE(root.value(u"version").toInt(), 1);
        QCOMPARE(root.value(u"image").toString(), QString(2176, u'f'));
        const QJsonObject fields = root.value(u"fields").toObject();
        QCOMPARE(fields.size(), qsizetype(FieldModel::namedFields().size()));
        QCOMPARE(fields.value(u"USER1"), QJsonValue(QString()));
        QCOMPARE(fields.value(u"PanelID"), QJsonValue(65535));
        QCOMPARE(fields.value(u"IPAddress1"), QJsonValue(QStringLiteral("255.255.255.255")));
        QCOMPARE(fields.value(u"BELLFlags"), QJsonValue(3));
        QVERIFY(fields.value(u"CallFilter").isBool());
    }

    void templateChangesOnlyTheFieldsItNames()
    {
        QRandomGenerator random(16);
        const ImageBytes base = randomImage(random);
        const QByteArray json = R"({"format": "quelmar-parameters", "version": 1,
            "fields": {"APN": "internet", "SMS1": "Riasztás $", "Event1": "12*4"}})";
        const ParameterExport::Imported result = ParameterExport::importImage(json, base);
        QVERIFY2(result.ok(), qPrintable(result.errors.join(u'\n')));
        const QStringList named{QStringLiteral("APN"), QStringLiteral("SMS1"), QStringLiteral("Event1")};
        const FieldModel::ImageDifferences d = FieldModel::DiffImages(base, result.image);
        QVERIFY(d.bytes.isEmpty());
        for (const FieldModel::FieldDifference &f : d.fields)
            QVERIFY2(named.contains(FieldModel::nameOf(*f.field)), qPrintable(FieldModel::nameOf(*f.field)));
        QCOMPARE(FieldModel::Decode(result.image, *FieldModel::findField(u"SMS1")),
                 FieldModel::FieldValue(QStringLiteral("Riasztás $")));
        QCOMPARE(FieldModel::Decode(result.image, *FieldModel::findField(u"Event1")),
                 FieldModel::FieldValue(QStringLiteral("12*4")));
    }

    void templateWithoutImageStartsErased()
    {
        const ParameterExport::Imported result =
            ParameterExport::importImage(R"({"format": "quelmar-parameters", "version": 1})");
        QVERIFY(result.ok());
        QVERIFY(std::all_of(result.image.begin(), result.image.end(), [](std::uint8_t b) { return b == 0xFF; }));
    }

    void brokenDocumentsNameWhatIsWrong_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("error");
        const QByteArray head = R"("format": "quelmar-parameters", "version": 1)";
        QTest::newRow("not JSON") << QByteArray("{\"format\": ") << "not JSON";
        QTest::newRow("array") << QByteArray("[1]") << "an object is expected";
        QTest::newRow("format") << QByteArray(R"({"format": "x", "version": 1})") << "\"format\"";
        QTest::newRow("version") << QByteArray(R"({"format": "quelmar-parameters", "version": 2})") << "\"version\"";
        QTest::newRow("unknown key") << "{" + head + R"(, "feilds": {}})" << "\"feilds\"";
        QTest::newRow("fields not object") << "{" + head + R"(, "fields": []})" << "\"fields\"";
        QTest::newRow("short image") << "{" + head + R"(, "image": "ff"})" << "\"image\"";
        QTest::newRow("image not hex") << "{" + head + ", \"image\": \"" + QByteArray(2175, 'f') + "g\"}" << "\"image\"";
        QTest::newRow("unknown field") << "{" + head + R"(, "fields": {"USER9": ""}})" << "USER9: no such field";
        QTest::newRow("reserved row") << "{" + head + R"(, "fields": {"Reserved1": 0}})" << "Reserved1: no such field";
    }
    void brokenDocumentsNameWhatIsWrong()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, error);
        const ParameterExport::Imported result = ParameterExport::importImage(json);
        QVERIFY(!result.ok());
        QVERIFY2(result.errors.join(u'\n').contains(error), qPrintable(result.errors.join(u'\n')));
    }
};

QTEST_GUILESS_MAIN(TestParameterExport)
#include "tst_parameterexport.moc"
