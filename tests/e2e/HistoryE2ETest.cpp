// The History and Comp pages against the simulated instrument: the window on
// one end of a pseudo-terminal, kr3090-sim's instrument on the other, both
// running for real with their own threads.
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <thread>

#include "WindowFixture.h"
#include "app/kit/GlobVar.h"
#include "app/kit/HintFrm.h"
#include "app/main/KR3090frm.h"
#include "protocol/Numbers.h"
#include "sim/Simulator.h"

namespace {

constexpr int InitialRecords = 7;

class HistoryWithInstrument : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        if (HasFatalFailure()) return;
        TSimOptions options;
        options.Instrument.InitialRecords = InitialRecords;
        options.Instrument.Seed = 5;
        options.ConfirmDelayMs = 100;
        options.Log = [this](const std::string& line) {
            std::lock_guard<std::mutex> lock(logMutex);
            log.push_back(line);
        };
        sim = std::make_unique<TSimulator>(options);
        // The records as stored at power-up, read before the line is served.
        records = sim->Instrument().Records();
        line = std::thread([this] { sim->ServeFd(pty.MasterFd(), stop); });
        window->BitBtn1Click();
        ASSERT_TRUE(WaitUntil([] { return GlobVar.Connected; }));
    }
    void TearDown() override {
        stop = true;
        if (line.joinable()) line.join();
        WindowTest::TearDown();
    }

    bool NoticeShown() const { return frmHint && frmHint->isVisible(); }
    QString NoticeText() const { return frmHint ? frmHint->Lbl_Hint->text() : QString(); }
    bool Logged(const std::string& start) {
        std::lock_guard<std::mutex> lock(logMutex);
        for (const std::string& l : log)
            if (l.rfind(start, 0) == 0) return true;
        return false;
    }
    // Opens the History page and waits for the directory's closing frame.
    void ReadDirectory(int expectedRows) {
        window->BBtn_HisClick();
        ASSERT_TRUE(WaitUntil([&] {
            return !NoticeShown() && window->LView_History->rowCount() == expectedRows;
        })) << window->LView_History->rowCount()
            << " rows";
    }
    void Open(int row) {
        window->LView_History->selectRow(row);
        window->BBtn_OpenClick();
        ASSERT_TRUE(WaitUntil([&] { return !NoticeShown(); }));
    }
    void NoticeTimeOut() {
        platform.Clock = platform.Clock.addSecs(3);
        window->Timer_NowTimer();
    }

    std::unique_ptr<TSimulator> sim;
    std::vector<TRecord> records;
    std::atomic<bool> stop{false};
    std::thread line;
    std::mutex logMutex;
    std::vector<std::string> log;
};

std::string Date(const char* format, const TRecord& r) {
    char text[64];
    std::snprintf(text, sizeof text, format, r.Year, r.Month, r.Day, r.Hour, r.Minute, r.Second);
    return text;
}

TEST_F(HistoryWithInstrument, TheDirectoryListsTheStoredRecordsAndRecordFiveOpensAsStored) {
    ReadDirectory(InitialRecords);
    EXPECT_EQ(window->Lbl_Num->text(), "可存数据100条，已用7条");
    EXPECT_TRUE(window->Label8->text().startsWith("平均值f："))
        << window->Label8->text().toStdString();
    EXPECT_TRUE(window->Label8->text().contains(" Z ："));
    const char* const numbers[] = {"001", "002", "003", "004", "005", "006", "007"};
    for (int k = 0; k < InitialRecords; ++k) {
        EXPECT_EQ(window->LView_History->item(k, 1)->text(), numbers[k]);
        EXPECT_EQ(window->LView_History->item(k, 2)->text().toStdString(),
                  std::to_string(records[k].Frequency) + "Hz");
        EXPECT_EQ(window->LView_History->item(k, 3)->text().toStdString(),
                  Date("20%.2d-%.2d-%.2d %.2d:%.2d:%.2d", records[k]));
    }

    Open(4);
    const TRecord& r = records[4];
    EXPECT_EQ(window->ActivePageName(), "Comp");
    EXPECT_EQ(window->Lbl_Index->text(), "第005条");
    EXPECT_EQ(window->Label9->text().toStdString(), "U ：" + VoltageText(std::fabs(r.Voltage)));
    EXPECT_EQ(window->Label10->text().toStdString(), "I ：" + CurrentText(std::fabs(r.Current)));
    EXPECT_EQ(window->Label11->text().toStdString(), "Φ：" + PhaseText(std::fabs(r.Phase)));
    const TImpedanceTexts z =
        ImpedanceTexts(std::fabs(r.Voltage), std::fabs(r.Current), std::fabs(r.Phase));
    EXPECT_EQ(window->Label12->text().toStdString(), "Z ：" + z.Z);
    EXPECT_EQ(window->Label13->text().toStdString(), "R ：" + z.R);
    EXPECT_EQ(window->Label14->text().toStdString(), "X ：" + z.X);
    EXPECT_EQ(window->Label15->text().toStdString(),
              "f ：" + std::to_string(r.Frequency) + ".00Hz");
    EXPECT_EQ(window->Label16->text(), r.RmOn ? "Rm：ON" : "Rm：OFF");
    EXPECT_EQ(window->Label17->text().toStdString(),
              "测试时间：" + Date("20%.2d.%.2d.%.2d %.2d:%.2d:%.2d", r));
}

TEST_F(HistoryWithInstrument, TheInstrumentPrintsTheOpenedRecordAndTheCurrentResult) {
    ReadDirectory(InitialRecords);
    Open(4);
    window->BitBtn8Click();
    ASSERT_TRUE(WaitUntil([&] { return NoticeText() == "数据已打印！"; }));
    EXPECT_TRUE(Logged("printing the record last read: " + std::string("f ") +
                       std::to_string(records[4].Frequency) + "Hz"));
    NoticeTimeOut();
    EXPECT_FALSE(NoticeShown());
    EXPECT_FALSE(GlobVar.PollEnabled);

    window->BitBtn10Click();
    window->BBtn_RetClick();
    ASSERT_EQ(window->ActivePageName(), "Ctrl");
    window->BBtn_CPrintClick();
    EXPECT_FALSE(GlobVar.PollEnabled);
    ASSERT_TRUE(WaitUntil([&] { return NoticeText() == "数据已打印！"; }));
    EXPECT_TRUE(Logged("printing the current result: "));
    NoticeTimeOut();
    EXPECT_FALSE(NoticeShown());
    EXPECT_TRUE(GlobVar.PollEnabled);
}

TEST_F(HistoryWithInstrument, AStoredResultIsOneMoreRecordAndADeletedOneIsOneLess) {
    window->BBtn_CSaveClick();
    ASSERT_TRUE(WaitUntil([&] { return NoticeText() == "数据已保存！"; }));
    NoticeTimeOut();
    EXPECT_TRUE(GlobVar.PollEnabled);
    ReadDirectory(InitialRecords + 1);
    EXPECT_EQ(window->Lbl_Num->text(), "可存数据100条，已用8条");
    EXPECT_EQ(window->LView_History->item(7, 1)->text(), "008");

    const QString third = window->LView_History->item(2, 3)->text();
    const QString fourth = window->LView_History->item(3, 3)->text();
    Open(2);
    window->BitBtn9Click();
    EXPECT_EQ(NoticeText(), "正在删除数据，请稍候！");
    ASSERT_TRUE(WaitUntil(
        [&] { return !NoticeShown() && window->LView_History->rowCount() == InitialRecords; }));
    EXPECT_EQ(window->ActivePageName(), "History");
    EXPECT_EQ(window->Lbl_Num->text(), "可存数据100条，已用7条");
    // The later records moved down one number.
    EXPECT_EQ(window->LView_History->item(2, 3)->text(), fourth);
    EXPECT_NE(window->LView_History->item(2, 3)->text(), third);
}

TEST_F(HistoryWithInstrument, EraseAllLeavesAnEmptyDirectory) {
    ReadDirectory(InitialRecords);
    window->BBtn_ClearClick();
    ASSERT_TRUE(WaitUntil([&] { return NoticeText() == "历史数据已清空！"; }));
    EXPECT_EQ(window->LView_History->rowCount(), 0);
    EXPECT_EQ(window->Lbl_Num->text(), "可存数据100条，已用0条");
    NoticeTimeOut();
    EXPECT_FALSE(NoticeShown());

    window->BBtn_HisClick();
    ASSERT_TRUE(WaitUntil([&] { return !NoticeShown(); }));
    EXPECT_EQ(window->LView_History->rowCount(), 0);
    EXPECT_EQ(window->Lbl_Num->text(), "可存数据100条，已用0条");
    EXPECT_EQ(window->Label8->text(), "");
}

}  // namespace
