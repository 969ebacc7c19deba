#pragma once
// The campaign report: what the engineer hands in after a campaign (who,
// where, when, how it was measured, the readings, the power-frequency value,
// how it compares with the entered limit and with the site's earlier tests).
// It is made from archive data alone (archive/Archive.h); the analysis is
// worked out here at the campaign's power frequency, as the analysis window
// works it out. Texts are UTF-8.
//
// The limit is the user's own: the report compares Z0 with it and says by how
// much, never whether a standard is met.
//   Z0 1.733Ω, limit 2Ω   "设定限值 2.000Ω，Z0 低于设定限值 267.0mΩ"
//   Z0 2.15Ω, limit 2Ω    "设定限值 2.000Ω，Z0 超过设定限值 150.0mΩ"
//   no limit              "未填写设定限值，不作比较"
//   no value              "无工频值，不作比较" (the method line gives the reason)

#include <optional>
#include <string>
#include <vector>

#include "analysis/FreqAnalysis.h"
#include "archive/Archive.h"

struct TCampaignReport {
    TSite Site;
    TCampaign Campaign;
    std::vector<TArchivedRecord> Records;
    std::vector<bool> Checked;  // Checked[k] for Records[k]; a missing entry counts as checked
    double Tolerance = DefaultTolerance;  // the |Z| spread in % above which a frequency is flagged
    TFreqAnalysis Analysis;     // of the checked records at Campaign.PowerFrequency
    std::vector<TCampaignSummary> Earlier;  // the site's campaigns before this one, oldest first
};

// The report of a campaign. From the archive window: the selected campaign,
// its records (all checked: pass no checked list) and the site's campaigns as
// TArchive::Campaigns gives them. From the analysis window: the site and
// campaign asked in its form (Id 0 when not archived), the records with the
// window's check boxes and tolerance. The campaign itself, and campaigns of a
// later date, are left out of the history.
TCampaignReport CampaignReportOf(TSite site, TCampaign campaign,
                                 std::vector<TArchivedRecord> records, std::vector<bool> checked,
                                 const std::vector<TCampaignSummary>& siteCampaigns,
                                 double tolerance = DefaultTolerance);

// The records' values, and whether each is checked (one entry a record).
std::vector<TRecordValues> ReportRecordValues(const TCampaignReport& report);
std::vector<bool> ReportChecked(const TCampaignReport& report);

// An impedance as the program writes it ("267.0mΩ"), after dropping the noise
// below a nano-ohm that a difference of two values carries; "无效" for NaN.
std::string ReportOhms(double ohms);

// Z0 against the entered limit (ohms), as in the examples above. A limit that
// is not a finite number above 0 is not compared.
std::string LimitComparisonText(const std::optional<TTwoPointValue>& value,
                                const std::optional<double>& limit);

// The history table: the earlier campaigns, then this one. The change is
// against the nearest campaign before it with a value at the same power
// frequency; a campaign without a value shows its reason, never a number.
const std::vector<std::string>& HistoryHeaders();
std::vector<std::vector<std::string>> HistoryRows(const TCampaignReport& report);
