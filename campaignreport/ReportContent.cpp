#include "campaignreport/ReportContent.h"

#include <cstdio>

#include "analysis/FreqAnalysisText.h"
#include "analysis/LeadLayout.h"

namespace {

std::string OrNone(const std::string& text) {
    return text.empty() ? "未填写" : text;
}

std::string Hz(int f) {
    return std::to_string(f) + "Hz";
}

TReportBlock Heading(std::string text) {
    TReportBlock b;
    b.Kind = TBlockKind::Heading;
    b.Text = std::move(text);
    return b;
}

TReportBlock Text(std::string text) {
    TReportBlock b;
    b.Kind = TBlockKind::Text;
    b.Text = std::move(text);
    return b;
}

TReportBlock Fields(std::vector<std::pair<std::string, std::string>> fields,
                    bool sideBySide = true) {
    TReportBlock b;
    b.Kind = TBlockKind::Fields;
    b.Fields = std::move(fields);
    b.FieldsSideBySide = sideBySide;
    return b;
}

TReportBlock Table(TReportTable table) {
    TReportBlock b;
    b.Kind = TBlockKind::Table;
    b.Table = std::move(table);
    return b;
}

TReportBlock Overview(const TCampaignReport& r) {
    const TSite& s = r.Site;
    const TCampaign& c = r.Campaign;
    std::vector<std::pair<std::string, std::string>> f{{"场地名称", OrNone(s.Name)},
                                                       {"电压等级", OrNone(s.VoltageLevel)},
                                                       {"地网尺寸", OrNone(s.GridSize)}};
    if (!s.Location.empty()) f.emplace_back("场地位置", s.Location);
    if (c.Corrects) {
        std::string corrected = "另一次已审核的测试";
        for (const TCampaignSummary& e : r.Earlier)
            if (e.Campaign.Id == c.Corrects) corrected = e.Campaign.Date + " 的测试";
        f.emplace_back("更正", "本次测试更正" + corrected + "，以本次的值为准");
    }
    f.insert(f.end(), {{"测试日期", OrNone(c.Date)},
                       {"测试人员", OrNone(c.Testers)},
                       {"天气", OrNone(c.Weather)},
                       {"土壤状况", OrNone(c.Soil)}});
    f.emplace_back("测试仪器", "KR3090 大地网接地参数综合测试仪" +
                                   (c.InstrumentSerial.empty() ? std::string()
                                                               : "，编号 " + c.InstrumentSerial));
    return Fields(std::move(f));
}

TReportBlock Method(const TCampaignReport& r) {
    std::string frequencies;
    for (const TFrequencyMean& m : r.Analysis.Means)
        frequencies += (frequencies.empty() ? "" : "、") + Hz(m.Frequency);
    return Fields({{"引线布置", OrNone(r.Campaign.LeadLayout)},
                   {"引线长度", OrNone(r.Campaign.LeadLengths)},
                   {"测试频率", frequencies.empty() ? "无" : frequencies},
                   {"工频", Hz(r.Analysis.PowerFrequency)}});
}

// A plateau measurement: some checked record says where its probe stood.
bool HasPlateau(const TCampaignReport& r) {
    const std::vector<bool> checked = ReportChecked(r);
    for (std::size_t k = 0; k < r.Records.size(); ++k)
        if (checked[k] && r.Records[k].ProbeDistance) return true;
    return false;
}

std::vector<TProbePosition> ReportPositions(const TCampaignReport& r) {
    std::vector<std::optional<double>> at;
    for (const TArchivedRecord& record : r.Records) at.push_back(record.ProbeDistance);
    return ProbePositionValues(ReportRecordValues(r), at, ReportChecked(r),
                               r.Campaign.Layout.ProbeDistance, r.Campaign.PowerFrequency);
}

TPlateau ReportPlateau(const TCampaignReport& r) {
    return PlateauCheck(ReportPositions(r), r.Campaign.Layout.CurrentDistance.value_or(0));
}

// The rules over the layout and the smallest current of the records used,
// and over the probe's positions when it was moved.
std::vector<TLayoutWarning> ReportWarnings(const TCampaignReport& r) {
    std::vector<TLayoutWarning> warnings = LayoutWarnings(
        r.Campaign.Layout, SmallestTestCurrent(ReportRecordValues(r), ReportChecked(r)));
    if (HasPlateau(r))
        for (TLayoutWarning& w : ReportPlateau(r).Warnings) warnings.push_back(std::move(w));
    return warnings;
}

// "568m：1.950Ω；618m：2.000Ω；668m：2.050Ω" and how far they are apart.
void AddPlateau(const TCampaignReport& r, std::vector<TReportBlock>& blocks) {
    if (!HasPlateau(r)) return;
    std::string values;
    for (const TProbePosition& p : ReportPositions(r))
        values += (values.empty() ? "" : "；") + LayoutNumber(p.ProbeDistance, 2) + "m：" +
                  ReportOhms(p.Z);
    const TPlateau plateau = ReportPlateau(r);
    std::string verdict = "无法检验";
    if (plateau.Spread)
        verdict = LayoutNumber(*plateau.Spread, 1) +
                  (plateau.Agrees ? "%，形成平台" : "%，未形成平台");
    blocks.push_back(Fields({{"各测点工频值（d_PG）", values.empty() ? "无" : values},
                             {"测点相差", verdict}},
                            false));
    TReportBlock plot;
    plot.Kind = TBlockKind::Plateau;
    plot.Positions = ReportPositions(r);
    plot.CurrentDistance = r.Campaign.Layout.CurrentDistance.value_or(0);
    if (plot.Positions.size() >= 2) blocks.push_back(std::move(plot));
}

TReportBlock LayoutFields(const TCampaignReport& r) {
    const TLeadLayout& l = r.Campaign.Layout;
    return Fields(
        {{"布线参数", LayoutInputsText(l)}, {"修正系数 Z/Z'", FactorText(LayoutFactor(l))}}, false);
}

TReportTable RecordsTable(const TCampaignReport& r) {
    TReportTable t;
    t.Headers = AnalysisRecordHeaders();
    t.WrapColumn = RecordNoteColumn;
    const std::vector<bool> checked = ReportChecked(r);
    for (std::size_t k = 0; k < r.Records.size(); ++k) {
        std::vector<std::string> cells = AnalysisRecordCells(
            r.Records[k].Number, r.Records[k].Values, r.Campaign.PowerFrequency);
        if (!checked[k]) {
            std::string& note = cells[RecordNoteColumn];
            note = "未勾选，不参与计算" + (note.empty() ? "" : "；" + note);
        }
        t.Rows.push_back(std::move(cells));
        t.Greyed.push_back(!checked[k]);
    }
    return t;
}

TReportTable MeansTable(const TCampaignReport& r) {
    TReportTable t;
    t.Headers = AnalysisMeanHeaders();
    t.WrapColumn = MeanNoteColumn;
    for (const TFrequencyMean& m : r.Analysis.Means) {
        t.Rows.push_back(AnalysisMeanCells(m, r.Analysis));
        t.Greyed.push_back(false);
    }
    return t;
}

std::string Percent(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g%%", v);
    return text;
}

void AddValue(const TCampaignReport& r, std::vector<TReportBlock>& blocks) {
    const TAnalysisResultTexts texts = AnalysisResultTexts(r.Analysis, r.Records.size());
    const std::string comparison = LimitComparisonText(r.Analysis.TwoPoint, r.Campaign.Limit);
    if (!r.Analysis.TwoPoint) {
        // No number at all: the reason stands where the value would.
        blocks.push_back(Fields({{"工频值", texts.Method}, {"与设定限值比较", comparison}}, false));
        return;
    }
    blocks.push_back(Fields(
        {{"工频值", texts.TwoPoint}, {"计算方法", texts.Method}, {"与设定限值比较", comparison}}));
    blocks.push_back(Text(texts.LineFit));
    // The measured value above stays; the corrected one stands beside it with what made it.
    const TLeadLayout& l = r.Campaign.Layout;
    const TLayoutFactor f = LayoutFactor(l);
    const std::string corrected = CorrectedText(r.Analysis.TwoPoint->Value.Z, f);
    blocks.push_back(Fields({{"实测 Z0", ImpedanceText(r.Analysis.TwoPoint->Value.Z)},
                             {"修正系数 Z/Z'", FactorText(f)},
                             {"修正后 Z0", corrected.empty() ? "无" : corrected},
                             {"修正依据", "Z = Z' / (1 - (D/2)(1/d_PG + 1/d_CG - 1/d_PC))，" +
                                              FormulaInputsText(l, f)}},
                            false));    AddPlateau(r, blocks);
}

}  // namespace

std::string PageNumberText(int page, int pages) {
    return "第 " + std::to_string(page) + " 页 共 " + std::to_string(pages) + " 页";
}

TReportContent CampaignReportContent(const TCampaignReport& r) {
    TReportContent c;
    c.Title = "大地网接地参数测试报告";
    c.Footer = r.Site.Name + "  " + r.Campaign.Date;
    std::vector<TReportBlock>& b = c.Blocks;

    b.push_back(Heading("一、测试概况"));
    b.push_back(Overview(r));

    b.push_back(Heading("二、测试方法"));
    b.push_back(Method(r));
    b.push_back(LayoutFields(r));
    const std::string warnings = WarningsText(r.Campaign.Layout, ReportWarnings(r));
    b.push_back(Text(warnings));
    b.push_back(
        Text("在工频两侧的测试频率下测量，工频值由工频两侧最近的测试频率线性插值求得，"
             "不外推；工频点的记录只列出，不参与工频值计算。"));

    const TAnalysisResultTexts texts = AnalysisResultTexts(r.Analysis, r.Records.size());
    b.push_back(Heading("三、测试记录"));
    b.push_back(Text(texts.Count));
    if (!r.Records.empty()) b.push_back(Table(RecordsTable(r)));

    b.push_back(Heading("四、各频率平均值"));
    if (r.Analysis.Means.empty()) {
        b.push_back(Text("没有勾选的记录，无平均值"));
    } else {
        b.push_back(
            Text("R、X取平均，|Z|、Φ由平均后的R、X求得；|Z|离散度 = (最大 - 最小) / 平均，"
                 "超出容差 " +
                 Percent(r.Tolerance) + " 时在说明中标出。"));
        b.push_back(Table(MeansTable(r)));
    }

    b.push_back(Heading("五、R、X、|Z| 与频率"));
    if (r.Analysis.Used > 0) {
        TReportBlock plot;
        plot.Kind = TBlockKind::Plot;
        b.push_back(std::move(plot));
    } else {
        b.push_back(Text("没有可画的记录"));
    }

    b.push_back(Heading("六、工频接地阻抗"));
    AddValue(r, b);
    b.push_back(Text(warnings));

    b.push_back(Heading("七、历史测试对比"));
    if (r.Earlier.empty()) b.push_back(Text("档案中没有该场地更早的测试。"));
    TReportTable history;
    history.Headers = HistoryHeaders();
    history.Rows = HistoryRows(r);
    history.Greyed.assign(history.Rows.size(), false);
    history.WrapColumn = int(history.Headers.size()) - 1;
    b.push_back(Table(std::move(history)));

    b.push_back(Heading("八、备注"));
    b.push_back(Text(r.Campaign.Remarks.empty() ? "无" : r.Campaign.Remarks));

    TReportBlock signatures;
    signatures.Kind = TBlockKind::Signatures;
    signatures.Signers = {"测试人员", "审核人员"};
    // The reviewer as the archive (on a server, the server) recorded it.
    signatures.Signed = {{}, {r.Campaign.Reviewer, r.Campaign.ReviewedAt}};
    b.push_back(std::move(signatures));
    return c;
}
