#include "link/CommPort.h"

std::string DevicePathForPortName(const std::string& portName) {
    static const std::string prefix = "//.//";
    std::string rest =
        portName.compare(0, prefix.size(), prefix) == 0 ? portName.substr(prefix.size()) : portName;
#ifdef _WIN32
    return portName;
#else
    if (rest.empty()) return rest;
    if (rest.front() == '/') return rest;
    return "/dev/" + rest;
#endif
}
