#include "WindowFixture.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QTimer>
#include <cstdio>
#include <cstring>
#include <thread>

#include "app/kit/GlobVar.h"
#include "app/main/KR3090frm.h"
#include "settings/Config.h"
#include "link/Trace.h"
#include "protocol/Frame.h"

TPty::TPty() {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        ADD_FAILURE() << "openpty failed";
        return;
    }
    termios t{};
    tcgetattr(master_, &t);
    cfmakeraw(&t);
    tcsetattr(master_, TCSANOW, &t);
    slavePath_ = name;
}

TPty::~TPty() {
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
}

void TPty::Write(const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return;
        done += std::size_t(n);
    }
}

std::vector<std::uint8_t> TPty::Read(std::size_t n, std::chrono::milliseconds timeout) {
    std::vector<std::uint8_t> out;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (out.size() < n) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, int(std::min<long long>(left.count(), 50))) <= 0) {
            QApplication::processEvents();
            continue;
        }
        std::uint8_t buffer[256];
        const ssize_t got = ::read(master_, buffer, std::min(sizeof buffer, n - out.size()));
        if (got <= 0) break;
        out.insert(out.end(), buffer, buffer + got);
    }
    return out;
}

std::vector<std::uint8_t> TPty::Drain() {
    std::vector<std::uint8_t> out;
    for (;;) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) break;
        std::uint8_t buffer[256];
        const ssize_t got = ::read(master_, buffer, sizeof buffer);
        if (got <= 0) break;
        out.insert(out.end(), buffer, buffer + got);
    }
    return out;
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    char b[4];
    for (std::uint8_t c : bytes) {
        std::snprintf(b, sizeof b, "%02X", c);
        if (!out.empty()) out += ' ';
        out += b;
    }
    return out;
}

std::vector<std::uint8_t> Reply(std::uint8_t type, std::vector<std::uint8_t> payload) {
    std::vector<std::uint8_t> f(26, 0);
    f[0] = 0x24;
    f[1] = 0xA1;
    f[2] = type;
    f[3] = 0x14;
    for (std::size_t i = 0; i < payload.size() && i < 20; ++i) f[4 + i] = payload[i];
    f[24] = FrameChecksum(f.data(), 26);
    f[25] = 0x2A;
    return f;
}

std::vector<std::uint8_t> LiveReply(std::uint8_t type, std::uint8_t freq, float u, float i,
                                    float phi, std::uint8_t rm, std::uint8_t test,
                                    std::uint8_t mode) {
    std::vector<std::uint8_t> p(20, 0);
    p[0] = freq;
    std::memcpy(&p[1], &u, 4);
    std::memcpy(&p[5], &i, 4);
    std::memcpy(&p[9], &phi, 4);
    p[13] = rm;
    p[14] = test;
    p[15] = mode;
    return Reply(type, p);
}

bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void WindowTest::SetUp() {
    GlobVar = TGlobVar{};
    SetPlatform(&platform);
    SetTraceSink([this](const std::string& line) {
        std::lock_guard<std::mutex> lock(traceMutex);
        trace.push_back(line);
    });
    window = std::make_unique<TfrmKR3090>();
    // Only the frames a test causes go on the line.
    window->Timer_Send->stop();
    window->Timer_Now->stop();
    GlobVar.ConfigFileName = folder.filePath(QStringLiteral("Config.ini"));
    CommSettings.ComName = pty.SlavePath();
    // These tests read texts, positions and frames; painting (exercised by the
    // end-to-end and screenshot tests) would only start Qt's painter threads.
    window->setUpdatesEnabled(false);
    window->resize(979, 689);
    window->show();
    ASSERT_TRUE(GlobVar.PortOpen) << "the window did not open " << pty.SlavePath();
}

void WindowTest::TearDown() {
    window.reset();
    SetTraceSink(nullptr);
    SetPlatform(nullptr);
}

void WindowTest::Connect() {
    window->BitBtn1Click();
    EXPECT_EQ(NextFrame(),
              "24 A1 AA 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 5F 2A");
    pty.Write(LiveReply(0xAA, 40, 2.5f, 1.25f, 30, 0, 0, 0));
    ASSERT_TRUE(WaitUntil([] { return GlobVar.Connected; }));
}

void WindowTest::Dispatch(const std::vector<std::uint8_t>& frame) {
    std::vector<std::uint8_t> copy(4096, 0);
    std::copy(frame.begin(), frame.end(), copy.begin());
    window->DispatchReply(copy.data(), int(frame.size()));
}

std::string WindowTest::NextFrame() {
    return Hex(pty.Read(26));
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
