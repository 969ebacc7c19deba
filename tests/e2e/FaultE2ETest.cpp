// Faults on the line, end to end: the window polls the simulator while it cuts
// its replies into chunks, puts noise between them, spoils checksums, drops
// replies and slips in frames of types the program does not know. The program
// keeps running, shows only readings that came in whole frames, and hands on
// every frame the instrument sent.
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "FaultLine.h"

namespace {

// What the Ctrl page may show while the simulator's test of the 2.5 V, 1.25 A,
// 30° load runs: U within ±4 %, I within ±3 %, Φ within ±2°.
void ExpectReadingOfTheLoad(TfrmKR3090& w) {
    EXPECT_TRUE(FullMatch(w.Lbl_Volt->text(), "U ：2\\.[0-9]{3}V "))
        << w.Lbl_Volt->text().toStdString();
    EXPECT_TRUE(FullMatch(w.Lbl_A->text(), "I ：1\\.[0-9]{3}A")) << w.Lbl_A->text().toStdString();
    EXPECT_TRUE(FullMatch(w.Label4->text(), "Φ：(2[89]|3[0-2])\\.[0-9]{2}°"))
        << w.Label4->text().toStdString();
    EXPECT_TRUE(FullMatch(w.Label5->text(), "Z ：[12]\\.[0-9]{3}Ω"))
        << w.Label5->text().toStdString();
}

bool ShowsReadingOfTheLoad(TfrmKR3090& w) {
    return FullMatch(w.Lbl_Volt->text(), "U ：2\\.[0-9]{3}V ") &&
           FullMatch(w.Lbl_A->text(), "I ：1\\.[0-9]{3}A") &&
           FullMatch(w.Label4->text(), "Φ：(2[89]|3[0-2])\\.[0-9]{2}°") &&
           FullMatch(w.Label5->text(), "Z ：[12]\\.[0-9]{3}Ω");
}

class FaultsOnTheLine : public FaultWindowTest {
  protected:
    void StartTheTest() {
        ASSERT_TRUE(ConnectPressingAgain());
        window->BBtn_Start->click();
        ASSERT_TRUE(WaitFor([&] { return ShowsReadingOfTheLoad(*window); }, 20));
    }
    // Runs for a while; every reading shown meanwhile must be one of the load.
    void WatchTheReadings(int seconds) {
        TfrmKR3090& w = *window;
        int bad = 0;
        WaitFor([] { return false; }, seconds,
                [&] {
                    if (!ShowsReadingOfTheLoad(w) && ++bad == 1) ExpectReadingOfTheLoad(w);
                });
        EXPECT_EQ(bad, 0);
    }
    // Stops the poll and waits until the replies still on their way are in.
    void LetTheLineGoQuiet() {
        window->Timer_Send->stop();
        WaitFor([] { return false; }, 3);
    }
};

TEST_F(FaultsOnTheLine, ChunksNoiseBadChecksumsAndUnknownFramesCostNoFrame) {
    TSimOptions options = QuietSim();
    options.Faults.Chunks = true;
    options.Faults.ChunkGapMs = 40;
    options.Faults.Noise = 0.5;
    options.Faults.BadChecksum = 0.3;
    options.Faults.UnknownFrames = 0.3;
    options.Instrument.Seed = 11;
    Start(options);
    StartTheTest();
    WatchTheReadings(8);
    LetTheLineGoQuiet();

    // Every frame the instrument sent reached the window, the ones with a
    // wrong checksum and the ones of unknown types included.
    EXPECT_GT(sim->Counts().BadChecksums, 0);
    EXPECT_GT(sim->Counts().Unknown, 0);
    EXPECT_GE(Handled(0xDD), 10);  // the poll goes out every 500 ms
    EXPECT_EQ(Handled(0xDD), sim->Counts().LiveReplies);
    EXPECT_EQ(Handled(), SimSent());
    EXPECT_TRUE(GlobVar.Connected);
    EXPECT_EQ(window->LblStatus->text(), "通讯已连接");
    EXPECT_TRUE(platform.Boxes.empty());
    EXPECT_TRUE(platform.Errors.empty());
}

TEST_F(FaultsOnTheLine, DroppedRepliesCostOnlyThemselves) {
    TSimOptions options = QuietSim();
    options.Faults.Drop = 0.4;
    options.Faults.Chunks = true;
    options.Faults.ChunkGapMs = 20;
    options.Faults.Noise = 0.3;
    options.Instrument.Seed = 5;
    Start(options);
    StartTheTest();
    WatchTheReadings(8);
    LetTheLineGoQuiet();

    EXPECT_GT(sim->Counts().Dropped, 0);
    EXPECT_GE(Handled(0xDD), 5);
    EXPECT_EQ(Handled(0xDD), sim->Counts().LiveReplies);
    EXPECT_EQ(Handled(), SimSent());
    EXPECT_TRUE(GlobVar.Connected);
    EXPECT_TRUE(platform.Boxes.empty());
}

TEST_F(FaultsOnTheLine, UnaskedReadingsEvery10MsWithFaultsAreAllHandled) {
    TSimOptions options = QuietSim();
    options.PushIntervalMs = 10;
    options.Faults.Chunks = true;
    options.Faults.ChunkGapMs = 2;
    options.Faults.Noise = 0.5;
    options.Faults.BadChecksum = 0.2;
    options.Faults.UnknownFrames = 0.2;
    options.Instrument.Seed = 3;
    Start(options);
    StartTheTest();
    WatchTheReadings(5);

    // Leaving remote mode stops the unasked readings; then the line goes quiet.
    window->BitBtn1->click();  // "断开"
    LetTheLineGoQuiet();
    EXPECT_EQ(window->LblStatus->text(), "通讯已断开");
    EXPECT_GT(sim->Counts().LiveReplies, 200);
    EXPECT_EQ(Handled(0xDD), sim->Counts().LiveReplies);
    EXPECT_EQ(Handled(), SimSent());
    EXPECT_TRUE(platform.Boxes.empty());
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
