// The field model: the table's names and labels, the validation rules, the
// text form, the differences of two images, and agreement with what the
// settings window stores.

#include "common/WorkingFolder.h"
#include "editor/Settings.h"
#include "params/FieldModel.h"
#include "params/ParameterImage.h"

#include <QRandomGenerator>
#include <QTest>

#include <cstring>

using namespace FieldModel;

namespace {

const EEAddr::Field &F(const char *name)
{
    const EEAddr::Field *f = findField(QString::fromLatin1(name));
    Q_ASSERT(f);
    return *f;
}

ImageBytes erasedImage()
{
    ImageBytes image;
    image.fill(0xFF);
    return image;
}

void put(ImageBytes &image, int offset, const QByteArray &bytes)
{
    std::memcpy(image.data() + offset, bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace

class FieldModelTest : public QObject
{
    Q_OBJECT

private slots:
    void table()
    {
        QCOMPARE(namedFields().size(), std::size_t(60));
        QVERIFY(!findField(u"Reserved1"));
        QCOMPARE(labelOf(F("USER1")), QStringLiteral("Primary User   (#USER1)"));
        QCOMPARE(pageCaption(F("CallMax").page), QStringLiteral("Call Filter"));
        QCOMPARE(pageCaption(F("CentralID").page), QStringLiteral("TELL"));
        for (const EEAddr::Field &f : namedFields())
            QVERIFY2(!f.control.empty() && !f.label.empty(), f.name.data());
    }

    void validation_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        const auto row = [](const char *tag, const char *field, const QString &text, const char *message) {
            QTest::newRow(tag) << field << text << QString::fromUtf8(message);
        };
        row("number", "USER1", "0612345678", "");
        row("17 digits", "USER1", "12345678901234567", "USER1: digits only, at most 16");
        row("not a digit", "USER1", "06-1234", "USER1: digits only, at most 16");
        row("9-digit prefix", "NETPREFIX", "123456789", "NETPREFIX: digits only, at most 8");
        row("code", "Event3", "12*4", "");
        row("no code", "Event3", "", "");
        row("three symbols", "Event3", "12*", "Event3: four symbols 0-9 or *");
        row("letter in code", "Event3", "12A4", "Event3: four symbols 0-9 or *");
        row("call limit", "CallMax", "25", "");
        row("above spinner", "CallMax", "26", "CallMax: 0 to 25");
        row("above byte", "REL1", "256", "REL1: 0 to 255");
        row("negative", "REL1", "-1", "REL1: 0 to 255");
        row("signed limit", "Port1", "32768", "Port1: 0 to 32767");
        row("bell flags", "BELLFlags", "4", "BELLFlags: 0 to 3");
        row("not a number", "CallMax", "ten", "CallMax: a number is expected");
        row("flag", "CallFilter", "off", "");
        row("not a flag", "CallFilter", "maybe", "CallFilter: on or off is expected");
        row("address", "IPAddress1", "10.0.0.1", "");
        row("octet 256", "IPAddress1", "10.0.0.256", "IPAddress1: four octets 0 to 255, as 192.168.0.1");
        row("three octets", "IPAddress1", "10.0.1", "IPAddress1: four octets 0 to 255, as 192.168.0.1");
        row("long APN", "APN", QString(38, u'a'), "APN: at most 37 characters");
        row("blank in APN", "APN", "my apn", "APN: no blanks or double quotes");
        row("Hungarian", "SMS2", QString::fromUtf8("árvíztűrő tükörfúrógép"), "");
        row("41 characters", "SMS1", QString(41, u'x'), "SMS1: at most 40 characters");
        row("not in code page", "SMS2", QString::fromUtf8("ok ✓"), "SMS2: '✓' cannot be stored in Windows-1250");
        row("outside the plane", "SMS2", QString::fromUtf8("😀"), "SMS2: '😀' cannot be stored in Windows-1250");
    }

    void validation()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, message);
        const EEAddr::Field &f = *findField(field);
        const Parsed parsed = parseValue(f, text);
        QCOMPARE(parsed.error.isEmpty() ? validate(f, parsed.value) : parsed.error, message);
    }

    void wrongKind()
    {
        QCOMPARE(validate(F("USER1"), 5), QStringLiteral("USER1: a text is expected"));
        QCOMPARE(validate(F("CallMax"), QStringLiteral("5")), QStringLiteral("CallMax: a number is expected"));
        QCOMPARE(validate(F("IPAddress1"), true), QStringLiteral("IPAddress1: an IPv4 address is expected"));
    }

    // What formatValue gives parses back to the same value, on any image.
    void textFormRoundTrip()
    {
        QRandomGenerator rng(14);
        for (int n = 0; n < 200; ++n) {
            ImageBytes image;
            for (auto &b : image)
                b = static_cast<std::uint8_t>(rng.bounded(256));
            for (const EEAddr::Field &f : namedFields()) {
                const FieldValue v = Decode(image, f);
                const Parsed back = parseValue(f, formatValue(v));
                QVERIFY2(back.error.isEmpty() && back.value == v, f.name.data());
            }
        }
    }

    void diffOneField()
    {
        const ImageBytes a = erasedImage();
        ImageBytes b = a;
        put(b, EEAddr::USER1, QByteArray("\x02" "06", 3));
        const ImageDifferences d = DiffImages(a, b);
        QCOMPARE(d.count(), 1);
        QCOMPARE(d.fields[0].field->name, std::string_view("USER1"));
        QCOMPARE(d.fields[0].a, FieldValue(QString()));
        QCOMPARE(d.fields[0].b, FieldValue(QStringLiteral("06")));
    }

    // Bytes outside every named field, the reserved ones included, come as runs.
    void diffUncoveredRuns()
    {
        const ImageBytes a = erasedImage();
        ImageBytes b = a;
        put(b, 94, QByteArray(8, '\0'));
        put(b, 959, QByteArray(1, '\0'));
        put(b, EEAddr::Reserved1, QByteArray(2, '\0'));
        const ImageDifferences d = DiffImages(a, b);
        QVERIFY(d.fields.isEmpty());
        QStringList runs;
        for (const ByteRange &r : d.bytes)
            runs << describeRange(r);
        QCOMPARE(runs, QStringList({"bytes 94 to 101", "byte 959", "bytes 968 to 969"}));
    }

    void diffRange()
    {
        const ImageBytes a = erasedImage();
        ImageBytes b = a;
        b[EEAddr::PanelID + 1] = 0;
        b[1030] = 0;
        QVERIFY(DiffImages(a, b, {0, EEAddr::ModuleBytes - 1}).isEmpty());
        const ImageDifferences whole = DiffImages(a, b);
        QCOMPARE(whole.fields.size(), 1);
        QCOMPARE(whole.fields[0].b, FieldValue(0xFF00));
        QCOMPARE(describeRange(whole.bytes.value(0)), QStringLiteral("byte 1030"));
    }

    // Bytes a read never looks at still make the field differ.
    void diffSameValue()
    {
        const ImageBytes a = erasedImage();
        ImageBytes b = a;
        b[EEAddr::USER1] = 0xFE;
        b[EEAddr::CallFilter] = 7;
        const ImageDifferences d = DiffImages(a, b);
        QCOMPARE(d.fields.size(), 2);
        for (const FieldDifference &diff : d.fields)
            QCOMPARE(diff.a, diff.b);
    }

    // The window stores each field as Encode(Decode(...)) does, but for the
    // spinners, which hold the value (16 bits taken as signed) within their range.
    void agreesWithEditor_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        ImageBytes tricky = erasedImage();
        put(tricky, EEAddr::USER1, QByteArray("\x03" "1A3", 4));
        put(tricky, EEAddr::Event1, QByteArray("\xB1\x23", 2));
        put(tricky, EEAddr::SMS1, QByteArray("\x05" "\xDB\xD5" "a  ", 6));
        put(tricky, EEAddr::APN, QByteArray("\x06" "my \"ap", 7));
        put(tricky, EEAddr::Port1, QByteArray("\x80\x00", 2));
        put(tricky, EEAddr::CallMax, QByteArray("\x10", 1));
        put(tricky, EEAddr::BELLFlags, QByteArray("\xFD", 1));
        ImageBytes zero{};
        const auto asBytes = [](const ImageBytes &i) { return QByteArray(reinterpret_cast<const char *>(i.data()), int(i.size())); };
        QTest::newRow("erased") << asBytes(erasedImage());
        QTest::newRow("zero") << asBytes(zero);
        QTest::newRow("tricky") << asBytes(tricky);
    }

    void agreesWithEditor()
    {
        QFETCH(QByteArray, bytes);
        ImageBytes image;
        std::memcpy(image.data(), bytes.constData(), image.size());
        const WorkingFolder folder;
        TSettingsForm form;
        form.LoadSettings(image);
        ImageBytes stored = image;
        form.StoreSettings(stored);
        for (const EEAddr::Field &f : namedFields()) {
            FieldValue v = Decode(image, f);
            if (f.maximum > 0 && f.encoding != EEAddr::Encoding::FlagBits) {
                const int n = std::get<int>(v);
                v = std::clamp(f.encoding == EEAddr::Encoding::Word16BE ? int(std::int16_t(n)) : n, 0, f.maximum);
            }
            const auto got = fieldBytes(stored, f);
            QCOMPARE(QByteArray(reinterpret_cast<const char *>(got.data()), int(got.size())), Encode(f, v));
        }
    }
};

QTEST_MAIN(FieldModelTest)
#include "tst_fieldmodel.moc"
