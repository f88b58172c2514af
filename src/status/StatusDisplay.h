#pragma once
// What the status window shows for the module's four status bytes: the input
// and line indicators, the call state text and the signal level.

#include "link/MessageDispatcher.h"

#include <QString>
#include <array>
#include <cstdint>

struct Rgb
{
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend bool operator==(const Rgb &, const Rgb &) = default;
};

namespace StatusColour {
inline constexpr Rgb Black{0, 0, 0};
inline constexpr Rgb Red{255, 0, 0};
inline constexpr Rgb Green{0, 128, 0};
inline constexpr Rgb Blue{0, 0, 255};
} // namespace StatusColour

struct Indicator
{
    QString text;
    Rgb colour;
    friend bool operator==(const Indicator &, const Indicator &) = default;
};

struct StatusDisplay
{
    static constexpr int InputCount = 4;
    static constexpr int MaxSignalLevel = 31;

    std::array<Indicator, InputCount> inputs; // IN1 to IN4
    Indicator line;
    Indicator callState; // the state's text, a blank and the code
    int signalBar = 0;   // 0 to MaxSignalLevel
    QString signalText;  // the level as received, in decimal
};

// The text and colour of a call state code, without the code.
Indicator callStateIndicator(std::uint8_t callState);

StatusDisplay describeStatus(const StatusFields &fields);

// The names of the status as the report and the command line write them.
namespace StatusWords {
inline constexpr char Inputs[] = "Inputs";
inline constexpr char Line[] = "Line";
inline constexpr char CallState[] = "Call state";
inline constexpr char SignalLevel[] = "Signal level";
} // namespace StatusWords

// "IN1 Open, IN2 Open, IN3 Short, IN4 Open"
QString inputsText(const StatusDisplay &display);
// The whole status on one line: "IN1 Open, IN2 Open, IN3 Short, IN4 Open,
// Line Exists, call state Normal state. 0, signal level 23".
QString statusLine(const StatusDisplay &display);
