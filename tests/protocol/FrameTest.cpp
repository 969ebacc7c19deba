#include <gtest/gtest.h>

#include <random>
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
    EXPECT_EQ(a.RxLength, 25);  // terminator still missing
    auto frames = Feed(a, Bytes(f.begin() + 25, f.end()));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], f);
    EXPECT_EQ(a.RxLength, 0);
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The print request for the stored record, as the instrument echoes it.
Bytes PrintRecordFrame() {
    Bytes b{0x24, 0xA1, 0xC1, 0x14, 0x01};
    b.resize(24, 0x00);
    b.push_back(0x77);
    b.push_back(0x2A);
    return b;
}

TEST(FrameChecksum, RequestChecksumsOfTheDocumentation) {
    const std::pair<std::uint8_t, std::uint8_t> sums[] = {{0xAA, 0x5F}, {0xBB, 0x70}, {0xC2, 0x77},
                                                          {0xC3, 0x78}, {0xC4, 0x79}, {0xC6, 0x7B}};
    for (auto [command, sum] : sums) {
        Bytes b{0x24, 0xA1, command, 0x14};
        b.resize(26, 0x00);
        EXPECT_EQ(FrameChecksum(b.data(), 26), sum) << int(command);
    }
    // Short work areas have no checksummed bytes.
    const Bytes tiny{0x24, 0xA1, 0xAA};
    EXPECT_EQ(FrameChecksum(tiny.data(), 0), 0);
    EXPECT_EQ(FrameChecksum(tiny.data(), 3), 0);
    EXPECT_EQ(FrameChecksum(tiny.data(), -5), 0);
}

TEST(BuildRequestFrame, ParametersGoToOffsetsFourToEightOnly) {
    TRequestFrame f = BuildRequestFrame(CmdControl, {1, 0x32, 1, 1, 1, 9, 9});
    Bytes expected{0x24, 0xA1, 0xDD, 0x14, 0x01, 0x32, 0x01, 0x01, 0x01};
    expected.resize(24, 0x00);
    expected.push_back(0xC8);
    expected.push_back(0x2A);
    EXPECT_EQ(Bytes(f.begin(), f.end()), expected);
}

TEST(FrameAssembler, TwoFramesInOneChunkAreDeliveredInOrder) {
    TFrameAssembler a;
    auto frames = Feed(a, Cat({ConnectRequest(), PrintRecordFrame()}));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], ConnectRequest());
    EXPECT_EQ(frames[1], PrintRecordFrame());
    EXPECT_EQ(a.RxLength, 0);
}

TEST(FrameAssembler, NoiseBeforeAFrameIsDroppedWithIt) {
    TFrameAssembler a;
    auto frames = Feed(a, Cat({{0x00, 0x11, 0x22}, ConnectRequest()}));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], ConnectRequest());
    EXPECT_EQ(a.RxLength, 0);
}

TEST(FrameAssembler, ChunkWithoutStartByteIsDropped) {
    TFrameAssembler a;
    EXPECT_TRUE(Feed(a, {0x2A, 0x00, 0xA1, 0x2A, 0xFF}).empty());
    EXPECT_EQ(a.RxLength, 0);
}

TEST(FrameAssembler, FrameWithEmptyPayloadIsSixBytes) {
    TFrameAssembler a;
    auto frames = Feed(a, {0x24, 0xA1, 0xC2, 0x00, 0x99, 0x2A});
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], (Bytes{0x24, 0xA1, 0xC2, 0x00, 0x99, 0x2A}));
    EXPECT_EQ(a.FrameLength, 6);
}

TEST(FrameAssembler, WrongChecksumIsDeliveredAllTheSame) {
    TFrameAssembler a;
    Bytes f = ConnectRequest();
    f[24] = 0x00;
    auto frames = Feed(a, f);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], f);
}

TEST(FrameAssembler, LongestFrameIsDelivered) {
    TFrameAssembler a;
    Bytes f{0x24, 0xA1, 0xC6, 0xFF};
    f.resize(4 + 255, 0x24);  // start bytes in the payload do not matter
    f.push_back(0x00);
    f.push_back(0x2A);
    auto frames = Feed(a, f);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].size(), 261u);
    EXPECT_EQ(a.FrameLength, 261);
}

TEST(FrameAssembler, StartOfAFrameAtTheEndOfAChunkIsHeldForTheNext) {
    TFrameAssembler a;
    Bytes f = ConnectRequest();
    EXPECT_TRUE(Feed(a, {0x10, 0x20, 0x24, 0xA1}).empty());
    EXPECT_EQ(a.RxLength, 2);
    EXPECT_EQ(a.RxBuffer[0], 0x24);
    EXPECT_EQ(a.RxBuffer[1], 0xA1);
    auto frames = Feed(a, Bytes(f.begin() + 2, f.end()));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], f);
}

TEST(FrameAssembler, LengthPointingPastTheHeldBytesWaitsForMore) {
    TFrameAssembler a;
    Bytes f{0x24, 0xA1, 0xC3, 0xFF};  // 261 bytes announced
    f.resize(259, 0x01);
    f.push_back(0x5A);
    f.push_back(0x2A);
    EXPECT_TRUE(Feed(a, Bytes(f.begin(), f.begin() + 100)).empty());
    EXPECT_EQ(a.RxLength, 100);
    EXPECT_TRUE(Feed(a, Bytes(f.begin() + 100, f.begin() + 260)).empty());
    auto frames = Feed(a, Bytes(f.begin() + 260, f.end()));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], f);
}

TEST(FrameAssembler, StartByteWithoutTerminatorIsPassedOver) {
    TFrameAssembler a;
    // 24 with length 1: its terminator position holds 0x33, not 0x2A.
    auto frames = Feed(a, Cat({{0x24, 0x05, 0x00, 0x01, 0x00, 0x00, 0x33}, ConnectRequest()}));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], ConnectRequest());
    EXPECT_EQ(a.RxLength, 0);
}

TEST(FrameAssembler, PassedOverStartIsHeldUntilALaterFrameIsDelivered) {
    TFrameAssembler a;
    EXPECT_TRUE(Feed(a, {0x24, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07}).empty());
    EXPECT_EQ(a.RxLength, 8);  // no later start byte: kept from the last start
    auto frames = Feed(a, ConnectRequest());
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], ConnectRequest());
    EXPECT_EQ(a.RxLength, 0);
}

TEST(FrameAssembler, OverflowDropsTheOldestHeldBytesSoTheWholeChunkFits) {
    TFrameAssembler a;
    Bytes run(4000, 0x00);
    run[0] = 0x24;  // a start whose terminator never matched: the run is held
    EXPECT_TRUE(Feed(a, run).empty());
    ASSERT_EQ(a.RxLength, 4000);
    // 4000 + 200 > 4096: the 104 oldest bytes go, the start byte among them.
    auto frames = Feed(a, Cat({Bytes(174, 0x01), ConnectRequest()}));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], ConnectRequest());
    EXPECT_EQ(a.RxLength, 0);

    EXPECT_TRUE(Feed(a, run).empty());
    EXPECT_TRUE(Feed(a, Bytes(100, 0x01)).empty());
    EXPECT_EQ(a.RxLength, 0);  // the held start was dropped, nothing else starts a frame
}

TEST(FrameAssembler, FullChunkAfterHeldBytesKeepsTheWholeChunk) {
    TFrameAssembler a;
    EXPECT_TRUE(Feed(a, {0x24, 0xA1, 0xC5}).empty());
    Bytes chunk(4096 - 26, 0x00);
    chunk = Cat({chunk, ConnectRequest()});
    auto frames = Feed(a, chunk);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], ConnectRequest());
}

TEST(FrameAssembler, GarbageChunksLeaveTheBufferBoundedAndLaterFramesStillArrive) {
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> byte(0, 255);
    TFrameAssembler a;
    for (int round = 0; round < 50; ++round) {
        Bytes garbage(4096);
        for (auto& b : garbage) b = static_cast<std::uint8_t>(byte(random));
        Feed(a, garbage);  // whatever it makes of them
        ASSERT_GE(a.RxLength, 0);
        ASSERT_LE(a.RxLength, RxBufferSize);
    }
    // A quiet stretch longer than any frame, then the frames.
    auto frames = Feed(a, Cat({Bytes(300, 0x00), ConnectRequest(), PrintRecordFrame()}));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], ConnectRequest());
    EXPECT_EQ(frames[1], PrintRecordFrame());
    EXPECT_EQ(a.RxLength, 0);
}

TEST(FrameAssembler, RandomFramesWithNoiseCutAtRandomComeOutExactlyInOrder) {
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::mt19937 random(seed);
        auto draw = [&](int lo, int hi) {
            return std::uniform_int_distribution<int>(lo, hi)(random);
        };
        std::vector<Bytes> sent;
        Bytes stream;
        const int n = draw(1, 60);
        for (int k = 0; k < n; ++k) {
            const int noise = draw(0, 40);
            for (int j = 0; j < noise; ++j) {
                std::uint8_t b;
                do b = static_cast<std::uint8_t>(draw(0, 255));
                while (b == 0x24);
                stream.push_back(b);
            }
            const int length = draw(0, 255);
            Bytes f{0x24, static_cast<std::uint8_t>(draw(0, 255)),
                    static_cast<std::uint8_t>(draw(0, 255)), static_cast<std::uint8_t>(length)};
            for (int j = 0; j < length + 1; ++j)
                f.push_back(static_cast<std::uint8_t>(draw(0, 255)));
            f.push_back(0x2A);
            sent.push_back(f);
            stream.insert(stream.end(), f.begin(), f.end());
        }
        TFrameAssembler a;
        std::vector<Bytes> got;
        std::size_t at = 0;
        while (at < stream.size()) {
            // Held bytes (at most one partial frame) plus a chunk always fit.
            const std::size_t size = std::min<std::size_t>(
                stream.size() - at,
                static_cast<std::size_t>(draw(0, 1) ? draw(1, 30) : draw(1, 3800)));
            for (Bytes& f : Feed(a, Bytes(stream.begin() + at, stream.begin() + at + size)))
                got.push_back(std::move(f));
            at += size;
        }
        ASSERT_EQ(got, sent) << "seed " << seed;
        EXPECT_EQ(a.RxLength, 0);
    }
}

}  // namespace
