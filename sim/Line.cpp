#include "sim/Line.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace {

termios RawSettings() {
    termios t{};
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    return t;
}

speed_t SpeedFor(int baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return 0;
    }
}

}  // namespace

bool OpenPtyPair(TPtyPair& pair, std::string& error) {
    termios t = RawSettings();
    cfsetspeed(&t, B9600);
    char name[PATH_MAX] = {};
    if (openpty(&pair.Master, &pair.Slave, name, &t, nullptr) != 0) {
        error = std::string("openpty: ") + std::strerror(errno);
        pair.Master = pair.Slave = -1;
        return false;
    }
    ::fcntl(pair.Master, F_SETFD, FD_CLOEXEC);
    ::fcntl(pair.Slave, F_SETFD, FD_CLOEXEC);
    pair.SlavePath = name;
    return true;
}

void ClosePtyPair(TPtyPair& pair) {
    if (pair.Slave >= 0) ::close(pair.Slave);
    if (pair.Master >= 0) ::close(pair.Master);
    pair = TPtyPair{};
}

int OpenLineDevice(const std::string& path, int baud, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return -1;
    }
    if (::isatty(fd)) {
        termios t = RawSettings();
        t.c_cflag |= CS8;
        const speed_t speed = SpeedFor(baud);
        if (speed == 0) {
            error = "unsupported baud rate " + std::to_string(baud);
            ::close(fd);
            return -1;
        }
        cfsetspeed(&t, speed);
        if (::tcsetattr(fd, TCSANOW, &t) != 0) {
            error = path + ": " + std::strerror(errno);
            ::close(fd);
            return -1;
        }
        // An instrument switched on hears nothing said before and has said
        // nothing yet: what an earlier session left on the line goes.
        ::tcflush(fd, TCIOFLUSH);
    }
    return fd;
}
