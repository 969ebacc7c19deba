// The port list over QSerialPortInfo (Qt SerialPort, Linux only).
#include <QSerialPortInfo>

#include "link/PortList.h"

std::vector<std::string> SerialPortNames() {
    std::vector<std::string> names;
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts())
        names.push_back(port.portName().toStdString());
    return names;
}

std::string DefaultPortName() {
    const std::vector<std::string> names = SerialPortNames();
    return names.empty() ? std::string("/dev/ttyUSB0") : names.front();
}
