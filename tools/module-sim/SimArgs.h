#pragma once
// The command-line forms of the simulator's settings, parsed without any I/O
// so that tests can check them.

#include "ModuleSimulator.h"
#include "SimFault.h"

#include <QByteArray>
#include <QString>
#include <optional>

// Decimal, or hexadecimal with a 0x prefix.
std::optional<long long> parseNumber(const QString &text);

// The KIND of KIND=ARG.
QString faultName(FaultKind kind);
// KIND=ARG: drop-block=N, wrong-address=N, corrupt=N, no-ack=N, late=N (N a block,
// 0 to 14), noise=P (0 to 1), hangup-after=N (N at least 1).
std::optional<Fault> parseFault(const QString &text, QString *error = nullptr);

// FLAGS,LEVEL,CALLSTATE,SPARE, each a byte.
std::optional<ModuleSimulator::Status> parseStatus(const QString &text, QString *error = nullptr);

// MIN,MAX,SECONDS: levels 0 to 31 with MIN at most MAX, a period of 1 s to a day.
std::optional<ModuleSimulator::LevelWave> parseLevelWave(const QString &text, QString *error = nullptr);

struct StateText
{
    int channel = 0;
    QByteArray text; // Windows-1250
};
// CHANNEL:TEXT with a channel of 1 to 4.
std::optional<StateText> parseStateText(const QString &text, QString *error = nullptr);
