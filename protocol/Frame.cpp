#include "protocol/Frame.h"

std::uint8_t FrameChecksum(const std::uint8_t* bytes, int n) {
    std::uint8_t sum = 0;
    for (int i = 1; i <= n - 3; ++i) sum = static_cast<std::uint8_t>(sum + bytes[i]);
    return sum;
}

TRequestFrame BuildRequestFrame(std::uint8_t command, std::initializer_list<std::uint8_t> params) {
    TRequestFrame frame{};
    frame[0] = FrameStartByte;
    frame[1] = DeviceByte;
    frame[2] = command;
    frame[3] = RequestPayloadLength;
    int offset = 4;
    for (std::uint8_t p : params) {
        if (offset > 8) break;  // only offsets 4..8 carry parameters
        frame[offset++] = p;
    }
    frame[24] = FrameChecksum(frame.data(), RequestFrameLength);
    frame[25] = FrameEndByte;
    return frame;
}

void TFrameAssembler::Append(const std::uint8_t* chunk, std::uint32_t count) {
    if (count > static_cast<std::uint32_t>(RxBufferSize)) {
        chunk += count - RxBufferSize;
        count = RxBufferSize;
    }
    const int room = RxBufferSize - RxLength;
    if (static_cast<int>(count) > room) Hold(static_cast<int>(count) - room);
    std::memcpy(RxBuffer + RxLength, chunk, count);
    RxLength += static_cast<std::int32_t>(count);
}

void TFrameAssembler::Hold(int from) {
    if (from <= 0) return;
    if (from >= RxLength) {
        RxLength = 0;
        return;
    }
    std::memmove(RxBuffer, RxBuffer + from, RxLength - from);
    RxLength -= from;
}
