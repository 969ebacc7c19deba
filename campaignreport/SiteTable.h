#pragma once
// How a site and its campaigns read in the archive window and in the site's
// spreadsheet export: the campaigns by date with their record count, Z0, the
// change against the campaign before and the comparison with the limit the
// user entered (CampaignReport.h words it). Texts are UTF-8.
//
//   测试日期   | 测试人员 | 记录数 | 工频 | Z0     | 较前次变化 | 设定限值 | 与限值比较
//   2021-05-12 | 张三     | 7      | 50Hz | 2.001Ω |            | 2.500Ω   | 设定限值 2.500Ω，Z0
//   低于设定限值 499.0mΩ 2024-05-20 | 李四     | 7      | 50Hz | 2.103Ω | +5.1%      | 2.500Ω   |
//   ...

#include <optional>
#include <string>
#include <vector>

#include "archive/Archive.h"

const std::vector<std::string>& SiteTableHeaders();
std::vector<std::string> SiteTableCells(const TSite& site);

// Z0 of each campaign against the nearest one before it (in the order given,
// oldest first) that has a value at the same power frequency, in %; none
// without a value or without such a campaign.
std::vector<std::optional<double>> CampaignChanges(const std::vector<TCampaignSummary>& campaigns);
// "+5.1%", "-0.8%"; empty for none.
std::string ChangeText(const std::optional<double>& percent);

const std::vector<std::string>& CampaignTableHeaders();
std::vector<std::vector<std::string>> CampaignTableRows(
    const std::vector<TCampaignSummary>& campaigns);

// The site, then one row a campaign, as spreadsheet lines (ResultCsv.h:
// CsvLine), ending with an empty line.
std::vector<std::string> SiteCsvLines(const TSite& site,
                                      const std::vector<TCampaignSummary>& campaigns);
