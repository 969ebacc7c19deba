#pragma once
// A history reply copied into 26 bytes, zero past the frame's own length, so
// that a short reply never shows bytes left over from an earlier frame.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "history/Directory.h"

class THistoryReply {
  public:
    THistoryReply(const std::uint8_t* frame, int length) {
        const int n = frame ? std::clamp(length, 0, HistoryReplyLength) : 0;
        if (n > 0) std::memcpy(bytes_.data(), frame, n);
    }
    const std::uint8_t* data() const { return bytes_.data(); }
    int operator[](int offset) const { return bytes_[offset]; }

  private:
    std::array<std::uint8_t, HistoryReplyLength> bytes_{};
};
