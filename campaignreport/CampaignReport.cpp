#include "campaignreport/CampaignReport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "analysis/FreqAnalysisText.h"
#include "campaignreport/SiteTable.h"
#include "protocol/Numbers.h"

namespace {

// Campaigns of an earlier date; of the same date, those stored before this one
// (all of them when this one is not stored yet).
bool IsEarlier(const TCampaign& other, const TCampaign& campaign) {
    if (campaign.Id != 0 && other.Id == campaign.Id) return false;
    if (other.Date != campaign.Date) return other.Date < campaign.Date;
    return campaign.Id == 0 || other.Id < campaign.Id;
}

}  // namespace

std::string ReportOhms(double v) {
    // The texts cut digits: a difference such as 2 - 1.733 = 0.26699999... must
    // read 267.0mΩ, so noise below a nano-ohm goes first.
    if (std::isfinite(v) && std::fabs(v) < 1e9) v = std::round(v * 1e9) / 1e9;
    try {
        return ImpedanceText(v);
    } catch (const TNotANumber&) {
        return "无效";
    }
}

TCampaignReport CampaignReportOf(TSite site, TCampaign campaign,
                                 std::vector<TArchivedRecord> records, std::vector<bool> checked,
                                 const std::vector<TCampaignSummary>& siteCampaigns,
                                 double tolerance) {
    TCampaignReport r;
    r.Site = std::move(site);
    r.Campaign = std::move(campaign);
    r.Records = std::move(records);
    r.Checked = std::move(checked);
    r.Checked.resize(r.Records.size(), true);
    r.Tolerance = tolerance;
    r.Analysis =
        AnalyseFrequencies(ReportRecordValues(r), r.Checked, r.Campaign.PowerFrequency, tolerance);
    for (const TCampaignSummary& s : siteCampaigns)
        if (IsEarlier(s.Campaign, r.Campaign)) r.Earlier.push_back(s);
    std::stable_sort(r.Earlier.begin(), r.Earlier.end(),
                     [](const TCampaignSummary& a, const TCampaignSummary& b) {
                         return a.Campaign.Date < b.Campaign.Date;
                     });
    return r;
}

std::vector<TRecordValues> ReportRecordValues(const TCampaignReport& report) {
    std::vector<TRecordValues> values;
    for (const TArchivedRecord& r : report.Records) values.push_back(r.Values);
    return values;
}

std::vector<bool> ReportChecked(const TCampaignReport& report) {
    std::vector<bool> checked = report.Checked;
    checked.resize(report.Records.size(), true);
    return checked;
}

std::string LimitComparisonText(const std::optional<TTwoPointValue>& value,
                                const std::optional<double>& limit) {
    if (!value) return "无工频值，不作比较";
    if (!limit) return "未填写设定限值，不作比较";
    if (!std::isfinite(*limit) || *limit <= 0) return "设定限值无效，不作比较";
    const double z = value->Value.Z;
    const std::string head = "设定限值 " + ReportOhms(*limit) + "，Z0 ";
    // Closer than the texts can tell apart (0.000mΩ): equal.
    if (std::fabs(z - *limit) < 1e-6) return head + "等于设定限值";
    return z < *limit ? head + "低于设定限值 " + ReportOhms(*limit - z)
                      : head + "超过设定限值 " + ReportOhms(z - *limit);
}

const std::vector<std::string>& HistoryHeaders() {
    static const std::vector<std::string> headers{"测试日期", "工频",       "记录数",
                                                  "Z0",       "较前次变化", "说明"};
    return headers;
}

std::vector<std::vector<std::string>> HistoryRows(const TCampaignReport& report) {
    std::vector<TCampaignSummary> campaigns = report.Earlier;
    campaigns.push_back({report.Campaign,
                         int(report.Records.size()),
                         {report.Analysis.PowerFrequency, report.Analysis.TwoPoint,
                          report.Analysis.LineFit,
                          ValueMethodOf(report.Analysis, report.Records.size())}});
    const std::vector<std::optional<double>> changes = CampaignChanges(campaigns);
    std::vector<std::vector<std::string>> rows;
    for (std::size_t k = 0; k < campaigns.size(); ++k) {
        const TCampaignValue& v = campaigns[k].Value;
        rows.push_back({campaigns[k].Campaign.Date, std::to_string(v.PowerFrequency) + "Hz",
                        std::to_string(campaigns[k].Records),
                        v.TwoPoint ? ReportOhms(v.TwoPoint->Value.Z) : "无", ChangeText(changes[k]),
                        std::string(k + 1 == campaigns.size() ? "本次测试；" : "") +
                            (campaigns[k].CorrectedBy ? "已被更正，以更正的值为准；" : "") +
                            (campaigns[k].Campaign.Corrects ? "更正的测试；" : "") +
                            ValueMethodText(v.Method, v.PowerFrequency, v.TwoPoint)});
    }
    return rows;
}
