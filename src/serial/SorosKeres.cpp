#include "SorosKeres.h"

#include "UdevRegistry.h"

#include <limits>
#include <memory>
#include <utility>

namespace SorosKeres {

namespace {

int hexDigit(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

// The number at the start of text, in the forms both readers accept.
// `end` is where reading stopped; `digits` how many digits were read.
struct Reading
{
    long long value = 0;
    qsizetype end = 0;
    int digits = 0;
    bool overflow = false;
};

Reading readNumber(QStringView text)
{
    Reading r;
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    constexpr long long limit = std::numeric_limits<int>::max();
    for (; i < text.size(); ++i) {
        const int d = hexDigit(text[i]);
        if (d < 0 || d >= base)
            break;
        ++r.digits;
        if (r.value <= limit)
            r.value = r.value * base + d;
    }
    if (r.value > limit)
        r.overflow = true;
    if (negative)
        r.value = -r.value;
    r.end = i;
    return r;
}

std::unique_ptr<DeviceRegistry> s_udevRegistry;
DeviceRegistry *s_registry = nullptr;
std::optional<QStringList> s_deviceList;

} // namespace

QString DisplayNameOf(const QString &entry)
{
    const qsizetype semicolon = entry.indexOf(u';');
    if (semicolon < 1)
        return {};
    QString name = entry.left(semicolon);
    if (name.startsWith(u'+') || name.startsWith(u'-'))
        name.remove(0, 1);
    return name;
}

QString DetailOf(const QString &entry)
{
    const qsizetype semicolon = entry.indexOf(u';');
    if (semicolon < 0)
        return entry.size() >= 2 ? entry : QString();
    if (entry.size() - semicolon - 1 < 2)
        return {};
    return entry.mid(semicolon + 1);
}

QString chosenDisplayName(const QString &entry)
{
    const QString name = DisplayNameOf(entry);
    const qsizetype colon = name.indexOf(u':');
    return colon < 0 ? name : name.left(colon);
}

QString portDisplayName(const QStringList &entries, const QString &port)
{
    const std::optional<int> number = PortNumberOf(port);
    for (const QString &entry : entries)
        if (number && *number > 0 && PortNumberOf(entry) == number)
            return chosenDisplayName(entry);
    return port;
}

std::optional<int> PortNumberOf(const QString &entry)
{
    if (entry.startsWith(u"COM"))
        return parseInteger(QStringView(entry).mid(3));
    const qsizetype open = entry.indexOf(u"(COM");
    if (open < 0)
        return 0;
    const qsizetype from = open + 4;
    const qsizetype close = entry.indexOf(u')', from);
    if (close < 0)
        return 0;
    return parseInteger(QStringView(entry).mid(from, close - from));
}

std::optional<int> parseInteger(QStringView text)
{
    const Reading r = readNumber(text);
    if (r.digits == 0 || r.overflow || r.end != text.size())
        return std::nullopt;
    return static_cast<int>(r.value);
}

int readLeadingInteger(QStringView text)
{
    const Reading r = readNumber(text);
    if (r.overflow)
        return r.value < 0 ? std::numeric_limits<int>::min() : std::numeric_limits<int>::max();
    return static_cast<int>(r.value);
}

void sortByPortNumber(QStringList &entries)
{
    QList<int> numbers;
    numbers.reserve(entries.size());
    for (const QString &entry : entries)
        numbers.append(PortNumberOf(entry).value_or(0));

    // Neighbouring-pair passes: equal numbers never swap, so the order the
    // registry gave them survives.
    bool swapped = true;
    while (swapped) {
        swapped = false;
        for (qsizetype i = 0; i + 1 < entries.size(); ++i) {
            if (numbers[i] > numbers[i + 1]) {
                entries.swapItemsAt(i, i + 1);
                numbers.swapItemsAt(i, i + 1);
                swapped = true;
            }
        }
    }
}

QStringList entriesFor(const QList<RegistryDevice> &devices)
{
    QStringList entries;
    for (const RegistryDevice &device : devices) {
        if (!device.friendlyName.contains(u"(COM"))
            continue;
        // A ";" inside the name would cut the display name short.
        QString name = device.friendlyName;
        name.replace(u';', u',');
        QStringList detail;
        if (!device.manufacturer.isEmpty())
            detail.append(device.manufacturer);
        if (!device.node.isEmpty())
            detail.append(device.node);
        const QString entry = name + u';' + detail.join(u" : ");
        if (!PortNumberOf(entry))
            continue;
        entries.append(entry);
    }
    sortByPortNumber(entries);
    return entries;
}

QStringList markPresence(const QStringList &deviceList, const QStringList &presentPorts)
{
    if (deviceList.isEmpty())
        return {};
    QStringList present;
    QStringList absent = deviceList;
    for (const QString &port : presentPorts) {
        const std::optional<int> number = PortNumberOf(port);
        if (!number)
            continue;
        for (qsizetype i = 0; i < absent.size(); ++i) {
            if (PortNumberOf(absent[i]) == number) {
                present.append(absent.takeAt(i));
                break;
            }
        }
    }
    sortByPortNumber(present);
    sortByPortNumber(absent);
    QStringList marked;
    for (const QString &entry : std::as_const(present))
        marked.append(u'+' + entry);
    for (const QString &entry : std::as_const(absent))
        marked.append(u'-' + entry);
    sortByPortNumber(marked);
    return marked;
}

QString userPortEntry(int number)
{
    return QStringLiteral("+Sajátport (COM%1);(user defined port)").arg(number);
}

void setDeviceRegistry(DeviceRegistry *registry)
{
    s_registry = registry;
    s_deviceList.reset();
}

DeviceRegistry &currentRegistry()
{
    if (s_registry)
        return *s_registry;
    if (!s_udevRegistry)
        s_udevRegistry = std::make_unique<UdevRegistry>();
    return *s_udevRegistry;
}

const QStringList &DeviceList()
{
    if (!s_deviceList)
        RebuildDeviceList();
    return *s_deviceList;
}

void RebuildDeviceList()
{
    s_deviceList = entriesFor(currentRegistry().knownDevices());
}

void ListSerialPorts(QStringList &list)
{
    const QStringList &devices = DeviceList();
    list = devices.isEmpty() ? QStringList() : markPresence(devices, currentRegistry().presentPorts());
}

} // namespace SorosKeres
