#include "campaignreport/RetestDue.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "results/ResultCsv.h"

namespace {

using namespace std::chrono;

std::optional<year_month_day> ReadDate(const std::string& text) {
    int y = 0;
    unsigned m = 0, d = 0;
    char tail = 0;
    if (text.size() != 10 || std::sscanf(text.c_str(), "%4d-%2u-%2u%c", &y, &m, &d, &tail) != 3)
        return std::nullopt;
    const year_month_day date{year{y}, month{m}, day{d}};
    if (!date.ok()) return std::nullopt;
    return date;
}

// A date moved by whole months, its day kept or, where the month is
// shorter, its last day.
year_month_day AddMonths(const year_month_day& date, int months) {
    const year_month_day moved = date + std::chrono::months{months};
    if (moved.ok()) return moved;
    return year_month_day_last{moved.year(), month_day_last{moved.month()}};
}

std::string DateText(const year_month_day& date) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", int(date.year()), unsigned(date.month()),
                  unsigned(date.day()));
    return text;
}

}  // namespace

int RetestYears(const TSite& site) {
    return site.RetestYears.value_or(UsualRetestYears);
}

std::optional<std::string> NextTestDate(const TSite& site) {
    const std::optional<year_month_day> last = ReadDate(site.LastTest);
    if (!last) return std::nullopt;
    return DateText(AddMonths(*last, 12 * RetestYears(site)));
}

std::vector<TRetestDue> RetestDue(const std::vector<TSite>& sites, const std::string& today,
                                  int months) {
    std::vector<TRetestDue> due;
    const std::optional<year_month_day> now = ReadDate(today);
    if (!now || months < 0) return due;
    const sys_days from{*now};
    const sys_days until{AddMonths(*now, months)};
    for (const TSite& site : sites) {
        const std::optional<std::string> next = NextTestDate(site);
        if (!next) continue;
        const sys_days when{*ReadDate(*next)};
        if (when > until) continue;
        due.push_back({site, *next, int((when - from).count())});
    }
    std::stable_sort(due.begin(), due.end(), [](const TRetestDue& a, const TRetestDue& b) {
        return a.DaysLeft != b.DaysLeft ? a.DaysLeft < b.DaysLeft : a.Site.Name < b.Site.Name;
    });
    return due;
}

std::string RetestStateText(int daysLeft) {
    if (daysLeft < 0) return "逾期 " + std::to_string(-daysLeft) + " 天";
    if (daysLeft == 0) return "今天到期";
    return std::to_string(daysLeft) + " 天后到期";
}

const std::vector<std::string>& RetestTableHeaders() {
    static const std::vector<std::string> headers{"场地",     "电压等级", "上次测试",
                                                  "复测周期", "下次测试", "状态"};
    return headers;
}

std::vector<std::string> RetestTableCells(const TRetestDue& d) {
    return {d.Site.Name,
            d.Site.VoltageLevel,
            d.Site.LastTest,
            std::to_string(RetestYears(d.Site)) + "年",
            d.Next,
            RetestStateText(d.DaysLeft)};
}

std::vector<std::string> RetestCsvLines(const std::vector<TRetestDue>& due) {
    std::vector<std::string> lines{CsvLine({"场地", "电压等级", "上次测试", "复测周期(年)",
                                            "下次测试", "距到期(天)", "状态"})};
    for (const TRetestDue& d : due)
        lines.push_back(CsvLine({d.Site.Name, d.Site.VoltageLevel, d.Site.LastTest,
                                 std::to_string(RetestYears(d.Site)), d.Next,
                                 std::to_string(d.DaysLeft), RetestStateText(d.DaysLeft)}));
    return lines;
}
