#pragma once
// The frame envelope shared by both directions:
//
//   offset 0      24         start '$'
//   offset 1      A1         device byte (not examined on receive)
//   offset 2      command    a reply carries the command of its request
//   offset 3      L          payload length
//   offset 4..    payload    L bytes
//   offset L+4    checksum   sum of offsets 1..L+3, modulo 256 (not verified on receive)
//   offset L+5    2A         terminator '*'
//
// Requests always have L = 20, so every frame sent is 26 bytes. The connect
// request, for example:
//   24 A1 AA 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 5F 2A
// (A1 + AA + 14 = 15F). The control frame right after start-up (Rm off, 40 Hz,
// idle, no reset, average values):
//   24 A1 DD 14 00 28 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 BA 2A

#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>

constexpr std::uint8_t FrameStartByte = 0x24;
constexpr std::uint8_t FrameEndByte = 0x2A;
constexpr std::uint8_t DeviceByte = 0xA1;
constexpr std::uint8_t RequestPayloadLength = 0x14;
constexpr int RequestFrameLength = 26;
constexpr int RxBufferSize = 4096;

enum TCommand : std::uint8_t {
    CmdConnect = 0xAA,
    CmdDisconnect = 0xBB,
    CmdPrint = 0xC1,
    CmdStore = 0xC2,
    CmdDirectory = 0xC3,
    CmdErase = 0xC4,
    CmdReadRecord = 0xC5,
    CmdUpload = 0xC6,
    CmdDelete = 0xC7,
    CmdControl = 0xDD,
};

// Sum of the bytes at offsets 1..n-3, modulo 256; 0 for n <= 3.
std::uint8_t FrameChecksum(const std::uint8_t* bytes, int n);

using TRequestFrame = std::array<std::uint8_t, RequestFrameLength>;
// A 26-byte request; params go to offsets 4.. (at most 5 of them).
TRequestFrame BuildRequestFrame(std::uint8_t command, std::initializer_list<std::uint8_t> params = {});

// Cuts frames out of a byte stream. A frame is a 0x24 whose terminator position
// (its length byte + 5) holds 0x2A; bytes in front of a delivered frame are
// dropped with it, a run without any 0x24 is dropped, and a partial frame waits
// at the front of RxBuffer for the next chunk. When held bytes plus a chunk
// would not fit, the oldest held bytes are dropped so that the whole chunk fits.
class TFrameAssembler {
public:
    std::uint8_t RxBuffer[RxBufferSize] = {};
    std::int32_t RxLength = 0;
    std::uint8_t FrameBuffer[RxBufferSize] = {};
    std::int32_t FrameLength = 0;

    // Appends the chunk and delivers every complete frame, in order, as
    // deliver(FrameBuffer, FrameLength); each is handled before the next is cut.
    template <class Deliver>
    void Receive(const std::uint8_t* chunk, std::uint32_t count, Deliver&& deliver) {
        Append(chunk, count);
        int i = 0;
        int lastStart = -1;
        while (i < RxLength) {
            if (RxBuffer[i] != FrameStartByte) {
                ++i;
                continue;
            }
            lastStart = i;
            const int held = RxLength - i;
            if (held < 4 || held < RxBuffer[i + 3] + 6) {
                Hold(i);  // wait for the rest of this frame
                return;
            }
            const int length = RxBuffer[i + 3] + 6;
            if (RxBuffer[i + length - 1] != FrameEndByte) {
                ++i;
                continue;
            }
            std::memcpy(FrameBuffer, RxBuffer + i, length);
            FrameLength = length;
            deliver(static_cast<const std::uint8_t*>(FrameBuffer), FrameLength);
            Hold(i + length);
            if (RxLength == 0) return;
            i = 0;
            lastStart = -1;
        }
        if (lastStart < 0)
            RxLength = 0;
        else
            Hold(lastStart);
    }

    void Reset() { RxLength = 0; }

private:
    void Append(const std::uint8_t* chunk, std::uint32_t count);
    // Drops the first `from` bytes held.
    void Hold(int from);
};
