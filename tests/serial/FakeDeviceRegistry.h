#pragma once
// A device registry whose devices and present ports the test sets directly.

#include "serial/SorosKeres.h"

class FakeDeviceRegistry : public DeviceRegistry
{
public:
    QList<RegistryDevice> devices;
    QStringList present;
    int scans = 0;

    QList<RegistryDevice> knownDevices() override
    {
        ++scans;
        return devices;
    }
    QStringList presentPorts() override { return present; }
};

// Installs a registry for one test and restores the udev one afterwards.
class RegistryScope
{
public:
    explicit RegistryScope(DeviceRegistry *registry) { SorosKeres::setDeviceRegistry(registry); }
    ~RegistryScope() { SorosKeres::setDeviceRegistry(nullptr); }
    RegistryScope(const RegistryScope &) = delete;
    RegistryScope &operator=(const RegistryScope &) = delete;
};
