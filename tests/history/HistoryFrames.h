#pragma once
// Reply frames for the history tests, built byte by byte.

#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>

using TReply = std::array<std::uint8_t, 26>;

// '$', the device byte, the type, L = 20, then `payload` from offset 4 on;
// the checksum and '*' close it.
inline TReply Reply(std::uint8_t type, std::initializer_list<std::uint8_t> payload) {
    TReply f{};
    f[0] = 0x24;
    f[1] = 0xA1;
    f[2] = type;
    f[3] = 0x14;
    int at = 4;
    for (std::uint8_t b : payload) f[at++] = b;
    unsigned sum = 0;
    for (int i = 1; i < 24; ++i) sum += f[i];
    f[24] = std::uint8_t(sum);
    f[25] = 0x2A;
    return f;
}

// Writes a single, least significant byte first.
inline void PutSingle(TReply& f, int offset, float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    for (int i = 0; i < 4; ++i) f[offset + i] = std::uint8_t(bits >> (8 * i));
}
