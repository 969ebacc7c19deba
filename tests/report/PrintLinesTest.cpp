// PrintLines through the PDF print target: the same layout and painting as on
// the default printer, read back with poppler.
#include <gtest/gtest.h>

#include <QDir>
#include <QPointer>
#include <QTemporaryDir>

#include "PdfPages.h"
#include "PrintFormTestLines.h"
#include "PrintRecorder.h"
#include "report/PrintTarget.h"
#include "report/SongFont.h"
#include "report/Reportfrm.h"

namespace {
// The memo of the result sheet, on the paper: 207.17 mm wide, centred across
// the 209 mm band that starts 1 mm from the left edge; 4.23 mm below the top
// edge and 180.18 mm high.
constexpr double memoCentreX = (1.0 + 209.0 / 2) * PointsPerMm;
constexpr double memoLeft = (1.0 + (209.0 - 207.17) / 2) * PointsPerMm;
constexpr double memoRight = memoLeft + 207.17 * PointsPerMm;
constexpr double memoTop = 4.23 * PointsPerMm;
constexpr double memoBottom = (4.23 + 180.18) * PointsPerMm;
// 12-point 宋体: a single-byte character is 6 points wide, a double-byte one 12.
constexpr double byteWidth = 6.0;

class PrintLinesTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        SetPrintTarget(&target);
    }
    void TearDown() override { SetPrintTarget(nullptr); }

    // Prints and reads the one page back.
    TPdfPage PrintPage(const QStringList& lines) {
        PrintLines(lines);
        EXPECT_EQ(frmReport, nullptr);
        if (target.Files().isEmpty()) {
            ADD_FAILURE() << "nothing printed";
            return {};
        }
        const QList<TPdfPage> pages = ReadPdfPages(target.Files().last());
        EXPECT_EQ(pages.size(), 1) << "one sheet per print";
        return pages.value(0);
    }

    QTemporaryDir dir;
    TPdfFileTarget target{dir.path()};
};

TEST_F(PrintLinesTest, LivePrintFormIsOneA4SheetWithItsLinesInOrder) {
    const TPdfPage page = PrintPage(LivePrintForm());
    EXPECT_NEAR(page.Width, 210 * PointsPerMm, 0.5);
    EXPECT_NEAR(page.Height, 297 * PointsPerMm, 0.5);
    EXPECT_EQ(LineTexts(page), LivePrintFormText());
}

TEST_F(PrintLinesTest, EveryLineIsCentredOnTheMemo) {
    const QStringList lines = {QStringLiteral("A"), QStringLiteral("第001条"),
                               QStringLiteral("大地网接地参数测试数据"),
                               QStringLiteral("Date：2017-02-16 12:30:30"),
                               QStringLiteral("测试时间：2017.02.16 12:30:30")};
    const TPdfPage page = PrintPage(lines);
    ASSERT_EQ(LineTexts(page), lines);
    for (const TPdfLine& line : page.Lines)
        EXPECT_NEAR(line.Box.CentreX(), memoCentreX, 0.25) << line.Text.toStdString();
}

TEST_F(PrintLinesTest, LinesFilledToEqualLengthPrintAsOneColumnCentredOnTheSheet) {
    const TPdfPage page = PrintPage(LivePrintForm());
    ASSERT_EQ(page.Lines.size(), LivePrintFormText().size());
    // 25 bytes of 6 points, centred on the memo.
    const double columnLeft = memoCentreX - 25 * byteWidth / 2;
    for (const TPdfLine& line : page.Lines) {
        // The title begins with a blank.
        const double blank = line.Text.startsWith(QStringLiteral("大地网")) ? byteWidth : 0;
        EXPECT_NEAR(line.Box.xMin, columnLeft + blank, 0.25) << line.Text.toStdString();
    }
    // The longer caption of a stored record's test time (29 bytes) stands out on both sides.
    const TPdfPage longer = PrintPage(
        {QStringLiteral("Rm：ON") + Blanks(19), QStringLiteral("测试时间：2017.02.16 12:30:30")});
    ASSERT_EQ(longer.Lines.size(), 2);
    EXPECT_NEAR(longer.Lines[0].Box.xMin, columnLeft, 0.25);
    EXPECT_NEAR(longer.Lines[1].Box.xMin, memoCentreX - 29 * byteWidth / 2, 0.25);
    EXPECT_NEAR(longer.Lines[1].Box.xMax, memoCentreX + 29 * byteWidth / 2, 0.25);
}

TEST_F(PrintLinesTest, TheFirstLineStartsAt4Point23MmBelowTheTopEdge) {
    const TPdfPage page = PrintPage({QStringLiteral("第001条 U ：12.34V")});
    ASSERT_EQ(page.Lines.size(), 1);
    EXPECT_NEAR(page.Lines[0].Box.yMin, memoTop, 0.5);

    // In the print form three empty lines come first, each as high as a printed one.
    const TPdfPage form = PrintPage(LivePrintForm());
    ASSERT_GE(form.Lines.size(), 2);
    const double spacing = form.Lines[1].Box.yMin - form.Lines[0].Box.yMin;
    EXPECT_NEAR(form.Lines[0].Box.yMin, memoTop + 3 * spacing, 0.5);
}

TEST_F(PrintLinesTest, TextIsSetIn12PointSong) {
    const TPdfPage page = PrintPage(
        {QStringLiteral("大地网接地参数测试数据"), QStringLiteral("========================")});
    ASSERT_EQ(page.Lines.size(), 2);
    // Eleven double-byte characters of 12 points, 24 single-byte ones of 6.
    EXPECT_NEAR(page.Lines[0].Box.Width(), 11 * 12.0, 0.5);
    EXPECT_NEAR(page.Lines[1].Box.Width(), 24 * byteWidth, 0.5);
    EXPECT_NEAR(page.Lines[0].Box.Height(), 12.0, 2.0);
    // One line follows the next at the font's height, not more than a quarter apart.
    const double spacing = page.Lines[1].Box.yMin - page.Lines[0].Box.yMin;
    EXPECT_GE(spacing, 12.0);
    EXPECT_LE(spacing, 15.0);
    // 宋体 is printed with the Song-style AR PL UMing.
    EXPECT_TRUE(RunTool("pdffonts", {target.Files().last()}).contains("UMing"));
}

TEST_F(PrintLinesTest, ALineWiderThanTheMemoWrapsInsideIt) {
    // 40 words of 42 points with their blank: 1680 points on a 587-point memo.
    QStringList words;
    for (int i = 0; i < 40; ++i) words << QStringLiteral("%1.34V").arg(10 + i);
    const TPdfPage page = PrintPage({words.join(' '), QStringLiteral("END")});
    ASSERT_EQ(page.Lines.size(), 4);
    QStringList wrapped;
    for (int i = 0; i < 3; ++i) {
        const TPdfLine& line = page.Lines[i];
        EXPECT_GE(line.Box.xMin, memoLeft - 0.5);
        EXPECT_LE(line.Box.xMax, memoRight + 0.5);
        EXPECT_NEAR(line.Box.CentreX(), memoCentreX, 0.25);
        wrapped << line.Text;
    }
    EXPECT_EQ(wrapped.join(' '), words.join(' ')) << "broken between words, nothing lost";
    EXPECT_EQ(page.Lines[3].Text, QStringLiteral("END"));
}

TEST_F(PrintLinesTest, LinesBeyondTheMemoAreCutAndTheSheetStaysOne) {
    QStringList lines;
    for (int i = 1; i <= 60; ++i) lines << QStringLiteral("第%1行").arg(i, 2, 10, QLatin1Char('0'));
    const TPdfPage page = PrintPage(lines);
    const QStringList printed = LineTexts(page);
    ASSERT_GE(printed.size(), 30) << "180 mm hold more than 30 lines of 12 points";
    ASSERT_LT(printed.size(), 60);
    EXPECT_EQ(printed, lines.mid(0, printed.size())) << "the first lines, in order";
    for (const TPdfLine& line : page.Lines) EXPECT_LT(line.Box.yMin, memoBottom);
}

TEST_F(PrintLinesTest, AnEmptyListPrintsABlankSheet) {
    const TPdfPage page = PrintPage({});
    EXPECT_NEAR(page.Height, 297 * PointsPerMm, 0.5);
    EXPECT_TRUE(page.Lines.isEmpty());
}

TEST_F(PrintLinesTest, EachPrintHasAFormOfItsOwnThatIsGoneAfterwards) {
    TPrintRecorder watch(target);
    SetPrintTarget(&watch);
    const QStringList first = {QStringLiteral("第001条"), QStringLiteral("Rm：ON")};
    const QStringList second = {QStringLiteral("f ：50.00Hz")};
    PrintLines(first);
    EXPECT_EQ(frmReport, nullptr);
    PrintLines(second);
    EXPECT_EQ(frmReport, nullptr);

    ASSERT_EQ(watch.Forms.size(), 2);
    EXPECT_TRUE(watch.Forms[0].isNull()) << "the first form was destroyed";
    EXPECT_TRUE(watch.Forms[1].isNull()) << "the second form was destroyed";
    EXPECT_EQ(watch.MemoLines[0], first);
    EXPECT_EQ(watch.MemoLines[1], second) << "the memo held only the second print's lines";

    ASSERT_EQ(target.Files().size(), 2);
    EXPECT_EQ(LineTexts(ReadPdfPages(target.Files()[0]).value(0)), first);
    EXPECT_EQ(LineTexts(ReadPdfPages(target.Files()[1]).value(0)), second);
}

TEST_F(PrintLinesTest, APrinterThatFailsRaisesAnErrorAfterTheFormIsGone) {
    TPdfFileTarget broken(dir.filePath("no such folder"));
    TPrintRecorder watch(broken);
    SetPrintTarget(&watch);
    try {
        PrintLines(LivePrintForm());
        ADD_FAILURE() << "no error raised";
    } catch (const EReportError& e) {
        EXPECT_EQ(QString::fromUtf8(e.what()),
                  QStringLiteral("无法在打印机“%1”上打印").arg(broken.Files().value(0)));
    }
    EXPECT_EQ(frmReport, nullptr);
    ASSERT_EQ(watch.Forms.size(), 1);
    EXPECT_TRUE(watch.Forms[0].isNull());
    EXPECT_FALSE(QFile::exists(broken.Files().value(0)));
}

TEST(ReportForm, CarriesTheResultSheetsPageAndMemo) {
    TfrmReport form;
    EXPECT_FALSE(form.isVisible());
    const TReport& rep = *form.QuickRep1;
    EXPECT_EQ(rep.objectName(), "QuickRep1");
    QStringList bands;
    for (const TReportBand* b : rep.Bands()) bands << b->objectName();
    EXPECT_EQ(bands, QStringList({"PageHeaderBand1", "TitleBand1", "PageFooterBand1"}));
    ASSERT_EQ(form.PageHeaderBand1->Memos().size(), 1);
    EXPECT_EQ(form.PageHeaderBand1->Memos()[0], form.QRMemo1);
    EXPECT_EQ(form.QRMemo1->objectName(), "QRMemo1");

    EXPECT_EQ(rep.PaperSize(), QSizeF(210, 297));
    EXPECT_DOUBLE_EQ(rep.BandWidth(), 209.0);
    // Placed centred across the band: (209 - 207.17) / 2 from the band's left edge.
    const QRectF memo = rep.MemoRect(*form.QRMemo1);
    EXPECT_NEAR(memo.left(), 1.0 + 0.915, 1e-9);
    EXPECT_NEAR(memo.top(), 4.23, 1e-9);
    EXPECT_NEAR(memo.width(), 207.17, 1e-9);
    EXPECT_NEAR(memo.height(), 180.18, 1e-9);
    // The footer sits on the bottom edge; the empty title band below the
    // over-tall page header is off the paper.
    EXPECT_NEAR(rep.BandRect(*form.PageFooterBand1).top(), 297 - 10.58, 1e-9);
    EXPECT_NEAR(rep.BandRect(*form.TitleBand1).top(), 301.1, 1e-9);
    EXPECT_EQ(form.QRMemo1->Font.family(), "SimSun");
    EXPECT_EQ(form.QRMemo1->Font.pointSizeF(), 12.0);
}

TEST_F(PrintLinesTest, OddLinesPrintWithoutHarm) {
    QStringList lines = {QStringLiteral("a\nb\r\nc"), QStringLiteral("tab\there"),
                         QString(QChar(0)) + QStringLiteral("nul"), QString(20000, QChar(u'宋'))};
    for (int i = 0; i < 5000; ++i) lines << QStringLiteral("第%1行").arg(i);
    const TPdfPage page = PrintPage(lines);
    EXPECT_NEAR(page.Height, 297 * PointsPerMm, 0.5);
    for (const TPdfLine& line : page.Lines) {
        EXPECT_LT(line.Box.yMin, memoBottom);
        EXPECT_GE(line.Box.xMin, memoLeft - 0.5);
        EXPECT_LE(line.Box.xMax, memoRight + 0.5);
    }
}

TEST(SongFont, InstallingTheSubstitutionAgainAddsNothing) {
    InstallSongFontSubstitution();
    const QStringList once = QFont::substitutes(QStringLiteral("SimSun"));
    InstallSongFontSubstitution();
    EXPECT_EQ(QFont::substitutes(QStringLiteral("SimSun")), once);
    EXPECT_EQ(QFont::substitutes(QStringLiteral("宋体")), once);
    EXPECT_EQ(once.value(0).toLower(), QStringLiteral("ar pl uming cn"));
}
}  // namespace
