// The main window: start-up, label arrangement, live replies on the Ctrl page,
// the dispatcher's table and the busy notice with a clock the test sets.
#include <QFileInfo>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTimer>
#include <cmath>
#include <limits>

#include "WindowFixture.h"
#include "app/kit/GlobVar.h"
#include "app/kit/HintFrm.h"
#include "app/main/KR3090frm.h"
#include "app/kit/Panels.h"
#include "app/main/QtTranslation.h"
#include "app/kit/ShownComboBox.h"
#include "app/main/TraceLogging.h"
#include "link/CommPort.h"
#include "settings/Config.h"
#include "link/PortList.h"
#include "link/Trace.h"
#include "protocol/Receive.h"

namespace {

using MainWindow = WindowTest;

TEST_F(MainWindow, StartsOnTheCtrlPageWithTheDesignedTexts) {
    EXPECT_EQ(window->windowTitle(), "大地网接地参数综合测试仪1.0版");
    EXPECT_EQ(window->ActivePageName(), "Ctrl");
    EXPECT_EQ(GlobVar.TestFrequency, 40);
    EXPECT_EQ(window->CBox_HZ->count(), 31);
    EXPECT_EQ(window->CBox_HZ->currentText(), "40Hz");
    EXPECT_EQ(window->CBox_HZ->itemText(30), "70Hz");
    EXPECT_EQ(window->CBox_Rm->currentText(), "断开");
    EXPECT_EQ(window->CBox_Data->currentText(), "平均值");
    EXPECT_EQ(window->Lbl_Volt->text(), "U ：0.000mV");
    EXPECT_EQ(window->Lbl_A->text(), "I ：0.000A");
    EXPECT_EQ(window->Label4->text(), "Φ：0.00°");
    EXPECT_EQ(window->Label5->text(), "Z ：0.000mΩ");
    EXPECT_EQ(window->Label6->text(), "R ：0.000mΩ");
    EXPECT_EQ(window->Label7->text(), "X ：0.000mΩ");
    EXPECT_EQ(window->Lbl_Speed->text(), "");
    EXPECT_EQ(window->LblStatus->text(), "通讯已断开");
    EXPECT_EQ(window->Label1->text(), "注：Rm为内部1500Ω人体模拟电阻，输入电压大于20V时禁止接通Rm");
    const char* const toolbar[] = {"连接设备", "通讯设置", "打开文件", "保存",
                                   "打印",     "帮助",     "退出"};
    const int lefts[] = {16, 98, 181, 264, 346, 429, 512};
    for (int i = 0; i < 7; ++i) {
        auto* b = window->findChild<QPushButton*>(QStringLiteral("BitBtn%1").arg(i + 1));
        ASSERT_TRUE(b);
        EXPECT_EQ(b->text(), toolbar[i]);
        EXPECT_EQ(b->geometry(), QRect(lefts[i], 8, 75, 25));
    }
    // The archive, after the buttons of the instrument's program.
    EXPECT_EQ(window->BBtn_Archive->text(), "档案");
    EXPECT_EQ(window->BBtn_Archive->geometry(), QRect(595, 8, 75, 25));
    EXPECT_EQ(window->BBtn_CPrint->text(), "仪  器  打  印");
    EXPECT_EQ(window->BBtn_CSave->text(), "仪  器  保  存");
    EXPECT_EQ(window->BBtn_His->text(), "历  史  数  据");
    EXPECT_EQ(window->BBtn_Start->text(), "开  始  测  试");
    EXPECT_EQ(window->BBtn_Reset->text(), "复      位");
    EXPECT_EQ(window->Lbl_Volt->font().pixelSize(), 67);
    EXPECT_EQ(window->Lbl_Speed->font().pixelSize(), 35);
    EXPECT_EQ(window->Label4->font().pixelSize(), 33);
    EXPECT_EQ(window->font().family(), "SimSun");
    EXPECT_EQ(window->Panel2->height(), 45);
    EXPECT_EQ(window->Panel6->width(), 264);
    EXPECT_EQ(window->Panel5->height(), 51);
    EXPECT_EQ(window->Panel11->height(), 129);
    EXPECT_EQ(window->Label4->y(), 32);
    EXPECT_EQ(window->Label7->y(), 77);
    EXPECT_EQ(window->LblStatus->y(), 16);
    EXPECT_TRUE(GlobVar.PollEnabled);
    EXPECT_EQ(GlobVar.PrintLineWidth, 24);
    EXPECT_TRUE(GlobVar.AppPath.endsWith(u'/'));
    EXPECT_TRUE(window->Timer_Send->interval() == 500 && window->Timer_Now->interval() == 300);
}

TEST_F(MainWindow, HistoryAndCompPagesCarryTheirControls) {
    EXPECT_EQ(window->Lbl_Num->text(), "可用数据100条，已用0条");
    EXPECT_EQ(window->Lbl_Num->font().pixelSize(), 27);
    EXPECT_EQ(window->Label8->text(), "");
    EXPECT_EQ(window->BBtn_Clear->text(), "清       空");
    EXPECT_EQ(window->BBtn_Open->text(), "打       开");
    EXPECT_EQ(window->BBtn_UpHis->text(), "上传历史数据");
    EXPECT_EQ(window->BBtn_Ret->text(), "返       回");
    // 频率分析 and 存入档案 under the upload, the same size; 返回 below them.
    EXPECT_EQ(window->BBtn_FreqAnalysis->text(), "频率分析");
    EXPECT_EQ(window->BBtn_FreqAnalysis->geometry(), QRect(72, 176, 129, 25));
    EXPECT_EQ(window->BBtn_Store->text(), "存入档案");
    EXPECT_EQ(window->BBtn_Store->geometry(), QRect(72, 224, 129, 25));
    EXPECT_EQ(window->BBtn_Ret->geometry(), QRect(72, 272, 129, 25));
    QTableWidget* list = window->LView_History;
    EXPECT_EQ(list->columnCount(), 4);
    EXPECT_EQ(list->horizontalHeaderItem(1)->text(), "编号");
    EXPECT_EQ(list->horizontalHeaderItem(2)->text(), "频率");
    EXPECT_EQ(list->horizontalHeaderItem(3)->text(), "测试时间");
    EXPECT_EQ(list->columnWidth(0), 2);
    EXPECT_EQ(list->columnWidth(1), 130);
    EXPECT_EQ(list->columnWidth(2), 80);
    EXPECT_EQ(list->columnWidth(3), 400);
    EXPECT_EQ(list->font().pixelSize(), 24);
    EXPECT_TRUE(list->showGrid());
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);

    const std::pair<QLabel*, const char*> comp[] = {
        {window->Lbl_Index, "第001条"},   {window->Label9, "U ：0.000mV"},
        {window->Label10, "I ：0.000A"},  {window->Label11, "Φ：0.000°"},
        {window->Label12, "Z ：0.000mΩ"}, {window->Label13, "R ：0.000mΩ"},
        {window->Label14, "X ：0.000mΩ"}, {window->Label15, "f ：45.00Hz"},
        {window->Label16, "Rm：OFF"},     {window->Label17, "测试时间：2017.02.16 12:30:30"}};
    for (auto [label, text] : comp) EXPECT_EQ(label->text(), text) << text;
    EXPECT_EQ(window->Lbl_Index->font().pixelSize(), 29);
    EXPECT_EQ(window->Label9->font().pixelSize(), 67);
    EXPECT_EQ(window->Label17->font().pixelSize(), 33);
    EXPECT_EQ(window->Lbl_Index->pos(), QPoint(24, 16));
    EXPECT_EQ(window->BitBtn8->text(), "仪 器 打 印");
    EXPECT_EQ(window->BitBtn9->text(), "仪 器 删 除");
    EXPECT_EQ(window->BitBtn10->text(), "返       回");
}

TEST_F(MainWindow, SelectedRecordNumberIsReadBackFromTheSelectedRow) {
    EXPECT_FALSE(window->SelectedRecordNumber());
    QTableWidget* list = window->LView_History;
    list->setRowCount(2);
    list->setItem(0, 1, new QTableWidgetItem(QStringLiteral("001")));
    list->setItem(1, 1, new QTableWidgetItem(QStringLiteral("005")));
    list->selectRow(1);
    EXPECT_EQ(window->SelectedRecordNumber(), 5);
    list->item(1, 1)->setText(QStringLiteral("abc"));
    EXPECT_FALSE(window->SelectedRecordNumber());
}

// ---- label arrangement

void ExpectArranged(TfrmKR3090& w) {
    const int p8 = w.Panel8->width();
    EXPECT_EQ(w.Label1->x(), 0);
    EXPECT_EQ(w.Label1->width(), w.Panel5->width());
    EXPECT_EQ(w.LblStatus->x() + w.LblStatus->width() + 30, p8);
    EXPECT_EQ(w.Lbl_Volt->x(), (p8 - w.Lbl_Volt->width()) / 2);
    EXPECT_EQ(w.Lbl_Volt->y(),
              (w.Panel8->height() - w.Lbl_Volt->height() - w.Lbl_A->height() - 50) / 2);
    EXPECT_EQ(w.Lbl_A->x(), w.Lbl_Volt->x());
    EXPECT_EQ(w.Lbl_A->y(), w.Lbl_Volt->y() + w.Lbl_Volt->height() + 50);
    EXPECT_EQ(w.Lbl_Speed->x(), w.Lbl_A->x() - 31);
    EXPECT_EQ(w.Lbl_Speed->y(), w.Lbl_A->y() + w.Lbl_A->height() + 50);
    EXPECT_EQ(w.Label4->x(), (p8 - w.Label4->width() - w.Label5->width() - 100) / 2);
    EXPECT_EQ(w.Label6->x(), w.Label4->x());
    EXPECT_EQ(w.Label5->x(), w.Label4->x() + w.Label4->width() + 100);
    EXPECT_EQ(w.Label7->x(), w.Label5->x());
    EXPECT_EQ(w.Label8->x(), 0);
    EXPECT_EQ(w.Label8->width(), w.Panel9->width());
    const int p18 = w.Panel18->width();
    EXPECT_EQ(w.Label9->x(), (p18 - w.Label9->width()) / 2);
    EXPECT_EQ(w.Label9->y(),
              (w.Panel18->height() - w.Label9->height() - w.Label10->height() - 50) / 2);
    EXPECT_EQ(w.Label10->x(), w.Label9->x());
    EXPECT_EQ(w.Label10->y(), w.Label9->y() + w.Label9->height() + 50);
    const int left11 = (w.Panel17->width() - w.Label11->width() - w.Label12->width() - 100) / 2;
    EXPECT_EQ(w.Label11->x(), left11);
    EXPECT_EQ(w.Label12->x(), left11 + w.Label11->width() + 100);
    for (QLabel* l : {w.Label13, w.Label15, w.Label17}) EXPECT_EQ(l->x(), left11);
    for (QLabel* l : {w.Label14, w.Label16}) EXPECT_EQ(l->x(), w.Label12->x());
    // Designed tops stay.
    EXPECT_EQ(w.LblStatus->y(), 16);
    EXPECT_EQ(w.Label5->y(), 32);
    EXPECT_EQ(w.Label6->y(), 77);
}

TEST_F(MainWindow, LabelsAreCentredAtTheDesignedSize) {
    // 979 wide: the reading area is what the 264-pixel column leaves.
    EXPECT_EQ(window->Panel8->width(), 979 - 264);
    EXPECT_EQ(window->Panel8->height(), 689 - 45 - 51 - 129);
    ExpectArranged(*window);
    EXPECT_GT(window->Lbl_Volt->x(), 0);
}

TEST_F(MainWindow, LabelsFollowEveryResizeOnEveryPage) {
    for (QSize size : {QSize(1280, 1005), QSize(700, 500), QSize(1920, 1080)}) {
        window->resize(size);
        QApplication::processEvents();
        SCOPED_TRACE(size.width());
        EXPECT_EQ(window->Panel8->width(), size.width() - 264);
        ExpectArranged(*window);
    }
}

TEST_F(MainWindow, NarrowWindowGivesNegativeLeftsRoundedTowardZero) {
    window->resize(300, 400);
    QApplication::processEvents();
    ExpectArranged(*window);
    EXPECT_EQ(window->Panel8->width(), 36);
    EXPECT_LT(window->Lbl_Volt->x(), 0);
    EXPECT_LT(window->Label4->x(), 0);
    EXPECT_LT(window->LblStatus->x(), 0);
    // One of two neighbouring widths gives an odd difference: halved toward
    // zero (-183 gives -91), not down.
    bool sawOdd = false;
    for (int width : {300, 301}) {
        window->resize(width, 400);
        QApplication::processEvents();
        const int diff = window->Panel8->width() - window->Lbl_Volt->width();
        ASSERT_LT(diff, 0);
        if (diff % 2 == 0) continue;
        sawOdd = true;
        EXPECT_EQ(2 * window->Lbl_Volt->x(), diff + 1);
    }
    EXPECT_TRUE(sawOdd);
}

TEST_F(MainWindow, AReplyThatResizesALabelCentresItAgain) {
    const int before = window->Lbl_Volt->width();
    Dispatch(LiveReply(0xDD, 50, 230.25f, 1, 0, 0, 0, 0));
    EXPECT_EQ(window->Lbl_Volt->text(), "U ：230.2V ");
    EXPECT_NE(window->Lbl_Volt->width(), before);
    ExpectArranged(*window);
}

// ---- live replies on the Ctrl page

TEST_F(MainWindow, DocumentedLiveFrameFillsTheCtrlPage) {
    const std::vector<std::uint8_t> frame = {0x24, 0xA1, 0xDD, 0x14, 0x32, 0x00, 0x00, 0x20, 0x40,
                                             0x00, 0x00, 0xA0, 0x3F, 0x00, 0x00, 0xF0, 0x41, 0x00,
                                             0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x35, 0x2A};
    Dispatch(frame);
    EXPECT_EQ(window->CBox_HZ->ShownText(), "50Hz");
    EXPECT_EQ(window->Lbl_Volt->text(), "U ：2.500V ");
    EXPECT_EQ(window->Lbl_A->text(), "I ：1.250A");
    EXPECT_EQ(window->Label4->text(), "Φ：30.00°");
    EXPECT_EQ(window->CBox_Rm->ShownText(), "断开");
    EXPECT_EQ(window->BBtn_Start->text(), "停  止  测  试");
    EXPECT_EQ(window->CBox_Data->ShownText(), "平均值");
    EXPECT_EQ(window->Label5->text(), "Z ：2.000Ω");
    EXPECT_EQ(window->Label6->text(), "R ：1.732Ω");
    EXPECT_EQ(window->Label7->text(), "X ：999.9mΩ");
    EXPECT_EQ(GlobVar.TestFrequency, 50);
    EXPECT_EQ(GlobVar.RmMode, 0);
    EXPECT_TRUE(GlobVar.Testing);
    EXPECT_EQ(GlobVar.DataMode, 0);
    EXPECT_EQ(GlobVar.ProgressCount, 1);
    EXPECT_EQ(window->Lbl_Speed->text(), ">>");
    EXPECT_FALSE(window->Lbl_Speed->isHidden());
}

TEST_F(MainWindow, RmByteFiveStopsAfterThePhaseAndKeepsTheRest) {
    Dispatch(LiveReply(0xDD, 50, 2.5f, 1.25f, 30, 1, 1, 1));
    Dispatch(LiveReply(0xDD, 60, 0.5f, 2, 45, 5, 0, 0));
    EXPECT_EQ(window->CBox_HZ->ShownText(), "60Hz");
    EXPECT_EQ(window->Lbl_Volt->text(), "U ：500.0mV");
    EXPECT_EQ(window->Lbl_A->text(), "I ：2.000A");
    EXPECT_EQ(window->Label4->text(), "Φ：45.00°");
    EXPECT_EQ(window->CBox_Rm->ShownText(), "接通");
    EXPECT_EQ(GlobVar.RmMode, 1);
    EXPECT_TRUE(GlobVar.Testing);
    EXPECT_EQ(window->BBtn_Start->text(), "停  止  测  试");
    EXPECT_EQ(window->CBox_Data->ShownText(), "瞬时值");
    EXPECT_EQ(window->Label5->text(), "Z ：2.000Ω");
    EXPECT_EQ(window->Label7->text(), "X ：999.9mΩ");
    // The dispatcher still counts the reply and arranges the labels.
    EXPECT_EQ(GlobVar.ProgressCount, 2);
    ExpectArranged(*window);
}

TEST_F(MainWindow, NotANumberVoltageKeepsTheOldReadingsAfterTheFrequency) {
    Dispatch(LiveReply(0xDD, 50, 2.5f, 1.25f, 30, 0, 1, 0));
    Dispatch(LiveReply(0xDD, 45, std::numeric_limits<float>::quiet_NaN(), 3, 3, 1, 0, 1));
    EXPECT_EQ(window->CBox_HZ->ShownText(), "45Hz");
    EXPECT_EQ(GlobVar.TestFrequency, 45);
    EXPECT_EQ(window->Lbl_Volt->text(), "U ：2.500V ");
    EXPECT_EQ(window->Lbl_A->text(), "I ：1.250A");
    EXPECT_EQ(GlobVar.RmMode, 0);
    EXPECT_TRUE(GlobVar.Testing);
    EXPECT_EQ(window->Label5->text(), "Z ：2.000Ω");
}

TEST_F(MainWindow, FrequencyBytesOutsideTheListChangeNeitherBoxNorSetting) {
    for (std::uint8_t f : {39, 71}) {
        Dispatch(LiveReply(0xDD, f, 1, 1, 0, 0, 0, 0));
        EXPECT_EQ(window->CBox_HZ->ShownText(), "40Hz");
        EXPECT_EQ(GlobVar.TestFrequency, 40);
    }
    EXPECT_EQ(window->Lbl_Volt->text(), "U ：1.000V ");
}

TEST_F(MainWindow, ProgressLineGrowsPerLiveReplyAndHidesWhenIdle) {
    GlobVar.ProgressCount = 0;
    for (int i = 0; i < 3; ++i) Dispatch(LiveReply(0xDD, 50, 1, 1, 0, 0, 1, 0));
    EXPECT_EQ(GlobVar.ProgressCount, 3);
    EXPECT_EQ(window->Lbl_Speed->text(), ">>>>");
    EXPECT_FALSE(window->Lbl_Speed->isHidden());
    GlobVar.ProgressCount = 24;
    Dispatch(LiveReply(0xDD, 50, 1, 1, 0, 0, 2, 0));
    EXPECT_EQ(window->Lbl_Speed->text(), ">");
    EXPECT_EQ(GlobVar.ProgressCount, 0);
    EXPECT_TRUE(window->Lbl_Speed->isHidden());
    EXPECT_FALSE(GlobVar.Testing);
    EXPECT_EQ(window->BBtn_Start->text(), "开  始  测  试");
}

// ---- the dispatcher's table

TEST_F(MainWindow, ConnectAndDisconnectRepliesMoveTheConnectionTexts) {
    Dispatch(LiveReply(0xAA, 50, 2.5f, 1.25f, 30, 0, 1, 0));
    EXPECT_TRUE(GlobVar.Connected);
    EXPECT_EQ(window->LblStatus->text(), "通讯已连接");
    EXPECT_EQ(window->BitBtn1->text(), "断开");
    EXPECT_EQ(window->Lbl_Volt->text(), "U ：2.500V ");
    EXPECT_EQ(window->Lbl_Speed->text(), "");
    EXPECT_EQ(GlobVar.ProgressCount, 0);
    for (int i = 0; i < 2; ++i) {  // an unrequested one sets the same texts again
        Dispatch(Reply(0xBB));
        EXPECT_FALSE(GlobVar.Connected);
        EXPECT_EQ(window->LblStatus->text(), "通讯已断开");
        EXPECT_EQ(window->BitBtn1->text(), "连接设备");
    }
    EXPECT_EQ(window->Lbl_Volt->text(), "U ：2.500V ");  // readings stay
}

TEST_F(MainWindow, ErasedReplyEmptiesTheListAndSetsTheCount) {
    window->LView_History->setRowCount(3);
    Dispatch(Reply(0xC4));
    EXPECT_EQ(window->LView_History->rowCount(), 0);
    EXPECT_EQ(window->Lbl_Num->text(), "可存数据100条，已用0条");
    ASSERT_TRUE(frmHint);
    EXPECT_TRUE(frmHint->isVisible());
    EXPECT_EQ(frmHint->Lbl_Hint->text(), "历史数据已清空！");
    EXPECT_TRUE(GlobVar.NoticeAutoHide);
    EXPECT_FALSE(GlobVar.ResumePollAfterNotice);
}

TEST_F(MainWindow, RecordReplyHidesTheNotice) {
    window->ShowNotice(QStringLiteral("正在读取数据，请稍候！"), true);
    Dispatch(Reply(0xC5));
    EXPECT_FALSE(frmHint->isVisible());
}

TEST_F(MainWindow, UnknownAndShortRepliesOnlyArrangeTheLabels) {
    window->resize(800, 600);
    window->Lbl_Volt->move(5, 5);
    Dispatch(Reply(0x55));
    Dispatch({0x24, 0xA1, 0xDD, 0x00, 0xDD ^ 0x00, 0x2A});  // a live type without payload
    EXPECT_EQ(window->Lbl_Volt->text(), "U ：0.000mV");
    EXPECT_EQ(window->CBox_HZ->ShownText(), "40Hz");
    ExpectArranged(*window);
}

// ---- the busy notice

TEST_F(MainWindow, NoticeIsABorderlessTopWindowCentredOverTheMainWindow) {
    window->ShowNotice(QString(), false);  // before any notice: nothing
    window->ShowNotice(QStringLiteral("正在读取数据，请稍候！"), true);
    ASSERT_TRUE(frmHint);
    EXPECT_EQ(frmHint->size(), QSize(437, 304));
    EXPECT_TRUE(frmHint->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(frmHint->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(frmHint->isModal());
    EXPECT_EQ(frmHint->Lbl_Hint->font().pixelSize(), 32);
    EXPECT_EQ(frmHint->Lbl_Hint->alignment(), Qt::AlignCenter);
    EXPECT_EQ(frmHint->Lbl_Hint->text(), "正在读取数据，请稍候！");
    const QPoint centre = frmHint->geometry().center();
    EXPECT_LE(std::abs(centre.x() - window->frameGeometry().center().x()), 1);
    EXPECT_LE(std::abs(centre.y() - window->frameGeometry().center().y()), 1);
    // The main window stays usable under it.
    EXPECT_TRUE(window->isEnabled());
    window->ShowNotice(QStringLiteral("数据已打印！"), true);
    EXPECT_EQ(frmHint->Lbl_Hint->text(), "数据已打印！");
}

TEST_F(MainWindow, ConfirmationHidesBetweenThreeAndThreePointThreeSecondsThenPollingResumes) {
    const QDateTime t = platform.Clock;
    GlobVar.PollEnabled = false;
    Dispatch(Reply(0xC1));
    EXPECT_EQ(frmHint->Lbl_Hint->text(), "数据已打印！");
    EXPECT_EQ(GlobVar.NoticeTime, t);
    EXPECT_TRUE(GlobVar.ResumePollAfterNotice);
    for (int ms : {300, 2000, 2700, 2999}) {
        platform.Clock = t.addMSecs(ms);
        window->Timer_NowTimer();
        EXPECT_TRUE(frmHint->isVisible()) << ms;
    }
    platform.Clock = t.addMSecs(3000);
    window->Timer_NowTimer();
    EXPECT_FALSE(frmHint->isVisible());
    EXPECT_FALSE(GlobVar.NoticeAutoHide);
    EXPECT_TRUE(GlobVar.PollEnabled);
    EXPECT_FALSE(GlobVar.ResumePollAfterNotice);
}

TEST_F(MainWindow, StoredConfirmationOnTheHistoryPageLeavesPollingOff) {
    GlobVar.PollEnabled = false;
    Dispatch(Reply(0xC2));
    EXPECT_EQ(frmHint->Lbl_Hint->text(), "数据已保存！");
    window->SetActivePage(QStringLiteral("History"));
    platform.Clock = platform.Clock.addSecs(4);
    window->Timer_NowTimer();
    EXPECT_FALSE(frmHint->isVisible());
    EXPECT_FALSE(GlobVar.PollEnabled);
    EXPECT_FALSE(GlobVar.ResumePollAfterNotice);
}

TEST_F(MainWindow, RequestNoticeIsNotHiddenByTheTimer) {
    window->ShowNotice(QStringLiteral("正在读取数据，请稍候！"), true);
    platform.Clock = platform.Clock.addSecs(60);
    window->Timer_NowTimer();
    EXPECT_TRUE(frmHint->isVisible());
}

TEST_F(MainWindow, ClockMovedBackHidesAnArmedNoticeAtTheNextTick) {
    Dispatch(Reply(0xC1));
    platform.Clock = platform.Clock.addSecs(-3);
    window->Timer_NowTimer();
    EXPECT_FALSE(frmHint->isVisible());
}

TEST_F(MainWindow, UploadedFileIsOpenedWhenItsNoticeGoesAndOnlyIfItExists) {
    QFile file(folder.filePath(QStringLiteral("history.txt")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    for (bool exists : {true, false}) {
        GlobVar.ResultFileName =
            exists ? file.fileName() : folder.filePath(QStringLiteral("missing.txt"));
        GlobVar.OpenAfterUpload = true;
        GlobVar.NoticeAutoHide = true;
        window->ShowNotice(QStringLiteral("数据上传完毕！"), true);
        platform.Clock = platform.Clock.addSecs(10);
        window->Timer_NowTimer();
        EXPECT_FALSE(frmHint->isVisible());
        EXPECT_FALSE(GlobVar.OpenAfterUpload);
    }
    ASSERT_EQ(platform.Opened.size(), 1u);
    EXPECT_EQ(platform.Opened[0], file.fileName());
}

TEST_F(MainWindow, ClosingWhileTheNoticeIsUpAndFramesArriveEndsCleanly) {
    window->ShowNotice(QStringLiteral("正在读取数据，请稍候！"), true);
    for (int i = 0; i < 20; ++i) pty.Write(LiveReply(0xDD, 50, 1, 1, 0, 0, 1, 0));
    WaitUntil([] { return GlobVar.ProgressCount > 0; });
    window->close();
    window.reset();
    EXPECT_FALSE(frmHint);
    QApplication::processEvents();
}

// ---- help

TEST_F(MainWindow, HelpOpensTheManualOrAnExistingFileByItsConfiguredName) {
    // Unset: the manual beside the program (the test programs have a copy).
    CommSettings.HelpFileName.clear();
    window->BitBtn6Click();
    ASSERT_EQ(platform.Opened.size(), 1u);
    EXPECT_EQ(platform.Opened[0], GlobVar.AppPath + "kr3090-manual.html");
    EXPECT_TRUE(QFileInfo(platform.Opened[0]).size() > 10000);
    platform.Opened.clear();
    // Named but missing: nothing, as always.
    CommSettings.HelpFileName = folder.filePath(QStringLiteral("nohelp.chm")).toStdString();
    window->BitBtn6Click();
    EXPECT_TRUE(platform.Opened.empty());
    EXPECT_TRUE(platform.Boxes.empty());
    QFile help(folder.filePath(QStringLiteral("help.chm")));
    ASSERT_TRUE(help.open(QIODevice::WriteOnly));
    help.close();
    CommSettings.HelpFileName = help.fileName().toStdString();
    window->BitBtn6Click();
    ASSERT_EQ(platform.Opened.size(), 1u);
    EXPECT_EQ(platform.Opened[0], help.fileName());

#ifndef _WIN32
    // The real shell with nothing to open a file with (the offscreen platform
    // has no desktop services, as a Debian without xdg-utils has no opener):
    // the operator is told what to install and where the file is.
    struct TRealShell : TRecordingPlatform {
        void ShellOpen(QWidget* owner, const QString& path) override {
            TQtPlatform().ShellOpen(owner, path);
        }
    } shell;
    SetPlatform(&shell);
    CommSettings.HelpFileName.clear();
    window->BitBtn6Click();
    SetPlatform(&platform);
    ASSERT_EQ(shell.Boxes.size(), 1u);
    EXPECT_EQ(shell.Boxes[0].Text,
              "没有可以打开文件的程序：请安装软件包 xdg-utils（sudo apt install xdg-utils）。\n"
              "文件在：" +
                  GlobVar.AppPath + "kr3090-manual.html");
#endif
}

TEST_F(MainWindow, BackButtonsSwitchPagesWithoutConnection) {
    window->SetActivePage(QStringLiteral("Comp"));
    window->BitBtn10Click();
    EXPECT_EQ(window->ActivePageName(), "History");
    GlobVar.PollEnabled = false;
    window->BBtn_RetClick();
    EXPECT_EQ(window->ActivePageName(), "Ctrl");
    EXPECT_TRUE(GlobVar.PollEnabled);
    EXPECT_TRUE(platform.Boxes.empty());
}

}  // namespace

namespace {

TEST(StartUp, WithoutConfigIniTheDefaultPortIsTriedAndTheFailureShown) {
    GlobVar = TGlobVar{};
    TRecordingPlatform platform;
    SetPlatform(&platform);
    {
        TfrmKR3090 window;  // no Config.ini beside the test program
        // Linux has no COM1: the first port of the list, or the first USB adapter.
        const std::vector<std::string> ports = SerialPortNames();
        const std::string port = ports.empty() ? "/dev/ttyUSB0" : ports.front();
        EXPECT_EQ(CommSettings.ComName, port);
        EXPECT_EQ(CommSettings.Baud, 9600);
        window.show();
        // A machine whose first port is a real one that root may open says nothing.
        ASSERT_EQ(platform.Boxes.size(), GlobVar.PortOpen ? 0u : 1u);
        if (!GlobVar.PortOpen) {
            EXPECT_EQ(platform.Boxes[0].Text, QString::fromStdString(DevicePathForPortName(port)) +
                                                  "打开串口失败，请配置串口!!");
            EXPECT_EQ(platform.Boxes[0].Caption, "提示");
            EXPECT_EQ(platform.Boxes[0].Icon, TMessageIcon::Information);
        }
        EXPECT_EQ(window.ActivePageName(), "Ctrl");
        EXPECT_EQ(GlobVar.TestFrequency, 40);
        EXPECT_EQ(window.CBox_HZ->currentText(), "40Hz");
        // Commands go nowhere and the window stays usable.
        window.CBox_Rm->setCurrentIndex(1);
        window.CBox_RmChange();
        EXPECT_EQ(GlobVar.RmMode, 1);
        window.close();
    }
    SetPlatform(nullptr);
}

}  // namespace

namespace {

std::vector<QString> logged;

void Log(QtMsgType, const QMessageLogContext& context, const QString& message) {
    logged.push_back(QString::fromLatin1(context.category) + ": " + message);
}

TEST(StartUp, QtsOwnButtonsReadChineseAndTheTraceIsALoggingCategoryOffUntilAskedFor) {
    ASSERT_TRUE(InstallQtTranslation()) << "no qtbase_zh_CN.qm (qt6-translations-l10n)";
    QMessageBox box(QMessageBox::Information, "提示", "保存成功！",
                    QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Ok)->text(), "确定");
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), "取消");

    const std::uint8_t bytes[] = {0x24, 0xA1, 0xBB};
    const QtMessageHandler previous = qInstallMessageHandler(Log);
    RouteTraceToLogging(false);
    TraceSent(bytes, 3);
    const std::vector<QString> quiet = logged;
    RouteTraceToLogging(true);  // --trace
    TraceSent(bytes, 3);
    TraceReceived(bytes + 1, 2);
    SetTraceSink(nullptr);
    QLoggingCategory::setFilterRules(QString());
    qInstallMessageHandler(previous);
    EXPECT_TRUE(quiet.empty());
    EXPECT_EQ(logged,
              (std::vector<QString>{"kr3090.trace: 发送 24 A1 BB", "kr3090.trace: 收到 A1 BB"}));
}

}  // namespace
