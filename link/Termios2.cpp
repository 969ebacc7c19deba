#include "link/Termios2.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...);

bool SetCustomBaud(int fd, std::uint32_t baud) {
    struct termios2 t;
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ospeed = baud;
    t.c_ispeed = baud;
    if (ioctl(fd, TCSETS2, &t) != 0) return false;
    std::uint32_t out = 0, in = 0;
    if (!ReadBaud(fd, out, in)) return false;
    // A UART divides its clock, so the rate it reports may differ slightly.
    const std::uint64_t tolerance = baud / 50;
    auto close = [&](std::uint32_t got) {
        return got + tolerance >= baud && got <= baud + tolerance;
    };
    return close(out) && close(in);
}

bool ReadBaud(int fd, std::uint32_t& outSpeed, std::uint32_t& inSpeed) {
    struct termios2 t;
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    outSpeed = t.c_ospeed;
    inSpeed = t.c_ispeed;
    return true;
}
