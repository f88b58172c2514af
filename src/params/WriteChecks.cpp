#include "WriteChecks.h"

#include "serial/PortMap.h"

#include <QSettings>

namespace {

const QString VerifyKey = QStringLiteral("Transfer/VerifyAfterWriting");
const QString BackupKey = QStringLiteral("Transfer/BackUpBeforeWriting");

} // namespace

QString UserSettingsPath()
{
    return PortMap::XdgFolder("XDG_CONFIG_HOME", ".config") + QStringLiteral("/QuelmarSetup.conf");
}

WriteChecks LoadWriteChecks()
{
    const QSettings settings(UserSettingsPath(), QSettings::IniFormat);
    return {settings.value(VerifyKey, false).toBool(), settings.value(BackupKey, false).toBool()};
}

void SaveWriteChecks(const WriteChecks &checks)
{
    // QSettings writes through a temporary file and a rename.
    QSettings settings(UserSettingsPath(), QSettings::IniFormat);
    settings.setValue(VerifyKey, checks.verify);
    settings.setValue(BackupKey, checks.backup);
    settings.sync();
}
