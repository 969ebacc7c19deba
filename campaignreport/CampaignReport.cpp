#include "campaignreport/CampaignReport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "analysis/FreqAnalysisText.h"
#include "protocol/Numbers.h"

namespace {

std::string Ohms(double v) {
    // The texts cut digits: a difference such as 2 - 1.733 = 0.26699999... must
    // read 267.0mΩ, so noise below a nano-ohm goes first.
    if (std::isfinite(v) && std::fabs(v) < 1e9) v = std::round(v * 1e9) / 1e9;
    try {
        return ImpedanceText(v);
    } catch (const TNotANumber&) {
        return "无效";
    }
}

// Campaigns of an earlier date; of the same date, those stored before this one
// (all of them when this one is not stored yet).
bool IsEarlier(const TCampaign& other, const TCampaign& campaign) {
    if (campaign.Id != 0 && other.Id == campaign.Id) return false;
    if (other.Date != campaign.Date) return other.Date < campaign.Date;
    return campaign.Id == 0 || other.Id < campaign.Id;
}

// One row of the history: the value, and the change against the last value
// at the same power frequency before it (which it then becomes).
struct THistoryValue {
    int PowerFrequency;
    std::optional<double> Z;
};

std::string ChangeText(const THistoryValue& v, const std::vector<THistoryValue>& before) {
    if (!v.Z) return "";
    for (auto it = before.rbegin(); it != before.rend(); ++it) {
        if (!it->Z || it->PowerFrequency != v.PowerFrequency) continue;
        const double change = (*v.Z - *it->Z) / *it->Z * 100;
        if (!std::isfinite(change)) return "";
        char text[32];
        std::snprintf(text, sizeof text, "%+.1f%%", change);
        return text;
    }
    return "";
}

std::vector<std::string> HistoryRow(const std::string& date, int powerFrequency, int records,
                                    const std::optional<TTwoPointValue>& value,
                                    const std::string& method, std::vector<THistoryValue>& before) {
    const THistoryValue v{powerFrequency,
                          value ? std::optional<double>(value->Value.Z) : std::nullopt};
    std::vector<std::string> row{date,
                                 std::to_string(powerFrequency) + "Hz",
                                 std::to_string(records),
                                 value ? Ohms(value->Value.Z) : "无",
                                 ChangeText(v, before),
                                 method};
    before.push_back(v);
    return row;
}

}  // namespace

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
    const std::string head = "设定限值 " + Ohms(*limit) + "，Z0 ";
    // Closer than the texts can tell apart (0.000mΩ): equal.
    if (std::fabs(z - *limit) < 1e-6) return head + "等于设定限值";
    return z < *limit ? head + "低于设定限值 " + Ohms(*limit - z)
                      : head + "超过设定限值 " + Ohms(z - *limit);
}

const std::vector<std::string>& HistoryHeaders() {
    static const std::vector<std::string> headers{"测试日期", "工频",       "记录数",
                                                  "Z0",       "较前次变化", "说明"};
    return headers;
}

std::vector<std::vector<std::string>> HistoryRows(const TCampaignReport& report) {
    std::vector<std::vector<std::string>> rows;
    std::vector<THistoryValue> before;
    for (const TCampaignSummary& s : report.Earlier)
        rows.push_back(HistoryRow(s.Campaign.Date, s.Value.PowerFrequency, s.Records,
                                  s.Value.TwoPoint, s.Value.Method, before));
    const TAnalysisResultTexts texts = AnalysisResultTexts(report.Analysis, report.Records.size());
    rows.push_back(HistoryRow(report.Campaign.Date, report.Analysis.PowerFrequency,
                              int(report.Records.size()), report.Analysis.TwoPoint,
                              "本次测试；" + texts.Method, before));
    return rows;
}
