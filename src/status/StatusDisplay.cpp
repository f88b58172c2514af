#include "StatusDisplay.h"

#include <QStringList>

#include <algorithm>

namespace {

constexpr std::uint8_t LineMask = 0x10;

struct CallStateRow
{
    std::uint8_t code;
    const char *text;
    Rgb colour;
};

// Codes not listed show "." in black. The texts are the module's own wording.
constexpr std::array<CallStateRow, 9> CallStates = {{
    {0, "Normal state.", StatusColour::Black},
    {1, "Picked up, waiting for dial.", StatusColour::Red},
    {2, "Outgoing call in progress.", StatusColour::Green},
    {3, "Auto receivimg Contac-ID signals", StatusColour::Blue},
    {4, "Incoming call, waiting for pick up.", StatusColour::Red},
    {5, "Incoming call in progress.", StatusColour::Green},
    {6, "Automatic call in progress.", StatusColour::Green},
    {9, "End of call.", StatusColour::Green},
    {11, "Output control call in progress", StatusColour::Green},
}};

} // namespace

Indicator callStateIndicator(std::uint8_t callState)
{
    for (const CallStateRow &row : CallStates)
        if (row.code == callState)
            return {QString::fromLatin1(row.text), row.colour};
    return {QStringLiteral("."), StatusColour::Black};
}

StatusDisplay describeStatus(const StatusFields &fields)
{
    StatusDisplay d;
    for (int k = 0; k < StatusDisplay::InputCount; ++k) {
        const bool shorted = fields.StatusFlags & (1u << k);
        d.inputs[static_cast<std::size_t>(k)] = shorted ? Indicator{QStringLiteral("Short"), StatusColour::Red}
                                                        : Indicator{QStringLiteral("Open"), StatusColour::Black};
    }
    d.line = (fields.StatusFlags & LineMask) ? Indicator{QStringLiteral("Line Exists"), StatusColour::Green}
                                              : Indicator{QStringLiteral("No Line"), StatusColour::Red};
    d.callState = callStateIndicator(fields.CallState);
    d.callState.text += QLatin1Char(' ') + QString::number(fields.CallState);
    d.signalBar = std::min<int>(fields.SignalLevel, StatusDisplay::MaxSignalLevel);
    d.signalText = QString::number(fields.SignalLevel);
    return d;
}

QString inputsText(const StatusDisplay &display)
{
    QStringList words;
    for (std::size_t k = 0; k < display.inputs.size(); ++k)
        words << QStringLiteral("IN%1 %2").arg(k + 1).arg(display.inputs[k].text);
    return words.join(QStringLiteral(", "));
}

QString statusLine(const StatusDisplay &display)
{
    const auto word = [](const char *name) { return QString::fromLatin1(name).toLower(); };
    return QStringList{inputsText(display), display.line.text,
                       word(StatusWords::CallState) + QLatin1Char(' ') + display.callState.text,
                       word(StatusWords::SignalLevel) + QLatin1Char(' ') + display.signalText}
        .join(QStringLiteral(", "));
}
