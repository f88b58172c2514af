// The demo's sample parameter set, as written at build time: what a first
// read from the demo simulator puts into the editor.

#include "params/EEAddr.h"
#include "params/Encodings.h"
#include "params/ParameterFile.h"

#include <QFile>
#include <QtTest>

namespace A = EEAddr;
using namespace Encodings;

class TestDemoImage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fields_data();
    void fields();

private:
    QString number(int offset) const { return digitsOf(Digits16::Read(fieldBytes(m_image, offset, A::Digits16Length))); }
    QString sms(int row) const { return SmsText::Read(fieldBytes(m_image, A::SmsOffsets[row], A::SmsTextLength)); }
    QString event(int row) const
    {
        return EventCode::Read(fieldBytes(m_image, A::EventOffsets[row], A::EventCodeLength));
    }
    int byte(int offset) const { return ByteValue::Read(fieldBytes(m_image, offset, A::ByteValueLength)); }

    ImageBytes m_image{};
};

void TestDemoImage::initTestCase()
{
    QFile file(QStringLiteral(QUELMAR_DEMO_IMAGE));
    QVERIFY2(file.open(QIODevice::ReadOnly), QUELMAR_DEMO_IMAGE);
    QCOMPARE(file.size(), qint64(A::ImageSize));
    const ParameterFile::Result result = ParameterFile::load(file.fileName(), m_image);
    QVERIFY2(result.ok, qPrintable(result.message));
}

void TestDemoImage::fields_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("USER1") << number(A::USER1) << "36301234567";
    QTest::newRow("USER2") << number(A::USER2) << "36209876543";
    QTest::newRow("SMSFW1") << number(A::SMSFW1) << "36705551234";
    QTest::newRow("SMSFW2") << number(A::SMSFW2) << "";
    QTest::newRow("Event1") << event(0) << "1130";
    QTest::newRow("SMS1") << sms(0) << "Betörés: $";
    QTest::newRow("Event2") << event(1) << "1110";
    QTest::newRow("SMS2") << sms(1) << "Tűzjelzés: $";
    QTest::newRow("Event3") << event(2) << "1301";
    QTest::newRow("SMS3") << sms(2) << "Hálózati hiba: $";
    QTest::newRow("Event4") << event(3) << "    ";
    QTest::newRow("SMS4") << sms(3) << "";
    QTest::newRow("CallFilter")
        << QString::number(FlagByte::Read(fieldBytes(m_image, A::CallFilter, A::FlagLength), EEAddr::FlagRead::NonZero))
        << "1";
    QTest::newRow("PhnrEnabled1") << number(A::PhnrEnabled1) << "36301234567";
    QTest::newRow("PhnrEnabled2") << number(A::PhnrEnabled2) << "36209876543";
    QTest::newRow("PhnrEnabled3") << number(A::PhnrEnabled3) << "";
    QTest::newRow("REL1") << QString::number(byte(A::REL1)) << "5";
    QTest::newRow("CallMax") << QString::number(byte(A::CallMax)) << "0";
    QTest::newRow("APN") << GprsText::Read(fieldBytes(m_image, A::APN, 1 + A::ApnCapacity)) << "internet";
}

void TestDemoImage::fields()
{
    QFETCH(QString, value);
    QFETCH(QString, expected);
    QCOMPARE(value, expected);
}

QTEST_GUILESS_MAIN(TestDemoImage)
#include "tst_demoimage.moc"
