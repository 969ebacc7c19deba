#include <gtest/gtest.h>

#include <vector>

#include "protocol/Frame.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ConnectRequest() {
    Bytes b{0x24, 0xA1, 0xAA, 0x14};
    b.resize(24, 0x00);
    b.push_back(0x5F);
    b.push_back(0x2A);
    return b;
}

std::vector<Bytes> Feed(TFrameAssembler& a, const Bytes& chunk) {
    std::vector<Bytes> frames;
    a.Receive(chunk.data(), static_cast<std::uint32_t>(chunk.size()),
              [&](const std::uint8_t* f, std::int32_t n) { frames.emplace_back(f, f + n); });
    return frames;
}

TEST(FrameChecksum, ConnectRequestSumsDeviceCommandAndLength) {
    Bytes b = ConnectRequest();
    EXPECT_EQ(FrameChecksum(b.data(), 26), 0x5F);
    EXPECT_EQ(FrameChecksum(b.data(), 3), 0);
}

TEST(BuildRequestFrame, ControlFrameAfterStartUp) {
    TRequestFrame f = BuildRequestFrame(CmdControl, {0, 40, 0, 0, 0});
    Bytes expected{0x24, 0xA1, 0xDD, 0x14, 0x00, 0x28};
    expected.resize(24, 0x00);
    expected.push_back(0xBA);
    expected.push_back(0x2A);
    EXPECT_EQ(Bytes(f.begin(), f.end()), expected);
}

TEST(FrameAssembler, OneChunkHoldingOneFrameDeliversItAndHoldsNothing) {
    TFrameAssembler a;
    auto frames = Feed(a, ConnectRequest());
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], ConnectRequest());
    EXPECT_EQ(a.RxLength, 0);
}

TEST(FrameAssembler, SplitFrameIsDeliveredAfterItsLastChunk) {
    TFrameAssembler a;
    Bytes f = ConnectRequest();
    EXPECT_TRUE(Feed(a, Bytes(f.begin(), f.begin() + 10)).empty());
    EXPECT_TRUE(Feed(a, Bytes(f.begin() + 10, f.begin() + 25)).empty());
    auto frames = Feed(a, Bytes(f.begin() + 25, f.end()));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], f);
}

}  // namespace
