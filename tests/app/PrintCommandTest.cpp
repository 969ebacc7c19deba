// "打印" on the window: the print form of the shown result reaches the report
// memo byte for byte and prints on one sheet (a PDF file stands in for the
// printer).
#include <QTemporaryDir>

#include "PdfPages.h"
#include "PrintRecorder.h"
#include "WindowFixture.h"
#include "app/kit/GlobVar.h"
#include "app/main/KR3090frm.h"
#include "app/kit/ShownComboBox.h"
#include "report/PrintTarget.h"
#include "report/Reportfrm.h"

namespace {
QString Blanks(int n) {
    return QString(n, QLatin1Char(' '));
}

class PrintCommandTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        ASSERT_TRUE(pdfDir.isValid());
        SetPrintTarget(&recorder);
    }
    void TearDown() override {
        SetPrintTarget(nullptr);
        WindowTest::TearDown();
    }

    // The Ctrl page showing a reading, 50 Hz and Rm "接通" chosen.
    void ShowLiveResult() {
        window->SetActivePage(QStringLiteral("Ctrl"));
        TfrmKR3090::SetCaption(window->Lbl_Volt, QStringLiteral("U ：12.34V"));
        TfrmKR3090::SetCaption(window->Lbl_A, QStringLiteral("I ：1.234A"));
        TfrmKR3090::SetCaption(window->Label4, QStringLiteral("Φ：12.34°"));
        TfrmKR3090::SetCaption(window->Label5, QStringLiteral("Z ：10.00Ω"));
        TfrmKR3090::SetCaption(window->Label6, QStringLiteral("R ：9.781Ω"));
        TfrmKR3090::SetCaption(window->Label7, QStringLiteral("X ：over   "));
        window->CBox_HZ->setCurrentIndex(10);
        window->CBox_Rm->setCurrentIndex(1);
    }

    // The Comp page showing stored record 1.
    void ShowStoredRecord() {
        window->SetActivePage(QStringLiteral("Comp"));
        TfrmKR3090::SetCaption(window->Lbl_Index, QStringLiteral("第001条"));
        TfrmKR3090::SetCaption(window->Label9, QStringLiteral("U ：2.500V"));
        TfrmKR3090::SetCaption(window->Label10, QStringLiteral("I ：1.250A"));
        TfrmKR3090::SetCaption(window->Label11, QStringLiteral("Φ：30.00°"));
        TfrmKR3090::SetCaption(window->Label12, QStringLiteral("Z ：2.000Ω"));
        TfrmKR3090::SetCaption(window->Label13, QStringLiteral("R ：1.732Ω"));
        TfrmKR3090::SetCaption(window->Label14, QStringLiteral("X ：999.9mΩ"));
        TfrmKR3090::SetCaption(window->Label15, QStringLiteral("f ：45.00Hz"));
        TfrmKR3090::SetCaption(window->Label16, QStringLiteral("Rm：ON"));
        TfrmKR3090::SetCaption(window->Label17, QStringLiteral("测试时间：2017.02.16 12:30:30"));
    }

    QTemporaryDir pdfDir;
    TPdfFileTarget pdf{pdfDir.path()};
    TPrintRecorder recorder{pdf};
};

// Filled to 25 GBK bytes; the blank counts are 25 minus the GBK length.
const QStringList livePrintForm = {
    Blanks(25),
    Blanks(25),
    Blanks(25),
    QStringLiteral(" 大地网接地参数测试数据  "),
    QStringLiteral("======================== "),
    Blanks(25),
    QStringLiteral("U ：12.34V") + Blanks(15),
    QStringLiteral("I ：1.234A") + Blanks(15),
    QStringLiteral("Φ：12.34°") + Blanks(14),
    QStringLiteral("Z ：10.00Ω") + Blanks(14),
    QStringLiteral("R ：9.781Ω") + Blanks(14),
    QStringLiteral("X ：over   ") + Blanks(14),
    QStringLiteral("f ：50.00Hz") + Blanks(14),
    QStringLiteral("Rm: ON") + Blanks(19),
    QStringLiteral("Date：2017-02-16 12:30:30"),
    Blanks(25),
    Blanks(25),
    Blanks(25),
};

const QStringList recordPrintForm = {
    Blanks(25),
    Blanks(25),
    Blanks(25),
    QStringLiteral("第001条") + Blanks(18),
    QStringLiteral(" 大地网接地参数测试数据  "),
    QStringLiteral("======================== "),
    Blanks(25),
    QStringLiteral("U ：2.500V") + Blanks(15),
    QStringLiteral("I ：1.250A") + Blanks(15),
    QStringLiteral("Φ：30.00°") + Blanks(14),
    QStringLiteral("Z ：2.000Ω") + Blanks(14),
    QStringLiteral("R ：1.732Ω") + Blanks(14),
    QStringLiteral("X ：999.9mΩ") + Blanks(13),
    QStringLiteral("f ：45.00Hz") + Blanks(14),
    QStringLiteral("Rm：ON") + Blanks(19),
    QStringLiteral("测试时间：2017.02.16 12:30:30"),
    Blanks(25),
    Blanks(25),
    Blanks(25),
};

TEST_F(PrintCommandTest, NotConnectedShowsTheBoxAndPrintsNothing) {
    ShowLiveResult();
    window->BitBtn5Click();
    ASSERT_EQ(platform.Boxes.size(), 1u);
    EXPECT_EQ(platform.Boxes[0].Text, QStringLiteral("请先连接设备！"));
    EXPECT_EQ(platform.Boxes[0].Caption, QStringLiteral("提示"));
    EXPECT_EQ(platform.Boxes[0].Icon, TMessageIcon::Information);
    EXPECT_TRUE(recorder.Forms.isEmpty());
    EXPECT_TRUE(pdf.Files().isEmpty());
}

TEST_F(PrintCommandTest, TheCtrlPagePrintsTheLiveBlockInEighteenFilledLines) {
    Connect();
    ShowLiveResult();
    window->BitBtn5Click();
    EXPECT_TRUE(platform.Boxes.empty());
    EXPECT_TRUE(platform.Errors.empty());
    ASSERT_EQ(recorder.MemoLines.size(), 1);
    EXPECT_EQ(recorder.MemoLines[0], livePrintForm);
    EXPECT_EQ(frmReport, nullptr);
    EXPECT_TRUE(recorder.Forms[0].isNull());

    ASSERT_EQ(pdf.Files().size(), 1);
    const QList<TPdfPage> pages = ReadPdfPages(pdf.Files()[0]);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_EQ(LineTexts(pages[0]),
              QStringList({"大地网接地参数测试数据", "========================", "U ：12.34V",
                           "I ：1.234A", "Φ：12.34°", "Z ：10.00Ω", "R ：9.781Ω", "X ：over",
                           "f ：50.00Hz", "Rm: ON", "Date：2017-02-16 12:30:30"}));
}

TEST_F(PrintCommandTest, TheCompPagePrintsTheRecordViewBlockInNineteenLines) {
    Connect();
    ShowStoredRecord();
    window->BitBtn5Click();
    EXPECT_TRUE(platform.Boxes.empty());
    EXPECT_TRUE(platform.Errors.empty());
    ASSERT_EQ(recorder.MemoLines.size(), 1);
    EXPECT_EQ(recorder.MemoLines[0], recordPrintForm);

    ASSERT_EQ(pdf.Files().size(), 1);
    const QList<TPdfPage> pages = ReadPdfPages(pdf.Files()[0]);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_EQ(LineTexts(pages[0]).value(0), QStringLiteral("第001条"));
    EXPECT_EQ(LineTexts(pages[0]).size(), 12);
}

TEST_F(PrintCommandTest, OtherPagesPrintNothingAndSayNothing) {
    Connect();
    for (const char* page : {"History", "Default"}) {
        window->SetActivePage(QString::fromLatin1(page));
        ASSERT_EQ(window->ActivePageName(), QString::fromLatin1(page));
        window->BitBtn5Click();
    }
    EXPECT_TRUE(recorder.Forms.isEmpty());
    EXPECT_TRUE(pdf.Files().isEmpty());
    EXPECT_TRUE(platform.Boxes.empty());
    EXPECT_TRUE(platform.Errors.empty());
}

TEST_F(PrintCommandTest, TwoPrintsInARowEachPrintOnlyTheirOwnLines) {
    Connect();
    ShowLiveResult();
    window->BitBtn5Click();
    ShowStoredRecord();
    window->BitBtn5Click();
    ASSERT_EQ(recorder.MemoLines.size(), 2);
    EXPECT_EQ(recorder.MemoLines[0], livePrintForm);
    EXPECT_EQ(recorder.MemoLines[1], recordPrintForm);
    EXPECT_TRUE(recorder.Forms[0].isNull());
    EXPECT_TRUE(recorder.Forms[1].isNull());
    ASSERT_EQ(pdf.Files().size(), 2);
    EXPECT_FALSE(LineTexts(ReadPdfPages(pdf.Files()[1]).value(0)).contains("Rm: ON"));
}

TEST_F(PrintCommandTest, AnErrorWhilePrintingIsShownAfterTheFormIsGone) {
    TPdfFileTarget broken(pdfDir.filePath(QStringLiteral("no such folder")));
    TPrintRecorder failing(broken);
    SetPrintTarget(&failing);
    Connect();
    ShowLiveResult();
    window->BitBtn5Click();
    ASSERT_EQ(platform.Errors.size(), 1u);
    EXPECT_EQ(platform.Errors[0],
              QStringLiteral("无法在打印机“%1”上打印").arg(broken.Files().value(0)));
    EXPECT_TRUE(platform.Boxes.empty());
    EXPECT_EQ(frmReport, nullptr);
    ASSERT_EQ(failing.Forms.size(), 1);
    EXPECT_TRUE(failing.Forms[0].isNull());

    // The window goes on: the next print works.
    SetPrintTarget(&recorder);
    window->BitBtn5Click();
    ASSERT_EQ(recorder.MemoLines.size(), 1);
    EXPECT_EQ(recorder.MemoLines[0], livePrintForm);
}
}  // namespace
