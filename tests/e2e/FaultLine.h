#pragma once
// What the fault and vanishing tests share: the simulator on the master side of
// a pseudo-terminal pair that can be pulled away like an unplugged adapter, a
// count of the frames the simulator put on the line, the window under test with
// a recording platform, and the CPU time of the receive thread.

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <QApplication>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <array>
#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/GlobVar.h"
#include "app/KR3090frm.h"
#include "app/Platform.h"
#include "link/Config.h"
#include "link/Trace.h"
#include "protocol/Receive.h"
#include "sim/Simulator.h"

// What the simulator logged, counted on its own thread.
struct TSimCounts {
    std::atomic<int> Replies{0};      // reply frames put on the line
    std::atomic<int> LiveReplies{0};  // of them 0xDD
    std::atomic<int> Unknown{0};      // extra frames of an unknown type
    std::atomic<int> Dropped{0};
    std::atomic<int> BadChecksums{0};
    std::atomic<int> WriteFailures{0};
};

class TPullableSim {
  public:
    explicit TPullableSim(TSimOptions options) : counts_(std::make_shared<TSimCounts>()) {
        options.Verbose = true;
        auto counts = counts_;
        options.Log = [counts](const std::string& line) {
            auto starts = [&](const char* prefix) { return line.rfind(prefix, 0) == 0; };
            if (starts("reply ")) {
                ++counts->Replies;
                if (starts("reply 24 A1 DD")) ++counts->LiveReplies;
            } else if (starts("fault: frame of unknown type")) {
                ++counts->Unknown;
            } else if (starts("fault: dropped")) {
                ++counts->Dropped;
            } else if (starts("fault: wrong checksum")) {
                ++counts->BadChecksums;
            } else if (starts("write failed")) {
                ++counts->WriteFailures;
            }
        };
        sim_ = std::make_unique<TSimulator>(options);
        char name[256] = {};
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
        termios t{};
        tcgetattr(master_, &t);
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
        slavePath_ = name;
        thread_ = std::thread([this] { sim_->ServeFd(master_, stop_); });
    }
    ~TPullableSim() { Pull(); }

    const std::string& SlavePath() const { return slavePath_; }
    const TSimCounts& Counts() const { return *counts_; }

    // The instrument stops and its end of the line closes: the program's side
    // is hung up, as when the adapter is pulled out or the simulator is killed.
    void Pull() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (master_ >= 0) close(master_);
        if (slave_ >= 0) close(slave_);
        master_ = slave_ = -1;
    }

  private:
    std::shared_ptr<TSimCounts> counts_;
    std::unique_ptr<TSimulator> sim_;
    int master_ = -1, slave_ = -1;
    std::string slavePath_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

inline TSimOptions QuietSim() {
    TSimOptions o;
    o.ConfirmDelayMs = 50;
    return o;
}

class TFaultPlatform : public TQtPlatform {
  public:
    void MessageBox(QWidget*, const QString& text, const QString&, TMessageIcon) override {
        Boxes.push_back(text);
    }
    void ShowError(QWidget*, const QString& text) override { Errors.push_back(text); }
    std::vector<QString> Boxes;
    std::vector<QString> Errors;
};

inline bool WaitFor(const std::function<bool()>& pred, int seconds = 10,
                    const std::function<void()>& each = {}) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        if (each) each();
        if (pred()) return true;
        if (std::chrono::steady_clock::now() > end) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

inline bool FullMatch(const QString& text, const char* pattern) {
    return QRegularExpression(QRegularExpression::anchoredPattern(QString::fromUtf8(pattern)))
        .match(text)
        .hasMatch();
}

// CPU time (user + system) of one thread of this process, in clock ticks.
inline long ThreadCpuTicks(long tid) {
    std::ifstream f("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    const auto close = all.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream rest(all.substr(close + 2));
    std::string field;
    long utime = 0, stime = 0;
    // Field 3 (state) comes first; utime and stime are fields 14 and 15.
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14) utime = std::stol(field);
        if (i == 15) stime = std::stol(field);
    }
    return utime + stime;
}

// The window on a simulator line, with the trace recorded and the id of the
// thread that delivers received chunks (the receive thread) noted.
class FaultWindowTest : public ::testing::Test {
  protected:
    void Start(TSimOptions options) {
        GlobVar = TGlobVar{};
        SetPlatform(&platform);
        SetTraceSink([this](const std::string& line) {
            std::lock_guard<std::mutex> lock(mutex);
            if (line.rfind("收到", 0) == 0) {
                receiveThread = static_cast<long>(syscall(SYS_gettid));
                ++chunks;
            }
            if (line.rfind("发送", 0) == 0) ++sent;
        });
        sim = std::make_unique<TPullableSim>(options);
        window = std::make_unique<TfrmKR3090>();
        GlobVar.ConfigFileName = folder.filePath(QStringLiteral("Config.ini"));
        CommSettings.ComName = sim->SlavePath();
        window->resize(979, 689);
        window->show();
        ASSERT_TRUE(GlobVar.PortOpen) << sim->SlavePath();
        CountHandledFrames();
    }
    // Puts a tally in front of the window's frame handler, on the same
    // hand-over the window installs; again after every reopen of the port.
    void CountHandledFrames() {
        TfrmKR3090* w = window.get();
        SetFrameTarget(
            [w](std::function<void()> fn) {
                QMetaObject::invokeMethod(w, std::move(fn), Qt::QueuedConnection);
            },
            [this, w] {
                ++handled[FrameBuffer[2]];
                w->WMCommFrame();
            });
    }
    // Frames the window handled, all types or one.
    int Handled() const {
        int n = 0;
        for (int count : handled) n += count;
        return n;
    }
    int Handled(std::uint8_t type) const { return handled[type]; }
    // Frames the simulator put on the line whole.
    int SimSent() const { return sim->Counts().Replies + sim->Counts().Unknown; }
    void TearDown() override {
        window.reset();
        sim.reset();
        SetTraceSink(nullptr);
        SetPlatform(nullptr);
    }
    // Presses "连接设备" until the instrument answers: a dropped reply leaves
    // nothing to see, and the user presses again.
    bool ConnectPressingAgain(int tries = 20) {
        for (int i = 0; i < tries && !GlobVar.Connected; ++i) {
            window->BitBtn1->click();
            WaitFor([] { return GlobVar.Connected; }, 2);
        }
        return GlobVar.Connected;
    }
    long ReceiveThread() {
        std::lock_guard<std::mutex> lock(mutex);
        return receiveThread;
    }
    int SentCount() {
        std::lock_guard<std::mutex> lock(mutex);
        return sent;
    }

    TFaultPlatform platform;
    QTemporaryDir folder;
    std::unique_ptr<TPullableSim> sim;
    std::unique_ptr<TfrmKR3090> window;
    std::mutex mutex;
    std::array<int, 256> handled{};  // window thread only
    long receiveThread = 0;
    int chunks = 0;
    int sent = 0;
};
