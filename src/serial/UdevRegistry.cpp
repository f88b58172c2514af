#include "UdevRegistry.h"

#include "PortMap.h"

#include <QFileInfo>
#include <QHash>
#include <libudev.h>
#include <memory>

namespace {

struct UdevTty
{
    QString node;
    QString model;
    QString manufacturer;
};

using UdevPtr = std::unique_ptr<udev, decltype(&udev_unref)>;
using EnumeratePtr = std::unique_ptr<udev_enumerate, decltype(&udev_enumerate_unref)>;
using DevicePtr = std::unique_ptr<udev_device, decltype(&udev_device_unref)>;

// udev's *_ENC strings escape blanks and the like as \xNN.
QString decodeUdevString(const char *text)
{
    QByteArray out;
    for (const char *p = text; *p; ++p) {
        if (p[0] == '\\' && p[1] == 'x' && p[2] && p[3]) {
            bool ok = false;
            const int byte = QByteArray(p + 2, 2).toInt(&ok, 16);
            if (ok) {
                out.append(char(byte));
                p += 3;
                continue;
            }
        }
        out.append(*p);
    }
    return QString::fromUtf8(out).trimmed();
}

QString Property(udev_device *device, const char *name)
{
    const char *value = udev_device_get_property_value(device, name);
    return value ? QString::fromUtf8(value).trimmed() : QString();
}

QString encodedProperty(udev_device *device, const char *name)
{
    const char *value = udev_device_get_property_value(device, name);
    return value ? decodeUdevString(value) : QString();
}

QString attribute(udev_device *device, const char *name)
{
    const char *value = device ? udev_device_get_sysattr_value(device, name) : nullptr;
    return value ? QString::fromUtf8(value).trimmed() : QString();
}

// The first non-empty text.
QString firstOf(std::initializer_list<QString> texts)
{
    for (const QString &text : texts)
        if (!text.isEmpty())
            return text;
    return {};
}

// 8250 placeholders exist for every possible port: their UART type is
// unknown (0) until real hardware answers.
bool isPlaceholder(udev_device *device)
{
    const QString name = QString::fromUtf8(udev_device_get_sysname(device));
    if (!name.startsWith(u"ttyS"))
        return false;
    const QString type = attribute(device, "type");
    return !type.isEmpty() && type.toInt() == 0;
}

QList<UdevTty> scanTtys()
{
    QList<UdevTty> ttys;
    UdevPtr context(udev_new(), &udev_unref);
    if (!context)
        return ttys;
    EnumeratePtr enumerate(udev_enumerate_new(context.get()), &udev_enumerate_unref);
    if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "tty") < 0
        || udev_enumerate_scan_devices(enumerate.get()) < 0)
        return ttys;

    udev_list_entry *entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get()))
    {
        DevicePtr device(udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)),
                         &udev_device_unref);
        if (!device)
            continue;
        const char *node = udev_device_get_devnode(device.get());
        // Virtual terminals and the like have no hardware behind them.
        if (!node || !udev_device_get_parent(device.get()) || isPlaceholder(device.get()))
            continue;

        udev_device *usb = udev_device_get_parent_with_subsystem_devtype(device.get(), "usb", "usb_device");
        UdevTty tty;
        tty.node = QString::fromUtf8(node);
        tty.model = firstOf({attribute(usb, "product"), encodedProperty(device.get(), "ID_MODEL_ENC"),
                             Property(device.get(), "ID_MODEL"),
                             Property(device.get(), "ID_MODEL_FROM_DATABASE"),
                             QString::fromUtf8(udev_device_get_sysname(device.get()))});
        tty.manufacturer = firstOf({attribute(usb, "manufacturer"), encodedProperty(device.get(), "ID_VENDOR_ENC"),
                                    Property(device.get(), "ID_VENDOR"),
                                    Property(device.get(), "ID_VENDOR_FROM_DATABASE")});
        ttys.append(tty);
    }
    return ttys;
}

QString friendlyName(const QString &model, int number)
{
    return QStringLiteral("%1 (COM%2)").arg(model).arg(number);
}

} // namespace

QList<RegistryDevice> UdevRegistry::knownDevices()
{
    const QList<UdevTty> ttys = scanTtys();
    QHash<QString, const UdevTty *> byNode;
    for (const UdevTty &tty : ttys)
        byNode.insert(QFileInfo(tty.node).canonicalFilePath(), &tty);

    QList<RegistryDevice> devices;
    for (int n = PortMap::FirstPort; n <= PortMap::LastPort; ++n) {
        const QFileInfo link(PortMap::linkPath(n));
        if (!link.isSymLink())
            continue;
        const QString target = link.symLinkTarget();
        const QString resolved = link.canonicalFilePath(); // empty while dangling
        if (const UdevTty *tty = resolved.isEmpty() ? nullptr : byNode.value(resolved)) {
            devices.append({friendlyName(tty->model, n), tty->manufacturer, target});
            continue;
        }
        const QString shortName = target.startsWith(u"/dev/") ? target.mid(5) : QFileInfo(target).fileName();
        devices.append({friendlyName(shortName, n), QString(), target});
    }

    // A device is offered under its range name only where no link takes
    // that name over.
    for (const UdevTty &tty : ttys) {
        const int n = PortMap::rangePortNumber(tty.node);
        if (n > 0 && PortMap::devicePath(n) == tty.node)
            devices.append({friendlyName(tty.model, n), tty.manufacturer, tty.node});
    }
    return devices;
}

QStringList UdevRegistry::presentPorts()
{
    QStringList ports;
    for (int n = PortMap::FirstPort; n <= PortMap::LastPort; ++n) {
        if (QFileInfo::exists(PortMap::devicePath(n)))
            ports.append(QStringLiteral("COM%1").arg(n));
    }
    return ports;
}
