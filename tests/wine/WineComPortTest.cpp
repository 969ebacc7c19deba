// TCommPort and TSerialComm of the Windows build, byte for byte through a COM
// port of the wine prefix mapped onto a pseudo-terminal. The test plays the
// instrument on the master and reads the terminal's settings on the slave; the
// Win32 code runs in the probe. TPtyPair makes the master raw, and a pty pair
// has one set of terminal settings, so the slave is raw before the port opens.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <regex>
#include <sstream>
#include <thread>

#include "PtyPair.h"
#include "WineProbe.h"

namespace {

using namespace std::chrono_literals;

constexpr int TestPort = 5;

TWineProbe* probe = nullptr;

class ProbeEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { probe = new TWineProbe; }
    void TearDown() override {
        delete probe;
        probe = nullptr;
    }
};
const auto* const environment = ::testing::AddGlobalTestEnvironment(new ProbeEnvironment);

std::string Ask(const std::string& command) {
    return probe->Command(command);
}

// A request frame with the bytes a cooked line discipline would change or
// swallow: LF, CR, XON, XOFF, ^C, DEL, NUL, ^D, ^Z.
const Bytes Frame26{0x24, 0xA1, 0xAA, 0x14, 0x0A, 0x0D, 0x11, 0x13, 0x03, 0x7F, 0x00, 0x04, 0x1A,
                    0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x5F, 0x2A};

Bytes Pattern(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i % 251);
    return b;
}

// "chunks 2 24a1 aa" (or "frames ...") -> the byte strings listed.
std::vector<Bytes> Listed(const std::string& reply) {
    std::istringstream in(reply);
    std::string word;
    std::size_t n = 0;
    in >> word >> n;
    std::vector<Bytes> chunks;
    while (in >> word) chunks.push_back(BytesOf(word));
    EXPECT_EQ(chunks.size(), n) << reply.substr(0, 200);
    return chunks;
}

Bytes Joined(const std::vector<Bytes>& chunks) {
    Bytes all;
    for (const Bytes& c : chunks) all.insert(all.end(), c.begin(), c.end());
    return all;
}

// The strings wine shows for OutputDebugStringA, unquoted as it escapes them.
std::vector<std::string> DebugStrings(const std::string& errors) {
    static const std::regex line(R"(:debugstr:OutputDebugStringA "(.*)\"\n)");
    std::vector<std::string> found;
    for (auto it = std::sregex_iterator(errors.begin(), errors.end(), line);
         it != std::sregex_iterator(); ++it)
        found.push_back((*it)[1]);
    return found;
}

// The trace's hex for bytes, as it follows the word: " 24 A1 ...".
std::string TraceHex(const Bytes& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (std::uint8_t b : bytes) {
        s += ' ';
        s += digits[b >> 4];
        s += digits[b & 0x0F];
    }
    return s;
}

// GBK of the trace's two words, as wine escapes them.
constexpr const char* SentWord = R"(\xb7\xa2\xcb\xcd)";      // 发送
constexpr const char* ReceivedWord = R"(\xca\xd5\xb5\xbd)";  // 收到

class WineComPort : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(probe, nullptr);
        ASSERT_EQ(Ask("sleep 0"), "ok") << "the probe does not answer; it wrote:\n"
                                        << probe->TakeErrors();
        MapComPort(TestPort, pty.Name);
        probe->TakeErrors();
    }
    void TearDown() override { EXPECT_EQ(Ask("reset"), "ok"); }

    std::string Open(const std::string& settings = "9600 8 0 0") {
        const std::string reply = Ask("open //.//COM5 " + settings);
        EXPECT_EQ(reply.rfind("port ", 0), 0u) << reply;
        return reply.substr(5);
    }

    // Nothing more reaches the master within a while.
    void ExpectLineQuiet() { EXPECT_TRUE(pty.ReadMaster(1, 300ms).empty()); }

    TPtyPair pty;
};

struct TSettingsCase {
    const char* Settings;  // BAUD BITS PARITY STOP as the probe takes them
    speed_t Speed;
    tcflag_t ParityFlags;  // what a pty keeps of the parity: PARODD and CMSPAR
    bool TwoStopBits;
};

TEST_F(WineComPort, OpenSetsTheTerminalRawWithTheGivenSettingsAndFlowControlOff) {
    const TSettingsCase cases[] = {
        {"9600 8 0 0", B9600, 0, false},       {"115200 7 1 2", B115200, PARODD, true},
        {"19200 6 2 0", B19200, 0, false},     {"300 8 3 0", B300, PARODD | CMSPAR, false},
        {"57600 8 4 2", B57600, CMSPAR, true}, {"2400 5 0 1", B2400, 0, true},
        {"230400 8 0 0", B230400, 0, false},
    };
    for (const TSettingsCase& c : cases) {
        SCOPED_TRACE(c.Settings);
        // As another program may have left the terminal: flow control on.
        termios before;
        ASSERT_EQ(tcgetattr(pty.Slave, &before), 0);
        before.c_iflag |= IXON | IXOFF;
        before.c_cflag |= CRTSCTS;
        ASSERT_EQ(tcsetattr(pty.Slave, TCSANOW, &before), 0);
        const std::string k = Open(c.Settings);
        ASSERT_NE(k, "0");
        termios t;
        ASSERT_EQ(tcgetattr(pty.Slave, &t), 0);
        EXPECT_EQ(cfgetospeed(&t), c.Speed);
        EXPECT_EQ(cfgetispeed(&t), c.Speed);
        EXPECT_EQ(t.c_cflag & (CSIZE | PARENB), tcflag_t(CS8));  // a pty has no line to frame
        EXPECT_EQ(t.c_cflag & (PARODD | CMSPAR), c.ParityFlags);
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.TwoStopBits);
        EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | ISTRIP), 0u);
        EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
        EXPECT_EQ(t.c_cc[VMIN], 0);
        EXPECT_EQ(t.c_cc[VTIME], 0);
        // The driver's own view agrees on what the terminal could keep.
        const std::string dcb = Ask("state " + k);
        EXPECT_NE(dcb.find(" outxcts=0 outxdsr=0 outx=0 inx=0 "), std::string::npos) << dcb;
        const std::string baud(c.Settings, std::string(c.Settings).find(' '));
        EXPECT_EQ(dcb.rfind("dcb baud=" + baud + " ", 0), 0u) << dcb;
        Ask("close " + k);
    }
}

TEST_F(WineComPort, SettingsTheDriverRefusesOpenNothingAndLeaveThePortFree) {
    for (const char* bad :
         {"9600 4 0 0", "9600 9 0 0", "9600 0 0 0", "9600 8 5 0", "9600 8 255 0", "9600 8 0 3"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(Open(bad), "0");
    }
    const std::string k = Open();
    EXPECT_NE(k, "0");
}

TEST_F(WineComPort, PortsThatCannotBeOpenedGiveNoHandle) {
    // No such COM port, one whose device is gone, and a pty nobody unlocked
    // (the kernel refuses to open it, as Windows refuses a port in use).
    const int locked = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(locked, 0);
    MapComPort(6, "/dev/kr3090-no-such-device");
    MapComPort(7, ptsname(locked));
    EXPECT_EQ(Ask("open //.//COM250 9600 8 0 0"), "port 0");
    EXPECT_EQ(Ask("open //.//COM6 9600 8 0 0"), "port 0");
    EXPECT_EQ(Ask("open //.//COM7 9600 8 0 0"), "port 0");
    EXPECT_EQ(Ask("comm-open //.//COM7 9600 8 0 0"), "false");
    EXPECT_EQ(Ask("comm-close"), "false");
    EXPECT_EQ(Ask("comm-write 24"), "false");
    close(locked);
    // Port 0 reads and writes nothing.
    EXPECT_EQ(Ask("read 0"), "none count=12345");
    EXPECT_EQ(Ask("write 0 24a1"), "false");
    ExpectLineQuiet();
}

TEST_F(WineComPort, WrittenFrameArrivesOnceAndExact) {
    const std::string k = Open();
    EXPECT_EQ(Ask("write " + k + " " + HexOf(Frame26)), "true");
    EXPECT_EQ(pty.ReadMaster(26), Frame26);
    ExpectLineQuiet();
}

TEST_F(WineComPort, ReadDeliversExactlyTheQueuedBytesAndLeavesCountAloneWhenThereAreNone) {
    const std::string k = Open();
    EXPECT_EQ(Ask("read " + k), "none count=12345");
    pty.WriteMaster(Frame26);
    ASSERT_TRUE(pty.WaitQueued(26));
    EXPECT_EQ(Ask("stat " + k), "stat ok=1 errors=0 inque=26 outque=0");
    EXPECT_EQ(Ask("read " + k), "read 26 " + HexOf(Frame26));
    EXPECT_EQ(pty.Queued(), 0);
    EXPECT_EQ(Ask("read " + k), "none count=12345");
}

// A pty's line discipline queues at most 4095 bytes, and ClearCommError reports
// no more than that: the discard above 4096 is not reached through a pty. What
// holds: whatever the instrument sends in one go comes out whole, in order, in
// reads of at most 4095 bytes; and the purge the discard uses empties the queue.
TEST_F(WineComPort, LargeBurstsComeOutWholeInReadsOfAtMost4095Bytes) {
    const std::string k = Open("115200 8 0 0");
    for (std::size_t n :
         {std::size_t(4095), std::size_t(4096), std::size_t(4097), std::size_t(10000)}) {
        SCOPED_TRACE(n);
        const Bytes sent = Pattern(n);
        std::thread instrument([&] { pty.WriteMaster(sent); });
        Bytes got;
        std::size_t largest = 0;
        for (int polls = 0; got.size() < n && polls < 200; ++polls) {
            const std::string reply = Ask("read " + k);
            if (reply.rfind("read ", 0) != 0) {
                std::this_thread::sleep_for(10ms);
                continue;
            }
            const Bytes chunk = BytesOf(reply.substr(reply.find(' ', 5) + 1));
            largest = std::max(largest, chunk.size());
            got.insert(got.end(), chunk.begin(), chunk.end());
        }
        instrument.join();
        EXPECT_EQ(got, sent);
        EXPECT_LE(largest, 4095u);
    }
    pty.WriteMaster(Pattern(4095));
    ASSERT_TRUE(pty.WaitQueued(4095));
    EXPECT_EQ(Ask("stat " + k), "stat ok=1 errors=0 inque=4095 outque=0");
    EXPECT_EQ(Ask("purge " + k), "true");
    EXPECT_EQ(pty.Queued(), 0);
    EXPECT_EQ(Ask("read " + k), "none count=12345");
}

TEST_F(WineComPort, AfterTheInstrumentHangsUpReadsDeliverNothingAndWritesAreNotExamined) {
    const std::string k = Open();
    pty.CloseMaster();
    for (int i = 0; i < 20; ++i) EXPECT_EQ(Ask("read " + k), "none count=12345");
    EXPECT_EQ(Ask("write " + k + " 24"), "true");
    EXPECT_EQ(Ask("close " + k), "ok");
}

// "write-pattern K N" -> its ms=.
long WriteMs(const std::string& reply) {
    EXPECT_EQ(reply.rfind("true ms=", 0), 0u) << reply;
    return reply.rfind("true ms=", 0) == 0 ? std::stol(reply.substr(8)) : -1;
}

TEST_F(WineComPort, APeerThatStopsReadingCostsBoundedWritesAndFramesFlowAgainOnceItReads) {
    const std::string k = Open("115200 8 0 0");
    // Only the write time-outs are the port's own; the read fields are wine's.
    EXPECT_EQ(Ask("timeouts " + k).rfind("timeouts 0 0 0 ", 0), 0u);
    const Bytes filler = pty.FillSlaveQueue();
    // The first write into the full queue gives up after its wait (250 ms
    // plus 1 ms a byte at this rate); later ones wait only briefly.
    const long first = WriteMs(Ask("write-pattern " + k + " 26"));
    EXPECT_GE(first, 200);
    EXPECT_LT(first, 1000);
    for (int i = 0; i < 4; ++i) EXPECT_LT(WriteMs(Ask("write-pattern " + k + " 26")), 200);
    EXPECT_EQ(pty.DrainMaster(), filler);  // not a byte of the writes

    // Reading again: frames flow on the same handle, whole, and a later hang
    // costs the full wait again.
    ASSERT_TRUE(pty.WaitWritable());
    EXPECT_EQ(Ask("write " + k + " " + HexOf(Frame26)), "true");
    EXPECT_EQ(Ask("write " + k + " " + HexOf(Frame26)), "true");
    Bytes twice = Frame26;
    twice.insert(twice.end(), Frame26.begin(), Frame26.end());
    EXPECT_EQ(pty.ReadMaster(52), twice);
    pty.FillSlaveQueue();
    EXPECT_GE(WriteMs(Ask("write-pattern " + k + " 26")), 200);
    // Closing over the full queue does not wait for it.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Ask("close " + k), "ok");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

TEST_F(WineComPort, ConnectionWritesWhileOpenAndCloseReportsWhetherAPortWasOpen) {
    ASSERT_EQ(Ask("comm-new").rfind("ok calls=", 0), 0u);
    EXPECT_EQ(Ask("comm-close"), "false");
    EXPECT_EQ(Ask("comm-write " + HexOf(Frame26)), "false");
    EXPECT_EQ(Ask("comm-open //.//COM5 9600 8 0 0"), "true");
    EXPECT_EQ(Ask("comm-write " + HexOf(Frame26)), "true");
    EXPECT_EQ(pty.ReadMaster(26), Frame26);
    EXPECT_EQ(Ask("comm-close"), "true");
    EXPECT_EQ(Ask("comm-close"), "false");
    EXPECT_EQ(Ask("comm-write " + HexOf(Frame26)), "false");
    ExpectLineQuiet();
    // Closed for real: the port opens again.
    EXPECT_EQ(Ask("comm-open //.//COM5 9600 8 0 0"), "true");
}

TEST_F(WineComPort, RequestReachesTheLineOnceAndItsTraceIsGbkWithoutTerminator) {
    ASSERT_EQ(Ask("comm-open //.//COM5 9600 8 0 0"), "true");
    const Bytes connect{0x24, 0xA1, 0xAA, 0x14, 0, 0, 0, 0, 0, 0, 0, 0,    0,
                        0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0x5F, 0x2A};
    ASSERT_EQ(Ask("send connect"), "ok");
    EXPECT_EQ(pty.ReadMaster(26), connect);
    ExpectLineQuiet();
    EXPECT_EQ(DebugStrings(probe->TakeErrors()),
              std::vector<std::string>{SentWord + TraceHex(connect)});
}

TEST_F(WineComPort, ReceiveThreadDeliversWhatArrivesInChunks) {
    ASSERT_EQ(Ask("comm-open //.//COM5 9600 8 0 0"), "true");
    const Bytes first(Frame26.begin(), Frame26.begin() + 10);
    const Bytes second(Frame26.begin() + 10, Frame26.end());
    pty.WriteMaster(first);
    const std::vector<Bytes> early = Listed(Ask("wait-bytes 10 5000"));
    pty.WriteMaster(second);
    const std::vector<Bytes> late = Listed(Ask("wait-bytes 16 5000"));
    EXPECT_EQ(Joined(early), first);
    EXPECT_EQ(Joined(late), second);
    EXPECT_EQ(pty.Queued(), 0);
}

TEST_F(WineComPort, PollsAfterCloseDeliverNothing) {
    ASSERT_EQ(Ask("comm-open //.//COM5 9600 8 0 0"), "true");
    ASSERT_EQ(Ask("comm-close"), "true");
    pty.WriteMaster({0x24, 0xA1});
    EXPECT_EQ(Ask("sleep 400"), "ok");  // several polls
    EXPECT_EQ(Ask("chunks"), "chunks 0");
    EXPECT_EQ(pty.Queued(), 2);  // still in the device, never read
}

TEST_F(WineComPort, DestroyingStopsTheThreadWhileBytesAreFlowing) {
    std::atomic<bool> stop{false};
    fcntl(pty.Master, F_SETFL, O_NONBLOCK);
    std::thread instrument([&] {
        const Bytes burst(200, 0x24);
        while (!stop.load()) {
            if (write(pty.Master, burst.data(), burst.size()) < 0) {
            }  // a full terminal drops the burst
            std::this_thread::sleep_for(10ms);
        }
    });
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(Ask("comm-new").rfind("ok calls=", 0), 0u);
        ASSERT_EQ(Ask("comm-open //.//COM5 115200 8 0 0"), "true");
        EXPECT_FALSE(Listed(Ask("wait-bytes 1 5000")).empty());
        const std::string destroyed = Ask("comm-destroy");
        ASSERT_EQ(destroyed.rfind("ok calls=", 0), 0u) << destroyed;
        EXPECT_EQ(Ask("sleep 250"), "ok");
        EXPECT_EQ(Ask("calls"), "calls " + destroyed.substr(9));  // no poll after destruction
        Ask("chunks");
    }
    stop.store(true);
    instrument.join();
}

TEST_F(WineComPort, FramesAreCutOnTheReceiveThreadAndEachChunkIsTracedInGbk) {
    ASSERT_EQ(Ask("comm-open //.//COM5 115200 8 0 0"), "true");
    ASSERT_EQ(Ask("comm-receive frames"), "ok");
    Bytes reply{0x24, 0xA1, 0xAA, 0x14};
    reply.resize(24, 0x00);
    reply.insert(reply.end(), {0x5F, 0x2A});
    Bytes second = reply;
    second[2] = 0xBB;
    second[24] = 0x70;
    Bytes stream{0x00, 0x11};  // noise before the first frame
    stream.insert(stream.end(), reply.begin(), reply.end());
    pty.WriteMaster(Bytes(stream.begin(), stream.begin() + 15));
    EXPECT_EQ(Ask("sleep 250"), "ok");  // the rest comes a poll later
    pty.WriteMaster(Bytes(stream.begin() + 15, stream.end()));
    pty.WriteMaster(second);
    stream.insert(stream.end(), second.begin(), second.end());
    std::vector<Bytes> frames;
    for (int i = 0; i < 100 && frames.size() < 2; ++i) {
        for (Bytes& f : Listed(Ask("frames"))) frames.push_back(std::move(f));
        Ask("sleep 50");
    }
    EXPECT_EQ(frames, (std::vector<Bytes>{reply, second}));
    std::string traced;
    for (const std::string& s : DebugStrings(probe->TakeErrors())) {
        ASSERT_EQ(s.rfind(ReceivedWord, 0), 0u) << s;
        traced += s.substr(std::string(ReceivedWord).size());
    }
    EXPECT_EQ(traced, TraceHex(stream));
}

}  // namespace
