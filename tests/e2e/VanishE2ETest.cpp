// The device vanishing: the instrument's end of the line closes (adapter pulled,
// simulator killed) while the window polls, during a directory read, and while
// a flood of readings is arriving. The program keeps running, the window thread
// keeps handling events, the receive thread sleeps between its polls instead of
// spinning on the hung-up port, writes to the gone device are harmless, and
// after a new device appears and is chosen in "通讯设置" it works again.
#include <unistd.h>

#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include "FaultLine.h"
#include "link/CommPort.h"

namespace {

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
        RecordProperty("receive_thread_cpu_percent", QString::number(cpu, 'f', 2).toStdString());
        EXPECT_GE(ticks, 10) << "the window thread stalled";
        // A generous guard only; scripts/measure-vanish.sh has the real figure.
        EXPECT_LT(cpu, 20.0) << "the receive thread spins on the hung-up port";
        if (GlobVar.Connected && GlobVar.PollEnabled && window->Timer_Send->isActive()) {
            EXPECT_GE(SentCount() - sentBefore, 3);  // polls went to the gone device
        }
        EXPECT_TRUE(window->isVisible());
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

TEST_F(DeviceVanishes, DuringADirectoryReadTheListHoldsWholeEntriesAndItWorksAgain) {
    TSimOptions options = QuietSim();
    options.Instrument.InitialRecords = 100;
    options.PaceBaud = 9600;  // a hundred directory frames take about 2.7 s
    Start(options);
    ASSERT_TRUE(ConnectPressingAgain());

    window->BBtn_His->click();  // "历  史  数  据": the History page, polling stops
    ASSERT_EQ(window->ActivePageName(), "History");
    ASSERT_TRUE(WaitFor([&] { return Handled(0xC3) >= 20; }, 10));
    sim->Pull();
    // What the receive thread had already taken in is still handed over; then
    // nothing more comes.
    WaitFor([] { return false; }, 1);
    const int directoryFrames = Handled(0xC3);
    EXPECT_LT(directoryFrames, 101);
    ExpectCalmWhileGone();
    EXPECT_EQ(Handled(0xC3), directoryFrames);
    // One row per entry that arrived, numbered 1, 2, ...; the average line and
    // the count never came, so the notice stays.
    QTableWidget* list = window->LView_History;
    ASSERT_EQ(list->rowCount(), directoryFrames);
    for (int row = 0; row < list->rowCount(); ++row) {
        ASSERT_TRUE(list->item(row, 1));
        EXPECT_EQ(list->item(row, 1)->text().trimmed().toInt(), row + 1) << "row " << row;
    }
    EXPECT_EQ(Notice(), "正在读取数据，请稍候！");
    EXPECT_TRUE(platform.Boxes.empty());

    // Back to the Ctrl page, where polling resumes, and on to a new device.
    window->BBtn_Ret->click();
    ReconnectToANewDevice(QuietSim());
}

TEST_F(DeviceVanishes, InTheMiddleOfAnUploadOnlyWholeRecordsAreWrittenAndUploadWorksAgain) {
    TSimOptions options = QuietSim();
    options.Instrument.InitialRecords = 100;
    options.PaceBaud = 9600;  // a hundred records take about 2.7 s
    Start(options);
    ASSERT_TRUE(ConnectPressingAgain());
    const QString cut = folder.filePath(QStringLiteral("cut.txt"));
    platform.SaveAnswer = cut;
    window->BBtn_UpHis->click();
    ASSERT_TRUE(WaitFor([] { return GlobVar.UploadCount >= 20; }, 10));
    sim->Pull();
    ExpectCalmWhileGone();
    // What arrived is in the file as whole records; the upload never ends
    // as a success and nothing is opened.
    EXPECT_LT(GlobVar.UploadCount, 100);
    EXPECT_EQ(WholeBlocks(ReadFile(cut)), GlobVar.UploadCount);
    EXPECT_EQ(Notice(), "正在上传数据，请稍候！");
    EXPECT_TRUE(platform.Opened.empty());
    EXPECT_TRUE(platform.Boxes.empty());

    // A new device, and the next upload starts afresh and completes.
    TSimOptions next = QuietSim();
    next.Instrument.InitialRecords = 5;
    ReconnectToANewDevice(next);
    const QString whole = folder.filePath(QStringLiteral("whole.txt"));
    ASSERT_TRUE(Upload(whole));
    EXPECT_EQ(WholeBlocks(ReadFile(whole)), 5);
    EXPECT_EQ(GlobVar.UploadTotal, 5);
    EXPECT_EQ(platform.Opened, std::vector<QString>{whole});
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
              QString::fromStdString(DevicePathForPortName(gone)) + "打开串口失败，请配置串口!!");
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
