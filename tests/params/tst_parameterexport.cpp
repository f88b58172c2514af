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

    void templateChangesOnlyTheFieldsItNames()
    {
        QRandomGenerator random(16);
        const ImageBytes base = randomImage(random);
        const ParameterExport::Imported result = ParameterExport::importImage(R"({"format": "quelmar-parameters",
            "version": 1, "fields": {"APN": "internet", "SMS1": "Riasztás $", "Event1": "12*4"}})", base);
        QVERIFY2(result.ok(), qPrintable(result.errors.join(u'\n')));
        const FieldModel::ImageDifferences d = FieldModel::DiffImages(base, result.image);
        QCOMPARE(d.count(), 3);
        for (const FieldModel::FieldDifference &f : d.fields)
            QCOMPARE(FieldModel::formatValue(f.b),
                     QJsonDocument::fromJson(R"({"APN": "internet", "SMS1": "Riasztás $", "Event1": "12*4"})")
                         .object().value(FieldModel::nameOf(*f.field)).toString());
        // Without a base or an image the start is an erased image.
        const ImageBytes erased = ParameterExport::importImage(R"({"format": "quelmar-parameters", "version": 1})").image;
        QVERIFY(std::all_of(erased.begin(), erased.end(), [](std::uint8_t b) { return b == 0xFF; }));
    }

    void brokenDocumentsNameWhatIsWrong_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("error");
        const QByteArray head = R"("format": "quelmar-parameters", "version": 1)";
        QTest::newRow("not JSON") << QByteArray("{\"format\": ") << "not JSON";
        QTest::newRow("format") << QByteArray(R"({"format": "x", "version": 1})") << "\"format\"";
        QTest::newRow("unknown key") << "{" + head + R"(, "feilds": {}})" << "\"feilds\"";
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
