#include "PortSettingFile.h"

#include <exception>

PortSettingFile::PortSettingFile()
    : m_advSave(2, 1)
{
    m_advSave.setColumnWidth(0, 20);
    m_advSave.setColumnWidth(1, 20);
}

QString PortSettingFile::restorePortName()
{
    try {
        m_advSave.LoadGridFile(FileName);
        return m_advSave.cell(0, 0);
    } catch (const std::exception &) {
        // Start-up goes on with the default port, silently.
        return DefaultPort;
    }
}

bool PortSettingFile::storePortName(const QString &port, QString *error)
{
    m_advSave.setCell(0, 0, port);
    try {
        m_advSave.SaveGridFile(FileName);
        return true;
    } catch (const GridFileError &e) {
        if (error)
            *error = e.message();
        return false;
    }
}
