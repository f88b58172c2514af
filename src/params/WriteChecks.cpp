#include "WriteChecks.h"

#include <QSettings>
#include <QStandardPaths>

namespace {

const QString VerifyKey = QStringLiteral("Transfer/VerifyAfterWriting");
const QString BackupKey = QStringLiteral("Transfer/BackUpBeforeWriting");
const QString ChangedOnlyKey = QStringLiteral("Transfer/WriteOnlyChangedBlocks");

} // namespace

QString userSettingsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/quelmar/QuelmarSetup.conf");
}

WriteChecks loadWriteChecks()
{
    const QSettings settings(userSettingsPath(), QSettings::IniFormat);
    return {settings.value(VerifyKey, false).toBool(), settings.value(BackupKey, false).toBool(),
            settings.value(ChangedOnlyKey, false).toBool()};
}

void storeWriteChecks(const WriteChecks &checks)
{
    // QSettings writes through a temporary file and a rename.
    QSettings settings(userSettingsPath(), QSettings::IniFormat);
    settings.setValue(VerifyKey, checks.verify);
    settings.setValue(BackupKey, checks.backup);
    settings.setValue(ChangedOnlyKey, checks.changedOnly);
    settings.sync();
}
