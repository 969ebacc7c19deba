// The device vanishing: the instrument's end of the line closes (adapter pulled,
// simulator killed) while the window polls, during a directory read, and while
// a flood of readings is arriving. The program keeps running, the window thread
// keeps handling events, the receive thread sleeps between its polls instead of
// spinning on the hung-up port, writes to the gone device are harmless, and
// after a new device appears and is chosen in "通讯设置" it works again.
#include <unistd.h>

#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "FaultLine.h"
#include "link/SetCommfrm.h"

namespace {

bool ShowsReadingOfTheLoad(TfrmKR3090& w) {
    return FullMatch(w.Lbl_Volt->text(), "U ：2\\.[0-9]{3}V ") &&
           FullMatch(w.Lbl_A->text(), "I ：1\\.[0-9]{3}A") &&
           FullMatch(w.Label5->text(), "Z ：[12]\\.[0-9]{3}Ω");
}

struct TReadings {
    QString Volt, Current, Phase, Z, R, X;
    bool operator==(const TReadings&) const = default;
};

TReadings ReadingsOf(TfrmKR3090& w) {
    return {w.Lbl_Volt->text(), w.Lbl_A->text(),  w.Label4->text(),
            w.Label5->text(),   w.Label6->text(), w.Label7->text()};
}

class DeviceVanishes : public FaultWindowTest {
  protected:
    void ConnectAndTest() {
        ASSERT_TRUE(ConnectPressingAgain());
        window->BBtn_Start->click();
        ASSERT_TRUE(WaitFor([&] { return ShowsReadingOfTheLoad(*window); }, 20));
    }

    // Runs the window's event loop for a while with a 50 ms timer of its own;
    // returns how often it fired and how much CPU the receive thread used
    // meanwhile, in percent of one core.
    void RunWhileGone(int ms, int& ticks, double& receiveCpu) {
        const long tid = ReceiveThread();
        ASSERT_NE(tid, 0);
        const long hz = sysconf(_SC_CLK_TCK);
        ticks = 0;
        QTimer tick;
        tick.setInterval(50);
        QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
        const long cpu0 = ThreadCpuTicks(tid);
        const auto t0 = std::chrono::steady_clock::now();
        tick.start();
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
        const long cpu1 = ThreadCpuTicks(tid);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        ASSERT_GE(cpu0, 0);
        ASSERT_GE(cpu1, cpu0);
        receiveCpu = 100.0 * double(cpu1 - cpu0) / double(hz) / seconds;
    }

    // The gone device's window is still the program's: a timer fires, the
    // receive thread does not spin, the poll keeps writing into the void.
    void ExpectCalmWhileGone() {
        const int sentBefore = SentCount();
        int ticks = 0;
        double cpu = 100;
        RunWhileGone(2500, ticks, cpu);
        EXPECT_GE(ticks, 10) << "the window thread stalled";
        // A generous guard only; scripts/measure-vanish.sh has the real figure.
        EXPECT_LT(cpu, 20.0) << "the receive thread spins on the hung-up port";
        if (GlobVar.Connected && GlobVar.PollEnabled && window->Timer_Send->isActive())
            EXPECT_GE(SentCount() - sentBefore, 3);  // polls went to the gone device
        EXPECT_TRUE(window->isVisible());
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
};

TEST_F(DeviceVanishes, WhilePollingTheWindowStaysCalmAndWorksAgainOnANewDevice) {
    TSimOptions options = QuietSim();
    options.Faults.Chunks = true;
    options.Faults.ChunkGapMs = 20;
    Start(options);
    ConnectAndTest();

    sim->Pull();
    WaitFor([] { return false; }, 1);
    const TReadings last = ReadingsOf(*window);
    ExpectCalmWhileGone();
    // Nothing came from the gone device, and nothing was made up.
    EXPECT_TRUE(last == ReadingsOf(*window));
    EXPECT_TRUE(ShowsReadingOfTheLoad(*window));
    EXPECT_TRUE(GlobVar.Connected);  // no reply said otherwise
    // Every request on the gone device is lost quietly.
    window->SendConnect();
    window->SendReadDirectory();
    window->SendUploadHistory();
    window->BBtn_Reset->click();
    EXPECT_TRUE(platform.Boxes.empty());
    EXPECT_TRUE(platform.Errors.empty());

    ReconnectToANewDevice(QuietSim());
}

TEST_F(DeviceVanishes, DuringADirectoryReadTheWindowStaysCalmAndWorksAgain) {
    TSimOptions options = QuietSim();
    options.Instrument.InitialRecords = 100;
    options.PaceBaud = 9600;  // a hundred directory frames take about 2.7 s
    Start(options);
    ASSERT_TRUE(ConnectPressingAgain());
    window->Timer_Send->stop();  // the directory alone on the line

    window->SendReadDirectory();
    ASSERT_TRUE(WaitFor([&] { return Handled(0xC3) >= 20; }, 10));
    sim->Pull();
    // What the receive thread had already taken in is still handed over; then
    // nothing more comes.
    WaitFor([] { return false; }, 1);
    const int directoryFrames = Handled(0xC3);
    EXPECT_LT(directoryFrames, 101);
    ExpectCalmWhileGone();
    EXPECT_EQ(Handled(0xC3), directoryFrames);
    EXPECT_TRUE(platform.Boxes.empty());

    window->Timer_Send->start();
    ReconnectToANewDevice(QuietSim());
}

TEST_F(DeviceVanishes, UnderAFloodOfReadingsAndClosingWhileGoneEndsCleanly) {
    TSimOptions options = QuietSim();
    options.PushIntervalMs = 5;
    Start(options);
    ConnectAndTest();
    WaitFor([] { return false; }, 1);
    sim->Pull();
    ExpectCalmWhileGone();

    // Closing tells the gone instrument goodbye and must not hang.
    window->BitBtn7->click();  // "退出"
    EXPECT_FALSE(window->isVisible());
    window.reset();
    QApplication::processEvents();
    EXPECT_TRUE(platform.Boxes.empty());
}

TEST_F(DeviceVanishes, OpeningTheGoneDeviceAgainFailsWithTheMessage) {
    Start(QuietSim());
    ASSERT_TRUE(ConnectPressingAgain());
    const std::string gone = sim->SlavePath();
    sim->Pull();
    ExpectCalmWhileGone();
    // The old name no longer opens: the settings say so, and nothing else
    // changes until a device is there again.
    ChoosePortInSettings(gone);
    EXPECT_FALSE(GlobVar.PortOpen);
    ASSERT_EQ(platform.Boxes.size(), 2u);
    EXPECT_EQ(platform.Boxes[0], "保存成功！");
    EXPECT_EQ(platform.Boxes[1],
              QString::fromStdString("//.//" + gone) + "打开串口失败，请配置串口!!");
    platform.Boxes.clear();
    window->SendControl(false);  // no port: nothing is written, nothing shown
    EXPECT_TRUE(platform.Boxes.empty());

    ReconnectToANewDevice(QuietSim());
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
