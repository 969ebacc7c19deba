// The campaign report written and read back: the PDF with poppler's tools,
// the .odt through a real LibreOffice, the printed pages from the spool of a
// real CUPS queue. The known campaign: seven records from 40 to 60 Hz, one at
// 50 Hz, one of another set-up left unchecked, a limit of 0.5 Ω, and on its
// site two campaigns before it (one with a value, one without), a later one
// and itself, as the archive lists them.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cmath>

#include "PdfPages.h"
#include "PrintServer.h"
#include "analysis/FreqAnalysisText.h"
#include "analysis/FreqPlot.h"
#include "campaignreport/CampaignReportOutput.h"
#include "campaignreport/ReportContent.h"
#include "campaignreport/ReportOdt.h"
#include "campaignreport/ReportPages.h"
#include "campaignreport/RetestDue.h"
#include "campaignreport/SiteTable.h"
#include "report/PrintTarget.h"
#include "report/Report.h"

namespace {

// A record giving R and X: U = |Z|, I = 1, Φ = atan2(X, R).
TArchivedRecord At(int number, int f, double r, double x) {
    TArchivedRecord a;
    a.Number = number;
    a.Values.Frequency = f;
    a.Values.U = std::hypot(r, x);
    a.Values.I = 1;
    a.Values.Phi = PhaseOf(r, x);
    a.Values.Year = 25;
    a.Values.Month = 3;
    a.Values.Day = 3;
    a.Values.Hour = 14;
    a.Values.Minute = number;
    return a;
}

TCampaignSummary Summary(std::int64_t id, const std::string& date, int records,
                         std::optional<double> z, TValueMethod method) {
    TCampaignSummary s;
    s.Campaign.Id = id;
    s.Campaign.SiteId = 3;
    s.Campaign.Date = date;
    s.Records = records;
    if (z) s.Value.TwoPoint = TTwoPointValue{45, 55, {*z, 0, *z, 0}};
    s.Value.Method = method;
    return s;
}

TSite KnownSite() {
    TSite s;
    s.Id = 3;
    s.Name = "城东110kV变电站";
    s.VoltageLevel = "110kV";
    s.GridSize = "120m×80m";
    s.Location = "城东开发区纬三路";
    return s;
}

TCampaign KnownCampaignConditions() {
    TCampaign c;
    c.Id = 12;
    c.SiteId = 3;
    c.Date = "2025-03-03";
    c.Testers = "张工、李工";
    c.Weather = "晴，12℃";
    c.Soil = "干燥";
    c.LeadLayout = "直线法，电流极与电压极同向";
    c.LeadLengths = "电流极 800m，电压极 500m";
    c.InstrumentSerial = "KR3090-2301-017";
    c.Remarks = "电压极移动±5%复测，读数一致。";
    c.Limit = 0.5;
    // D from 120 m × 80 m; the records' 1 A breaks the current rule.
    c.Layout = {TLayoutMethod::StraightLine, std::nullopt, 120, 80, 800, 500, 0.0,
                TSoilKind::Uniform};
    return c;
}

TCampaignReport KnownCampaign() {
    // Means 45 Hz 0.41 + j0.13, 55 Hz 0.45 + j0.17: R0 0.43, X0 0.15, Z0 = √0.2074 = 0.45541 Ω.
    std::vector<TArchivedRecord> records{
        At(1, 40, 0.38, 0.10), At(2, 45, 0.40, 0.12), At(3, 45, 0.42, 0.14), At(4, 50, 0.43, 0.15),
        At(5, 55, 0.45, 0.17), At(6, 60, 0.47, 0.19), At(7, 55, 0.90, 0.40)};
    const std::vector<TCampaignSummary> site{
        Summary(14, "2026-04-01", 5, 0.7, TValueMethod::TwoPoint),   // later: not history
        Summary(12, "2025-03-03", 7, 0.45, TValueMethod::TwoPoint),  // itself
        Summary(4, "2021-04-10", 12, 0.4, TValueMethod::TwoPoint),
        Summary(9, "2023-05-12", 6, std::nullopt, TValueMethod::NothingAbove)};
    return CampaignReportOf(KnownSite(), KnownCampaignConditions(), std::move(records),
                            {true, true, true, true, true, true, false}, site);
}

QString Squeezed(const QString& s) {
    return s.simplified();
}

// Cells joined by one blank, empty ones dropped: a table row as pdftotext
// -layout or a text export gives it, once its runs of blanks are squeezed.
QString RowText(const std::vector<std::string>& cells) {
    QStringList parts;
    for (const std::string& c : cells)
        if (!c.empty()) parts << QString::fromStdString(c);
    return Squeezed(parts.join(' '));
}

// The pages' texts as pdftotext -layout reads them, each line squeezed.
QList<QStringList> PdfTextPages(const QString& file) {
    QList<QStringList> pages;
    for (const QString& page : RunTool("pdftotext", {"-layout", "-enc", "UTF-8", file, "-"})
                                   .split(QLatin1Char('\f'), Qt::SkipEmptyParts)) {
        QStringList lines;
        for (const QString& l : page.split(QLatin1Char('\n')))
            if (!l.trimmed().isEmpty()) lines << Squeezed(l);
        pages << lines;
    }
    return pages;
}

int PdfPageCount(const QString& file) {
    const QRegularExpressionMatch m =
        QRegularExpression("Pages:\\s+(\\d+)").match(RunTool("pdfinfo", {file}));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// Every text the known campaign's report must show, each on one line.
QStringList KnownReportLines(const TCampaignReport& r) {
    QStringList lines{"大地网接地参数测试报告",
                      "场地名称：城东110kV变电站",
                      "电压等级：110kV",
                      "地网尺寸：120m×80m",
                      "测试日期：2025-03-03",
                      "测试人员：张工、李工",
                      "天气：晴，12℃",
                      "土壤状况：干燥",
                      "测试仪器：KR3090 大地网接地参数综合测试仪，编号 KR3090-2301-017",
                      "引线布置：直线法，电流极与电压极同向",
                      "引线长度：电流极 800m，电压极 500m",
                      "测试频率：40Hz、45Hz、50Hz、55Hz、60Hz",
                      "共7条记录，已勾选6条，计入6条",
                      "计算方法：由 45Hz 与 55Hz 线性插值",
                      "与设定限值比较：设定限值 500.0mΩ，Z0 低于设定限值 44.58mΩ",
                      "2021-04-10 50Hz 12 400.0mΩ 由 45Hz 与 55Hz 线性插值",
                      "2023-05-12 50Hz 6 无 没有高于50Hz的测试频率，无工频值（不外推）",
                      "2025-03-03 50Hz 7 455.4mΩ +13.9% 本次测试；由 45Hz 与 55Hz 线性插值",
                      "电压极移动±5%复测，读数一致。",
                      "测试人员（签字）：",
                      "审核人员（签字）：",
                      "布线参数：直线法，D = 144.22m（120m×80m），d_CG = 800m，d_PG = 500m",
                      "修正系数 Z/Z'：0.994",
                      "实测 Z0：455.4mΩ",
                      "修正后 Z0：452.6mΩ（实测 455.4mΩ × 0.994）",
                      "修正依据：Z = Z' / (1 - (D/2)(1/d_PG + 1/d_CG - 1/d_PC))，D = 144.22m",
                      "d_PC = 300m",
                      "测试电流 1A，小于 3A（依据：变频测量：测试电流不小于3A）"};
    lines << Squeezed("工频值：" + QString::fromStdString(
                                       AnalysisResultTexts(r.Analysis, r.Records.size()).TwoPoint));
    // The records as the analysis window shows them, the unchecked one marked.
    for (std::size_t k = 0; k < r.Records.size(); ++k) {
        std::vector<std::string> cells = AnalysisRecordCells(
            r.Records[k].Number, r.Records[k].Values, r.Campaign.PowerFrequency);
        if (k == 6) cells.back() = "未勾选，不参与计算";
        lines << RowText(cells);
    }
    for (const TFrequencyMean& m : r.Analysis.Means)
        lines << RowText(AnalysisMeanCells(m, r.Analysis));
    return lines;
}

QString Unspaced(QString s) {
    return s.remove(QRegularExpression("\\s"));
}

// The texts that no line of the pages holds. Blanks do not count: the pages
// align values in columns.
QStringList Missing(const QStringList& wanted, const QList<QStringList>& pages) {
    QStringList all;
    for (const QStringList& p : pages)
        for (const QString& l : p) all << Unspaced(l);
    QStringList missing;
    for (const QString& w : wanted)
        if (!std::any_of(all.begin(), all.end(),
                         [&](const QString& l) { return l.contains(Unspaced(w)); }))
            missing << w;
    return missing;
}

// Where the report writes what a person may look at after the run.
QString Kept(const QString& name) {
    return QDir::current().filePath(name);
}

TEST(CampaignReportPdf, AKnownCampaignReadsBackWithEveryReadingItsValueAndItsHistory) {
    const TCampaignReport report = KnownCampaign();
    const QString pdf = Kept("campaign-report.pdf");
    WriteCampaignReportPdf(report, pdf);

    const QList<QStringList> pages = PdfTextPages(pdf);
    const int count = PdfPageCount(pdf);
    ASSERT_EQ(pages.size(), count);
    EXPECT_EQ(count, 3);  // the layout check and the corrected value take a third page
    EXPECT_EQ(Missing(KnownReportLines(report), pages), QStringList());
    for (int n = 1; n <= count; ++n)
        EXPECT_TRUE(
            pages[n - 1].last().endsWith(QStringLiteral("第 %1 页 共 %2 页").arg(n).arg(count)))
            << pages[n - 1].last().toStdString();
    // Neither the later campaign nor a pass/fail verdict.
    const QString all = [&] {
        QStringList l;
        for (const QStringList& p : pages) l << p;
        return l.join('\n');
    }();
    EXPECT_FALSE(all.contains("2026-04-01"));
    EXPECT_FALSE(all.contains("合格"));
    // Not reviewed: the reviewer's line stays to be signed, with nothing on it.
    EXPECT_TRUE(all.contains("\n审核人员（签字）： 日期：\n")) << all.toStdString();

    // Every font is embedded.
    const QStringList fonts = RunTool("pdffonts", {pdf}).split('\n', Qt::SkipEmptyParts).mid(2);
    EXPECT_FALSE(fonts.isEmpty());
    for (const QString& f : fonts) {
        const QStringList columns = f.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
        ASSERT_GE(columns.size(), 5) << f.toStdString();
        EXPECT_EQ(columns[columns.size() - 5], "yes") << "not embedded: " << f.toStdString();
    }

    // The plot, as text and vectors: its legend is text, and its frame holds ink.
    const QList<TPdfPage> boxes = ReadPdfPages(pdf);
    int plotPage = -1;
    double legendTop = 0;
    for (int p = 0; p < boxes.size(); ++p)
        for (const TPdfLine& l : boxes[p].Lines)
            if (l.Text.contains(QStringLiteral("R（电阻分量）"))) {
                plotPage = p;
                legendTop = l.Box.yMin;
            }
    ASSERT_GE(plotPage, 0) << "no plot legend in the text";
    const TGrayImage image = RenderPage(pdf, plotPage + 1, 72);
    // The axes' area: below the legend, the plot's width less its labels.
    const double left = (ReportMarginLeft + 20) * PointsPerMm;
    const double right = (ReportMarginLeft + ReportPlotWidth - 10) * PointsPerMm;
    int ink = 0;
    for (int y = int(legendTop + 20); y < int(legendTop + 200); ++y)
        for (int x = int(left); x < int(right); ++x) ink += image.At(x, y) < 160;
    // The three series' marks and lines give about 1300 dark pixels; the f0
    // line and its label alone a few hundred.
    EXPECT_GT(ink, 800) << "the plot's area is nearly empty";
}

TEST(CampaignReportPdf, WithoutAValueTheReasonStandsAndTheRecordsRunOverPagesUnderTheirHeader) {
    // 60 records, all below 50 Hz: no value, nothing extrapolated.
    std::vector<TArchivedRecord> records;
    for (int k = 1; k <= 60; ++k) records.push_back(At(k, k % 2 ? 40 : 45, 0.4, 0.1));
    TCampaign campaign = KnownCampaignConditions();
    campaign.Limit.reset();
    // Reviewed, and the correction of an earlier campaign the archive does not list.
    campaign.Reviewer = "审核员王工";
    campaign.ReviewedAt = "2025-03-05 16:20:00";
    campaign.Corrects = 41;
    const TCampaignReport noValue =
        CampaignReportOf(KnownSite(), campaign, std::move(records), {}, {});
    const QString pdf = Kept("campaign-report-no-value.pdf");
    WriteCampaignReportPdf(noValue, pdf);
    const QList<QStringList> pages = PdfTextPages(pdf);
    EXPECT_EQ(Missing({"工频值：没有高于50Hz的测试频率，无工频值（不外推）",
                       "与设定限值比较：无工频值，不作比较", "档案中没有该场地更早的测试。",
                       "2025-03-03 50Hz 60 无 本次测试；更正的测试；没有高于50Hz的测试频率",
                       "更正：本次测试更正另一次已审核的测试，以本次的值为准"},
                      pages),
              QStringList());
    const QStringList last = pages.last();
    EXPECT_TRUE(last.contains("审核人员（签字）： 审核员王工 日期： 2025-03-05 16:20:00"))
        << last.join('\n').toStdString();

    // Each record once, in order; every page that holds records has the header above them.
    const QString header = RowText(AnalysisRecordHeaders());
    int next = 1;
    for (const QStringList& page : pages) {
        bool underHeader = false;
        for (const QString& line : page) {
            if (line == header) underHeader = true;
            if (QRegularExpression("^0\\d\\d 2025-03-03").match(line).hasMatch()) {
                EXPECT_TRUE(underHeader) << line.toStdString();
                EXPECT_TRUE(line.startsWith(QStringLiteral("%1 ").arg(next, 3, 10, QChar('0'))))
                    << line.toStdString();
                ++next;
            }
        }
    }
    EXPECT_EQ(next, 61);
    EXPECT_GE(pages.size(), 3);

    // No records at all: the reasons, and no number where the value would be.
    const QString empty = Kept("campaign-report-empty.pdf");
    WriteCampaignReportPdf(CampaignReportOf(KnownSite(), campaign, {}, {}, {}), empty);
    const QList<QStringList> emptyPages = PdfTextPages(empty);
    EXPECT_EQ(Missing({"共0条记录，已勾选0条，计入0条", "没有勾选的记录，无平均值",
                       "没有可画的记录", "工频值：没有可分析的记录",
                       "与设定限值比较：无工频值，不作比较", "第 1 页 共 1 页"},
                      emptyPages),
              QStringList());
    for (const QList<QStringList>* p : {&pages, &emptyPages})
        for (const QStringList& page : *p)
            for (const QString& line : page)
                EXPECT_FALSE(line.contains("Z0 ：")) << line.toStdString();
}

TEST(CampaignReportText, TheNextTestIsTheLastPlusTheIntervalAndTheListStopsAtItsEdge) {
    const auto site = [](const char* name, const char* last, std::optional<int> years = {}) {
        TSite s;
        s.Name = name;
        s.VoltageLevel = "110kV";
        s.LastTest = last;
        s.RetestYears = years;
        return s;
    };
    // 29 February moves to 28 February; an interval of its own; no campaign,
    // or a date that does not read: no date, never a guess.
    EXPECT_EQ(NextTestDate(site("a", "2020-02-29")), "2026-02-28");
    EXPECT_EQ(NextTestDate(site("a", "2019-02-28", 5)), "2024-02-28");
    EXPECT_EQ(NextTestDate(site("a", "")), std::nullopt);
    EXPECT_EQ(NextTestDate(site("a", "2019-2-28")), std::nullopt);
    EXPECT_EQ(NextTestDate(site("a", "2019-02-30")), std::nullopt);
    EXPECT_EQ(SiteTableCells(site("a", "2020-02-29")).back(), "2026-02-28");

    // Today 2026-01-31; one month on is 2026-02-28 (the month's last day),
    // which is inside, the day after outside.
    const std::vector<TSite> sites{site("丙", "2020-02-28"),     site("壬", "2020-03-01"),
                                   site("乙", "2020-02-27"),
                                   site("甲", "2020-02-27"),     site("丁", "2021-01-31", 5),
                                   site("戊", "2018-06-01", 3),  site("己", ""),
                                   site("庚", "2024-01-31", 10)};
    const std::vector<TRetestDue> due = RetestDue(sites, "2026-01-31", 1);
    std::vector<std::string> rows;
    for (const TRetestDue& d : due) {
        std::string row;
        for (const std::string& cell : RetestTableCells(d)) row += cell + "|";
        rows.push_back(row);
    }
    EXPECT_EQ(rows, (std::vector<std::string>{
                        "戊|110kV|2018-06-01|3年|2021-06-01|逾期 1705 天|",
                        "丁|110kV|2021-01-31|5年|2026-01-31|今天到期|",
                        "乙|110kV|2020-02-27|6年|2026-02-27|27 天后到期|",
                        "甲|110kV|2020-02-27|6年|2026-02-27|27 天后到期|",
                        "丙|110kV|2020-02-28|6年|2026-02-28|28 天后到期|",
                    }));
    EXPECT_EQ(RetestCsvLines({due[1]}),
              (std::vector<std::string>{"场地,电压等级,上次测试,复测周期(年),下次测试,距到期(天),状态",
                                        "丁,110kV,2021-01-31,5,2026-01-31,0,今天到期"}));
    EXPECT_EQ(RetestDue(sites, "2026-01-31", 0).size(), 2u);  // due by today: overdue and today's
    EXPECT_TRUE(RetestDue(sites, "2026-13-01", 1).empty());
    EXPECT_TRUE(RetestDue(sites, "2026-01-31", -1).empty());
}

// The probe at 470, 500 (the layout's d_PG, for records that name none) and
// 530 m of d_CG 800 m: each position's value, their spread, the rule broken.
// An unchecked record and a position without a value stay out.
TEST(CampaignReportText, APlateauShowsEachPositionsValueAndWhetherTheyAgree) {
    std::vector<TArchivedRecord> records;
    std::vector<bool> checked;
    const auto at = [&](std::optional<double> probe, int f, double r, bool on = true) {
        records.push_back(At(int(records.size()) + 1, f, r, 0));
        records.back().ProbeDistance = probe;
        checked.push_back(on);
    };
    for (const auto& [probe, r] : {std::pair{std::optional(470.0), 0.40},
                                   {std::optional<double>(), 0.42}, {std::optional(530.0), 0.43}}) {
        at(probe, 45, r);
        at(probe, 55, r);
    }
    at(530.0, 45, 0.9, false);
    at(600.0, 45, 0.5);
    const TCampaignReport report = CampaignReportOf(KnownSite(), KnownCampaignConditions(),
                                                    records, checked, {});
    QStringList lines;
    for (const TReportBlock& b : CampaignReportContent(report).Blocks) {
        for (const auto& [key, value] : b.Fields) lines << QString::fromStdString(key + "：" + value);
        for (const QString& l : QString::fromStdString(b.Text).split('\n')) lines << l;
    }
    EXPECT_TRUE(lines.contains("各测点工频值（d_PG）：470m：400.0mΩ；500m：420.0mΩ；530m：430.0mΩ"))
        << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.contains("测点相差：7.2%，未形成平台"));
    EXPECT_TRUE(lines.contains("三个测点相差 7.2%，未形成平台（依据：平台检验：电压极沿引线移动三次，"
                               "每次约为电流极距离的5%，三个测值相差不超过5%）"));
    // Its plot: the three positions against d_PG / d_CG, drawn, and said in words.
    const TReportContent content = CampaignReportContent(report);
    const auto plateau = std::find_if(content.Blocks.begin(), content.Blocks.end(),
                                      [](const TReportBlock& b) { return b.Kind == TBlockKind::Plateau; });
    ASSERT_NE(plateau, content.Blocks.end());
    EXPECT_EQ(PlateauPlotDescription(plateau->Positions, plateau->CurrentDistance),
              "各测点工频值：d_PG / d_CG = 0.5875：400.0mΩ；d_PG / d_CG = 0.625：420.0mΩ；"
              "d_PG / d_CG = 0.6625：430.0mΩ");
    const QImage picture = ReportPlateauPicture(plateau->Positions, plateau->CurrentDistance, 100);
    EXPECT_EQ(picture.size(), QSize(669, 244));
    int ink = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) ink += qGray(picture.pixel(x, y)) < 100;
    EXPECT_GT(ink, 1500);
    picture.save(Kept("campaign-plateau.png"));
    // On the pages too, below its section's lines.
    const QString pdf = Kept("campaign-plateau.pdf");
    WriteCampaignReportPdf(report, pdf);
    EXPECT_TRUE(Missing({"各测点工频值（d_PG）：470m：400.0mΩ；500m：420.0mΩ；530m：430.0mΩ",
                         "各测点工频值（阴影：平均值±2.5%）", "d_PG / d_CG"},
                        PdfTextPages(pdf))
                    .isEmpty());
    // Without a record's own distance there is no plateau to show.
    for (TArchivedRecord& r : records) r.ProbeDistance.reset();
    const TCampaignReport plain =
        CampaignReportOf(KnownSite(), KnownCampaignConditions(), records, checked, {});
    for (const TReportBlock& b : CampaignReportContent(plain).Blocks)
        for (const auto& field : b.Fields) EXPECT_NE(field.first, "测点相差");
}

TEST(CampaignReportText, TheLimitIsComparedNeverJudged) {
    const auto value = [](double z) { return std::optional(TTwoPointValue{45, 55, {z, 0, z, 0}}); };
    EXPECT_EQ(LimitComparisonText(value(1.733), 2.0), "设定限值 2.000Ω，Z0 低于设定限值 267.0mΩ");
    EXPECT_EQ(LimitComparisonText(value(2.15), 2.0), "设定限值 2.000Ω，Z0 超过设定限值 150.0mΩ");
    EXPECT_EQ(LimitComparisonText(value(2.0), 2.0), "设定限值 2.000Ω，Z0 等于设定限值");
    EXPECT_EQ(LimitComparisonText(value(2.0), std::nullopt), "未填写设定限值，不作比较");
    EXPECT_EQ(LimitComparisonText(value(2.0), 0.0), "设定限值无效，不作比较");
    EXPECT_EQ(LimitComparisonText(value(2.0), std::nan("")), "设定限值无效，不作比较");
    EXPECT_EQ(LimitComparisonText(std::nullopt, 2.0), "无工频值，不作比较");
}

TEST(CampaignReportOdt, LibreOfficeReadsTheSameTextsTablesAndThePlotPicture) {
    const TCampaignReport report = KnownCampaign();
    const QString odt = Kept("campaign-report.odt");
    WriteCampaignReportOdt(report, odt);

    // LibreOffice in a profile of its own, so runs beside each other never meet.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    RunTool("soffice",
            {"-env:UserInstallation=file://" + dir.filePath("profile"), "--headless",
             "--convert-to", "txt:Text (encoded):UTF8", "--outdir", dir.path(), odt},
            180000);
    QFile txt(dir.filePath("campaign-report.txt"));
    ASSERT_TRUE(txt.open(QIODevice::ReadOnly)) << "LibreOffice wrote no text";
    // A table comes out one cell a line: join each row's cells back.
    QStringList lines;
    for (const QString& l : QString::fromUtf8(txt.readAll()).split('\n'))
        if (!l.trimmed().isEmpty()) lines << Squeezed(l);
    const QString text = lines.join(' ');
    for (const QString& w : KnownReportLines(report))
        EXPECT_TRUE(text.contains(w)) << w.toStdString();

    // The plot is a picture painted at 300 dpi, 170 mm wide.
    const QStringList listing = RunTool("unzip", {"-Z1", odt}).split('\n', Qt::SkipEmptyParts);
    const QStringList pictures = listing.filter(QRegularExpression("^Pictures/"));
    ASSERT_EQ(pictures.size(), 1) << listing.join(' ').toStdString();
    QProcess unzip;
    unzip.start("unzip", {"-p", odt, pictures[0]});
    ASSERT_TRUE(unzip.waitForFinished(30000));
    const QImage plot = QImage::fromData(unzip.readAllStandardOutput(), "PNG");
    EXPECT_EQ(plot.width(), qRound(ReportPlotWidth / 25.4 * 300));

    // Chinese text takes the Asian properties: the title at 18 points and the
    // headings at 12, bold, as LibreOffice reads them back into its styles.
    RunTool("soffice",
            {"-env:UserInstallation=file://" + dir.filePath("profile"), "--headless",
             "--convert-to", "fodt", "--outdir", dir.path(), odt},
            180000);
    QFile flat(dir.filePath("campaign-report.fodt"));
    ASSERT_TRUE(flat.open(QIODevice::ReadOnly)) << "LibreOffice wrote no flat document";
    const QString styles = QString::fromUtf8(flat.readAll());
    const auto styled = [&](const QString& size, bool bold) {
        const QRegularExpression props("<style:text-properties [^>]*>");
        int n = 0;
        for (const QRegularExpressionMatch& m : props.globalMatch(styles)) {
            const QString p = m.captured();
            n += p.contains("style:font-size-asian=\"" + size + "\"") &&
                 p.contains("style:font-weight-asian=\"bold\"") == bold &&
                 p.contains("style:font-name-asian=");
        }
        return n;
    };
    EXPECT_GE(styled("18pt", true), 1) << "title";
    EXPECT_GE(styled("12pt", true), 1) << "headings";
    EXPECT_GE(styled("10.5pt", false), 1) << "body";
}

TEST(CampaignReportOutput, AFileThatCannotBeWrittenOrNoPrinterIsToldAndNothingIsLeft) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString missing = dir.filePath("no-such-folder/report.pdf");
    try {
        WriteCampaignReportPdf(KnownCampaign(), missing);
        ADD_FAILURE() << "no error";
    } catch (const EReportError& e) {
        EXPECT_EQ(
            std::string(e.what()),
            "无法写入文件“" + QDir::toNativeSeparators(missing).toStdString() + "”，报告未导出！");
    }
    EXPECT_THROW(WriteCampaignReportOdt(KnownCampaign(), dir.filePath("no-such-folder/r.odt")),
                 EReportError);
    // No print server answers here: the operator is told, nothing is written.
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    try {
        PrintCampaignReport(KnownCampaign());
        ADD_FAILURE() << "no error";
    } catch (const EReportError& e) {
        EXPECT_STREQ(e.what(), "没有可用的打印机，报告未打印！");
    }
    QDir::setCurrent(previous);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList());
}

// On the private CUPS server the ctest fixture starts (tests/report).
TEST(CampaignReportRealPrint, TheDefaultQueueGetsTheSamePagesAsThePdf) {
    TPrintServer server;
    ASSERT_TRUE(server.Problem().isEmpty()) << server.Problem().toStdString();
    TDefaultPrinterTarget printer(TPrintServer::UniqueTitle());
    SetPrintTarget(&printer);
    PrintCampaignReport(KnownCampaign());
    SetPrintTarget(nullptr);
    ASSERT_TRUE(server.WaitForJobs())
        << "the job did not finish; log: " << server.Log().toStdString();
    const QString spooled = server.NewestSpooledJob();
    ASSERT_FALSE(spooled.isEmpty()) << "no job in the server's spool";

    const QString pdf = Kept("campaign-report-for-print.pdf");
    WriteCampaignReportPdf(KnownCampaign(), pdf);
    const QList<QStringList> printed = PdfTextPages(spooled);
    EXPECT_EQ(printed, PdfTextPages(pdf));
    EXPECT_EQ(Missing(KnownReportLines(KnownCampaign()), printed), QStringList());
}

}  // namespace
