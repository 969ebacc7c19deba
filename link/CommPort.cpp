#include "link/CommPort.h"

#include <algorithm>

std::uint32_t CommWriteWaitMs(std::uint32_t baud, unsigned bitsPerCharacter, std::uint32_t count) {
    if (baud == 0) return CommWriteWaitFloorMs;
    // Rounded up; at most 2^32 characters of 12 bits, so no overflow in 64 bits.
    const std::uint64_t lineMs = (std::uint64_t{count} * bitsPerCharacter * 1000 + baud - 1) / baud;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(
        UINT32_MAX, std::max<std::uint64_t>(CommWriteWaitFloorMs, CommWriteWaitFactor * lineMs)));
}
