#pragma once
// The device registry on Linux: udev's serial devices and the links of the
// per-user port directory, named by the port map.

#include "SorosKeres.h"

class UdevRegistry : public DeviceRegistry
{
public:
    // Each link comN of the port directory (the device its target resolves
    // to gives the names, else the target itself), then every udev tty with
    // real hardware behind it that a range name reaches and no link shadows.
    QList<RegistryDevice> knownDevices() override;
    // COMn whose device (the link's target, else the range node) exists.
    QStringList presentPorts() override;
};
