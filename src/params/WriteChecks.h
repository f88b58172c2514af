#pragma once
// What the installer asked for around a write, kept between runs in the
// user's settings: $XDG_CONFIG_HOME/quelmar/QuelmarSetup.conf, or
// ~/.config/quelmar/QuelmarSetup.conf. All are off until asked for.

#include <QString>

struct WriteChecks
{
    bool verify = false; // read the module back after writing
    bool backup = false; // read the module into the history before writing
    bool changedOnly = false; // write only the blocks the module holds otherwise
};

QString userSettingsPath();
WriteChecks loadWriteChecks();
void storeWriteChecks(const WriteChecks &checks);
