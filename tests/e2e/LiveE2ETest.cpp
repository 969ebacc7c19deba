// Live measurement from end to end: the window on one end of a pseudo-terminal,
// the instrument simulator on the other, the real poll timer running.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "Pump.h"
#include "SimLine.h"
#include "app/kit/GlobVar.h"
#include "app/main/KR3090frm.h"
#include "app/kit/Platform.h"
#include "app/kit/ShownComboBox.h"
#include "settings/Config.h"
#include "link/Trace.h"

namespace {

class TQuietPlatform : public TQtPlatform {
  public:
    void MessageBox(QWidget*, const QString& text, const QString&, TMessageIcon) override {
        Boxes.push_back(text);
    }
    std::vector<QString> Boxes;
};



class LiveEndToEnd : public ::testing::Test {
  protected:
    void Start(TSimOptions options = TSimLine::Quiet()) {
        GlobVar = TGlobVar{};
        SetPlatform(&platform);
        SetTraceSink([this](const std::string& line) {
            std::lock_guard<std::mutex> lock(mutex);
            if (line.rfind("发送", 0) == 0)
                sent.push_back(line.substr(std::string("发送 ").size()));
        });
        sim = std::make_unique<TSimLine>(options);
        window = std::make_unique<TfrmKR3090>();
        CommSettings.ComName = sim->SlavePath();
        window->show();
        ASSERT_TRUE(GlobVar.PortOpen);
    }
    void TearDown() override {
        window.reset();
        sim.reset();
        SetTraceSink(nullptr);
        SetPlatform(nullptr);
    }
    std::vector<std::string> Sent() {
        std::lock_guard<std::mutex> lock(mutex);
        return sent;
    }

    TQuietPlatform platform;
    std::unique_ptr<TSimLine> sim;
    std::unique_ptr<TfrmKR3090> window;
    std::mutex mutex;
    std::vector<std::string> sent;
};

TEST_F(LiveEndToEnd, ConnectMeasureStopResetDisconnectWhileTestingAndClose) {
    Start();
    TfrmKR3090& w = *window;

    w.BitBtn1->click();
    ASSERT_TRUE(WaitUntil([] { return GlobVar.Connected; }));
    EXPECT_EQ(w.LblStatus->text(), "通讯已连接");
    EXPECT_EQ(w.BitBtn1->text(), "断开");
    EXPECT_EQ(w.CBox_HZ->currentText(), "40Hz");

    // The poll runs by itself and the readings of a running test appear.
    w.BBtn_Start->click();
    ASSERT_TRUE(WaitUntil([&] { return w.BBtn_Start->text() == "停  止  测  试"; }));
    ASSERT_TRUE(WaitUntil([&] { return w.Lbl_Speed->text().size() >= 4; }));
    EXPECT_TRUE(GlobVar.Testing);
    EXPECT_FALSE(w.Lbl_Speed->isHidden());
    ASSERT_TRUE(WaitUntil([&] { return w.Lbl_Volt->text() != "U ：0.000mV"; }));
    EXPECT_TRUE(FullMatch(w.Lbl_Volt->text(), "U ：2\\.[0-9]{3}V "))
        << w.Lbl_Volt->text().toStdString();
    EXPECT_TRUE(FullMatch(w.Lbl_A->text(), "I ：1\\.[0-9]{3}A")) << w.Lbl_A->text().toStdString();
    EXPECT_TRUE(FullMatch(w.Label4->text(), "Φ：[23][0-9]\\.[0-9]{2}°"));
    EXPECT_TRUE(FullMatch(w.Label5->text(), "Z ：[12]\\.[0-9]{3}Ω"))
        << w.Label5->text().toStdString();
    EXPECT_TRUE(FullMatch(w.Label6->text(), "R ：[12]\\.[0-9]{3}Ω"));
    EXPECT_TRUE(FullMatch(w.Label7->text(), "X ：([0-9]{3}\\.[0-9]mΩ|1\\.[0-9]{3}Ω)"));
    // The instrument's frequency is echoed in every poll.
    EXPECT_EQ(GlobVar.TestFrequency, 50);
    EXPECT_EQ(w.CBox_HZ->ShownText(), "50Hz");
    const int before = int(w.Lbl_Speed->text().size());
    ASSERT_TRUE(WaitUntil([&] { return int(w.Lbl_Speed->text().size()) != before; }));

    w.BBtn_Start->click();
    ASSERT_TRUE(WaitUntil([&] { return w.BBtn_Start->text() == "开  始  测  试"; }));
    ASSERT_TRUE(WaitUntil([&] { return w.Lbl_Speed->isHidden(); }));
    EXPECT_FALSE(GlobVar.Testing);

    // A reset clears the instrument's reading; with I = 0 the impedance falls back.
    w.BBtn_Reset->click();
    ASSERT_TRUE(WaitUntil([&] { return w.Lbl_Volt->text() == "U ：0.000mV"; }));
    EXPECT_EQ(w.Lbl_A->text(), "I ：0.000A");
    EXPECT_EQ(w.Label5->text(), "Z ：0.000mΩ");

    w.BBtn_Start->click();
    ASSERT_TRUE(WaitUntil([&] { return w.BBtn_Start->text() == "停  止  测  试"; }));
    const std::size_t mark = Sent().size();
    w.BitBtn1->click();
    EXPECT_EQ(w.LblStatus->text(), "通讯已断开");
    EXPECT_EQ(w.BitBtn1->text(), "连接设备");
    const std::vector<std::string> all = Sent();
    const std::vector<std::string> after(all.begin() + long(mark), all.end());
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0],
              "24 A1 DD 14 00 32 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 C4 2A");
    EXPECT_EQ(after[1],
              "24 A1 BB 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 70 2A");

    // Disconnected: no more polls go out.
    WaitUntil([] { return false; }, 1);
    EXPECT_EQ(Sent().size(), mark + 2);
    EXPECT_EQ(w.LblStatus->text(), "通讯已断开");

    w.BitBtn7->click();  // "退出"
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(Sent().back(),
              "24 A1 BB 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 70 2A");
    window.reset();
    EXPECT_TRUE(platform.Boxes.empty());
}

TEST_F(LiveEndToEnd, ChunkedAndNoisyRepliesStillShowTheReadings) {
    TSimOptions options = TSimLine::Quiet();
    options.Faults.Chunks = true;
    options.Faults.ChunkGapMs = 60;
    options.Faults.Noise = 0.5;
    Start(options);
    TfrmKR3090& w = *window;
    w.BitBtn1->click();
    ASSERT_TRUE(WaitUntil([] { return GlobVar.Connected; }));
    w.BBtn_Start->click();
    ASSERT_TRUE(WaitUntil([&] { return w.Lbl_Volt->text() != "U ：0.000mV"; }, 20));
    EXPECT_TRUE(FullMatch(w.Lbl_Volt->text(), "U ：2\\.[0-9]{3}V "));
    EXPECT_TRUE(FullMatch(w.Label5->text(), "Z ：[12]\\.[0-9]{3}Ω"));
}

TEST_F(LiveEndToEnd, ClosingWhileTheInstrumentFloodsTheLineEndsCleanly) {
    TSimOptions options = TSimLine::Quiet();
    options.PushIntervalMs = 5;
    Start(options);
    window->BitBtn1->click();
    ASSERT_TRUE(WaitUntil([] { return GlobVar.Connected; }));
    window->BBtn_Start->click();
    ASSERT_TRUE(WaitUntil([] { return GlobVar.ProgressCount > 20 || GlobVar.Testing; }));
    window->ShowNotice(QStringLiteral("正在读取数据，请稍候！"), true);
    WaitUntil([] { return false; }, 1);
    window->close();
    window.reset();  // must not hang while the receive thread waits to hand over
    QApplication::processEvents();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
