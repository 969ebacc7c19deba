#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/Trace.h"
#include "protocol/Receive.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The window thread is played inline: the poster runs the call at once, on
// the thread that feeds the chunks.
class ReceiveTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RxLength = 0;
        SetTraceSink([this](const std::string& line) { events.push_back(line); });
        SetFrameTarget([](std::function<void()> call) { call(); },
                       [this] {
                           events.push_back("frame");
                           frames.emplace_back(FrameBuffer, FrameBuffer + FrameLength);
                       });
    }
    void TearDown() override {
        ClearFrameTarget();
        SetTraceSink(nullptr);
        RxLength = 0;
    }
    void Receive(const Bytes& chunk) {
        // The port hands over a whole 4096-byte block of which count bytes are valid.
        std::uint8_t block[4096] = {};
        std::copy(chunk.begin(), chunk.end(), block);
        CommReceive(block, static_cast<std::uint32_t>(chunk.size()));
    }

    std::vector<std::string> events;
    std::vector<Bytes> frames;
};

Bytes ConnectReply() {
    Bytes b{0x24, 0xA1, 0xAA, 0x14};
    b.resize(24, 0x00);
    b.push_back(0x5F);
    b.push_back(0x2A);
    return b;
}

TEST_F(ReceiveTest, ChunkIsTracedAsItCameBeforeItsFramesAreHandled) {
    Receive({0x2A, 0x24, 0xA1});
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], "收到 2A 24 A1");
    EXPECT_EQ(RxLength, 2);
    const Bytes reply = ConnectReply();
    Bytes rest(reply.begin() + 2, reply.end());
    rest.push_back(0x0A);
    Receive(rest);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[1],
              "收到 AA 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 5F 2A 0A");
    EXPECT_EQ(events[2], "frame");
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], ConnectReply());
    EXPECT_EQ(FrameLength, 26);
    EXPECT_EQ(RxLength, 0);
}

TEST_F(ReceiveTest, EachFrameIsHandledBeforeTheNextIsCutOut) {
    Bytes two = ConnectReply();
    Bytes second{0x24, 0xA1, 0xC2, 0x00, 0x63, 0x2A};
    two.insert(two.end(), second.begin(), second.end());
    std::vector<int> lengthsSeen;
    SetFrameTarget([](std::function<void()> call) { call(); },
                   [&] { lengthsSeen.push_back(FrameLength); });
    Receive(two);
    EXPECT_EQ(lengthsSeen, (std::vector<int>{26, 6}));
}

TEST_F(ReceiveTest, FramesAreDroppedWhileNoWindowTakesThem) {
    ClearFrameTarget();
    Receive(ConnectReply());  // returns at once
    EXPECT_TRUE(frames.empty());
    EXPECT_EQ(RxLength, 0);
    CancelFrameHandOver();
    Receive(ConnectReply());
    EXPECT_TRUE(frames.empty());
}

}  // namespace
