// A real print: the default printer of a running print server is a cups-pdf
// queue, and the page it writes is found and examined. The ctest fixture
// starts the server; when there is none, the test fails and says why.
#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>

#include "PdfPages.h"
#include "PrintFormTestLines.h"
#include "PrintServer.h"
#include "report/PrintTarget.h"
#include "report/Reportfrm.h"

namespace {
constexpr double memoCentreX = (1.0 + 209.0 / 2) * PointsPerMm;
constexpr double memoTop = 4.23 * PointsPerMm;
constexpr double memoBottom = (4.23 + 180.18) * PointsPerMm;

class RealPrint : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.Problem().isEmpty()) << server.Problem().toStdString();
    }
    void TearDown() override { SetPrintTarget(nullptr); }
    TPrintServer server;
};

TEST_F(RealPrint, TheDefaultQueueWritesOneA4PageWithTheBlockAtItsTop) {
    // A job title of its own finds this job's page among earlier ones.
    const QString title = TPrintServer::UniqueTitle();
    TDefaultPrinterTarget printer(title);
    SetPrintTarget(&printer);
    PrintLines(LivePrintForm());
    EXPECT_EQ(frmReport, nullptr);
    ASSERT_TRUE(server.WaitForJobs())
        << "the job did not finish; log: " << server.Log().toStdString();

    // The job's original PDF, kept in the server's spool: the text itself.
    const QString spooled = server.NewestSpooledJob();
    ASSERT_FALSE(spooled.isEmpty()) << "no job in the server's spool";
    const QList<TPdfPage> sent = ReadPdfPages(spooled);
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(LineTexts(sent[0]), LivePrintFormText());

    // The page the queue wrote (its fonts are Type 3, so look at its ink),
    // kept beside the test for a look: pdftoppm -png printed-page.pdf page
    const QString page =
        server.TakeCupsPdfPage(title, QDir::current().filePath("printed-page.pdf"));
    ASSERT_FALSE(page.isEmpty()) << "cups-pdf wrote no page titled " << title.toStdString()
                                 << " into "
                                 << TPrintServer::CupsPdfFolders().join(", ").toStdString()
                                 << "; log: " << server.Log().toStdString();
    const QString info = RunTool("pdfinfo", {page});
    EXPECT_TRUE(info.contains(QRegularExpression("Pages:\\s+1\\n"))) << info.toStdString();
    EXPECT_TRUE(
        info.contains(QRegularExpression("Page size:\\s+595(\\.\\d+)? x (841\\.\\d+|842) pts")))
        << info.toStdString();

    const TPdfBox ink = InkBox(RenderFirstPage(page, 72));
    ASSERT_GT(ink.Width(), 0) << "the printed page is blank";
    // The column of 25-byte lines (150 points) centred on the memo, from the
    // title (three empty lines down) to the date line.
    EXPECT_NEAR(ink.CentreX(), memoCentreX, 3.0);
    EXPECT_NEAR(ink.Width(), 25 * 6.0, 6.0);
    EXPECT_GT(ink.yMin, memoTop + 3 * 12.0);
    EXPECT_LT(ink.yMax, memoTop + 18 * 15.0);
    EXPECT_LT(ink.yMax, memoBottom);
}
}  // namespace
