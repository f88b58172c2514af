#pragma once
// The port list behind the port selection dialog: which serial devices the
// system knows, which of them are present now, and the rules that turn
// their list entries into what the dialog shows.
//
// A list entry (PortEntry) is a text: presence mark ("+" present, "-" absent,
// none in DeviceList itself), display name, ";", detail. For example
// "+FT232R USB UART (COM33);FTDI : /dev/ttyUSB0".

#include "PortMap.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// One serial device as the device registry reports it.
struct RegistryDevice
{
    QString friendlyName; // offered only if it holds "(COMn)"
    QString manufacturer;
    QString node;         // device node or link target, added to the detail
};

// Where the two inputs of the list come from. The real one reads udev and
// the port directory (UdevRegistry); tests give their own.
class DeviceRegistry
{
public:
    virtual ~DeviceRegistry() = default;
    // Every serial device the system knows, plugged in or not. Slow.
    virtual QList<RegistryDevice> knownDevices() = 0;
    // The port names ("COMn") whose device is there right now. Cheap: it
    // runs once a second while the dialog is open.
    virtual QStringList presentPorts() = 0;
};

namespace SorosKeres {

// Text before the first ";" without a leading "+" or "-"; empty when the
// entry has no ";" or starts with it.
QString DisplayNameOf(const QString &entry);
// Text after the first ";" if at least two characters follow it; an entry
// without ";" of two or more characters is its own detail.
QString DetailOf(const QString &entry);
// "COMn" -> n; otherwise the number between "(COM" and the next ")".
// 0 if the entry has neither; nullopt if the text there is not an integer.
std::optional<int> PortNumberOf(const QString &entry);

// What the port dialog shows as the chosen port: the display name up to a ":".
QString chosenDisplayName(const QString &entry);
// The chosen-port name of the entry for port ("COM33"), or the port itself
// when no entry has its number.
QString portDisplayName(const QStringList &entries, const QString &port);

// A whole-text integer: leading blanks, optional sign, decimal digits or
// hexadecimal after "$" or "0x". nullopt for anything else.
std::optional<int> parseInteger(QStringView text);
// The leading integer of a typed answer (same forms); reading stops at the
// first character that does not belong to it. 0 when there is none.
int readLeadingInteger(QStringView text);

// Ascending port number; entries with equal numbers keep their order.
// Entries whose number cannot be read count as 0.
void sortByPortNumber(QStringList &entries);

// The unmarked, sorted entries for the devices: only those whose friendly
// name holds "(COM" and a readable number.
QStringList entriesFor(const QList<RegistryDevice> &devices);
// The entries marked "+" or "-", in port-number order, present before
// absent for equal numbers. Each present port name marks the first still
// unmarked entry with its number.
QStringList markPresence(const QStringList &deviceList, const QStringList &presentPorts);

// A port the user added by number. Only numbers the serial port can open:
// a larger one would be shown while the port falls back to COM1.
QString userPortEntry(int number);
inline constexpr int FirstUserPort = PortMap::FirstPort;
inline constexpr int LastUserPort = PortMap::LastPort;

// The program-wide list, built from the current registry on first use.
// Until setDeviceRegistry is called, the registry is the udev one.
void setDeviceRegistry(DeviceRegistry *registry); // nullptr: back to udev
DeviceRegistry &currentRegistry();
const QStringList &DeviceList();
void RebuildDeviceList();
// Replaces the list's contents with the marked entries.
void ListSerialPorts(QStringList &list);

} // namespace SorosKeres
