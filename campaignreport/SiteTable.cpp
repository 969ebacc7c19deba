#include "campaignreport/SiteTable.h"

#include <cmath>
#include <cstdio>

#include "analysis/FreqAnalysisText.h"
#include "campaignreport/CampaignReport.h"
#include "campaignreport/RetestDue.h"
#include "protocol/Numbers.h"
#include "results/ResultCsv.h"

namespace {

std::string Hz(int f) {
    return std::to_string(f) + "Hz";
}

}  // namespace

const std::vector<std::string>& SiteTableHeaders() {
    static const std::vector<std::string> headers{"场地", "电压等级", "地网尺寸", "位置",
                                                  "下次测试"};
    return headers;
}

std::vector<std::string> SiteTableCells(const TSite& s) {
    return {s.Name, s.VoltageLevel, s.GridSize, s.Location, NextTestDate(s).value_or("")};
}

std::vector<std::optional<double>> CampaignChanges(const std::vector<TCampaignSummary>& campaigns) {
    std::vector<std::optional<double>> changes(campaigns.size());
    for (std::size_t k = 0; k < campaigns.size(); ++k) {
        const TCampaignValue& v = campaigns[k].Value;
        if (!v.TwoPoint) continue;
        for (std::size_t j = k; j-- > 0;) {
            const TCampaignValue& before = campaigns[j].Value;
            if (!before.TwoPoint || before.PowerFrequency != v.PowerFrequency) continue;
            const double z0 = before.TwoPoint->Value.Z;
            const double change = (v.TwoPoint->Value.Z - z0) / z0 * 100;
            if (std::isfinite(change)) changes[k] = change;
            break;
        }
    }
    return changes;
}

std::string ChangeText(const std::optional<double>& percent) {
    if (!percent) return "";
    char text[32];
    std::snprintf(text, sizeof text, "%+.1f%%", *percent);
    return text;
}

const std::vector<std::string>& CampaignTableHeaders() {
    static const std::vector<std::string> headers{
        "测试日期", "测试人员",   "记录数",   "工频",       "Z0",      "修正系数",
        "修正后Z0", "较前次变化", "设定限值", "与限值比较", "布线检查"};
    return headers;
}

std::vector<std::vector<std::string>> CampaignTableRows(
    const std::vector<TCampaignSummary>& campaigns) {
    const std::vector<std::optional<double>> changes = CampaignChanges(campaigns);
    std::vector<std::vector<std::string>> rows;
    for (std::size_t k = 0; k < campaigns.size(); ++k) {
        const TCampaignSummary& c = campaigns[k];
        const TCampaignValue& v = c.Value;
        // The archive keeps no records' currents in the summary: the layout's rules alone.
        const TLayoutFactor factor = LayoutFactor(c.Campaign.Layout);
        const std::optional<double> corrected =
            v.TwoPoint ? CorrectedValue(v.TwoPoint->Value.Z, factor) : std::nullopt;
        std::string checks;
        for (const TLayoutWarning& w : LayoutWarnings(c.Campaign.Layout, std::nullopt))
            checks += (checks.empty() ? "" : "；") + w.Text;
        if (checks.empty())
            checks = c.Campaign.Layout.Method == TLayoutMethod::None ? "无布线数据" : "未发现不符";
        rows.push_back({c.Campaign.Date, c.Campaign.Testers, std::to_string(c.Records),
                        Hz(v.PowerFrequency), v.TwoPoint ? ReportOhms(v.TwoPoint->Value.Z) : "无",
                        FactorText(factor), corrected ? ReportOhms(*corrected) : "无",
                        ChangeText(changes[k]),
                        c.Campaign.Limit ? ReportOhms(*c.Campaign.Limit) : "未设定",
                        LimitComparisonText(v.TwoPoint, c.Campaign.Limit), checks});
    }
    return rows;
}

std::vector<std::string> SiteCsvLines(const TSite& site,
                                      const std::vector<TCampaignSummary>& campaigns) {
    std::vector<std::string> lines{
        CsvLine({"场地", site.Name, "电压等级", site.VoltageLevel, "地网尺寸", site.GridSize,
                 "位置", site.Location, "复测周期(年)", std::to_string(RetestYears(site)),
                 "下次测试", NextTestDate(site).value_or("")}),
        "",
        CsvLine({"测试日期", "测试人员", "天气", "土壤状况", "布线方式", "引线长度", "仪器编号",
                 "记录数", "工频(Hz)", "Z0(Ω)", "R0(Ω)", "X0(Ω)", "Φ0(°)", "方法", "较前次变化(%)",
                 "设定限值(Ω)", "与限值比较", "备注"})};
    const std::vector<std::optional<double>> changes = CampaignChanges(campaigns);
    for (std::size_t k = 0; k < campaigns.size(); ++k) {
        const TCampaign& c = campaigns[k].Campaign;
        const TCampaignValue& v = campaigns[k].Value;
        const auto value = [&](double TPowerValue::*part) {
            return v.TwoPoint ? CsvNumber(v.TwoPoint->Value.*part) : std::string();
        };
        lines.push_back(CsvLine(
            {c.Date, c.Testers, c.Weather, c.Soil, c.LeadLayout, c.LeadLengths, c.InstrumentSerial,
             std::to_string(campaigns[k].Records), std::to_string(v.PowerFrequency),
             value(&TPowerValue::Z), value(&TPowerValue::R), value(&TPowerValue::X),
             value(&TPowerValue::Phi), ValueMethodText(v.Method, v.PowerFrequency, v.TwoPoint),
             changes[k] ? CsvNumber(*changes[k]) : "", c.Limit ? CsvNumber(*c.Limit) : "",
             LimitComparisonText(v.TwoPoint, c.Limit), c.Remarks}));
    }
    lines.push_back("");
    return lines;
}
