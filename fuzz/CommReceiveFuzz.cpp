// Feeds the receive path arbitrary chunk sequences. Input format: repeated
// [count low byte, count high byte, count bytes of chunk]; the count is taken
// modulo 4096 plus one, so chunks are 1..4096 bytes as the port delivers them.
// After every chunk: RxLength stays within the buffer, and every frame handed
// to the window starts with 0x24 and has 0x2A at its length byte + 5.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "link/Trace.h"
#include "protocol/Receive.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

void OnFrame() {
    Check(FrameLength >= 6 && FrameLength <= 261);
    Check(FrameBuffer[0] == FrameStartByte);
    Check(FrameBuffer[FrameBuffer[3] + 5] == FrameEndByte);
    Check(FrameLength == FrameBuffer[3] + 6);
}

void Setup() {
    SetTraceSink([](const std::string&) {});
    // The window thread is played inline: the hand-over runs the handler at once.
    SetFrameTarget([](std::function<void()> fn) { fn(); }, OnFrame);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static bool ready = (Setup(), true);
    (void)ready;
    RxLength = 0;
    static std::uint8_t chunk[RxBufferSize];
    std::size_t at = 0;
    while (at + 2 <= size) {
        std::size_t count = ((data[at] | data[at + 1] << 8) % RxBufferSize) + 1;
        at += 2;
        if (count > size - at) count = size - at;
        if (count == 0) break;
        // The port delivers a full 4096-byte block of which count bytes are valid.
        std::memset(chunk, 0, sizeof chunk);
        std::memcpy(chunk, data + at, count);
        at += count;
        CommReceive(chunk, static_cast<std::uint32_t>(count));
        Check(RxLength >= 0 && RxLength <= RxBufferSize);
    }
    return 0;
}
