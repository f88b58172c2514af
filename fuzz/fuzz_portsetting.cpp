// Any file as "QuelmarSetup.ini": the main window's restore (load the grid
// file, take cell (0, 0), normalise it as the serial port does) never fails
// and always gives a port COM1 to COM96; storing that port and restoring it
// again gives the same port, and the grid keeps the size the file gave it.

#include "FuzzSupport.h"

#include "serial/PortMap.h"
#include "serial/PortSettingFile.h"
#include "serial/SerialPort.h"

namespace {

void require(bool condition, const char *what)
{
    if (!condition)
        Fuzz::fail("portsetting", what);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The file has no folder in its name: it lives in the current directory.
    const Fuzz::InScratchDirectory here;
    Fuzz::WriteFile(PortSettingFile::FileName, data, size);

    PortSettingFile first;
    const QString port = NormalizePortName(first.restorePortName());
    const int number = PortMap::portNumber(port);
    require(number >= PortMap::FirstPort && number <= PortMap::LastPort, "restored a port outside COM1-COM96");
    require(port == QStringLiteral("COM%1").arg(number), "restored a name not in the form COMn");
    require(NormalizePortName(port) == port, "a normalised name changed again");

    const int columns = first.advSave().columnCount();
    const int rows = first.advSave().rowCount();
    QString error;
    require(first.storePortName(port, &error), "storing the port failed");

    PortSettingFile second;
    const QString again = second.restorePortName();
    require(again == port, "the stored port did not come back");
    require(second.advSave().columnCount() == columns && second.advSave().rowCount() == rows,
            "the stored grid came back with another size");
    return 0;
}
