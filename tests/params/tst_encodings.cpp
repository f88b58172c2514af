// The field encodings and the layout table: edge cases as data tables, the
// erased image, and a round-trip property over random images.

#include "params/EEAddr.h"
#include "params/Encodings.h"
#include "params/ParameterImage.h"

#include <QRandomGenerator>
#include <QTest>

#include <vector>

using namespace Encodings;
using Bytes8 = std::vector<std::uint8_t>;

namespace {

// head, then pad up to size.
Bytes8 fieldOf(const QByteArray &head, int size, std::uint8_t pad = 0x00)
{
    Bytes8 bytes(static_cast<std::size_t>(size), pad);
    std::copy(head.begin(), head.end(), bytes.begin());
    return bytes;
}

QByteArray hex(std::span<const std::uint8_t> bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), static_cast<qsizetype>(bytes.size()))
        .toHex(' ')
        .toUpper();
}

// '.' for an empty position.
template <std::size_t N>
QString render(const DigitCells<N> &cells)
{
    QString text;
    for (const auto &d : cells)
        text.append(d ? QLatin1Char(*d) : QLatin1Char('.'));
    return text;
}

QString renderField(const ImageBytes &image, const EEAddr::Field &f)
{
    const auto bytes = fieldBytes(image, f);
    switch (f.encoding) {
    case EEAddr::Encoding::Digits16:
        return render(Digits16::Read(bytes));
    case EEAddr::Encoding::Digits8:
        return render(Digits8::Read(bytes));
    case EEAddr::Encoding::EventCode:
        return EventCode::Read(bytes);
    case EEAddr::Encoding::SmsText:
        return SmsText::Read(bytes);
    case EEAddr::Encoding::GprsText:
        return GprsText::Read(bytes);
    case EEAddr::Encoding::Word16BE:
        return QString::number(Word16BE::Read(bytes));
    case EEAddr::Encoding::IPv4Address: {
        const auto o = IPv4Address::Read(bytes);
        return QStringLiteral("%1.%2.%3.%4").arg(o[0]).arg(o[1]).arg(o[2]).arg(o[3]);
    }
    case EEAddr::Encoding::FlagByte:
        return FlagByte::Read(bytes, f.flagRead) ? QStringLiteral("on") : QStringLiteral("off");
    case EEAddr::Encoding::FlagBits: {
        const auto b = FlagBits::Read(bytes);
        return QStringLiteral("%1%2").arg(b.bit0).arg(b.bit1);
    }
    case EEAddr::Encoding::ByteValue:
        return QString::number(ByteValue::Read(bytes));
    case EEAddr::Encoding::ReservedZero:
        return {};
    }
    return {};
}

// What the editor does to one field when it loads and stores it unchanged.
void readAndWriteBack(ImageBytes &image, const EEAddr::Field &f)
{
    const auto bytes = fieldBytes(image, f);
    switch (f.encoding) {
    case EEAddr::Encoding::Digits16:
        Digits16::Write(bytes, digitsOf(Digits16::Read(bytes)));
        break;
    case EEAddr::Encoding::Digits8:
        Digits8::Write(bytes, digitsOf(Digits8::Read(bytes)));
        break;
    case EEAddr::Encoding::EventCode:
        EventCode::Write(bytes, EventCode::Read(bytes));
        break;
    case EEAddr::Encoding::SmsText:
        SmsText::Write(bytes, SmsText::Read(bytes));
        break;
    case EEAddr::Encoding::GprsText:
        GprsText::Write(bytes, GprsText::Read(bytes));
        break;
    case EEAddr::Encoding::Word16BE:
        Word16BE::Write(bytes, Word16BE::Read(bytes));
        break;
    case EEAddr::Encoding::IPv4Address:
        IPv4Address::Write(bytes, IPv4Address::Read(bytes));
        break;
    case EEAddr::Encoding::FlagByte:
        FlagByte::Write(bytes, FlagByte::Read(bytes, f.flagRead));
        break;
    case EEAddr::Encoding::FlagBits:
        FlagBits::Write(bytes, FlagBits::Read(bytes));
        break;
    case EEAddr::Encoding::ByteValue:
        ByteValue::Write(bytes, ByteValue::Read(bytes));
        break;
    case EEAddr::Encoding::ReservedZero:
        ReservedZero::Write(bytes);
        break;
    }
}

ImageBytes erasedImage()
{
    ImageBytes image;
    image.fill(0xFF);
    return image;
}

} // namespace

class TestEncodings : public QObject
{
    Q_OBJECT

private slots:
    void layoutGaps();
    void layoutControls();
    void erasedImageReads_data();
    void erasedImageReads();
    void erasedImageLoadStore();

    void digitsRead_data();
    void digitsRead();
    void digitsWrite_data();
    void digitsWrite();
    void digitsFromCellsCases();

    void eventCodeRead_data();
    void eventCodeRead();
    void eventCodeWrite_data();
    void eventCodeWrite();
    void eventCodeWriteCells_data();
    void eventCodeWriteCells();

    void smsWrite_data();
    void smsWrite();
    void smsRead_data();
    void smsRead();
    void gprsWrite_data();
    void gprsWrite();
    void gprsRead_data();
    void gprsRead();

    void numbersAndFlags();
    void flagByteRead_data();
    void flagByteRead();

    void roundTripIsStableAfterOneRound();
};

// The bytes no field covers, as the layout lists them.
void TestEncodings::layoutGaps()
{
    QList<QPair<int, int>> gaps;
    int end = 0;
    for (const EEAddr::Field &f : EEAddr::Fields) {
        if (f.offset > end)
            gaps.append({end, f.offset - end});
        end = f.offset + f.length;
    }
    if (end < EEAddr::ImageSize)
        gaps.append({end, EEAddr::ImageSize - end});
    const QList<QPair<int, int>> expected = {{94, 8}, {111, 32}, {303, 6}, {959, 1}, {994, 32}, {1028, 60}};
    QCOMPARE(gaps, expected);
}

void TestEncodings::layoutControls()
{
    QSet<QString> names;
    int withControl = 0;
    for (const EEAddr::Field &f : EEAddr::Fields) {
        if (f.control.empty()) {
            QCOMPARE(f.encoding, EEAddr::Encoding::ReservedZero);
            continue;
        }
        ++withControl;
        for (std::string_view n : {f.control, f.companion})
            if (!n.empty()) {
                const QString name = QString::fromLatin1(n.data(), static_cast<qsizetype>(n.size()));
                QVERIFY2(!names.contains(name), qPrintable(name));
                names.insert(name);
                QCOMPARE(EEAddr::fieldOfControl(n), &f);
            }
    }
    QCOMPARE(withControl, 60);
    QCOMPARE(EEAddr::findField("CentralID")->offset, 1026);
    QCOMPARE(EEAddr::findField("APN")->capacity, 37);
    QCOMPARE(EEAddr::fieldOfControl("edCentralID")->name, std::string_view("CentralID"));
    QVERIFY(EEAddr::findField("nothing") == nullptr);
    for (std::size_t i = 0; i < EEAddr::SmsOffsets.size(); ++i)
        QCOMPARE(EEAddr::SmsOffsets[i], EEAddr::SMS1 + 41 * static_cast<int>(i));
    for (std::size_t i = 0; i < EEAddr::EventOffsets.size(); ++i)
        QCOMPARE(EEAddr::EventOffsets[i], EEAddr::Event1 + 2 * static_cast<int>(i));
    for (std::size_t i = 0; i < 4; ++i) {
        QCOMPARE(EEAddr::IPAddressOffsets[i], 962 + 8 * static_cast<int>(i));
        QCOMPARE(EEAddr::PortOffsets[i], 966 + 8 * static_cast<int>(i));
    }
}

void TestEncodings::erasedImageReads_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("reading");
    const QString noNumber16(16, QLatin1Char('.'));
    const QString noNumber8(8, QLatin1Char('.'));
    for (const EEAddr::Field &f : EEAddr::Fields) {
        QString reading;
        switch (f.encoding) {
        case EEAddr::Encoding::Digits16: reading = noNumber16; break;
        case EEAddr::Encoding::Digits8: reading = noNumber8; break;
        case EEAddr::Encoding::EventCode: reading = QStringLiteral("    "); break;
        case EEAddr::Encoding::SmsText:
        case EEAddr::Encoding::GprsText:
        case EEAddr::Encoding::ReservedZero: break;
        case EEAddr::Encoding::Word16BE: reading = QStringLiteral("65535"); break;
        case EEAddr::Encoding::IPv4Address: reading = QStringLiteral("255.255.255.255"); break;
        case EEAddr::Encoding::ByteValue: reading = QStringLiteral("255"); break;
        case EEAddr::Encoding::FlagBits: reading = QStringLiteral("11"); break;
        case EEAddr::Encoding::FlagByte: reading = QStringLiteral("off"); break; // overridden below
        }
        if (f.name == "CallFilter")
            reading = QStringLiteral("on");
        QTest::newRow(f.name.data()) << QString::fromLatin1(f.name.data()) << reading;
    }
}

void TestEncodings::erasedImageReads()
{
    QFETCH(QString, field);
    QFETCH(QString, reading);
    const ImageBytes image = erasedImage();
    QCOMPARE(renderField(image, *EEAddr::findField(field.toStdString())), reading);
}

// Loading the erased image and storing it straight back.
void TestEncodings::erasedImageLoadStore()
{
    ImageBytes image = erasedImage();
    for (const EEAddr::Field &f : EEAddr::Fields)
        readAndWriteBack(image, f);

    ImageBytes expected = erasedImage();
    auto put = [&](int offset, const Bytes8 &bytes) {
        std::copy(bytes.begin(), bytes.end(), expected.begin() + offset);
    };
    for (const EEAddr::Field &f : EEAddr::Fields) {
        switch (f.encoding) {
        case EEAddr::Encoding::Digits16: put(f.offset, fieldOf("\xFF", 17)); break;
        case EEAddr::Encoding::Digits8: put(f.offset, fieldOf({}, 9)); break;
        case EEAddr::Encoding::SmsText:
        case EEAddr::Encoding::GprsText: put(f.offset, fieldOf(QByteArray(1, '\0'), f.length, 0x20)); break;
        case EEAddr::Encoding::ReservedZero: put(f.offset, fieldOf({}, 2)); break;
        case EEAddr::Encoding::FlagByte: put(f.offset, {f.name == "CallFilter" ? std::uint8_t{1} : std::uint8_t{0}}); break;
        case EEAddr::Encoding::FlagBits: put(f.offset, {3}); break;
        default: break; // event codes, numbers and addresses stay 0xFF
        }
    }
    QCOMPARE(hex(image), hex(expected));
}

void TestEncodings::digitsRead_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("cells");
    QTest::newRow("16 erased") << QByteArray(17, '\xFF') << 17 << QString(16, QLatin1Char('.'));
    QTest::newRow("8 erased") << QByteArray(9, '\xFF') << 9 << QString(8, QLatin1Char('.'));
    QTest::newRow("L=3 1A3") << QByteArray("\x03" "1A3") << 17 << QStringLiteral("1.3.............");
    QTest::newRow("L=0 with digits") << QByteArray("\x00" "123", 4) << 17 << QString(16, QLatin1Char('.'));
    QTest::newRow("digits beyond L ignored") << QByteArray("\x02" "1234") << 17 << QStringLiteral("12..............");
    QTest::newRow("L=16 full") << QByteArray("\x10" "0123456789012345") << 17 << QStringLiteral("0123456789012345");
    QTest::newRow("L=17 no number") << QByteArray("\x11" "0123456789012345") << 17 << QString(16, QLatin1Char('.'));
    QTest::newRow("8: L=8 full") << QByteArray("\x08" "98765432") << 9 << QStringLiteral("98765432");
    QTest::newRow("8: L=9 no number") << QByteArray("\x09" "98765432") << 9 << QString(8, QLatin1Char('.'));
    QTest::newRow("8: bytes 0 and ' ' empty") << QByteArray("\x04" "5\0 6", 5) << 9 << QStringLiteral("5..6....");
}

void TestEncodings::digitsRead()
{
    QFETCH(QByteArray, head);
    QFETCH(int, size);
    QFETCH(QString, cells);
    const Bytes8 field = fieldOf(head, size);
    QCOMPARE(size == 17 ? render(Digits16::Read(field)) : render(Digits8::Read(field)), cells);
}

void TestEncodings::digitsWrite_data()
{
    QTest::addColumn<QString>("digits");
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("head"); // the rest is zero
    QTest::newRow("16 empty") << QString() << 17 << QByteArray("\xFF");
    QTest::newRow("8 empty") << QString() << 9 << QByteArray(1, '\0');
    QTest::newRow("16 124") << QStringLiteral("124") << 17 << QByteArray("\x03" "124");
    QTest::newRow("8 06") << QStringLiteral("06") << 9 << QByteArray("\x02" "06");
    QTest::newRow("16 non-digits skipped") << QStringLiteral("+36 (1) 23") << 17 << QByteArray("\x05" "36123");
    QTest::newRow("16 only non-digits") << QStringLiteral("*#") << 17 << QByteArray("\xFF");
    QTest::newRow("16 of 18 digits") << QStringLiteral("123456789012345678") << 17
                                     << QByteArray("\x10" "1234567890123456");
    QTest::newRow("8 of 9 digits") << QStringLiteral("123456789") << 9 << QByteArray("\x08" "12345678");
}

void TestEncodings::digitsWrite()
{
    QFETCH(QString, digits);
    QFETCH(int, size);
    QFETCH(QByteArray, head);
    Bytes8 field(static_cast<std::size_t>(size), 0xAA);
    if (size == 17)
        Digits16::Write(field, digits);
    else
        Digits8::Write(field, digits);
    QCOMPARE(hex(field), hex(fieldOf(head, size)));
}

void TestEncodings::digitsFromCellsCases()
{
    QCOMPARE(digitsFromCells({"1", "2", "", "4"}), QStringLiteral("124"));
    QCOMPARE(digitsFromCells({" ", "x", "5x", "*", "9"}), QStringLiteral("59"));
    QCOMPARE(digitsFromCells({}), QString());
}

void TestEncodings::eventCodeRead_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("symbols");
    QTest::newRow("erased") << QByteArray("\xFF\xFF") << QStringLiteral("    ");
    QTest::newRow("B1 23") << QByteArray("\xB1\x23") << QStringLiteral(" 123");
    QTest::newRow("12 34") << QByteArray("\x12\x34") << QStringLiteral("1234");
    QTest::newRow("A5 A0") << QByteArray("\xA5\xA0") << QStringLiteral("*5*0");
    QTest::newRow("0C DE") << QByteArray("\x0C\xDE") << QStringLiteral("0   ");
    QTest::newRow("00 00") << QByteArray(2, '\0') << QStringLiteral("0000");
}

void TestEncodings::eventCodeRead()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, symbols);
    QCOMPARE(EventCode::Read(fieldOf(bytes, 2)), symbols);
}

void TestEncodings::eventCodeWrite_data()
{
    QTest::addColumn<QString>("symbols");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("1234") << QStringLiteral("1234") << QByteArray("\x12\x34");
    QTest::newRow("*5*0") << QStringLiteral("*5*0") << QByteArray("\xA5\xA0");
    QTest::newRow("0000") << QStringLiteral("0000") << QByteArray(2, '\0');
    QTest::newRow("12* three symbols") << QStringLiteral("12*") << QByteArray("\xFF\xFF");
    QTest::newRow("blank first") << QStringLiteral(" 123") << QByteArray("\xFF\xFF");
    QTest::newRow("letter") << QStringLiteral("12A4") << QByteArray("\xFF\xFF");
    QTest::newRow("five symbols") << QStringLiteral("12345") << QByteArray("\xFF\xFF");
    QTest::newRow("empty") << QString() << QByteArray("\xFF\xFF");
}

void TestEncodings::eventCodeWrite()
{
    QFETCH(QString, symbols);
    QFETCH(QByteArray, bytes);
    Bytes8 field(2, 0x00);
    EventCode::Write(field, symbols);
    QCOMPARE(hex(field), hex(fieldOf(bytes, 2)));
}

void TestEncodings::eventCodeWriteCells_data()
{
    QTest::addColumn<QStringList>("cells");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("four digits") << QStringList{"1", "2", "3", "4"} << QByteArray("\x12\x34");
    QTest::newRow("stars, first char counts") << QStringList{"*x", "5", "*", "0"} << QByteArray("\xA5\xA0");
    QTest::newRow("blank cell") << QStringList{" ", "1", "2", "3"} << QByteArray("\xFF\xFF");
    QTest::newRow("empty cell") << QStringList{"1", "", "2", "3"} << QByteArray("\xFF\xFF");
    QTest::newRow("letter cell") << QStringList{"1", "B", "2", "3"} << QByteArray("\xFF\xFF");
    QTest::newRow("three cells") << QStringList{"1", "2", "*"} << QByteArray("\xFF\xFF");
}

void TestEncodings::eventCodeWriteCells()
{
    QFETCH(QStringList, cells);
    QFETCH(QByteArray, bytes);
    Bytes8 field(2, 0x00);
    EventCode::writeCells(field, cells);
    QCOMPARE(hex(field), hex(fieldOf(bytes, 2)));
}

void TestEncodings::smsWrite_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("head"); // the rest is blanks
    QTest::newRow("ŰŐ") << QStringLiteral("ŰŐ") << QByteArray("\x02\xDC\xD5");
    QTest::newRow("small ű unchanged") << QStringLiteral("ű") << QByteArray("\x01\xFB");
    QTest::newRow("trailing blanks count") << QStringLiteral("AB  ") << QByteArray("\x04" "AB  ");
    QTest::newRow("empty") << QString() << QByteArray(1, '\0');
    QTest::newRow("45 chars cut to 40") << QString(45, QLatin1Char('x')) << QByteArray("\x28") + QByteArray(40, 'x');
    QTest::newRow("euro sign") << QStringLiteral("€5") << QByteArray("\x02\x80" "5");
    QTest::newRow("not in code page") << QStringLiteral("aЖb") << QByteArray("\x03" "a?b");
    QTest::newRow("outside the basic plane is one byte") << QStringLiteral("a\U0001F600b") << QByteArray("\x03" "a?b");
}

void TestEncodings::smsWrite()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, head);
    Bytes8 field(41, 0xAA);
    SmsText::Write(field, text);
    QCOMPARE(hex(field), hex(fieldOf(head, 41, 0x20)));
}

void TestEncodings::smsRead_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QString>("text");
    QTest::newRow("erased") << QByteArray(41, '\xFF') << QString();
    QTest::newRow("L=5 AB and blanks") << QByteArray("\x05" "AB   ") << QStringLiteral("AB");
    QTest::newRow("L=3 A 00 B") << QByteArray("\x03" "A\0B", 4) << QStringLiteral("AB");
    QTest::newRow("FF skipped") << QByteArray("\x03" "A\xFF" "B") << QStringLiteral("AB");
    QTest::newRow("inner blank kept") << QByteArray("\x03" "A B") << QStringLiteral("A B");
    QTest::newRow("leading blank kept") << QByteArray("\x02" " A") << QStringLiteral(" A");
    QTest::newRow("Windows-1250") << QByteArray("\x03\xDC\xD5\xDB") << QStringLiteral("ÜŐŰ");
    QTest::newRow("L=40") << QByteArray("\x28") + QByteArray(40, 'z') << QString(40, QLatin1Char('z'));
    QTest::newRow("L=41 empty") << QByteArray("\x29") + QByteArray(40, 'z') << QString();
    QTest::newRow("bytes beyond L ignored") << QByteArray("\x01" "ABC") << QStringLiteral("A");
}

void TestEncodings::smsRead()
{
    QFETCH(QByteArray, head);
    QFETCH(QString, text);
    QCOMPARE(SmsText::Read(fieldOf(head, 41, 0x20)), text);
}

void TestEncodings::gprsWrite_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("capacity");
    QTest::addColumn<QByteArray>("head"); // the rest is blanks
    QTest::newRow("my apn") << QStringLiteral("my apn") << 37 << QByteArray("\x05" "myapn");
    QTest::newRow("40 chars to 37") << QString(40, QLatin1Char('a')) << 37 << QByteArray("\x25") + QByteArray(37, 'a');
    QTest::newRow("quotes removed") << QStringLiteral("\"a\" b\"") << 20 << QByteArray("\x02" "ab");
    QTest::newRow("removed before counting") << QStringLiteral(" ") + QString(20, QLatin1Char('u')) + QStringLiteral("v")
                                             << 20 << QByteArray("\x14") + QByteArray(20, 'u');
    QTest::newRow("Ű not substituted") << QStringLiteral("Ű") << 20 << QByteArray("\x01\xDB");
    QTest::newRow("empty") << QString() << 20 << QByteArray(1, '\0');
}

void TestEncodings::gprsWrite()
{
    QFETCH(QString, text);
    QFETCH(int, capacity);
    QFETCH(QByteArray, head);
    Bytes8 field(static_cast<std::size_t>(capacity + 1), 0xAA);
    GprsText::Write(field, text);
    QCOMPARE(hex(field), hex(fieldOf(head, capacity + 1, 0x20)));
}

void TestEncodings::gprsRead_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<int>("capacity");
    QTest::addColumn<QString>("text");
    QTest::newRow("erased") << QByteArray(38, '\xFF') << 37 << QString();
    QTest::newRow("L=37") << QByteArray("\x25") + QByteArray(37, 'q') << 37 << QString(37, QLatin1Char('q'));
    QTest::newRow("L=38 empty") << QByteArray("\x26") + QByteArray(37, 'q') << 37 << QString();
    QTest::newRow("L=21 empty") << QByteArray("\x15") + QByteArray(20, 'q') << 20 << QString();
    QTest::newRow("no trimming") << QByteArray("\x04" "ab  ") << 20 << QStringLiteral("ab  ");
    QTest::newRow("00 and FF skipped") << QByteArray("\x04" "a\0\xFF" "b", 5) << 20 << QStringLiteral("ab");
}

void TestEncodings::gprsRead()
{
    QFETCH(QByteArray, head);
    QFETCH(int, capacity);
    QFETCH(QString, text);
    QCOMPARE(GprsText::Read(fieldOf(head, capacity + 1, 0x20)), text);
}

void TestEncodings::numbersAndFlags()
{
    QCOMPARE(Word16BE::Read(Bytes8{0x01, 0x2C}), 300);
    QCOMPARE(Word16BE::Read(Bytes8{0xFF, 0xFF}), 65535);
    Bytes8 word(2);
    Word16BE::Write(word, 32767);
    QCOMPARE(word, (Bytes8{0x7F, 0xFF}));

    QCOMPARE(IPv4Address::Read(Bytes8{192, 168, 0, 1}), (IPv4Address::Octets{192, 168, 0, 1}));
    Bytes8 address(4);
    IPv4Address::Write(address, {10, 1, 2, 254});
    QCOMPARE(address, (Bytes8{10, 1, 2, 254}));

    QCOMPARE(FlagBits::Read(Bytes8{0xFC}), (FlagBits::Flags{false, false}));
    QCOMPARE(FlagBits::Read(Bytes8{0x02}), (FlagBits::Flags{false, true}));
    Bytes8 bits{0xFF};
    FlagBits::Write(bits, {true, false});
    QCOMPARE(bits, Bytes8{0x01});
    FlagBits::Write(bits, {false, true});
    QCOMPARE(bits, Bytes8{0x02});

    Bytes8 flag{0xFF};
    FlagByte::Write(flag, true);
    QCOMPARE(flag, Bytes8{0x01});
    FlagByte::Write(flag, false);
    QCOMPARE(flag, Bytes8{0x00});

    Bytes8 reserved{0xFF, 0xFF};
    ReservedZero::Write(reserved);
    QCOMPARE(reserved, (Bytes8{0x00, 0x00}));
}

void TestEncodings::flagByteRead_data()
{
    QTest::addColumn<int>("byte");
    QTest::addColumn<bool>("nonZero");
    QTest::addColumn<bool>("isOne");
    QTest::newRow("0") << 0 << false << false;
    QTest::newRow("1") << 1 << true << true;
    QTest::newRow("2") << 2 << true << false;
    QTest::newRow("FF") << 0xFF << true << false;
}

void TestEncodings::flagByteRead()
{
    QFETCH(int, byte);
    QFETCH(bool, nonZero);
    QFETCH(bool, isOne);
    const Bytes8 field{static_cast<std::uint8_t>(byte)};
    QCOMPARE(FlagByte::Read(field, EEAddr::FlagRead::NonZero), nonZero);
    QCOMPARE(FlagByte::Read(field, EEAddr::FlagRead::IsOne), isOne);
}

// Loading and storing unchanged may normalise a field once (gaps in numbers
// close, partial event codes vanish, Ű becomes Ü, blanks leave GPRS texts),
// but a second round must change nothing, and must not touch other bytes.
void TestEncodings::roundTripIsStableAfterOneRound()
{
    QRandomGenerator random(20240611);
    static const std::uint8_t interesting[] = {0x00, 0xFF, 0x20, 0x22, 0xDB, 0xFB, '0', '5', '9', '*', 'A', 0xA5};
    for (int n = 0; n < 1500; ++n) {
        ImageBytes image;
        for (std::uint8_t &b : image)
            b = random.bounded(2) ? static_cast<std::uint8_t>(random.bounded(256))
                                  : interesting[random.bounded(static_cast<int>(std::size(interesting)))];
        // Most length bytes in range, so that texts and numbers are exercised.
        for (const EEAddr::Field &f : EEAddr::Fields)
            if (f.capacity > 0 && f.encoding != EEAddr::Encoding::EventCode && random.bounded(4) != 0)
                image[static_cast<std::size_t>(f.offset)] = static_cast<std::uint8_t>(random.bounded(f.capacity + 3));

        const ImageBytes original = image;
        for (const EEAddr::Field &f : EEAddr::Fields) {
            ImageBytes once = original;
            readAndWriteBack(once, f);
            ImageBytes twice = once;
            readAndWriteBack(twice, f);
            if (twice != once)
                QFAIL(qPrintable(QStringLiteral("image %1, field %2: %3 -> %4 -> %5")
                                     .arg(n)
                                     .arg(QLatin1String(f.name.data()))
                                     .arg(QString::fromLatin1(hex(fieldBytes(original, f))),
                                          QString::fromLatin1(hex(fieldBytes(once, f))),
                                          QString::fromLatin1(hex(fieldBytes(twice, f))))));
            const auto fieldBegin = static_cast<std::size_t>(f.offset);
            const auto fieldEnd = fieldBegin + static_cast<std::size_t>(f.length);
            QVERIFY(std::equal(once.begin(), once.begin() + fieldBegin, original.begin()));
            QVERIFY(std::equal(once.begin() + fieldEnd, once.end(), original.begin() + fieldEnd));
            // Lossless where nothing can be normalised away.
            if (f.encoding == EEAddr::Encoding::Word16BE || f.encoding == EEAddr::Encoding::IPv4Address
                || f.encoding == EEAddr::Encoding::ByteValue || f.encoding == EEAddr::Encoding::FlagBits
                || f.encoding == EEAddr::Encoding::FlagByte)
                QCOMPARE(renderField(once, f), renderField(original, f));
        }
    }
}

QTEST_GUILESS_MAIN(TestEncodings)
#include "tst_encodings.moc"
