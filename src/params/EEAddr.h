#pragma once
// Where each parameter lives in the module's parameter memory. These offsets
// are part of the module protocol and of the parameter file, so they are fixed
// to the byte. The field table describes every field once: the field model
// (FieldModel.h) decodes, encodes and compares by it, and the editor builds
// and binds its controls from it.

#include <array>
#include <cstddef>
#include <string_view>

namespace EEAddr {

// The image: the module's 15 blocks of 64 bytes, then bytes kept by the PC only.
inline constexpr int ImageSize = 1088;
inline constexpr int ModuleBytes = 960;
inline constexpr int BlockSize = 64;
inline constexpr int BlockCount = 15;
static_assert(BlockSize * BlockCount == ModuleBytes && ModuleBytes < ImageSize);

// Field lengths in bytes, and what they hold.
inline constexpr int Digits16Length = 17; // length byte + 16 digits
inline constexpr int Digits16Cells = 16;
inline constexpr int Digits8Length = 9; // length byte + 8 digits
inline constexpr int Digits8Cells = 8;
inline constexpr int EventCodeLength = 2;
inline constexpr int EventCodeCells = 4;
inline constexpr int SmsTextLength = 41; // length byte + 40 characters
inline constexpr int SmsCapacity = 40;
inline constexpr int ApnCapacity = 37; // its edit field takes 40, the field ends at UserName
inline constexpr int UserNameCapacity = 20;
inline constexpr int PwdCapacity = 20;
inline constexpr int Word16Length = 2;
inline constexpr int IPv4Length = 4;
inline constexpr int FlagLength = 1;
inline constexpr int ByteValueLength = 1;
inline constexpr int ReservedLength = 2;

// Start of each field.
inline constexpr int AUTODIAL = 0;
inline constexpr int SMSFW1 = 17;
inline constexpr int SMSFW2 = 34;
inline constexpr int USER1 = 51;
inline constexpr int USER2 = 68;
inline constexpr int NETPREFIX = 85;
inline constexpr int ADDFIX = 102;
inline constexpr int PhnrEnabled1 = 143;
inline constexpr int PhnrEnabled2 = 160;
inline constexpr int PhnrEnabled3 = 177;
inline constexpr int PhnrEnabled4 = 194;
inline constexpr int CallFilter = 211;
inline constexpr int RelPhnrEnabled1 = 212;
inline constexpr int RelPhnrEnabled2 = 229;
inline constexpr int RelPhnrEnabled3 = 246;
inline constexpr int RelPhnrEnabled4 = 263;
inline constexpr int REL1 = 280;
inline constexpr int REL2 = 281;
inline constexpr int CallMax = 282;
inline constexpr int Event1 = 283;
inline constexpr int Event2 = 285;
inline constexpr int Event3 = 287;
inline constexpr int Event4 = 289;
inline constexpr int Event5 = 291;
inline constexpr int Event6 = 293;
inline constexpr int Event7 = 295;
inline constexpr int Event8 = 297;
inline constexpr int Event9 = 299;
inline constexpr int Event10 = 301;
inline constexpr int SMS1 = 309;
inline constexpr int SMS2 = 350;
inline constexpr int SMS3 = 391;
inline constexpr int SMS4 = 432;
inline constexpr int SMS5 = 473;
inline constexpr int SMS6 = 514;
inline constexpr int SMS7 = 555;
inline constexpr int SMS8 = 596;
inline constexpr int SMS9 = 637;
inline constexpr int SMS10 = 678;
inline constexpr int SMS11 = 719;
inline constexpr int SMS12 = 760;
inline constexpr int SMS13 = 801;
inline constexpr int BELLPhnrEnabled1 = 842;
inline constexpr int BELLPhnrEnabled2 = 859;
inline constexpr int BELLFlags = 876;
inline constexpr int VoiceCaller = 877;
inline constexpr int APN = 878;
inline constexpr int UserName = 916;
inline constexpr int PWD = 937;
inline constexpr int GPRSmode = 958;
// From here on the bytes never travel to the module.
inline constexpr int PanelID = 960;
inline constexpr int IPAddress1 = 962;
inline constexpr int Port1 = 966;
inline constexpr int Reserved1 = 968;
inline constexpr int IPAddress2 = 970;
inline constexpr int Port2 = 974;
inline constexpr int Reserved2 = 976;
inline constexpr int IPAddress3 = 978;
inline constexpr int Port3 = 982;
inline constexpr int Reserved3 = 984;
inline constexpr int IPAddress4 = 986;
inline constexpr int Port4 = 990;
inline constexpr int Reserved4 = 992;
inline constexpr int CentralID = 1026;

// Offsets of the repeated rows, in row order.
inline constexpr std::array<int, 10> EventOffsets = {Event1, Event2, Event3, Event4, Event5,
                                                     Event6, Event7, Event8, Event9, Event10};
inline constexpr std::array<int, 13> SmsOffsets = {SMS1, SMS2, SMS3, SMS4,  SMS5,  SMS6, SMS7,
                                                   SMS8, SMS9, SMS10, SMS11, SMS12, SMS13};
inline constexpr std::array<int, 4> PhnrEnabledOffsets = {PhnrEnabled1, PhnrEnabled2, PhnrEnabled3,
                                                          PhnrEnabled4};
inline constexpr std::array<int, 4> RelPhnrEnabledOffsets = {RelPhnrEnabled1, RelPhnrEnabled2,
                                                             RelPhnrEnabled3, RelPhnrEnabled4};
inline constexpr std::array<int, 2> BellPhnrEnabledOffsets = {BELLPhnrEnabled1, BELLPhnrEnabled2};
inline constexpr std::array<int, 4> IPAddressOffsets = {IPAddress1, IPAddress2, IPAddress3, IPAddress4};
inline constexpr std::array<int, 4> PortOffsets = {Port1, Port2, Port3, Port4};
inline constexpr std::array<int, 4> ReservedOffsets = {Reserved1, Reserved2, Reserved3, Reserved4};

enum class Encoding {
    Digits16,
    Digits8,
    EventCode,
    SmsText,
    GprsText,
    Word16BE,
    IPv4Address,
    FlagByte,
    FlagBits, // BELLFlags: bit 0 and bit 1, each its own control
    ByteValue,
    ReservedZero,
};

// How a flag byte reads back; each flag field has its own rule.
enum class FlagRead {
    None,    // not a flag byte
    NonZero, // any non-zero value is on
    IsOne,   // on only if the byte is 1
};

// The editor page a field is shown on.
enum class Page { Phone, Sms, CallFilter, Output, Bell103, Gprs, Tell };

// The largest value the editor's spinners let a number take.
inline constexpr int ByteMax = 255;
inline constexpr int CallMaxMax = 25;
inline constexpr int Word16Max = 32767;

struct Field
{
    std::string_view name;
    int offset;
    int length;       // bytes in the image
    Encoding encoding;
    int capacity;     // digit cells, event symbols or characters; 0 where it means nothing
    std::string_view control;   // objectName of the editor's control; empty for reserved bytes
    std::string_view companion; // a spinner's text field, or the second control of BELLFlags
    FlagRead flagRead;
    Page page;
    std::string_view label; // UTF-8: the English caption beside the control
    int maximum;            // numbers: the largest value the editor takes; 0 for the rest
};

namespace Make {
constexpr Field Digits16(std::string_view name, int offset, std::string_view control, Page page,
                         std::string_view label)
{
    return {name, offset, Digits16Length, Encoding::Digits16, Digits16Cells, control, {}, FlagRead::None,
            page, label, 0};
}
constexpr Field Digits8(std::string_view name, int offset, std::string_view control, std::string_view label)
{
    return {name, offset, Digits8Length, Encoding::Digits8, Digits8Cells, control, {}, FlagRead::None,
            Page::Phone, label, 0};
}
constexpr Field EventCode(std::string_view name, int offset, std::string_view control, std::string_view label)
{
    return {name, offset, EventCodeLength, Encoding::EventCode, EventCodeCells, control, {}, FlagRead::None,
            Page::Sms, label, 0};
}
constexpr Field SmsText(std::string_view name, int offset, std::string_view control, std::string_view label)
{
    return {name, offset, SmsTextLength, Encoding::SmsText, SmsCapacity, control, {}, FlagRead::None,
            Page::Sms, label, 0};
}
constexpr Field GprsText(std::string_view name, int offset, int capacity, std::string_view control,
                         std::string_view label)
{
    return {name, offset, 1 + capacity, Encoding::GprsText, capacity, control, {}, FlagRead::None,
            Page::Gprs, label, 0};
}
constexpr Field word16(std::string_view name, int offset, std::string_view control, std::string_view edit,
                       std::string_view label)
{
    return {name, offset, Word16Length, Encoding::Word16BE, 0, control, edit, FlagRead::None,
            Page::Tell, label, Word16Max};
}
constexpr Field ipv4(std::string_view name, int offset, std::string_view control, std::string_view label)
{
    return {name, offset, IPv4Length, Encoding::IPv4Address, 0, control, {}, FlagRead::None,
            Page::Tell, label, 0};
}
constexpr Field flag(std::string_view name, int offset, std::string_view control, FlagRead read, Page page,
                     std::string_view label)
{
    return {name, offset, FlagLength, Encoding::FlagByte, 0, control, {}, read, page, label, 0};
}
constexpr Field FlagBits(std::string_view name, int offset, std::string_view bit0, std::string_view bit1,
                         std::string_view label)
{
    return {name, offset, FlagLength, Encoding::FlagBits, 0, bit0, bit1, FlagRead::None,
            Page::Bell103, label, 3};
}
constexpr Field ByteValue(std::string_view name, int offset, std::string_view control, std::string_view edit,
                          Page page, int maximum, std::string_view label)
{
    return {name, offset, ByteValueLength, Encoding::ByteValue, 0, control, edit, FlagRead::None,
            page, label, maximum};
}
constexpr Field reserved(std::string_view name, int offset)
{
    return {name, offset, ReservedLength, Encoding::ReservedZero, 0, {}, {}, FlagRead::None, Page::Tell, {}, 0};
}
} // namespace Make

// Every field the editor loads or stores, in image order. The labels are the
// captions the editor shows in English; rows without a caption of their own,
// and the GPRS and TELL pages, have a short one here.
inline constexpr std::array Fields = {
    Make::Digits16("AUTODIAL", AUTODIAL, "acgAUTODIAL", Page::Phone, "Automatic dial nr. (#AUTO)"),
    Make::Digits16("SMSFW1", SMSFW1, "acgSMSFW1", Page::Phone, "1. SMS forward nr. (#SMSFW1)"),
    Make::Digits16("SMSFW2", SMSFW2, "acgSMSFW2", Page::Phone, "2. SMS forward nr. (#SMSFW2)"),
    Make::Digits16("USER1", USER1, "acgUSER1", Page::Phone, "Primary User   (#USER1)"),
    Make::Digits16("USER2", USER2, "acgUSER2", Page::Phone, "Secondary User (#USER2)"),
    Make::Digits8("NETPREFIX", NETPREFIX, "acgNETPREFIX", "Dial prefix number used for outside line (#PREFIX)"),
    Make::Digits8("ADDFIX", ADDFIX, "acgADDFIX", "Prefix to add before phone numbers called in GSM mode"),
    Make::Digits16("PhnrEnabled1", PhnrEnabled1, "acgPhnrEnabled1", Page::CallFilter, "1. Enabled phone number"),
    Make::Digits16("PhnrEnabled2", PhnrEnabled2, "acgPhnrEnabled2", Page::CallFilter, "2. Enabled phone number"),
    Make::Digits16("PhnrEnabled3", PhnrEnabled3, "acgPhnrEnabled3", Page::CallFilter, "3. Enabled phone number"),
    Make::Digits16("PhnrEnabled4", PhnrEnabled4, "acgPhnrEnabled4", Page::CallFilter, "4. Enabled phone number"),
    Make::flag("CallFilter", CallFilter, "rgCallFilter", FlagRead::NonZero, Page::CallFilter, "Call filter"),
    Make::Digits16("RelPhnrEnabled1", RelPhnrEnabled1, "acgRelPhnrEnabled1", Page::Output, "1. Enabled phone number"),
    Make::Digits16("RelPhnrEnabled2", RelPhnrEnabled2, "acgRelPhnrEnabled2", Page::Output, "2. Enabled phone number"),
    Make::Digits16("RelPhnrEnabled3", RelPhnrEnabled3, "acgRelPhnrEnabled3", Page::Output, "3. Enabled phone number"),
    Make::Digits16("RelPhnrEnabled4", RelPhnrEnabled4, "acgRelPhnrEnabled4", Page::Output, "4. Enabled phone number"),
    Make::ByteValue("REL1", REL1, "udREL1", "edREL1", Page::Output, ByteMax,
                    "1. Controllable Output Timing (0-254 sec, 255=bistable)"),
    Make::ByteValue("REL2", REL2, "udREL2", "edREL2", Page::Output, ByteMax,
                    "2. Controllable Output Timing (0-254 sec, 255=bistable)"),
    Make::ByteValue("CallMax", CallMax, "udCallMax", "edCallMax", Page::CallFilter, CallMaxMax,
                    "Incoming call time limitation (0-25 min, 0=no limit)"),
    Make::EventCode("Event1", Event1, "acgEvent1", "Event code 1"),
    Make::EventCode("Event2", Event2, "acgEvent2", "Event code 2"),
    Make::EventCode("Event3", Event3, "acgEvent3", "Event code 3"),
    Make::EventCode("Event4", Event4, "acgEvent4", "Event code 4"),
    Make::EventCode("Event5", Event5, "acgEvent5", "Event code 5"),
    Make::EventCode("Event6", Event6, "acgEvent6", "Event code 6"),
    Make::EventCode("Event7", Event7, "acgEvent7", "Event code 7"),
    Make::EventCode("Event8", Event8, "acgEvent8", "Event code 8"),
    Make::EventCode("Event9", Event9, "acgEvent9", "Event code 9"),
    Make::EventCode("Event10", Event10, "acgEvent10", "Event code 10"),
    Make::SmsText("SMS1", SMS1, "edSMS1", "SMS text 1"),
    Make::SmsText("SMS2", SMS2, "edSMS2", "SMS text 2"),
    Make::SmsText("SMS3", SMS3, "edSMS3", "SMS text 3"),
    Make::SmsText("SMS4", SMS4, "edSMS4", "SMS text 4"),
    Make::SmsText("SMS5", SMS5, "edSMS5", "SMS text 5"),
    Make::SmsText("SMS6", SMS6, "edSMS6", "SMS text 6"),
    Make::SmsText("SMS7", SMS7, "edSMS7", "SMS text 7"),
    Make::SmsText("SMS8", SMS8, "edSMS8", "SMS text 8"),
    Make::SmsText("SMS9", SMS9, "edSMS9", "SMS text 9"),
    Make::SmsText("SMS10", SMS10, "edSMS10", "SMS text 10"),
    Make::SmsText("SMS11", SMS11, "edSMS11", "IN1 input"),
    Make::SmsText("SMS12", SMS12, "edSMS12", "IN2 input"),
    Make::SmsText("SMS13", SMS13, "edSMS13", "IN3 input"),
    Make::Digits16("BELLPhnrEnabled1", BELLPhnrEnabled1, "acgBELLPhnrEnabled1", Page::Bell103,
                   "1. Enabled phone number"),
    Make::Digits16("BELLPhnrEnabled2", BELLPhnrEnabled2, "acgBELLPhnrEnabled2", Page::Bell103,
                   "2. Enabled phone number"),
    Make::FlagBits("BELLFlags", BELLFlags, "rgBELLCallFilter", "cbBELLcallback", "BELL103 filter and callback"),
    Make::flag("VoiceCaller", VoiceCaller, "cbVoiceCaller", FlagRead::IsOne, Page::Phone,
               "Voice caller support (Signal between dial and connect)"),
    Make::GprsText("APN", APN, ApnCapacity, "edAPN", "APN"),
    Make::GprsText("UserName", UserName, UserNameCapacity, "edUserName", "User name"),
    Make::GprsText("PWD", PWD, PwdCapacity, "edPWD", "Password"),
    Make::flag("GPRSmode", GPRSmode, "cbGPRSmode", FlagRead::IsOne, Page::Gprs, "GPRS mode"),
    Make::word16("PanelID", PanelID, "udPanelID", "edPanelID", "Serial number"),
    Make::ipv4("IPAddress1", IPAddress1, "IPAddressControl1", "1. IP address"),
    Make::word16("Port1", Port1, "udPort1", "edPort1", "1. port"),
    Make::reserved("Reserved1", Reserved1),
    Make::ipv4("IPAddress2", IPAddress2, "IPAddressControl2", "2. IP address"),
    Make::word16("Port2", Port2, "udPort2", "edPort2", "2. port"),
    Make::reserved("Reserved2", Reserved2),
    Make::ipv4("IPAddress3", IPAddress3, "IPAddressControl3", "3. IP address"),
    Make::word16("Port3", Port3, "udPort3", "edPort3", "3. port"),
    Make::reserved("Reserved3", Reserved3),
    Make::ipv4("IPAddress4", IPAddress4, "IPAddressControl4", "4. IP address"),
    Make::word16("Port4", Port4, "udPort4", "edPort4", "4. port"),
    Make::reserved("Reserved4", Reserved4),
    Make::word16("CentralID", CentralID, "udServerID", "edCentralID", "Centre identifier"),
};

inline constexpr int NamedFieldCount = 60;

// The field of that name, or nullptr.
constexpr const Field *findField(std::string_view name)
{
    for (const Field &f : Fields)
        if (f.name == name)
            return &f;
    return nullptr;
}

// The field shown by that control (or its companion), or nullptr.
constexpr const Field *fieldOfControl(std::string_view control)
{
    if (control.empty())
        return nullptr;
    for (const Field &f : Fields)
        if (f.control == control || f.companion == control)
            return &f;
    return nullptr;
}

namespace Check {
constexpr bool fieldsInOrderAndDisjoint()
{
    int end = 0;
    for (const Field &f : Fields) {
        if (f.offset < end || f.length <= 0)
            return false;
        end = f.offset + f.length;
    }
    return end <= ImageSize;
}
// A field never straddles the end of the transferred region.
constexpr bool noFieldCrossesModuleEnd()
{
    for (const Field &f : Fields)
        if (f.offset < ModuleBytes && f.offset + f.length > ModuleBytes)
            return false;
    return true;
}
} // namespace Check

static_assert(Check::fieldsInOrderAndDisjoint());
static_assert(Check::noFieldCrossesModuleEnd());
static_assert(Fields.size() - ReservedOffsets.size() == NamedFieldCount);
static_assert(APN + 1 + ApnCapacity == UserName);

} // namespace EEAddr
