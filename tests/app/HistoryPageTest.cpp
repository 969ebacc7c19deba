// The History and Comp pages and the Ctrl page's instrument print and store,
// on the real window over a pseudo-terminal: list rows, count and average
// lines, Comp labels, the frames every button writes, the busy notices and
// the polling changes.
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <cmath>
#include <cstring>
#include <limits>

#include "WindowFixture.h"
#include "app/kit/GlobVar.h"
#include "app/kit/HintFrm.h"
#include "app/main/KR3090frm.h"

namespace {

const char* const directoryRequest =
    "24 A1 C3 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 78 2A";
const char* const averageLine =
    "平均值f：50.00Hz U：2.500V  I：1.250A Φ：30.00° Z ：2.000Ω R ：1.732Ω X ：999.9mΩ";

// An entry frame: N, k, 2017-02-16 09:05:03, 55 Hz.
std::vector<std::uint8_t> Entry(std::uint8_t n, std::uint8_t k) {
    return Reply(0xC3, {n, k, 17, 2, 16, 9, 5, 3, 55});
}

void PutSingle(std::vector<std::uint8_t>& f, int offset, float value) {
    std::memcpy(&f[offset], &value, 4);
}

// The average frame k = N + 1 with f = 50, U = 2.5, I = 1.25, Φ = 30 unless given.
std::vector<std::uint8_t> Average(std::uint8_t n, float u = 2.5f, float i = 1.25f, float phi = 30) {
    std::vector<std::uint8_t> f = Reply(0xC3, {n, std::uint8_t(n + 1)});
    PutSingle(f, 6, 50);
    PutSingle(f, 10, u);
    PutSingle(f, 14, i);
    PutSingle(f, 18, phi);
    return f;
}

// 55 Hz, U = 2.5, I = 1.25, Φ = 30, Rm on, 2017-02-16 12:30:30.
const std::vector<std::uint8_t> storedRecord = {
    0x24, 0xA1, 0xC5, 0x14, 0x37, 0x00, 0x00, 0x20, 0x40, 0x00, 0x00, 0xA0, 0x3F,
    0x00, 0x00, 0xF0, 0x41, 0x01, 0x11, 0x02, 0x10, 0x0C, 0x1E, 0x1E, 0x8D, 0x2A};

class HistoryPage : public WindowTest {
  protected:
    bool NoticeShown() const { return frmHint && frmHint->isVisible(); }
    QString NoticeText() const { return frmHint ? frmHint->Lbl_Hint->text() : QString(); }

    QStringList Row(int row) const {
        QStringList texts;
        for (int c = 0; c < window->LView_History->columnCount(); ++c) {
            const QTableWidgetItem* item = window->LView_History->item(row, c);
            texts << (item ? item->text() : QStringLiteral("<none>"));
        }
        return texts;
    }
    int SelectedRow() const {
        const auto ranges = window->LView_History->selectedRanges();
        return ranges.isEmpty() ? -1 : ranges.first().topRow();
    }
    // Connects, enters the History page and takes the directory request off the line.
    void EnterHistory() {
        Connect();
        QTest::mouseClick(window->BBtn_His, Qt::LeftButton);
        EXPECT_EQ(NextFrame(), directoryRequest);
    }
    // A directory of records numbered 1..n (the first ones) and its average.
    void FillDirectory(int n) {
        for (int k = 1; k <= n; ++k) Dispatch(Entry(std::uint8_t(n), std::uint8_t(k)));
        Dispatch(Average(std::uint8_t(n)));
    }
    TRecordingPlatform* clock = &platform;  // the platform installed
    // Lets the confirmation notice hide itself: more than two whole seconds later.
    void NoticeTimeOut() {
        clock->Clock = clock->Clock.addSecs(3);
        window->Timer_NowTimer();
    }
};

TEST_F(HistoryPage, HistoryButtonStopsPollingEmptiesTheListAndAsksForTheDirectory) {
    Connect();
    window->LView_History->setRowCount(2);
    window->Label8->setText(QStringLiteral("old average"));
    ASSERT_TRUE(GlobVar.PollEnabled);
    QTest::mouseClick(window->BBtn_His, Qt::LeftButton);
    EXPECT_EQ(NextFrame(), directoryRequest);
    EXPECT_FALSE(GlobVar.PollEnabled);
    EXPECT_EQ(window->ActivePageName(), "History");
    EXPECT_EQ(window->LView_History->rowCount(), 0);
    EXPECT_EQ(window->Label8->text(), "old average");  // kept until the first reply
    EXPECT_EQ(window->Lbl_Num->text(), "可用数据100条，已用0条");
    EXPECT_TRUE(NoticeShown());
    EXPECT_EQ(NoticeText(), "正在读取数据，请稍候！");
}

TEST_F(HistoryPage, ADirectorySequenceListsTheRecordsAndItsAverages) {
    EnterHistory();
    Dispatch(Entry(3, 1));
    EXPECT_EQ(window->Lbl_Num->text(), "可存数据100条，已用3条");
    EXPECT_TRUE(NoticeShown());
    Dispatch(Reply(0xC3, {3, 2, 17, 12, 31, 23, 59, 58, 40}));
    Dispatch(Reply(0xC3, {3, 3, 99, 1, 2, 3, 4, 5, 70}));
    EXPECT_TRUE(NoticeShown());
    EXPECT_EQ(window->Label8->text(), "");
    Dispatch(Average(3));

    ASSERT_EQ(window->LView_History->rowCount(), 3);
    EXPECT_EQ(Row(0), QStringList({"", "001", "55Hz", "2017-02-16 09:05:03"}));
    EXPECT_EQ(Row(1), QStringList({"", "002", "40Hz", "2017-12-31 23:59:58"}));
    EXPECT_EQ(Row(2), QStringList({"", "003", "70Hz", "2099-01-02 03:04:05"}));
    EXPECT_EQ(window->LView_History->item(0, 1)->textAlignment(), int(Qt::AlignCenter));
    EXPECT_EQ(window->LView_History->item(0, 3)->textAlignment(), int(Qt::AlignCenter));
    EXPECT_EQ(SelectedRow(), 0);
    EXPECT_EQ(window->Lbl_Num->text(), "可存数据100条，已用3条");
    EXPECT_EQ(window->Label8->text(), averageLine);
    EXPECT_FALSE(NoticeShown());
    EXPECT_EQ(window->LView_History->columnWidth(1), 130);
    EXPECT_EQ(window->LView_History->horizontalHeaderItem(3)->text(), "测试时间");
}

TEST_F(HistoryPage, RepeatedOutOfOrderAndOutOfRangeFramesEachAddARow) {
    EnterHistory();
    Dispatch(Entry(2, 2));
    Dispatch(Entry(2, 2));
    Dispatch(Entry(2, 7));      // k beyond N
    Dispatch(Entry(150, 100));  // N above the capacity
    Dispatch(Reply(0xC3, {2, 9, 255, 13, 1, 0, 0, 0, 50}));
    ASSERT_EQ(window->LView_History->rowCount(), 5);
    EXPECT_EQ(Row(2)[1], "007");
    EXPECT_EQ(Row(3)[1], "100");
    EXPECT_EQ(Row(4)[3], "20255-13-01 00:00:00");
    EXPECT_EQ(window->Lbl_Num->text(), "可存数据100条，已用2条");
    // k = 1 starts the list again.
    Dispatch(Entry(2, 1));
    EXPECT_EQ(window->LView_History->rowCount(), 1);
}

TEST_F(HistoryPage, ASequenceWithoutItsAverageFrameLeavesTheNoticeUp) {
    EnterHistory();
    Dispatch(Entry(2, 1));
    Dispatch(Entry(2, 2));
    EXPECT_EQ(window->LView_History->rowCount(), 2);
    EXPECT_TRUE(NoticeShown());
    EXPECT_EQ(window->Label8->text(), "");
}

TEST_F(HistoryPage, EachNewEntrySelectsTheFirstRowAgain) {
    EnterHistory();
    FillDirectory(3);
    window->LView_History->selectRow(2);
    ASSERT_EQ(SelectedRow(), 2);
    Dispatch(Entry(5, 4));
    EXPECT_EQ(SelectedRow(), 0);
    EXPECT_EQ(window->LView_History->rowCount(), 4);
}

TEST_F(HistoryPage, NoRecordsCloseTheSequenceAtOnce) {
    EnterHistory();
    FillDirectory(2);
    window->Label8->setText(QStringLiteral("old average"));
    ShowHintForm(QStringLiteral("正在读取数据，请稍候！"), window.get());
    Dispatch(Reply(0xC3, {0, 0}));  // k = 0: the list stays
    EXPECT_EQ(window->LView_History->rowCount(), 2);
    EXPECT_EQ(window->Lbl_Num->text(), "可存数据100条，已用0条");
    EXPECT_EQ(window->Label8->text(), "");
    EXPECT_FALSE(NoticeShown());
    Dispatch(Reply(0xC3, {0, 1}));  // k = 1 empties it
    EXPECT_EQ(window->LView_History->rowCount(), 0);
}

TEST_F(HistoryPage, AverageFramesWithZeroCurrentOrNonNumbers) {
    EnterHistory();
    Dispatch(Entry(1, 1));
    Dispatch(Average(1, 2.5f, 0, 30));
    EXPECT_EQ(
        window->Label8->text(),
        "平均值f：50.00Hz U：2.500V  I：0.000A Φ：30.00° Z ：0.000mΩ R ：0.000mΩ X ：0.000mΩ");
    EXPECT_FALSE(NoticeShown());

    // A value that is not a number ends the frame after its count line: the
    // average line keeps its text and the notice stays up.
    window->BBtn_HisClick();
    EXPECT_EQ(NextFrame(), directoryRequest);
    Dispatch(Entry(4, 1));
    Dispatch(Average(4, std::numeric_limits<float>::quiet_NaN()));
    EXPECT_EQ(window->Lbl_Num->text(), "可存数据100条，已用4条");
    EXPECT_EQ(window->Label8->text(), "");
    EXPECT_TRUE(NoticeShown());
    EXPECT_EQ(window->LView_History->rowCount(), 1);
    // The next frame is handled normally.
    Dispatch(Average(4));
    EXPECT_EQ(window->Label8->text(), averageLine);
    EXPECT_FALSE(NoticeShown());
}

TEST_F(HistoryPage, OpenAsksForTheSelectedRecordByItsNumber) {
    EnterHistory();
    FillDirectory(5);
    Dispatch(Entry(100, 100));
    const struct {
        int row;
        const char* frame;
        const char* index;
    } cases[] = {
        {0, "24 A1 C5 14 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 7B 2A",
         "第001条"},
        {4, "24 A1 C5 14 05 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 7F 2A",
         "第005条"},
        {5, "24 A1 C5 14 64 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 DE 2A",
         "第100条"},
    };
    for (const auto& c : cases) {
        window->SetActivePage(QStringLiteral("History"));
        HideHintForm();
        window->LView_History->selectRow(c.row);
        QTest::mouseClick(window->BBtn_Open, Qt::LeftButton);
        EXPECT_EQ(NextFrame(), c.frame);
        EXPECT_EQ(window->ActivePageName(), "Comp");
        EXPECT_EQ(window->Lbl_Index->text(), c.index);
        EXPECT_EQ(NoticeText(), "正在读取数据，请稍候！");
        EXPECT_TRUE(NoticeShown());
    }
}

TEST_F(HistoryPage, DoubleClickOpensTheRowClicked) {
    EnterHistory();
    FillDirectory(5);
    QTableWidget* list = window->LView_History;
    const QRect cell = list->visualRect(list->model()->index(4, 2));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(NextFrame(),
              "24 A1 C5 14 05 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 7F 2A");
    EXPECT_EQ(window->Lbl_Index->text(), "第005条");
    EXPECT_TRUE(pty.Drain().empty());  // one request, not one per click
}

TEST_F(HistoryPage, OpenWithoutASelectedRowDoesNothing) {
    EnterHistory();
    HideHintForm();
    window->BBtn_OpenClick();  // empty list
    FillDirectory(2);
    window->LView_History->clearSelection();
    window->BBtn_OpenClick();
    EXPECT_TRUE(pty.Drain().empty());
    EXPECT_EQ(window->ActivePageName(), "History");
    EXPECT_FALSE(NoticeShown());
    EXPECT_TRUE(platform.Boxes.empty());
}

TEST_F(HistoryPage, ARowWhoseNumberIsNoNumberOpensNothing) {
    EnterHistory();
    FillDirectory(1);
    window->LView_History->item(0, 1)->setText(QStringLiteral("abc"));
    window->LView_History->selectRow(0);
    window->BBtn_OpenClick();
    EXPECT_TRUE(pty.Drain().empty());
    EXPECT_EQ(window->ActivePageName(), "History");
    EXPECT_EQ(window->SelectedRecordNumber(), std::nullopt);
    window->LView_History->item(0, 1)->setText(QStringLiteral("005"));
    EXPECT_EQ(window->SelectedRecordNumber(), 5);
}

TEST_F(HistoryPage, WithoutConnectionEveryInstrumentActionShowsTheBoxAndSendsNothing) {
    window->SetActivePage(QStringLiteral("History"));
    window->BBtn_OpenClick();  // even with an empty list the box comes first
    window->BBtn_ClearClick();
    window->BitBtn8Click();
    window->BitBtn9Click();
    window->BBtn_CSaveClick();
    window->BBtn_HisClick();
    ASSERT_EQ(platform.Boxes.size(), 6u);
    for (const TBox& box : platform.Boxes) {
        EXPECT_EQ(box.Text, "请先连接设备！");
        EXPECT_EQ(box.Caption, "提示");
        EXPECT_EQ(box.Icon, TMessageIcon::Information);
    }
    platform.Boxes.clear();
    GlobVar.PollEnabled = true;
    window->BBtn_CPrintClick();
    ASSERT_EQ(platform.Boxes.size(), 1u);
    EXPECT_EQ(platform.Boxes[0].Text, "请先连接设备！");
    EXPECT_EQ(platform.Boxes[0].Caption, "提示");
    EXPECT_EQ(platform.Boxes[0].Icon, TMessageIcon::None);
    EXPECT_TRUE(GlobVar.PollEnabled);
    EXPECT_EQ(window->ActivePageName(), "History");
    EXPECT_TRUE(pty.Drain().empty());
    EXPECT_FALSE(NoticeShown());
}

class ConfirmingPlatform : public TRecordingPlatform {
  public:
    bool Confirm(QWidget* owner, const QString& text, const QString& caption) override {
        Questions.push_back({text, caption, TMessageIcon::Question});
        Owner = owner;
        return ConfirmAnswer;
    }
    std::vector<TBox> Questions;
    QWidget* Owner = nullptr;
};

class HistoryClear : public HistoryPage {
  protected:
    void SetUp() override {
        HistoryPage::SetUp();
        SetPlatform(&asking);
        clock = &asking;
    }
    ConfirmingPlatform asking;
};

TEST_F(HistoryClear, EraseAllAsksFirstAndCancelSendsNothing) {
    EnterHistory();
    FillDirectory(2);
    asking.ConfirmAnswer = false;
    QTest::mouseClick(window->BBtn_Clear, Qt::LeftButton);
    ASSERT_EQ(asking.Questions.size(), 1u);
    EXPECT_EQ(asking.Questions[0].Text, "确认清空所有历史记录？");
    EXPECT_EQ(asking.Questions[0].Caption, "提示");
    EXPECT_EQ(asking.Owner, window.get());
    EXPECT_TRUE(pty.Drain().empty());
    EXPECT_FALSE(NoticeShown());

    asking.ConfirmAnswer = true;
    QTest::mouseClick(window->BBtn_Clear, Qt::LeftButton);
    EXPECT_EQ(NextFrame(),
              "24 A1 C4 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 79 2A");
    EXPECT_EQ(NoticeText(), "正在清空历史数据，请稍候！");

    Dispatch(Reply(0xC4));
    EXPECT_EQ(NoticeText(), "历史数据已清空！");
    EXPECT_TRUE(GlobVar.NoticeAutoHide);
    EXPECT_EQ(window->LView_History->rowCount(), 0);
    EXPECT_EQ(window->Lbl_Num->text(), "可存数据100条，已用0条");
    EXPECT_EQ(window->Label8->text(), averageLine);  // left as it was
    NoticeTimeOut();
    EXPECT_FALSE(NoticeShown());
    EXPECT_FALSE(GlobVar.PollEnabled);  // still on the History page
}

TEST_F(HistoryPage, ReturnResumesPollingWithoutARequest) {
    EnterHistory();
    QTest::mouseClick(window->BBtn_Ret, Qt::LeftButton);
    EXPECT_EQ(window->ActivePageName(), "Ctrl");
    EXPECT_TRUE(GlobVar.PollEnabled);
    EXPECT_TRUE(pty.Drain().empty());
}

TEST_F(HistoryPage, AStoredRecordFillsTheCompLabels) {
    EnterHistory();
    FillDirectory(5);
    window->LView_History->selectRow(4);
    window->BBtn_OpenClick();
    EXPECT_EQ(NextFrame(),
              "24 A1 C5 14 05 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 7F 2A");
    pty.Write(storedRecord);
    ASSERT_TRUE(WaitUntil([&] { return window->Label16->text() == "Rm：ON"; }));
    EXPECT_FALSE(NoticeShown());
    EXPECT_EQ(window->Lbl_Index->text(), "第005条");
    EXPECT_EQ(window->Label9->text(), "U ：2.500V ");
    EXPECT_EQ(window->Label10->text(), "I ：1.250A");
    EXPECT_EQ(window->Label11->text(), "Φ：30.00°");
    EXPECT_EQ(window->Label12->text(), "Z ：2.000Ω");
    EXPECT_EQ(window->Label13->text(), "R ：1.732Ω");
    EXPECT_EQ(window->Label14->text(), "X ：999.9mΩ");
    EXPECT_EQ(window->Label15->text(), "f ：55.00Hz");
    EXPECT_EQ(window->Label17->text(), "测试时间：2017.02.16 12:30:30");
    // Labels take the size of their new text.
    EXPECT_EQ(window->Label17->size(), window->Label17->sizeHint());
}

TEST_F(HistoryPage, ARecordWithZeroCurrentOrANonNumberKeepsWhatItCanShow) {
    Connect();
    std::vector<std::uint8_t> f = storedRecord;
    PutSingle(f, 9, 0);
    f[17] = 2;
    Dispatch(f);
    EXPECT_EQ(window->Label10->text(), "I ：0.000A");
    EXPECT_EQ(window->Label16->text(), "Rm：OFF");
    EXPECT_EQ(window->Label12->text(), "Z ：0.000mΩ");
    EXPECT_EQ(window->Label13->text(), "R ：0.000mΩ");
    EXPECT_EQ(window->Label14->text(), "X ：0.000mΩ");

    // Φ not a number: U and I are set, the labels from Φ on keep their texts.
    f = storedRecord;
    PutSingle(f, 5, 0.25f);
    PutSingle(f, 9, 0.5f);
    PutSingle(f, 13, std::numeric_limits<float>::quiet_NaN());
    f[4] = 60;
    Dispatch(f);
    EXPECT_EQ(window->Label9->text(), "U ：250.0mV");
    EXPECT_EQ(window->Label10->text(), "I ：0.500A");
    EXPECT_EQ(window->Label11->text(), "Φ：30.00°");
    EXPECT_EQ(window->Label15->text(), "f ：55.00Hz");
    EXPECT_EQ(window->Label16->text(), "Rm：OFF");
    EXPECT_EQ(window->Label12->text(), "Z ：0.000mΩ");
}

TEST_F(HistoryPage, AnUnrequestedRecordHidesTheNoticeAndFillsTheCompPageBehindTheScenes) {
    Connect();
    ShowHintForm(QStringLiteral("正在打印，请稍候！"), window.get());
    pty.Write(storedRecord);
    ASSERT_TRUE(WaitUntil([&] { return window->Label15->text() == "f ：55.00Hz"; }));
    EXPECT_FALSE(NoticeShown());
    EXPECT_EQ(window->ActivePageName(), "Ctrl");
    EXPECT_EQ(window->Label9->text(), "U ：2.500V ");
    EXPECT_TRUE(GlobVar.PollEnabled);
}

TEST_F(HistoryPage, InstrumentPrintOfTheShownRecordSendsSourceOneAndKeepsPollingOff) {
    EnterHistory();
    FillDirectory(5);
    window->LView_History->selectRow(4);
    window->BBtn_OpenClick();
    NextFrame();
    Dispatch(storedRecord);
    QTest::mouseClick(window->BitBtn8, Qt::LeftButton);
    EXPECT_EQ(NextFrame(),
              "24 A1 C1 14 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 77 2A");
    EXPECT_EQ(NoticeText(), "正在打印，请稍候！");
    EXPECT_TRUE(NoticeShown());
    Dispatch(Reply(0xC1));
    EXPECT_EQ(NoticeText(), "数据已打印！");
    EXPECT_TRUE(GlobVar.ResumePollAfterNotice);
    NoticeTimeOut();
    EXPECT_FALSE(NoticeShown());
    EXPECT_FALSE(GlobVar.PollEnabled);  // the Comp page is not the Ctrl page
    EXPECT_FALSE(GlobVar.ResumePollAfterNotice);
    EXPECT_EQ(window->ActivePageName(), "Comp");
}

TEST_F(HistoryPage, InstrumentDeleteSendsTheOpenedRecordAndTheReplyRereadsTheList) {
    EnterHistory();
    FillDirectory(5);
    Dispatch(Entry(100, 100));
    const struct {
        int row;
        const char* frame;
    } cases[] = {
        {0, "24 A1 C7 14 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 7D 2A"},
        {4, "24 A1 C7 14 05 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 81 2A"},
        {5, "24 A1 C7 14 64 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 E0 2A"},
    };
    for (const auto& c : cases) {
        window->LView_History->selectRow(c.row);
        window->BBtn_OpenClick();
        NextFrame();
        QTest::mouseClick(window->BitBtn9, Qt::LeftButton);  // no question asked
        EXPECT_EQ(NextFrame(), c.frame);
        EXPECT_EQ(NoticeText(), "正在删除数据，请稍候！");
        EXPECT_EQ(window->ActivePageName(), "Comp");
    }
    EXPECT_TRUE(platform.Boxes.empty());

    Dispatch(Reply(0xC7));
    EXPECT_EQ(window->ActivePageName(), "History");
    EXPECT_EQ(window->LView_History->rowCount(), 0);
    EXPECT_EQ(NextFrame(), directoryRequest);
    EXPECT_EQ(NoticeText(), "正在删除数据，请稍候！");  // up until the directory closes
    FillDirectory(4);
    EXPECT_FALSE(NoticeShown());
    EXPECT_EQ(window->LView_History->rowCount(), 4);
    EXPECT_EQ(window->Lbl_Num->text(), "可存数据100条，已用4条");
}

TEST_F(HistoryPage, BackFromCompShowsTheListUnchangedWithoutARequest) {
    EnterHistory();
    FillDirectory(3);
    window->BBtn_OpenClick();
    NextFrame();
    QTest::mouseClick(window->BitBtn10, Qt::LeftButton);
    EXPECT_EQ(window->ActivePageName(), "History");
    EXPECT_EQ(window->LView_History->rowCount(), 3);
    EXPECT_TRUE(pty.Drain().empty());
    EXPECT_FALSE(GlobVar.PollEnabled);
}

TEST_F(HistoryPage, AnUnrequestedEraseOnTheCompPageLeavesNothingToDelete) {
    EnterHistory();
    FillDirectory(3);
    window->BBtn_OpenClick();
    NextFrame();
    Dispatch(Reply(0xC4));
    EXPECT_EQ(window->ActivePageName(), "Comp");
    EXPECT_EQ(window->LView_History->rowCount(), 0);
    EXPECT_EQ(window->Lbl_Num->text(), "可存数据100条，已用0条");
    HideHintForm();
    window->BitBtn9Click();
    EXPECT_TRUE(pty.Drain().empty());
    EXPECT_FALSE(NoticeShown());
}

TEST_F(HistoryPage, AnUnrequestedDeleteReplyShowsTheHistoryAndRereadsIt) {
    Connect();
    ASSERT_EQ(window->LView_History->rowCount(), 0);
    Dispatch(Reply(0xC7));
    EXPECT_EQ(window->ActivePageName(), "History");
    EXPECT_EQ(NextFrame(), directoryRequest);
    // Polling is not the dispatcher's to change.
    EXPECT_TRUE(GlobVar.PollEnabled);
}

TEST_F(HistoryPage, InstrumentPrintAndStoreFromCtrlPausePollingUntilTheConfirmationGoes) {
    Connect();
    QTest::mouseClick(window->BBtn_CPrint, Qt::LeftButton);
    EXPECT_EQ(NextFrame(),
              "24 A1 C1 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 76 2A");
    EXPECT_FALSE(GlobVar.PollEnabled);
    EXPECT_EQ(NoticeText(), "正在打印，请稍候！");
    Dispatch(Reply(0xC1));
    EXPECT_EQ(NoticeText(), "数据已打印！");
    window->Timer_NowTimer();  // not yet two seconds
    EXPECT_TRUE(NoticeShown());
    EXPECT_FALSE(GlobVar.PollEnabled);
    NoticeTimeOut();
    EXPECT_FALSE(NoticeShown());
    EXPECT_TRUE(GlobVar.PollEnabled);

    QTest::mouseClick(window->BBtn_CSave, Qt::LeftButton);
    EXPECT_EQ(NextFrame(),
              "24 A1 C2 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 77 2A");
    EXPECT_FALSE(GlobVar.PollEnabled);
    EXPECT_EQ(NoticeText(), "正在保存，请稍候！");
    Dispatch(Reply(0xC2));
    EXPECT_EQ(NoticeText(), "数据已保存！");
    NoticeTimeOut();
    EXPECT_FALSE(NoticeShown());
    EXPECT_TRUE(GlobVar.PollEnabled);
}

TEST_F(HistoryPage, AStoreConfirmedAfterLeavingTheCtrlPageDoesNotResumePolling) {
    Connect();
    window->BBtn_CSaveClick();
    NextFrame();
    window->BBtn_HisClick();
    NextFrame();
    Dispatch(Reply(0xC2));
    NoticeTimeOut();
    EXPECT_FALSE(GlobVar.PollEnabled);
    EXPECT_EQ(window->ActivePageName(), "History");
}

}  // namespace
