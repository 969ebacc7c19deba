// Test control over a real pseudo-terminal: the frames each button and selector
// writes, the connection texts, and the boxes shown without a connection.
#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "WindowFixture.h"
#include "app/kit/GlobVar.h"
#include "app/main/KR3090frm.h"
#include "app/kit/ShownComboBox.h"

namespace {

const char* const idleControl =
    "24 A1 DD 14 00 28 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 BA 2A";
const char* const startControl =
    "24 A1 DD 14 00 28 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 BB 2A";
const char* const disconnectFrame =
    "24 A1 BB 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 70 2A";

using TestControl = WindowTest;

TEST_F(TestControl, ConnectSendsTheRequestAndTheAcknowledgementConnects) {
    platform.Clock = platform.Clock.addSecs(60);
    window->BitBtn1Click();
    EXPECT_EQ(NextFrame(),
              "24 A1 AA 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 5F 2A");
    EXPECT_EQ(GlobVar.NoticeTime, platform.Clock);
    EXPECT_FALSE(GlobVar.Connected);
    EXPECT_EQ(window->BitBtn1->text(), "连接设备");

    pty.Write(LiveReply(0xAA, 50, 2.5f, 1.25f, 30, 0, 0, 0));
    ASSERT_TRUE(WaitUntil([] { return GlobVar.Connected; }));
    EXPECT_EQ(window->LblStatus->text(), "通讯已连接");
    EXPECT_EQ(window->BitBtn1->text(), "断开");
    EXPECT_EQ(window->Lbl_Volt->text(), "U ：2.500V ");
    EXPECT_EQ(window->Lbl_Speed->text(), "");  // the acknowledgement draws no progress line
}

TEST_F(TestControl, StartAndResetWithoutConnectionShowABoxAndSendNothing) {
    window->BBtn_StartClick();
    window->BBtn_ResetClick();
    ASSERT_EQ(platform.Boxes.size(), 2u);
    for (const TBox& box : platform.Boxes) {
        EXPECT_EQ(box.Text, "请先连接设备！");
        EXPECT_EQ(box.Caption, "提示");
        EXPECT_EQ(box.Icon, TMessageIcon::Information);
    }
    EXPECT_FALSE(GlobVar.Testing);
    EXPECT_TRUE(pty.Drain().empty());
}

TEST_F(TestControl, PageButtonsWithoutConnectionShowTheBoxTheInstrumentPrintOneWithoutIcon) {
    window->BBtn_CPrintClick();
    ASSERT_EQ(platform.Boxes.size(), 1u);
    EXPECT_EQ(platform.Boxes[0].Text, "请先连接设备！");
    EXPECT_EQ(platform.Boxes[0].Icon, TMessageIcon::None);
    platform.Boxes.clear();
    for (auto click :
         {&TfrmKR3090::BBtn_CSaveClick, &TfrmKR3090::BBtn_HisClick, &TfrmKR3090::BBtn_OpenClick,
          &TfrmKR3090::BBtn_ClearClick, &TfrmKR3090::BBtn_UpHisClick, &TfrmKR3090::BitBtn8Click,
          &TfrmKR3090::BitBtn9Click, &TfrmKR3090::BitBtn4Click, &TfrmKR3090::BitBtn5Click})
        (window.get()->*click)();
    ASSERT_EQ(platform.Boxes.size(), 9u);
    for (const TBox& box : platform.Boxes) {
        EXPECT_EQ(box.Text, "请先连接设备！");
        EXPECT_EQ(box.Caption, "提示");
        EXPECT_EQ(box.Icon, TMessageIcon::Information);
    }
    EXPECT_EQ(window->ActivePageName(), "Ctrl");
    EXPECT_TRUE(pty.Drain().empty());
}

TEST_F(TestControl, StartTwiceSendsRunningThenStoppedAndRestartsTheProgressCount) {
    Connect();
    GlobVar.ProgressCount = 7;
    QTest::mouseClick(window->BBtn_Start, Qt::LeftButton);
    EXPECT_EQ(NextFrame(), startControl);
    EXPECT_EQ(GlobVar.ProgressCount, 0);
    // The caption waits for the instrument's reply.
    EXPECT_EQ(window->BBtn_Start->text(), "开  始  测  试");
    QTest::mouseClick(window->BBtn_Start, Qt::LeftButton);
    EXPECT_EQ(NextFrame(), idleControl);
    EXPECT_FALSE(GlobVar.Testing);
    EXPECT_EQ(GlobVar.ProgressCount, 0);
}

TEST_F(TestControl, ResetWhileTestingSetsTheResetByteOnceOnly) {
    Connect();
    GlobVar.Testing = true;
    QTest::mouseClick(window->BBtn_Reset, Qt::LeftButton);
    EXPECT_EQ(NextFrame(),
              "24 A1 DD 14 00 28 01 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 BC 2A");
    window->Timer_SendTimer();
    EXPECT_EQ(NextFrame(), startControl);
}

TEST_F(TestControl, SelectorChoicesSendTheirSettingEvenWithoutConnection) {
    window->CBox_HZ->setCurrentIndex(14);  // no user choice: nothing sent
    EXPECT_TRUE(pty.Drain().empty());
    window->CBox_HZ->setFocus();
    QTest::keyClick(window->CBox_HZ, Qt::Key_Down);  // the 16th item, 55Hz
    EXPECT_EQ(NextFrame(),
              "24 A1 DD 14 00 37 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 C9 2A");
    EXPECT_EQ(GlobVar.TestFrequency, 55);

    QTest::keyClick(window->CBox_Rm, Qt::Key_Down);  // "接通"
    EXPECT_EQ(NextFrame(),
              "24 A1 DD 14 01 37 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 CA 2A");
    EXPECT_EQ(GlobVar.RmMode, 1);

    QTest::keyClick(window->CBox_Data, Qt::Key_Down);  // "瞬时值"
    EXPECT_EQ(NextFrame(),
              "24 A1 DD 14 01 37 00 00 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 CB 2A");
    EXPECT_EQ(GlobVar.DataMode, 1);
    EXPECT_TRUE(platform.Boxes.empty());
}

TEST_F(TestControl, TextsShownByAReplyRunNoHandlerAndTheNextPollEchoesThem) {
    Connect();
    window->CBox_HZ->setCurrentIndex(5);  // the user had chosen 45 Hz
    pty.Drain();
    pty.Write(LiveReply(0xDD, 60, 1, 1, 0, 1, 0, 1));
    ASSERT_TRUE(WaitUntil([] { return GlobVar.TestFrequency == 60; }));
    EXPECT_EQ(window->CBox_HZ->ShownText(), "60Hz");
    EXPECT_EQ(window->CBox_HZ->currentIndex(), 5);
    EXPECT_EQ(window->CBox_Rm->ShownText(), "接通");
    EXPECT_EQ(window->CBox_Rm->currentIndex(), 0);
    EXPECT_EQ(window->CBox_Data->ShownText(), "瞬时值");
    EXPECT_TRUE(pty.Drain().empty());

    window->Timer_SendTimer();
    EXPECT_EQ(NextFrame(),
              "24 A1 DD 14 01 3C 00 00 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 D0 2A");

    // Screen readers and UI automation read what the boxes show, not the
    // selected items; a user's choice makes them read the item again.
    const auto read = [](QWidget* box) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(box);
        EXPECT_EQ(a->role(), QAccessible::ComboBox);
#ifdef Q_OS_UNIX
        EXPECT_EQ(a->text(QAccessible::Name), a->text(QAccessible::Value));
#endif
        return a->text(QAccessible::Value).toStdString();
    };
    EXPECT_EQ(read(window->CBox_HZ), "60Hz");
    EXPECT_EQ(read(window->CBox_Rm), "接通");
    EXPECT_EQ(read(window->CBox_Data), "瞬时值");
    QTest::keyClick(window->CBox_HZ, Qt::Key_Down);
    EXPECT_EQ(read(window->CBox_HZ), "46Hz");
    // The item already selected, chosen again from the list.
    window->CBox_Rm->showPopup();
    QTest::keyClick(window->CBox_Rm->view(), Qt::Key_Return);
    EXPECT_EQ(read(window->CBox_Rm), "断开");
    EXPECT_EQ(window->CBox_Rm->ShownText(), "断开");
    EXPECT_EQ(read(window->CBox_Data), "瞬时值");
}

TEST_F(TestControl, PollGoesOutOnlyWhenConnectedAndEnabled) {
    window->Timer_SendTimer();
    EXPECT_TRUE(pty.Drain().empty());
    Connect();
    window->Timer_SendTimer();
    EXPECT_EQ(NextFrame(), idleControl);
    GlobVar.PollEnabled = false;  // the History page is open
    window->Timer_SendTimer();
    EXPECT_TRUE(pty.Drain().empty());
}

TEST_F(TestControl, DisconnectWhileTestingSendsTheStopFrameThenTheDisconnectFrame) {
    Connect();
    GlobVar.Testing = true;
    window->Timer_Send->start();  // a running poll must not come between the two
    WaitUntil([] { return false; }, std::chrono::milliseconds(600));
    pty.Drain();
    window->BitBtn1Click();
    // Before any reply could be handled:
    EXPECT_EQ(window->LblStatus->text(), "通讯已断开");
    EXPECT_EQ(window->BitBtn1->text(), "连接设备");
    EXPECT_FALSE(GlobVar.Connected);
    EXPECT_FALSE(GlobVar.Testing);
    EXPECT_EQ(Hex(pty.Drain()), std::string(idleControl) + " " + disconnectFrame);
}

TEST_F(TestControl, DisconnectWhenIdleSendsOnlyTheDisconnectFrame) {
    Connect();
    window->BitBtn1Click();
    EXPECT_EQ(Hex(pty.Drain()), disconnectFrame);
    pty.Write(Reply(0xBB));
    WaitUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_EQ(window->LblStatus->text(), "通讯已断开");
    EXPECT_EQ(window->BitBtn1->text(), "连接设备");
}

TEST_F(TestControl, ClosingWritesOneDisconnectFrameConnectedOrNot) {
    window->close();
    EXPECT_EQ(Hex(pty.Drain()), disconnectFrame);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(TestControl, DeletedRecordReplyShowsHistoryAndRequestsTheDirectory) {
    pty.Write(Reply(0xC7));
    ASSERT_TRUE(WaitUntil([this] { return window->ActivePageName() == "History"; }));
    EXPECT_EQ(NextFrame(),
              "24 A1 C3 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 78 2A");
}

TEST_F(TestControl, ReplyWhileABoxIsOpenIsHandledBehindIt) {
    bool handledInside = false;
    platform.OnBox = [&] {
        pty.Write(LiveReply(0xAA, 50, 7, 1, 0, 0, 0, 0));
        handledInside = WaitUntil([] { return GlobVar.Connected; });
    };
    window->BBtn_StartClick();
    EXPECT_TRUE(handledInside);
    EXPECT_EQ(window->Lbl_Volt->text(), "U ：7.000V ");
}

}  // namespace
