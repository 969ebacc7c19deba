#pragma once
// What the fault and vanishing tests share: the simulator on the master side of
// a pseudo-terminal pair that can be pulled away like an unplugged adapter or
// stall like a hung one, a count of the frames the simulator put on the line,
// the window under test with a recording platform, and the CPU time of the
// receive thread. On an outside line (KR3090_LINE) the host's kr3090-sim
// plays the instrument and the adapter is really pulled.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QObject>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <array>
#include <atomic>
#include <chrono>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "FaultPoster.h"
#include "OutsideSim.h"
#include "Pump.h"
#include "app/kit/GlobVar.h"
#include "app/kit/HintFrm.h"
#include "app/main/KR3090frm.h"
#include "app/kit/Platform.h"
#include "settings/Config.h"
#include "app/main/SetCommfrm.h"
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
    explicit TPullableSim(TSimOptions options)
        : counts_(std::make_shared<TSimCounts>()), outside_(TOutsideLine::FromEnvironment()) {
        if (outside_) {
            slavePath_ = StartOutsideSim(*outside_, options);
            return;
        }
        options.Verbose = true;
        auto counts = counts_;
        options.Log = [counts](const std::string& line) { Count(*counts, line); };
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
    ~TPullableSim() {
        if (!outside_) Pull();
    }

    const std::string& SlavePath() const { return slavePath_; }
    const TSimCounts& Counts() const {
        if (outside_) {
            TSimCounts& c = *counts_;
            c.Replies = c.LiveReplies = c.Unknown = c.Dropped = c.BadChecksums = c.WriteFailures =
                0;
            std::istringstream log(outside_->SimLog());
            for (std::string line; std::getline(log, line);)
                if (line.rfind("kr3090-sim: ", 0) == 0) Count(c, line.substr(12));
        }
        return *counts_;
    }

    // The instrument stops and its end of the line closes: the program's side
    // is hung up, as when the adapter is pulled out or the simulator is killed.
    void Pull() {
        if (outside_) {
            EXPECT_TRUE(outside_->Ask("pull"));
            EXPECT_TRUE(outside_->WaitGone(slavePath_)) << slavePath_ << " stayed";
            return;
        }
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (master_ >= 0) close(master_);
        if (slave_ >= 0) close(slave_);
        master_ = slave_ = -1;
    }

    // The instrument stops reading, as a stalled firmware or a hung adapter
    // does, and the line stays: what the program writes piles up toward it.
    void Stall() {
        if (outside_) {
            EXPECT_TRUE(outside_->Ask("stall"));
            return;
        }
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    // Fills that queue at once, through the line's own descriptor on the
    // program's side, with bytes the instrument passes over as noise: the
    // polls alone take minutes to do it. Returns the bytes it took. An outside
    // device gets a descriptor of its own (root opens past the port's lock),
    // closed again so that the port's own close stays the last one.
    std::size_t FillQueue() {
        const int fd = outside_
                           ? open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)
                           : slave_;
        const int flags = fcntl(fd, F_GETFL);
        fcntl(fd, F_SETFL, flags | O_NONBLOCK);
        const std::vector<std::uint8_t> noise(256, 0x00);
        std::size_t taken = 0;
        // The kernel frees room in the background for a moment after a write;
        // an emulated UART hands bytes on in bursts.
        for (bool more = true; more;) {
            more = false;
            for (std::size_t size : {noise.size(), std::size_t(1)}) {
                ssize_t n;
                while ((n = write(fd, noise.data(), size)) > 0) {
                    taken += static_cast<std::size_t>(n);
                    more = true;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(outside_ ? 200 : 50));
        }
        fcntl(fd, F_SETFL, flags);
        if (outside_) close(fd);
        return taken;
    }
    bool QueueHasRoom() const {
        const int fd = outside_
                           ? open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)
                           : slave_;
        pollfd p{fd, POLLOUT, 0};
        const bool room = poll(&p, 1, 0) > 0 && (p.revents & POLLOUT);
        if (outside_) close(fd);
        return room;
    }
    // The instrument reads again: the backlog first, then it answers.
    void Resume() {
        if (outside_) {
            EXPECT_TRUE(outside_->Ask("resume"));
            return;
        }
        if (thread_.joinable() || master_ < 0) return;
        stop_ = false;
        thread_ = std::thread([this] { sim_->ServeFd(master_, stop_); });
    }

  private:
    static void Count(TSimCounts& counts, const std::string& line) {
        auto starts = [&](const char* prefix) { return line.rfind(prefix, 0) == 0; };
        if (starts("reply ")) {
            ++counts.Replies;
            if (starts("reply 24 A1 DD")) ++counts.LiveReplies;
        } else if (starts("fault: frame of unknown type")) {
            ++counts.Unknown;
        } else if (starts("fault: dropped")) {
            ++counts.Dropped;
        } else if (starts("fault: wrong checksum")) {
            ++counts.BadChecksums;
        } else if (starts("write failed")) {
            ++counts.WriteFailures;
        }
    }

    std::shared_ptr<TSimCounts> counts_;
    std::optional<TOutsideLine> outside_;
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
    QString SaveFileName(QWidget*, const TFileDialogRequest&) override { return SaveAnswer; }
    void ShellOpen(QWidget*, const QString& path) override { Opened.push_back(path); }
    std::vector<QString> Boxes;
    std::vector<QString> Errors;
    std::vector<QString> Opened;
    QString SaveAnswer;
};

inline bool WaitFor(const std::function<bool()>& pred, int seconds = 10,
                    const std::function<void()>& each = {}) {
    return WaitUntil(
        [&] {
            if (each) each();
            return pred();
        },
        seconds);
}

// What the Ctrl page may show while the simulator's test of the 2.5 V,
// 1.25 A, 30° load runs: U within ±4 %, I within ±3 %, Φ within ±2°.
inline bool ShowsReadingOfTheLoad(TfrmKR3090& w) {
    return FullMatch(w.Lbl_Volt->text(), "U ：2\\.[0-9]{3}V ") &&
           FullMatch(w.Lbl_A->text(), "I ：1\\.[0-9]{3}A") &&
           FullMatch(w.Label4->text(), "Φ：(2[89]|3[0-2])\\.[0-9]{2}°") &&
           FullMatch(w.Label5->text(), "Z ：[12]\\.[0-9]{3}Ω");
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
    // Puts a tally in front of the window's frame handler, handed over the
    // way the window does it; again after every reopen of the port.
    void CountHandledFrames() {
        TfrmKR3090* w = window.get();
        TFramePoster* poster = &this->poster;
        SetFrameTarget([poster](std::function<void()> fn) { poster->Post(std::move(fn)); },
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
    // Connected, a test started, and the load's readings on the Ctrl page.
    void ConnectAndTest() {
        ASSERT_TRUE(ConnectPressingAgain());
        window->BBtn_Start->click();
        ASSERT_TRUE(WaitFor([&] { return ShowsReadingOfTheLoad(*window); }, 20));
    }
    // "通讯设置" with the new device typed in and saved, then closed: the
    // window reopens the port with it.
    void ChoosePortInSettings(const std::string& path) {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<TfrmSetComm*>(QApplication::activeModalWidget());
            if (!d) d = window->findChild<TfrmSetComm*>();
            ASSERT_TRUE(d);
            d->CombComm->setEditText(QString::fromStdString(path));
            d->BitBtn1Click();  // "保存"
            d->BitBtn2Click();  // "关闭"
            ran = true;
        });
        window->BitBtn2->click();
        EXPECT_TRUE(ran);
    }

    // After a new device is chosen the window still believes it is connected
    // (reopening the port leaves the connection state alone) while the new
    // instrument waits for a connect request. The operator presses "断开" and
    // "连接设备" again; then readings come from the new device.
    void ReconnectToANewDevice(TSimOptions options) {
        sim = std::make_unique<TPullableSim>(options);
        ChoosePortInSettings(sim->SlavePath());
        ASSERT_TRUE(GlobVar.PortOpen);
        ASSERT_EQ(platform.Boxes.size(), 1u);
        EXPECT_EQ(platform.Boxes[0], "保存成功！");
        EXPECT_EQ(CommSettings.ComName, sim->SlavePath());
        CountHandledFrames();  // the reopen installed the window's own target
        if (GlobVar.Connected) {
            window->BitBtn1->click();  // "断开"
            EXPECT_EQ(window->LblStatus->text(), "通讯已断开");
        }
        const int liveBefore = Handled(0xDD);
        ASSERT_TRUE(ConnectPressingAgain());
        EXPECT_EQ(window->LblStatus->text(), "通讯已连接");
        if (!GlobVar.Testing) window->BBtn_Start->click();
        ASSERT_TRUE(WaitFor([&] { return Handled(0xDD) >= liveBefore + 3; }, 10));
        ASSERT_TRUE(WaitFor([&] { return ShowsReadingOfTheLoad(*window); }, 10));
        EXPECT_GT(sim->Counts().LiveReplies, 0);
    }
    // The busy notice's text while it is shown.
    QString Notice() const {
        return frmHint && frmHint->isVisible() ? frmHint->Lbl_Hint->text() : QString();
    }
    // "上传历史数据" into path; true once the finished file went to the shell.
    bool Upload(const QString& path, int seconds = 30) {
        platform.SaveAnswer = path;
        const std::size_t opened = platform.Opened.size();
        window->BBtn_UpHis->click();
        EXPECT_EQ(Notice(), "正在上传数据，请稍候！");
        return WaitFor([&] { return platform.Opened.size() > opened; }, seconds);
    }
    // The lines of an uploaded file cut into record blocks of 16 lines; fails
    // the test when the file holds anything but whole, numbered blocks.
    static int WholeBlocks(const QByteArray& file) {
        QList<QByteArray> lines = file.split('\n');
        EXPECT_TRUE(lines.back().isEmpty()) << "the file ends inside a line";
        lines.removeLast();
        EXPECT_EQ(lines.size() % 16, 0) << "the file ends inside a record";
        for (int i = 0; i < lines.size(); ++i) {
            EXPECT_TRUE(lines[i].endsWith('\r')) << "line " << i;
            lines[i].chop(1);
        }
        const int blocks = int(lines.size()) / 16;
        for (int b = 0; b < blocks; ++b) {
            const QList<QByteArray> l = lines.mid(b * 16, 16);
            EXPECT_EQ(l[0], QByteArray::number(b + 1).rightJustified(3, '0')) << "block " << b;
            EXPECT_EQ(l[2], "========================") << "block " << b;
            EXPECT_TRUE(l[4].startsWith("U ")) << "block " << b;
            EXPECT_TRUE(l[10].startsWith("f ")) << "block " << b;
            EXPECT_TRUE(l[11] == "Rm: ON" || l[11] == "Rm: OFF") << "block " << b;
            EXPECT_TRUE(l[12].startsWith("Date")) << "block " << b;
            EXPECT_TRUE(l[13].isEmpty() && l[14].isEmpty() && l[15].isEmpty()) << "block " << b;
        }
        return blocks;
    }
    static QByteArray ReadFile(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
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
    TFramePoster poster;
    QTemporaryDir folder;
    std::unique_ptr<TPullableSim> sim;
    std::unique_ptr<TfrmKR3090> window;
    std::mutex mutex;
    std::array<int, 256> handled{};  // window thread only
    long receiveThread = 0;
    int chunks = 0;
    int sent = 0;
};
