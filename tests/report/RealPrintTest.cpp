// A real print: the default printer of a running print server is a cups-pdf
// queue, and the page it writes is found and examined. The ctest fixture
// starts the server (scripts/print-server.sh) and sets CUPS_SERVER to its
// socket; when there is none, the test fails and says why.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QThread>

#include "PdfPages.h"
#include "PrintFormTestLines.h"
#include "report/PrintTarget.h"
#include "results/Reportfrm.h"

namespace {
constexpr double memoCentreX = (1.0 + 209.0 / 2) * PointsPerMm;
constexpr double memoTop = 4.23 * PointsPerMm;
constexpr double memoBottom = (4.23 + 180.18) * PointsPerMm;

// Where cups-pdf puts a job's page: the job owner's ~/PDF, or the folder for
// anonymous jobs.
QStringList CupsPdfFolders() {
    QStringList folders;
    if (const passwd* pw = getpwuid(getuid())) {
        folders << QString::fromLocal8Bit(pw->pw_dir) + "/PDF";
        folders << "/var/spool/cups-pdf/" + QString::fromLocal8Bit(pw->pw_name);
    }
    folders << "/var/spool/cups-pdf/ANONYMOUS";
    return folders;
}

QString FindPage(const QString& title) {
    for (const QString& folder : CupsPdfFolders())
        for (const QFileInfo& f : QDir(folder).entryInfoList({"*.pdf"}, QDir::Files))
            if (f.fileName().contains(title)) return f.filePath();
    return {};
}

QString Tail(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return QStringLiteral("(no %1)").arg(file);
    return QString::fromUtf8(f.readAll().right(2000));
}

class RealPrint : public testing::Test {
  protected:
    void SetUp() override {
        const QString server = qEnvironmentVariable("CUPS_SERVER");
        ASSERT_FALSE(server.isEmpty())
            << "CUPS_SERVER is not set: run this test through ctest, whose fixture starts the "
               "print server (scripts/print-server.sh start DIR), or set it to DIR/cups.sock";
        ServerDir = QFileInfo(server).path();
        ASSERT_TRUE(QFileInfo(server).exists())
            << "no print server at " << server.toStdString()
            << ": its start failed; log: " << Tail(ServerDir + "/log/error_log").toStdString();
        ASSERT_EQ(QPrinterInfo::defaultPrinter().printerName(), "PDF")
            << "the print server at " << server.toStdString() << " has no default queue PDF; log: "
            << Tail(ServerDir + "/log/error_log").toStdString();
    }
    void TearDown() override { SetPrintTarget(nullptr); }

    // Waits until the server has no unfinished job.
    void WaitForJobs() {
        for (int i = 0; i < 600; ++i) {
            if (RunTool("lpstat", {"-W", "not-completed", "-o"}).trimmed().isEmpty()) return;
            QThread::msleep(100);
        }
        FAIL() << "the print job did not finish within 60 s; log: "
               << Tail(ServerDir + "/log/error_log").toStdString();
    }

    QString ServerDir;
};

TEST_F(RealPrint, TheDefaultQueueWritesOneA4PageWithTheBlockAtItsTop) {
    // A job title of its own finds this job's page among earlier ones.
    const QString title = QStringLiteral("kr3090-test-%1-%2")
                              .arg(QCoreApplication::applicationPid())
                              .arg(QDateTime::currentMSecsSinceEpoch());
    TDefaultPrinterTarget printer(title);
    SetPrintTarget(&printer);
    PrintLines(LivePrintForm());
    EXPECT_EQ(frmReport, nullptr);
    WaitForJobs();

    // The job's original PDF, kept in the server's spool: the text itself.
    const QFileInfoList spooled =
        QDir(ServerDir + "/spool").entryInfoList({"d*-001"}, QDir::Files, QDir::Time);
    ASSERT_FALSE(spooled.isEmpty()) << "no job in the server's spool";
    const QList<TPdfPage> sent = ReadPdfPages(spooled.first().filePath());
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(LineTexts(sent[0]), LivePrintFormText());

    // The page the queue wrote: its fonts are Type 3, so look at its ink.
    QString page;
    for (int i = 0; i < 300 && page.isEmpty(); ++i) {
        page = FindPage(title);
        if (page.isEmpty()) QThread::msleep(100);
    }
    ASSERT_FALSE(page.isEmpty()) << "cups-pdf wrote no page titled " << title.toStdString()
                                 << " into " << CupsPdfFolders().join(", ").toStdString()
                                 << "; log: " << Tail(ServerDir + "/log/error_log").toStdString();
    // Kept beside the test for a look (pdftoppm -png printed-page.pdf), removed from cups-pdf's
    // folder.
    const QString kept = QDir::current().filePath("printed-page.pdf");
    QFile::remove(kept);
    ASSERT_TRUE(QFile::copy(page, kept));
    QFile::remove(page);

    const QString info = RunTool("pdfinfo", {kept});
    EXPECT_TRUE(info.contains(QRegularExpression("Pages:\\s+1\\n"))) << info.toStdString();
    EXPECT_TRUE(
        info.contains(QRegularExpression("Page size:\\s+595(\\.\\d+)? x (841\\.\\d+|842) pts")))
        << info.toStdString();

    const TGrayImage image = RenderFirstPage(kept, 72);
    const TPdfBox ink = InkBox(image);
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
