#include "link/CommPort.h"

std::string DevicePathForPortName(const std::string& portName) {
#ifdef _WIN32
    return portName;  // CreateFileA takes the name as it stands
#else
    static const std::string prefix = "//.//";
    const std::string rest =
        portName.compare(0, prefix.size(), prefix) == 0 ? portName.substr(prefix.size()) : portName;
    if (rest.empty() || rest.front() == '/') return rest;
    return "/dev/" + rest;
#endif
}
