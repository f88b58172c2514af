#pragma once
// How a port name COMn becomes a device on this system: a link named comN in
// the per-user port directory wins; otherwise COM1-32 are /dev/ttyS0-31,
// COM33-64 /dev/ttyUSB0-31 and COM65-96 /dev/ttyACM0-31.

#include <QString>

namespace PortMap {

inline constexpr int FirstPort = 1;
inline constexpr int LastPort = 96;

// $variable/quelmar, or ~/fallback/quelmar when the variable is unset or
// relative (the XDG rule): xdgFolder("XDG_CONFIG_HOME", ".config").
QString xdgFolder(const char *variable, const char *fallback);
// $XDG_CONFIG_HOME/quelmar/ports, or ~/.config/quelmar/ports.
QString portDirectory();
// <port directory>/comN, whether or not it exists.
QString linkPath(int number);
// The device for port number n: the link if one exists (even dangling),
// else the fixed range; empty for numbers outside 1 to 96.
QString devicePath(int number);
// The number of a port name of the form COMn (any case); 0 if it is none.
int portNumber(const QString &portName);
// The port number the fixed ranges give a device node ("/dev/ttyUSB0", or
// the bare kernel name "ttyUSB0"), 0 if none.
int rangePortNumber(const QString &deviceNode);

} // namespace PortMap
