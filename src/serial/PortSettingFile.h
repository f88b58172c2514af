#pragma once
// Remembers the chosen port name between runs in "QuelmarSetup.ini" of the
// current directory: the grid file of the hidden two-column grid advSave,
// whose cell (0, 0) holds the name.

#include "GridTextFile.h"

#include <QString>

class PortSettingFile
{
public:
    static inline const QString FileName = QStringLiteral("QuelmarSetup.ini");
    static inline const QString DefaultPort = QStringLiteral("COM1");

    PortSettingFile(); // advSave: 2 columns x 1 row, both 20 wide, empty

    // Loads the file and gives cell (0, 0) as written there; the serial port
    // normalises it. A missing, unreadable or damaged file gives "COM1".
    QString restorePortName();

    // Puts the name into cell (0, 0) and saves the grid as it was loaded (a
    // file with other sizes keeps them). On failure returns false with
    // "Cannot Create QuelmarSetup.ini" in *error; the old file is kept.
    [[nodiscard]] bool storePortName(const QString &port, QString *error = nullptr);

    const GridTextFile &advSave() const { return m_advSave; }

private:
    GridTextFile m_advSave;
};
