#pragma once
// The serial ports of this machine, for the settings dialog's port box.
// Windows: the values of the registry key HKLM\HARDWARE\DEVICEMAP\SERIALCOMM,
// in the order the registry enumerates them (PortListWin.cpp). Linux: the
// ports QSerialPortInfo finds (PortListUnix.cpp). No key, an empty key or no
// ports: an empty list; the user can still type a name.

#include <string>
#include <vector>

// Port names in UTF-8, such as "COM3" or "ttyUSB0".
std::vector<std::string> SerialPortNames();
// The port the program tries while Config.ini names none: COM1 on Windows; on
// Linux, which has no COM1, the first port the list finds, or /dev/ttyUSB0
// (the first USB adapter) when it finds none.
std::string DefaultPortName();
