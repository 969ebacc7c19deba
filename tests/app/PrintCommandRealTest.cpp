// "打印" on the connected window, printed for real on the print server's
// default queue (started by the ctest fixture).
#include <QDir>
#include <QRegularExpression>

#include "PdfPages.h"
#include "PrintServer.h"
#include "WindowFixture.h"
#include "app/main/KR3090frm.h"
#include "app/kit/ShownComboBox.h"
#include "report/PrintTarget.h"

namespace {
class PrintCommandRealPrint : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        ASSERT_TRUE(server.Problem().isEmpty()) << server.Problem().toStdString();
    }
    void TearDown() override {
        SetPrintTarget(nullptr);
        WindowTest::TearDown();
    }
    TPrintServer server;
};

TEST_F(PrintCommandRealPrint, TheStoredRecordReachesTheDefaultQueueOnOneSheet) {
    const QString title = TPrintServer::UniqueTitle();
    TDefaultPrinterTarget printer(title);
    SetPrintTarget(&printer);
    Connect();
    window->SetActivePage(QStringLiteral("Comp"));
    TfrmKR3090::SetCaption(window->Lbl_Index, QStringLiteral("第007条"));
    TfrmKR3090::SetCaption(window->Label9, QStringLiteral("U ：2.500V"));
    TfrmKR3090::SetCaption(window->Label10, QStringLiteral("I ：1.250A"));
    TfrmKR3090::SetCaption(window->Label11, QStringLiteral("Φ：30.00°"));
    TfrmKR3090::SetCaption(window->Label12, QStringLiteral("Z ：2.000Ω"));
    TfrmKR3090::SetCaption(window->Label13, QStringLiteral("R ：1.732Ω"));
    TfrmKR3090::SetCaption(window->Label14, QStringLiteral("X ：999.9mΩ"));
    TfrmKR3090::SetCaption(window->Label15, QStringLiteral("f ：45.00Hz"));
    TfrmKR3090::SetCaption(window->Label16, QStringLiteral("Rm：OFF"));
    TfrmKR3090::SetCaption(window->Label17, QStringLiteral("测试时间：2017.02.16 12:30:30"));

    window->BitBtn5Click();
    EXPECT_TRUE(platform.Boxes.empty());
    EXPECT_TRUE(platform.Errors.empty());
    ASSERT_TRUE(server.WaitForJobs())
        << "the job did not finish; log: " << server.Log().toStdString();

    const QList<TPdfPage> sent = ReadPdfPages(server.NewestSpooledJob());
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(
        LineTexts(sent[0]),
        QStringList({"第007条", "大地网接地参数测试数据", "========================", "U ：2.500V",
                     "I ：1.250A", "Φ：30.00°", "Z ：2.000Ω", "R ：1.732Ω", "X ：999.9mΩ",
                     "f ：45.00Hz", "Rm：OFF", "测试时间：2017.02.16 12:30:30"}));

    const QString page =
        server.TakeCupsPdfPage(title, QDir::current().filePath("printed-record.pdf"));
    ASSERT_FALSE(page.isEmpty()) << "cups-pdf wrote no page titled " << title.toStdString()
                                 << "; log: " << server.Log().toStdString();
    EXPECT_TRUE(RunTool("pdfinfo", {page}).contains(QRegularExpression("Pages:\\s+1\\n")));
    EXPECT_GT(InkBox(RenderFirstPage(page, 72)).Width(), 0) << "the printed page is blank";
}
}  // namespace
