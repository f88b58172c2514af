// quelmar-demo-image: writes the sample parameter set that the demo's module
// simulator starts with, so that a first read shows a filled editor.

#include "params/EEAddr.h"
#include "params/Encodings.h"
#include "params/ParameterFile.h"
#include "params/ParameterImage.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <iterator>

namespace {

constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

ImageBytes demoImage()
{
    using namespace Encodings;
    namespace A = EEAddr;
    ImageBytes image;
    // The module's erased memory, then the fields of the sample.
    image.fill(0xFF);
    const auto at = [&image](int offset, int length) { return fieldBytes(image, offset, length); };

    Digits16::Write(at(A::USER1, A::Digits16Length), u"36301234567");
    Digits16::Write(at(A::USER2, A::Digits16Length), u"36209876543");
    Digits16::Write(at(A::SMSFW1, A::Digits16Length), u"36705551234");

    // "$" stands for the event code, partition and zone in the SMS the
    // module sends.
    const struct
    {
        const char16_t *code;
        const char16_t *text;
    } events[] = {
        {u"1130", u"Betörés: $"},
        {u"1110", u"Tűzjelzés: $"},
        {u"1301", u"Hálózati hiba: $"},
    };
    for (std::size_t i = 0; i < std::size(events); ++i) {
        EventCode::Write(at(A::EventOffsets[i], A::EventCodeLength), events[i].code);
        SmsText::Write(at(A::SmsOffsets[i], A::SmsTextLength), events[i].text);
    }

    FlagByte::Write(at(A::CallFilter, A::FlagLength), true);
    Digits16::Write(at(A::PhnrEnabled1, A::Digits16Length), u"36301234567");
    Digits16::Write(at(A::PhnrEnabled2, A::Digits16Length), u"36209876543");

    // Output 1 pulses for 5 s; output 2 and the call limit within their
    // spinners' ranges, Bell 103 calls off.
    ByteValue::Write(at(A::REL1, A::ByteValueLength), 5);
    ByteValue::Write(at(A::REL2, A::ByteValueLength), 0);
    ByteValue::Write(at(A::CallMax, A::ByteValueLength), 0);
    FlagBits::Write(at(A::BELLFlags, A::FlagLength), {});

    GprsText::Write(at(A::APN, 1 + A::ApnCapacity), u"internet");
    return image;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quelmar-demo-image"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUELMAR_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Writes the demo's sample parameter set (1088 bytes) to FILE."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The parameter file to write."));
    parser.process(app);

    const QStringList arguments = parser.positionalArguments();
    if (arguments.size() != 1) {
        std::fprintf(stderr, "quelmar-demo-image: give exactly one FILE (see --help)\n");
        return ExitUsage;
    }
    const QString &path = arguments.first();
    const ParameterFile::Result result = ParameterFile::save(path, demoImage());
    if (!result.ok) {
        std::fprintf(stderr, "quelmar-demo-image: %s: %s\n", qPrintable(path), qPrintable(result.message));
        return ExitFailure;
    }
    return 0;
}
