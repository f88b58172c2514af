// The building blocks of the module link: the cipher under the link key,
// Windows-1250 text and the block checksum.

#include "common/Windows1250.h"
#include "link/BlockChecksum.h"
#include "link/LinkCipher.h"

#include <QtTest>

class TestLinkPrimitives : public QObject
{
    Q_OBJECT

private slots:
    void cipherKnownAnswer_data();
    void cipherKnownAnswer();
    void cipherContextIsReusable();

    void windows1250RoundTripsEveryByte();
    void windows1250Letters_data();
    void windows1250Letters();
    void windows1250Unmappable_data();
    void windows1250Unmappable();

    void checksum_data();
    void checksum();
};

namespace {

Block16 blockFromHex(const char *hex)
{
    const QByteArray bytes = QByteArray::fromHex(hex);
    Block16 block{};
    std::copy_n(bytes.constData(), 16, reinterpret_cast<char *>(block.data()));
    return block;
}

} // namespace

// Pairs computed independently with
//   printf '<bytes>' | openssl enc -aes-128-ecb -K 3ca15e0792d46b18f02e8749b5630adc -nopad | xxd -p
void TestLinkPrimitives::cipherKnownAnswer_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("cipher");
    QTest::newRow("block 3 read request") << QByteArray("5b1c0000ffff00ffff0000000003405d")
                                          << QByteArray("9aa703b8096053f9ba36bdb3378ff210");
    QTest::newRow("zero block") << QByteArray("00000000000000000000000000000000")
                                << QByteArray("b78c4f563f3de60b18ceb31be9672ccb");
}

void TestLinkPrimitives::cipherKnownAnswer()
{
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, cipher);
    LinkCipher encrypt(LinkCipher::Direction::Encrypt);
    LinkCipher decrypt(LinkCipher::Direction::Decrypt);
    QCOMPARE(encrypt.apply(blockFromHex(plain)), blockFromHex(cipher));
    QCOMPARE(decrypt.apply(blockFromHex(cipher)), blockFromHex(plain));
}

// The contexts are expanded once and then used for every frame: a second
// block must not depend on the first.
void TestLinkPrimitives::cipherContextIsReusable()
{
    LinkCipher decrypt(LinkCipher::Direction::Decrypt);
    const Block16 a = blockFromHex("9aa703b8096053f9ba36bdb3378ff210");
    const Block16 b = blockFromHex("b78c4f563f3de60b18ceb31be9672ccb");
    const Block16 first = decrypt.apply(a);
    decrypt.apply(b);
    QCOMPARE(decrypt.apply(a), first);
}

void TestLinkPrimitives::windows1250RoundTripsEveryByte()
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    const QString text = Windows1250::toUnicode(all);
    QCOMPARE(text.size(), 256);
    QCOMPARE(Windows1250::fromUnicode(text), all);
}

void TestLinkPrimitives::windows1250Letters_data()
{
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("unicode");
    QTest::newRow("U double acute") << 0xDB << 0x0170;
    QTest::newRow("U diaeresis") << 0xDC << 0x00DC;
    QTest::newRow("O double acute") << 0xD5 << 0x0150;
    QTest::newRow("u double acute") << 0xFB << 0x0171;
    QTest::newRow("euro") << 0x80 << 0x20AC;
    QTest::newRow("ASCII") << 0x41 << 0x0041;
}

void TestLinkPrimitives::windows1250Letters()
{
    QFETCH(int, byte);
    QFETCH(int, unicode);
    QCOMPARE(Windows1250::toChar(static_cast<unsigned char>(byte)).unicode(), unicode);
    QCOMPARE(static_cast<unsigned char>(Windows1250::fromChar(QChar(unicode))), byte);
}

void TestLinkPrimitives::windows1250Unmappable_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("alone") << QStringLiteral("\u0416") << QByteArray("?");
    QTest::newRow("between letters") << QStringLiteral("a\u00F1b") << QByteArray("a?b");
}

void TestLinkPrimitives::windows1250Unmappable()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(Windows1250::fromUnicode(text), bytes);
}

void TestLinkPrimitives::checksum_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<uint>("sum");
    QByteArray counting;
    for (int n = 0; n < 64; ++n)
        counting.append(static_cast<char>(n));
    QTest::newRow("zeros") << QByteArray(64, '\0') << 540u;
    QTest::newRow("all 0xFF") << QByteArray(64, '\xFF') << 15780u;
    QTest::newRow("0 to 63") << counting << 1964u;
}

void TestLinkPrimitives::checksum()
{
    QFETCH(QByteArray, block);
    QFETCH(uint, sum);
    ParameterBlock b{};
    std::copy_n(block.constData(), 64, reinterpret_cast<char *>(b.data()));
    QCOMPARE(blockChecksum(b), sum);
}

QTEST_GUILESS_MAIN(TestLinkPrimitives)
#include "tst_linkprimitives.moc"
