#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "../vm/OutsideLine.h"
#include "PtyPair.h"
#include "TermiosReadBack.h"
#include "settings/Config.h"
#include "link/SerialComm.h"
#include "link/Trace.h"
#include "protocol/Receive.h"
#include "tests/OrdinaryUser.h"

namespace {

using namespace std::chrono_literals;

// Chunks delivered to the receive callback, collected for the test thread.
struct TChunks {
    std::mutex Mutex;
    std::condition_variable Arrived;
    Bytes Received;
    int Calls = 0;

    bool WaitFor(std::size_t bytes, std::chrono::milliseconds timeout = 5s) {
        std::unique_lock<std::mutex> lock(Mutex);
        return Arrived.wait_for(lock, timeout, [&] { return Received.size() >= bytes; });
    }
    Bytes Take() {
        std::lock_guard<std::mutex> lock(Mutex);
        Bytes b;
        b.swap(Received);
        return b;
    }
};

TChunks chunks;

void CollectChunk(const std::uint8_t* block, std::uint32_t count) {
    std::lock_guard<std::mutex> lock(chunks.Mutex);
    chunks.Received.insert(chunks.Received.end(), block, block + count);
    ++chunks.Calls;
    chunks.Arrived.notify_all();
}

// The test thread plays the window thread: queued calls run when it pumps.
class TWindowQueue {
  public:
    void Post(std::function<void()> call) {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(std::move(call));
        posted_.notify_all();
    }
    // Runs queued calls until done() holds or the time-out passes.
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 5s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!posted_.wait_until(lock, deadline, [&] { return !calls_.empty(); })) return done();
            auto call = std::move(calls_.front());
            calls_.pop_front();
            lock.unlock();
            call();
        }
        return true;
    }
    std::size_t Pending() {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_.size();
    }

  private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> calls_;
};

class SerialCommTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetTraceSink([](const std::string&) {});
        chunks.Take();
    }
    void TearDown() override {
        ClearFrameTarget();
        SetTraceSink(nullptr);
    }
    TPtyPair pty;
};

TEST(PortNameFor, PrefixIsAddedOnce) {
    EXPECT_EQ(PortNameFor("COM1"), "//.//COM1");
    EXPECT_EQ(PortNameFor("//.//COM1"), "//.//COM1");
    EXPECT_EQ(PortNameFor("/dev/pts/3"), "//.///dev/pts/3");
}

TEST_F(SerialCommTest, FailedOpenShowsThePortNameWithTheMessageAndLeavesThePortClosed) {
    std::unique_ptr<TSerialComm> comm;
    bool portOpen = true;  // as if a port had been open before
    TCommSettings settings;
    settings.ComName = "COM9";
    std::vector<std::string> messages;
    OpenCommPort(comm, portOpen, settings, CollectChunk, CancelFrameHandOver,
                 [&](const std::string& m) { messages.push_back(m); });
    ASSERT_NE(comm, nullptr);
    EXPECT_FALSE(portOpen);
    ASSERT_EQ(messages.size(), 1u);
    // The device as opened: Linux has no //.// names.
    EXPECT_EQ(messages[0], "/dev/COM9打开串口失败，请配置串口!!");
    EXPECT_EQ(comm->OpenError(), TPortOpenError::NoSuchDevice);
    EXPECT_EQ(comm->Handle(), 0);
    EXPECT_FALSE(comm->Close());
    const std::uint8_t byte = 0x24;
    EXPECT_FALSE(comm->Write(&byte, 1));
}

TEST_F(SerialCommTest, PortTheUserMayNotOpenSaysWhyAndWhatToDoWhileABusyOneSaysWhatItDid) {
    TCommSettings settings;
    settings.ComName = pty.Name;
    std::vector<std::string> messages;
    std::vector<TPortOpenError> causes;
    auto show = [&](const std::string& m) { messages.push_back(m); };
    std::unique_ptr<TSerialComm> denied;
    bool deniedOpen = false;
    // A device the user may not open: a pseudo-terminal is its owner's alone,
    // while /dev/ttyS0 is dialout's, whose members may open it.
    ASSERT_EQ(chmod(pty.Name.c_str(), 0), 0);
    for (const char* groupName : {"tty", "dialout"}) {
        const group* g = getgrnam(groupName);
        if (!g || chown(pty.Name.c_str(), static_cast<uid_t>(-1), g->gr_gid) != 0)
            GTEST_SKIP() << "the device cannot be given to the group " << groupName;
        TOrdinaryUser user;
        if (!user.Ordinary()) GTEST_SKIP() << "root could not become an ordinary user";
        OpenCommPort(denied, deniedOpen, settings, CollectChunk, CancelFrameHandOver, show);
        causes.push_back(denied->OpenError());
    }
    EXPECT_FALSE(deniedOpen);
    // Another program holding the port: the message of every other failure.
    ASSERT_EQ(chmod(pty.Name.c_str(), 0600), 0);
    std::unique_ptr<TSerialComm> holder, second;
    bool holderOpen = false, secondOpen = false;
    OpenCommPort(holder, holderOpen, settings, CollectChunk, CancelFrameHandOver, show);
    OpenCommPort(second, secondOpen, settings, CollectChunk, CancelFrameHandOver, show);
    causes.push_back(second->OpenError());
    EXPECT_TRUE(holderOpen);
    EXPECT_FALSE(secondOpen);
    const std::string failed = pty.Name + "打开串口失败，请配置串口!!";
    EXPECT_EQ(
        messages,
        (std::vector<std::string>{
            failed + "\n没有访问该串口的权限。",
            failed + "\n没有访问该串口的权限：请将当前用户加入 dialout 组后重新登录。", failed}));
    EXPECT_EQ(causes,
              (std::vector<TPortOpenError>{TPortOpenError::NotPermitted,
                                           TPortOpenError::NotPermitted, TPortOpenError::Busy}));
}

TEST_F(SerialCommTest, OpeningTwiceClosesTheFirstPortAndReopensTheSameDevice) {
    std::unique_ptr<TSerialComm> comm;
    bool portOpen = false;
    TCommSettings settings;
    settings.ComName = pty.Name;
    settings.Baud = 115200;
    // With parity the reopen asks for nothing a pseudo-terminal changes.
    settings.Mark = ParityEven;
    std::vector<std::string> messages;
    auto show = [&](const std::string& m) { messages.push_back(m); };
    OpenCommPort(comm, portOpen, settings, CollectChunk, CancelFrameHandOver, show);
    EXPECT_TRUE(portOpen);
    TSerialComm* first = comm.get();
    OpenCommPort(comm, portOpen, settings, CollectChunk, CancelFrameHandOver, show);
    EXPECT_TRUE(portOpen);
    EXPECT_EQ(comm.get(), first);  // kept for the whole run
    EXPECT_TRUE(messages.empty());
    pty.WriteMaster({0x11, 0x22});
    ASSERT_TRUE(chunks.WaitFor(2));
    EXPECT_EQ(chunks.Take(), (Bytes{0x11, 0x22}));
}

TEST_F(SerialCommTest, NameAlreadyCarryingThePrefixIsOpenedAsItStands) {
    std::unique_ptr<TSerialComm> comm;
    bool portOpen = false;
    TCommSettings settings;
    settings.ComName = "//.//" + pty.Name;
    std::vector<std::string> messages;
    OpenCommPort(comm, portOpen, settings, CollectChunk, CancelFrameHandOver,
                 [&](const std::string& m) { messages.push_back(m); });
    EXPECT_TRUE(portOpen);
    EXPECT_TRUE(messages.empty());
}

TEST_F(SerialCommTest, SettingsTakeTheirLowByteAndRefusedOnesShowTheMessage) {
    std::unique_ptr<TSerialComm> comm;
    bool portOpen = false;
    std::vector<std::string> messages;
    auto show = [&](const std::string& m) { messages.push_back(m); };
    TCommSettings settings;
    settings.ComName = pty.Name;
    settings.DataNum = 0x108;  // low byte 8
    settings.Mark = 0x103;     // low byte 3: mark
    OpenCommPort(comm, portOpen, settings, CollectChunk, CancelFrameHandOver, show);
    EXPECT_TRUE(portOpen);
    EXPECT_TRUE(messages.empty());

    const auto refused = [&](TCommSettings bad) {
        messages.clear();
        OpenCommPort(comm, portOpen, bad, CollectChunk, CancelFrameHandOver, show);
        EXPECT_FALSE(portOpen);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0], pty.Name + "打开串口失败，请配置串口!!");
        EXPECT_EQ(comm->OpenError(), TPortOpenError::SettingsRefused);
        // A failed reopen leaves no port open: the device is free.
        TCommPort other;
        TPortHandle h = other.Open(pty.Name, 9600, 8, 0, 0);
        EXPECT_NE(h, 0);
        other.Close(h);
    };
    TCommSettings bad = settings;
    bad.Baud = -1;
    refused(bad);
    bad = settings;
    bad.Baud = 0;
    refused(bad);
    bad = settings;
    bad.DataNum = 9;
    refused(bad);
    bad = settings;
    bad.Mark = 5;
    refused(bad);
    bad = settings;
    bad.StopNum = 1;  // 1.5 stop bits with 8-bit characters
    refused(bad);
}

// Every setting the settings dialog offers, reopened one after the other as
// the window does after the dialog: each data size with each parity and stop
// bits, the dialog's rates taken in turn (28800 through the custom-rate path).
// What opens reads back as asked and carries bytes both ways; what the device
// cannot frame fails the open with the port message. On the fixture's
// pseudo-terminal (which keeps no character size or parity) the test echoes
// itself; on an outside line (KR3090_LINE) the host echoes, and the device's
// data sizes and its clock's highest rate say what must fail.
TEST_F(SerialCommTest, EveryDialogSettingReadsBackAndCarriesBytesBothWaysOrShowsThePortMessage) {
    const auto outside = TOutsideLine::FromEnvironment();
    std::string device = pty.Name;
    std::vector<int> framed{5, 6, 7, 8};
    std::jthread echo;
    if (outside) {
        ASSERT_TRUE(outside->Ask("echo"));
        device = outside->Device();
        framed = outside->DataBits();
    } else {
        echo = std::jthread([&](std::stop_token stop) {
            std::uint8_t buffer[256];
            while (!stop.stop_requested()) {
                pollfd p{pty.Master, POLLIN, 0};
                if (poll(&p, 1, 20) <= 0) continue;
                const ssize_t n = read(pty.Master, buffer, sizeof buffer);
                if (n > 0) pty.WriteMaster(Bytes(buffer, buffer + n));
            }
        });
    }
    std::uint32_t fastest = UINT32_MAX;
    {
        const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        serial_struct serial{};
        if (fd >= 0 && ioctl(fd, TIOCGSERIAL, &serial) == 0 && serial.baud_base > 0)
            fastest = static_cast<std::uint32_t>(serial.baud_base);
        if (fd >= 0) close(fd);
    }
    const bool isPty = device.rfind("/dev/pts/", 0) == 0;

    std::unique_ptr<TSerialComm> comm;
    bool portOpen = false;
    std::vector<std::string> messages;
    TCommSettings settings;
    settings.ComName = device.substr(std::string("/dev/").size());
    const int rates[] = {300, 600, 1200, 2400, 9600, 28800, 57600, 115200, 230400};
    int turn = 0, opened = 0;
    for (int bits = 5; bits <= 8; ++bits) {
        for (int parity = ParityNone; parity <= ParitySpace; ++parity) {
            for (int stopCode = StopBitsOne; stopCode <= StopBitsTwo; ++stopCode) {
                settings.DataNum = bits;
                settings.Mark = parity;
                settings.StopNum = stopCode;
                settings.Baud = rates[turn++ % std::size(rates)];
                SCOPED_TRACE(device + " " + std::to_string(settings.Baud) + " baud, " +
                             std::to_string(bits) + " bits, parity " + std::to_string(parity) +
                             ", stop bits code " + std::to_string(stopCode));
                // termios has 1.5 stop bits only as two with 5-bit characters.
                const bool carried =
                    std::find(framed.begin(), framed.end(), bits) != framed.end() &&
                    (stopCode != StopBitsOneAndHalf || bits == 5) &&
                    static_cast<std::uint32_t>(settings.Baud) <= fastest;
                messages.clear();
                OpenCommPort(comm, portOpen, settings, CollectChunk, CancelFrameHandOver,
                             [&](const std::string& m) { messages.push_back(m); });
                if (!carried) {
                    EXPECT_FALSE(portOpen);
                    EXPECT_EQ(messages,
                              std::vector<std::string>{DevicePathForPortName(settings.ComName) +
                                                       "打开串口失败，请配置串口!!"});
                    continue;
                }
                ASSERT_TRUE(portOpen);
                EXPECT_TRUE(messages.empty());
                ++opened;

                const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
                termios t{};
                ASSERT_EQ(tcgetattr(fd, &t), 0);
                std::uint32_t out = 0, in = 0;
                ASSERT_TRUE(ReadBackSpeeds(fd, out, in));
                close(fd);
                EXPECT_EQ(out, static_cast<std::uint32_t>(settings.Baud));
                EXPECT_EQ(in, static_cast<std::uint32_t>(settings.Baud));
                const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
                const tcflag_t parities[] = {0, PARENB | PARODD, PARENB, PARENB | CMSPAR | PARODD,
                                             PARENB | CMSPAR};
                if (isPty) {
                    EXPECT_EQ(t.c_cflag & (PARODD | CMSPAR), parities[parity] & (PARODD | CMSPAR));
                } else {
                    EXPECT_EQ(t.c_cflag & CSIZE, sizes[bits - 5]);
                    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), parities[parity]);
                }
                EXPECT_EQ((t.c_cflag & CSTOPB) != 0, stopCode != StopBitsOne);
                EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
                EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);

                // Characters of this size only: a line carries no more.
                Bytes sent(64);
                for (std::size_t i = 0; i < sent.size(); ++i)
                    sent[i] = static_cast<std::uint8_t>((i * 37 + 0xA5) & ((1u << bits) - 1));
                chunks.Take();
                EXPECT_TRUE(comm->Write(sent.data(), static_cast<std::uint32_t>(sent.size())));
                chunks.WaitFor(sent.size());
                EXPECT_EQ(chunks.Take(), sent);
            }
        }
    }
    EXPECT_GE(opened, 20);
}

TEST_F(SerialCommTest, OpenWithoutCloseReleasesTheFirstPort) {
    TPtyPair second;
    TSerialComm comm;
    ASSERT_TRUE(comm.Open(pty.Name, 9600, 8, 0, 0));
    ASSERT_TRUE(comm.Open(second.Name, 9600, 8, 0, 0));
    TCommPort other;
    TPortHandle h = other.Open(pty.Name, 9600, 8, 0, 0);
    EXPECT_NE(h, 0);
    other.Close(h);
}

TEST_F(SerialCommTest, HangUpOfTheOtherSideMeansNoDataAndDestroyStillReturns) {
    auto comm = std::make_unique<TSerialComm>();
    comm->SetReceiveCallback(CollectChunk);
    ASSERT_TRUE(comm->Open(pty.Name, 9600, 8, 0, 0));
    pty.WriteMaster({0x01});
    ASSERT_TRUE(chunks.WaitFor(1));
    chunks.Take();
    pty.CloseMaster();
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(chunks.Take().empty());
    const std::uint8_t byte = 0x24;
    EXPECT_TRUE(comm->Write(&byte, 1));  // the failure is not examined
    comm.reset();
}

TEST_F(SerialCommTest, CloseReportsWhetherAPortWasOpen) {
    TSerialComm comm;
    EXPECT_FALSE(comm.Close());
    ASSERT_TRUE(comm.Open(pty.Name, 9600, 8, 0, 0));
    EXPECT_TRUE(comm.Close());
    EXPECT_FALSE(comm.Close());
    // Closed for real: the device opens again.
    EXPECT_TRUE(comm.Open(pty.Name, 9600, 8, 0, 0));
}

TEST_F(SerialCommTest, WriteReachesTheDeviceOnlyWhileAPortIsOpen) {
    TSerialComm comm;
    const Bytes frame{0x24, 0xA1, 0xBB, 0x14};
    EXPECT_FALSE(comm.Write(frame.data(), 4));
    ASSERT_TRUE(comm.Open(pty.Name, 9600, 8, 0, 0));
    EXPECT_TRUE(comm.Write(frame.data(), 4));
    EXPECT_EQ(pty.ReadMaster(4), frame);
    comm.Close();
    EXPECT_FALSE(comm.Write(frame.data(), 4));
}

TEST_F(SerialCommTest, ReceivedBytesReachTheCallbackOnTheReceiveThread) {
    TSerialComm comm;
    comm.SetReceiveCallback(CollectChunk);
    ASSERT_TRUE(comm.Open(pty.Name, 9600, 8, 0, 0));
    const Bytes sent{0x24, 0xA1, 0xDD, 0x0A};
    pty.WriteMaster(sent);
    ASSERT_TRUE(chunks.WaitFor(sent.size()));  // one poll period, waited generously
    EXPECT_EQ(chunks.Take(), sent);
}

TEST_F(SerialCommTest, ThreadRunsAfterAFailedOpenAndPicksUpALaterPort) {
    TSerialComm comm;
    comm.SetReceiveCallback(CollectChunk);
    EXPECT_FALSE(comm.Open("//.//COM9", 9600, 8, 0, 0));
    std::this_thread::sleep_for(250ms);  // polls with no handle
    ASSERT_TRUE(comm.Open(pty.Name, 9600, 8, 0, 0));
    pty.WriteMaster({0x5A});
    ASSERT_TRUE(chunks.WaitFor(1));
    EXPECT_EQ(chunks.Take(), Bytes{0x5A});
}

TEST_F(SerialCommTest, ChunkReadWhileNoCallbackIsSetIsDropped) {
    TSerialComm comm;
    ASSERT_TRUE(comm.Open(pty.Name, 9600, 8, 0, 0));
    pty.WriteMaster({0x01, 0x02, 0x03});
    // The thread takes the bytes off the port with nowhere to put them.
    ASSERT_TRUE(pty.WaitQueued(3));
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (pty.Queued() > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    ASSERT_EQ(pty.Queued(), 0);
    comm.SetReceiveCallback(CollectChunk);
    pty.WriteMaster({0x04});
    ASSERT_TRUE(chunks.WaitFor(1));
    EXPECT_EQ(chunks.Take(), Bytes{0x04});
}

TEST_F(SerialCommTest, PollsAfterCloseDeliverNothing) {
    TSerialComm comm;
    comm.SetReceiveCallback(CollectChunk);
    ASSERT_TRUE(comm.Open(pty.Name, 9600, 8, 0, 0));
    comm.Close();
    pty.WriteMaster({0x24, 0xA1});
    std::this_thread::sleep_for(400ms);  // several polls
    EXPECT_TRUE(chunks.Take().empty());
    EXPECT_EQ(pty.Queued(), 2);  // still in the device, never read
}

// Plays an instrument that keeps sending, about 20 000 bytes a second.
class TChattyInstrument {
  public:
    explicit TChattyInstrument(const TPtyPair& pty) : pty_(pty), thread_([this] { Run(); }) {}
    ~TChattyInstrument() {
        stop_.store(true);
        // Take everything off the terminal so the writer is never stuck on it.
        TCommPort drain;
        TPortHandle h = drain.Open(pty_.Name, 115200, 8, 0, 0);
        std::uint8_t block[CommReadBufferSize];
        std::uint32_t n;
        while (!done_.load()) {
            if (!drain.Read(h, block, n)) std::this_thread::sleep_for(1ms);
        }
        thread_.join();
        drain.Close(h);
    }

  private:
    void Run() {
        Bytes burst(200, 0x24);
        for (std::size_t i = 0; i < burst.size(); i += 7) burst[i] = 0x2A;
        while (!stop_.load()) {
            pty_.WriteMaster(burst);
            std::this_thread::sleep_for(10ms);
        }
        done_.store(true);
    }
    const TPtyPair& pty_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> done_{false};
    std::thread thread_;
};

TEST_F(SerialCommTest, DestroyingStopsTheThreadWhileBytesAreFlowing) {
    TChattyInstrument instrument(pty);
    for (int round = 0; round < 5; ++round) {
        auto comm = std::make_unique<TSerialComm>();
        comm->SetReceiveCallback(CollectChunk);
        comm->SetInterruptCallback(CancelFrameHandOver);
        ASSERT_TRUE(comm->Open(pty.Name, 115200, 8, 0, 0));
        ASSERT_TRUE(chunks.WaitFor(1));
        comm.reset();
        const int calls = [] {
            std::lock_guard<std::mutex> lock(chunks.Mutex);
            return chunks.Calls;
        }();
        std::this_thread::sleep_for(250ms);
        std::lock_guard<std::mutex> lock(chunks.Mutex);
        EXPECT_EQ(chunks.Calls, calls);  // no poll after destruction
        chunks.Received.clear();
    }
}

// Frames from the device pass through CommReceive and the hand-over to the
// window thread played by the test.
class ReceivePathTest : public SerialCommTest {
  protected:
    void SetUp() override {
        SerialCommTest::SetUp();
        RxLength = 0;
        SetFrameTarget([this](std::function<void()> call) { window.Post(std::move(call)); },
                       [this] { frames.emplace_back(FrameBuffer, FrameBuffer + FrameLength); });
    }
    TWindowQueue window;
    std::vector<Bytes> frames;
};

Bytes ConnectReply() {
    Bytes b{0x24, 0xA1, 0xAA, 0x14};
    b.resize(24, 0x00);
    b.push_back(0x5F);
    b.push_back(0x2A);
    return b;
}

TEST_F(ReceivePathTest, FramesFromTheDeviceAreHandledOnTheWindowThreadInOrder) {
    TSerialComm comm;
    comm.SetReceiveCallback(CommReceive);
    comm.SetInterruptCallback(CancelFrameHandOver);
    ASSERT_TRUE(comm.Open(pty.Name, 115200, 8, 0, 0));
    Bytes second = ConnectReply();
    second[2] = 0xBB;
    second[24] = 0x70;
    const Bytes first = ConnectReply();
    Bytes stream{0x00, 0x11};
    stream.insert(stream.end(), first.begin(), first.end());
    pty.WriteMaster(Bytes(stream.begin(), stream.begin() + 15));
    std::this_thread::sleep_for(150ms);  // the rest comes a poll later
    pty.WriteMaster(Bytes(stream.begin() + 15, stream.end()));
    pty.WriteMaster(second);
    ASSERT_TRUE(window.PumpUntil([&] { return frames.size() >= 2; }));
    EXPECT_EQ(frames[0], ConnectReply());
    EXPECT_EQ(frames[1], second);
}

TEST_F(ReceivePathTest, RandomFramesWithNoiseArriveWholeAndInOrderWhateverThePollsCut) {
    std::mt19937 random(115200);
    auto draw = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    std::vector<Bytes> sent;
    Bytes stream;
    for (int k = 0; k < 40; ++k) {
        for (int j = draw(0, 15); j > 0; --j) {
            std::uint8_t b;
            do b = static_cast<std::uint8_t>(draw(0, 255));
            while (b == 0x24);
            stream.push_back(b);
        }
        const int length = draw(0, 60);
        Bytes f{0x24, 0xA1, static_cast<std::uint8_t>(draw(0xC1, 0xC7)),
                static_cast<std::uint8_t>(length)};
        for (int j = 0; j <= length; ++j) f.push_back(static_cast<std::uint8_t>(draw(0, 255)));
        f.push_back(0x2A);
        sent.push_back(f);
        stream.insert(stream.end(), f.begin(), f.end());
    }
    TSerialComm comm;
    comm.SetReceiveCallback(CommReceive);
    comm.SetInterruptCallback(CancelFrameHandOver);
    ASSERT_TRUE(comm.Open(pty.Name, 115200, 8, 0, 0));
    std::thread instrument([&, seed = draw(0, 1000)] {
        std::mt19937 pace(static_cast<unsigned>(seed));
        for (std::size_t at = 0; at < stream.size();) {
            const std::size_t n = std::min<std::size_t>(
                stream.size() - at, std::uniform_int_distribution<std::size_t>(1, 90)(pace));
            pty.WriteMaster(Bytes(stream.begin() + at, stream.begin() + at + n));
            at += n;
            std::this_thread::sleep_for(
                std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 25)(pace)));
        }
    });
    const bool all = window.PumpUntil([&] { return frames.size() >= sent.size(); }, 20s);
    instrument.join();
    ASSERT_TRUE(all) << frames.size() << " of " << sent.size();
    EXPECT_EQ(frames, sent);
}

TEST_F(ReceivePathTest, DestroyingWhileTheReceiveThreadWaitsForTheWindowDoesNotDeadlock) {
    auto comm = std::make_unique<TSerialComm>();
    comm->SetReceiveCallback(CommReceive);
    comm->SetInterruptCallback(CancelFrameHandOver);
    ASSERT_TRUE(comm->Open(pty.Name, 115200, 8, 0, 0));
    pty.WriteMaster(ConnectReply());
    pty.WriteMaster(ConnectReply());
    // The receive thread has handed a frame over and waits; the window thread
    // does not pump but destroys the connection.
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (window.Pending() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    ASSERT_EQ(window.Pending(), 1u);
    comm.reset();  // must return
    // The frame posted before destruction is stale and not handled.
    window.PumpUntil([] { return false; }, 100ms);
    EXPECT_TRUE(frames.empty());
}

}  // namespace
