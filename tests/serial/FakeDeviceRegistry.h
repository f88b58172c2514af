#pragma once
// A device registry whose devices and present ports the test sets directly.

#include "serial/SorosKeres.h"

class FakeDeviceRegistry : public DeviceRegistry
{
public:
    QList<RegistryDevice> devices;
    QStringList present;
    int scans = 0;

    QList<RegistryDevice> KnownDevices() override
    {
        ++scans;
        return devices;
    }
    QStringList PresentPorts() override { return present; }
};

// Installs a registry for one test and restores the udev one afterwards.
class RegistryScope
{
public:
    explicit RegistryScope(DeviceRegistry *registry) { SorosKeres::SetDeviceRegistry(registry); }
    ~RegistryScope() { SorosKeres::SetDeviceRegistry(nullptr); }
    RegistryScope(const RegistryScope &) = delete;
    RegistryScope &operator=(const RegistryScope &) = delete;
};
