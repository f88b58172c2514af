#include "PortMap.h"

#include <QDir>
#include <QFileInfo>

#include <array>

namespace PortMap {

namespace {

struct Range
{
    const char *prefix;
    int firstPort;
};

// 32 device nodes each, in port order.
constexpr int RangeSize = 32;
constexpr std::array<Range, 3> Ranges = {{
    {"/dev/ttyS", 1},
    {"/dev/ttyUSB", 33},
    {"/dev/ttyACM", 65},
}};

// Plain decimal digits only: no sign, no blanks.
int digitsValue(QStringView text)
{
    if (text.isEmpty() || text.size() > 4)
        return -1;
    int value = 0;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

} // namespace

QString xdgFolder(const char *variable, const char *fallback)
{
    // Relative values are invalid by the XDG rules and are ignored.
    QString base = qEnvironmentVariable(variable);
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QLatin1Char('/') + QLatin1String(fallback);
    return base + QStringLiteral("/quelmar");
}

QString portDirectory()
{
    return xdgFolder("XDG_CONFIG_HOME", ".config") + QStringLiteral("/ports");
}

QString linkPath(int number)
{
    return portDirectory() + QStringLiteral("/com") + QString::number(number);
}

QString devicePath(int number)
{
    if (number < FirstPort || number > LastPort)
        return {};
    // isSymLink looks at the link itself, so a dangling link still wins:
    // opening it then fails like an absent device would.
    const QString link = linkPath(number);
    if (QFileInfo(link).isSymLink())
        return link;
    for (auto it = Ranges.rbegin(); it != Ranges.rend(); ++it) {
        if (number >= it->firstPort)
            return QLatin1String(it->prefix) + QString::number(number - it->firstPort);
    }
    return {};
}

int portNumber(const QString &portName)
{
    if (!portName.startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
        return 0;
    const int number = digitsValue(QStringView(portName).mid(3));
    return number >= FirstPort && number <= LastPort ? number : 0;
}

int rangePortNumber(const QString &deviceNode)
{
    // Also accepts the bare kernel name ("ttyUSB0") that device lists give.
    const QString node = deviceNode.startsWith(QLatin1String("/dev/"))
                             ? deviceNode
                             : QStringLiteral("/dev/") + deviceNode;
    for (const Range &range : Ranges) {
        const QLatin1String prefix(range.prefix);
        if (!node.startsWith(prefix))
            continue;
        const int index = digitsValue(QStringView(node).mid(prefix.size()));
        if (index >= 0 && index < RangeSize)
            return range.firstPort + index;
    }
    return 0;
}

} // namespace PortMap
