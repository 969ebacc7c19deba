#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "PtyPair.h"
#include "TermiosReadBack.h"
#include "link/CommPort.h"
#include "protocol/Frame.h"

namespace {

struct TPortSettings {
    std::uint32_t Baud;
    std::uint8_t ByteSize;
    std::uint8_t Parity;
    std::uint8_t StopBits;
    speed_t Speed;         // expected read-back
    tcflag_t ParityFlags;  // what a pty keeps: PARODD and CMSPAR
    bool TwoStopBits;
};

class CommPortSettings : public ::testing::TestWithParam<TPortSettings> {};

TEST_P(CommPortSettings, OpenSetsTheTerminalRawWithTheGivenSettingsAndFlowControlOff) {
    const TPortSettings& s = GetParam();
    TPtyPair pty;
    TCommPort port;
    TPortHandle h = port.Open(pty.Name, s.Baud, s.ByteSize, s.Parity, s.StopBits);
    ASSERT_NE(h, 0);
    termios t;
    ASSERT_EQ(tcgetattr(pty.Slave, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), s.Speed);
    EXPECT_EQ(cfgetispeed(&t), s.Speed);
    // A pty forces 8 data bits and no parity bit: there is no line to frame.
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB), tcflag_t(CS8));
    EXPECT_EQ(t.c_cflag & (PARODD | CMSPAR), s.ParityFlags);
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, s.TwoStopBits);
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY), 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    port.Close(h);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, CommPortSettings,
    ::testing::Values(TPortSettings{9600, 8, ParityNone, StopBitsOne, B9600, 0, false},
                      TPortSettings{115200, 7, ParityOdd, StopBitsTwo, B115200, PARODD, true},
                      TPortSettings{19200, 6, ParityEven, StopBitsOne, B19200, 0, false},
                      TPortSettings{300, 8, ParityMark, StopBitsOne, B300, PARODD | CMSPAR, false},
                      TPortSettings{57600, 8, ParitySpace, StopBitsTwo, B57600, CMSPAR, true},
                      // With 5-bit characters a UART sends 1.5 stop bits for CSTOPB.
                      TPortSettings{2400, 5, ParityNone, StopBitsOneAndHalf, B2400, 0, true},
                      TPortSettings{230400, 8, ParityNone, StopBitsOne, B230400, 0, false}));

TEST(CommPort, RateOutsideTheStandardListIsSetExactly) {
    TPtyPair pty;
    TCommPort port;
    TPortHandle h = port.Open(pty.Name, 250000, 8, ParityNone, StopBitsOne);
    ASSERT_NE(h, 0);
    std::uint32_t out = 0, in = 0;
    ASSERT_TRUE(ReadBackSpeeds(pty.Slave, out, in));
    EXPECT_EQ(out, 250000u);
    EXPECT_EQ(in, 250000u);
    port.Close(h);
}

// Settings the port cannot carry out, each refused without holding anything.
struct TBadSettings {
    std::uint32_t Baud;
    std::uint8_t ByteSize;
    std::uint8_t Parity;
    std::uint8_t StopBits;
};

class CommPortRejects : public ::testing::TestWithParam<TBadSettings> {};

TEST_P(CommPortRejects, BadSettingFailsTheOpenAndLeavesThePortFree) {
    const TBadSettings& s = GetParam();
    TPtyPair pty;
    TCommPort port;
    const int before = OpenDescriptorCount();
    TPortOpenError why = TPortOpenError::None;
    EXPECT_EQ(port.Open(pty.Name, s.Baud, s.ByteSize, s.Parity, s.StopBits, &why), 0);
    EXPECT_EQ(why, TPortOpenError::SettingsRefused);
    EXPECT_EQ(OpenDescriptorCount(), before);
    // Not locked and not left exclusive: a correct open succeeds at once.
    TPortHandle h = port.Open(pty.Name, 9600, 8, ParityNone, StopBitsOne);
    EXPECT_NE(h, 0);
    port.Close(h);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, CommPortRejects,
    ::testing::Values(TBadSettings{0, 8, 0, 0},                                  // baud 0
                      TBadSettings{static_cast<std::uint32_t>(-9600), 8, 0, 0},  // negative Baud
                      TBadSettings{4294967295u, 8, 0, 0},                        // Baud=-1
                      TBadSettings{100000000, 8, 0, 0},                          // absurd
                      TBadSettings{4, 8, 0, 0},                                  // too slow
                      TBadSettings{9600, 4, 0, 0}, TBadSettings{9600, 9, 0, 0},
                      TBadSettings{9600, 0, 0, 0}, TBadSettings{9600, 8, 5, 0},
                      TBadSettings{9600, 8, 255, 0},
                      TBadSettings{9600, 8, 0, 1},  // 1.5 stop bits with 8-bit characters
                      TBadSettings{9600, 7, 2, 1},  // nor with 7
                      TBadSettings{9600, 8, 0, 3}));

TEST(CommPort, NamesThatAreNoTerminalOpenNothing) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("kr3090-port-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path file = dir / "ttyS99";
    std::ofstream(file) << "not a port";
    TCommPort port;
    const int before = OpenDescriptorCount();
    std::vector<TPortOpenError> causes;
    for (const std::string& name :
         {std::string("/dev/ttyKR3090-missing"), std::string("//.//COM9"), std::string(),
          std::string("//.//"), dir.string(), file.string(), std::string("/dev/null")}) {
        TPortOpenError why = TPortOpenError::None;
        EXPECT_EQ(port.Open(name, 9600, 8, 0, 0, &why), 0) << name;
        causes.push_back(why);
    }
    using E = TPortOpenError;
    EXPECT_EQ(causes,
              (std::vector<E>{E::NoSuchDevice, E::NoSuchDevice, E::NoSuchDevice, E::NoSuchDevice,
                              E::NotSerialDevice, E::NotSerialDevice, E::NotSerialDevice}));
    EXPECT_EQ(OpenDescriptorCount(), before);
    fs::remove_all(dir);
}

TEST(CommPort, SecondOpenOfTheSameDeviceFailsEvenForRootUntilTheFirstIsClosed) {
    TPtyPair pty;
    TCommPort port;
    TPortHandle first = port.Open(pty.Name, 9600, 8, 0, 0);
    ASSERT_NE(first, 0);
    TPortOpenError why = TPortOpenError::None;
    EXPECT_EQ(port.Open(pty.Name, 9600, 8, 0, 0, &why), 0);
    EXPECT_EQ(why, TPortOpenError::Busy);
    EXPECT_EQ(port.Open("//.//" + pty.Name, 9600, 8, 0, 0), 0);
    port.Close(first);
    TPortHandle again = port.Open(pty.Name, 9600, 8, 0, 0);
    EXPECT_NE(again, 0);
    port.Close(again);
}

TEST(CommPort, PortNamePrefixMapsOntoTheDevice) {
    EXPECT_EQ(DevicePathForPortName("//.//ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(DevicePathForPortName("//.///dev/pts/3"), "/dev/pts/3");
    EXPECT_EQ(DevicePathForPortName("ttyS1"), "/dev/ttyS1");
    EXPECT_EQ(DevicePathForPortName("/dev/pts/7"), "/dev/pts/7");
    EXPECT_EQ(DevicePathForPortName("//.//"), "");
}

class CommPortIo : public ::testing::Test {
  protected:
    void SetUp() override {
        handle = port.Open(pty.Name, 115200, 8, ParityNone, StopBitsOne);
        ASSERT_NE(handle, 0);
    }
    void TearDown() override { port.Close(handle); }

    void ReopenAt(std::uint32_t baud) {
        port.Close(handle);
        handle = port.Open(pty.Name, baud, 8, ParityNone, StopBitsOne);
        ASSERT_NE(handle, 0);
    }
    bool Write(const Bytes& bytes) {
        return port.Write(handle, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    }
    static Bytes Poll(int n) {
        const TRequestFrame f = BuildRequestFrame(CmdControl, {std::uint8_t(n), 40});
        return Bytes(f.begin(), f.end());
    }

    static Bytes Pattern(std::size_t n) {
        Bytes b(n);
        for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i % 251);
        return b;
    }

    TPtyPair pty;
    TCommPort port;
    TPortHandle handle = 0;
    std::uint8_t dest[CommReadBufferSize] = {};
    std::uint32_t count = 12345;
};

TEST_F(CommPortIo, ReadWithNothingQueuedDeliversNothingAndLeavesCountAlone) {
    EXPECT_FALSE(port.Read(handle, dest, count));
    EXPECT_EQ(count, 12345u);
    EXPECT_FALSE(port.Read(0, dest, count));
    EXPECT_EQ(count, 12345u);
}

TEST_F(CommPortIo, ReadDeliversExactlyTheQueuedBytes) {
    pty.WriteMaster({0x2A, 0x24, 0xA1, 0x0A, 0x00, 0x0D});
    ASSERT_TRUE(pty.WaitQueued(6));
    ASSERT_TRUE(port.Read(handle, dest, count));
    ASSERT_EQ(count, 6u);
    EXPECT_EQ(Bytes(dest, dest + 6), (Bytes{0x2A, 0x24, 0xA1, 0x0A, 0x00, 0x0D}));
    EXPECT_EQ(pty.Queued(), 0);
    EXPECT_FALSE(port.Read(handle, dest, count));
}

TEST_F(CommPortIo, FullBufferOf4096QueuedBytesIsDeliveredWhole) {
    const Bytes sent = Pattern(4096);
    pty.WriteMaster(sent);
    ASSERT_TRUE(pty.WaitQueued(4095));
    ASSERT_TRUE(port.Read(handle, dest, count));
    ASSERT_EQ(count, 4096u);
    EXPECT_EQ(Bytes(dest, dest + 4096), sent);
    EXPECT_FALSE(port.Read(handle, dest, count));
}

TEST_F(CommPortIo, MoreThan4096QueuedBytesAreAllDiscarded) {
    for (std::size_t n : {std::size_t(4097), std::size_t(6000)}) {
        pty.WriteMaster(Pattern(n));
        ASSERT_TRUE(pty.WaitQueued(4095));
        count = 12345;
        EXPECT_FALSE(port.Read(handle, dest, count));
        EXPECT_EQ(count, 12345u);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_EQ(pty.Queued(), 0);
        EXPECT_FALSE(port.Read(handle, dest, count));
    }
    // The port goes on working afterwards.
    pty.WriteMaster({0x24});
    ASSERT_TRUE(pty.WaitQueued(1));
    ASSERT_TRUE(port.Read(handle, dest, count));
    EXPECT_EQ(count, 1u);
}

TEST_F(CommPortIo, WriteSendsTheBytesAndFailsWithoutAPort) {
    const Bytes frame{0x24, 0xA1, 0xAA, 0x14};
    EXPECT_TRUE(port.Write(handle, frame.data(), 4));
    EXPECT_EQ(pty.ReadMaster(4), frame);
    EXPECT_FALSE(port.Write(0, frame.data(), 4));
    EXPECT_TRUE(pty.ReadMaster(1, std::chrono::milliseconds(200)).empty());
}

// A pseudo-terminal queues about 16 KB. At 4 000 000 baud a 128 KB block is
// 328 ms on the line, so its write may wait 983 ms for room, not just 250 ms.
constexpr std::uint32_t FastBaud = 4000000;
constexpr std::size_t BigBlock = 131072;

TEST_F(CommPortIo, AWriteWaitsForRoomWhileTheOtherSideCatchesUpWithinItsBound) {
    ReopenAt(FastBaud);
    const Bytes block = Pattern(BigBlock);
    Bytes got;
    std::thread reader([&] {
        // Later than the least wait: only the rate read back from the port
        // lets the write wait this long.
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        got = pty.ReadMaster(block.size());
    });
    EXPECT_TRUE(Write(block));
    reader.join();
    EXPECT_TRUE(got == block) << got.size() << " of " << block.size() << " bytes arrived";
}

TEST_F(CommPortIo, APeerThatStopsReadingCostsOneBoundedWaitThenPollsAreDroppedWholeUntilItReads) {
    ReopenAt(FastBaud);
    const Bytes block = Pattern(BigBlock);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(Write(block));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    const Bytes filler = pty.FillSlaveQueue();
    // Polls against the full queue go nowhere, and none of them waits: forty
    // waits of 250 ms would hold the caller for ten seconds.
    const auto polls = std::chrono::steady_clock::now();
    for (int i = 0; i < 40; ++i) EXPECT_TRUE(Write(Poll(i)));
    EXPECT_LT(std::chrono::steady_clock::now() - polls, std::chrono::seconds(1));

    // The other side reads again. It gets the front of the block, cut where
    // the write gave up, then the filler, and not a byte of the polls.
    const Bytes arrived = pty.DrainMaster();
    ASSERT_GT(arrived.size(), filler.size());
    const std::size_t cut = arrived.size() - filler.size();
    EXPECT_GT(cut, 0u);
    EXPECT_LT(cut, block.size());
    EXPECT_TRUE(std::equal(block.begin(), block.begin() + cut, arrived.begin()));
    EXPECT_TRUE(std::equal(filler.begin(), filler.end(), arrived.begin() + cut));

    // Frames flow again on the same handle, whole and in order, and the last
    // one written before closing is not discarded by the close.
    ASSERT_TRUE(pty.WaitWritable());
    Bytes sent;
    for (int i = 0; i < 3; ++i) {
        const Bytes poll = Poll(i);
        EXPECT_TRUE(Write(poll));
        sent.insert(sent.end(), poll.begin(), poll.end());
    }
    const TRequestFrame bye = BuildRequestFrame(CmdDisconnect);
    EXPECT_TRUE(Write(Bytes(bye.begin(), bye.end())));
    port.Close(handle);
    handle = 0;
    sent.insert(sent.end(), bye.begin(), bye.end());
    EXPECT_EQ(pty.ReadMaster(sent.size()), sent);
}

TEST_F(CommPortIo, ReadAfterTheOtherSideHungUpDeliversNothingAtOnce) {
    pty.CloseMaster();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; ++i) EXPECT_FALSE(port.Read(handle, dest, count));
    EXPECT_EQ(count, 12345u);
    // Not a timing requirement: only that a hang-up does not make Read wait.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(port.Write(handle, dest, 1));
}

}  // namespace
