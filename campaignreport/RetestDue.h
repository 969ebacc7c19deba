#pragma once
// When each site is to be tested again: its latest campaign plus its retest
// interval (six years unless the site says otherwise), and the list of sites
// overdue or due within a chosen number of months. Dates are "yyyy-MM-dd";
// texts are UTF-8. A site without a campaign has no next date: it is never
// guessed, and it is not listed as due.

#include <optional>
#include <string>
#include <vector>

#include "archive/Archive.h"

constexpr int UsualRetestYears = 6;

int RetestYears(const TSite& site);
// The latest campaign's date plus the interval (29 February to 28 February
// in a year without it); none without a campaign or with a date that does
// not read.
std::optional<std::string> NextTestDate(const TSite& site);

struct TRetestDue {
    TSite Site;
    std::string Next;  // "yyyy-MM-dd"
    int DaysLeft = 0;  // below 0: overdue by that many days
};

// The sites whose next test falls on or before the day `months` after
// `today` (overdue ones included), soonest first, ties by name. Empty when `today`
// does not read or `months` is below 0.
std::vector<TRetestDue> RetestDue(const std::vector<TSite>& sites, const std::string& today,
                                  int months);

// "逾期 12 天", "今天到期", "30 天后到期".
std::string RetestStateText(int daysLeft);

const std::vector<std::string>& RetestTableHeaders();
std::vector<std::string> RetestTableCells(const TRetestDue& due);
// The headers, then one line a site (ResultCsv.h: CsvLine).
std::vector<std::string> RetestCsvLines(const std::vector<TRetestDue>& due);
