#include "TermiosReadBack.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...);

bool ReadBackSpeeds(int fd, std::uint32_t& outSpeed, std::uint32_t& inSpeed) {
    struct termios2 t;
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    outSpeed = t.c_ospeed;
    inSpeed = t.c_ispeed;
    return true;
}
