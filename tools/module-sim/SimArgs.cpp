#include "SimArgs.h"

#include "common/Windows1250.h"

#include <QStringList>
#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<FaultKind, const char *>, 12> FaultNames = {{
    {FaultKind::DropBlock, "drop-block"},
    {FaultKind::WrongAddress, "wrong-address"},
    {FaultKind::Corrupt, "corrupt"},
    {FaultKind::NoAck, "no-ack"},
    {FaultKind::KeepOld, "keep-old"},
    {FaultKind::Noise, "noise"},
    {FaultKind::HangupAfter, "hangup-after"},
    {FaultKind::Late, "late"},
    {FaultKind::DupAck, "dup-ack"},
    {FaultKind::LateAck, "late-ack"},
    {FaultKind::LoseWrite, "lose-write"},
    {FaultKind::LateLast, "late-last"},
}};

template<typename T>
std::optional<T> fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return std::nullopt;
}

} // namespace

std::optional<long long> parseNumber(const QString &text)
{
    const QString t = text.trimmed();
    bool ok = false;
    // Base 0 would read a leading 0 as octal; only 0x switches the base.
    const long long value = t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
                                ? t.mid(2).toLongLong(&ok, 16)
                                : t.toLongLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

QString faultName(FaultKind kind)
{
    for (const auto &[k, name] : FaultNames)
        if (k == kind)
            return QString::fromLatin1(name);
    return {};
}

std::optional<Fault> parseFault(const QString &text, QString *error)
{
    const qsizetype eq = text.indexOf(QLatin1Char('='));
    if (eq < 0)
        return fail<Fault>(error, QStringLiteral("fault '%1' is not KIND=ARG").arg(text));
    const QString name = text.left(eq).trimmed();
    const QString arg = text.mid(eq + 1);

    Fault fault;
    bool known = false;
    for (const auto &[k, n] : FaultNames)
        if (name == QLatin1String(n)) {
            fault.kind = k;
            known = true;
        }
    if (!known)
        return fail<Fault>(error, QStringLiteral("unknown fault '%1'").arg(name));

    if (fault.kind == FaultKind::Noise) {
        bool ok = false;
        fault.probability = arg.trimmed().toDouble(&ok);
        if (!ok || !(fault.probability >= 0.0 && fault.probability <= 1.0))
            return fail<Fault>(error, QStringLiteral("noise wants a probability from 0 to 1, not '%1'").arg(arg));
        return fault;
    }
    const auto n = parseNumber(arg);
    if (fault.kind == FaultKind::HangupAfter) {
        if (!n || *n < 1 || *n > 1'000'000'000)
            return fail<Fault>(error, QStringLiteral("hangup-after wants a frame count of at least 1, not '%1'").arg(arg));
        fault.frames = static_cast<int>(*n);
        return fault;
    }
    if (!n || *n < 0 || *n >= ModuleSimulator::BlockCount)
        return fail<Fault>(error, QStringLiteral("%1 wants a block number from 0 to 14, not '%2'").arg(name, arg));
    fault.block = static_cast<int>(*n);
    return fault;
}

std::optional<ModuleSimulator::Status> parseStatus(const QString &text, QString *error)
{
    const QStringList parts = text.split(QLatin1Char(','));
    std::array<std::uint8_t, 4> bytes{};
    if (parts.size() != 4)
        return fail<ModuleSimulator::Status>(error, QStringLiteral("status '%1' is not FLAGS,LEVEL,CALLSTATE,SPARE").arg(text));
    for (int i = 0; i < 4; ++i) {
        const auto n = parseNumber(parts[i]);
        if (!n || *n < 0 || *n > 255)
            return fail<ModuleSimulator::Status>(error, QStringLiteral("status byte '%1' is not 0 to 255").arg(parts[i]));
        bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(*n);
    }
    return ModuleSimulator::Status{bytes[0], bytes[1], bytes[2], bytes[3]};
}

std::optional<ModuleSimulator::LevelWave> parseLevelWave(const QString &text, QString *error)
{
    using Wave = ModuleSimulator::LevelWave;
    const QStringList parts = text.split(QLatin1Char(','));
    const auto bad = [&] {
        return fail<Wave>(error, QStringLiteral("level wave '%1' is not MIN,MAX,SECONDS with 0 <= MIN <= MAX <= 31 "
                                                "and 1 to 86400 seconds").arg(text));
    };
    if (parts.size() != 3)
        return bad();
    const auto min = parseNumber(parts[0]);
    const auto max = parseNumber(parts[1]);
    const auto seconds = parseNumber(parts[2]);
    if (!min || !max || !seconds || *min < 0 || *max > 31 || *min > *max || *seconds < 1 || *seconds > 86400)
        return bad();
    return Wave{static_cast<int>(*min), static_cast<int>(*max), *seconds * 1000};
}

std::optional<StateText> parseStateText(const QString &text, QString *error)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    const auto channel = colon < 0 ? std::nullopt : parseNumber(text.left(colon));
    if (!channel || *channel < 1 || *channel > ModuleSimulator::ChannelCount)
        return fail<StateText>(error, QStringLiteral("text '%1' is not CHANNEL:TEXT with a channel of 1 to 4").arg(text));
    return StateText{static_cast<int>(*channel), Windows1250::fromUnicode(text.mid(colon + 1))};
}
