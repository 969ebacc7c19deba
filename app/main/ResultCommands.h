#pragma once
// What the toolbar's save and print share: the report block of the result on
// the window's active page, built from the labels as they read now.

#include <optional>

#include "results/ReportBlock.h"
#include "results/ResultCsv.h"

class QString;
class QWidget;
class TfrmKR3090;

// The live block on page "Ctrl" (the clock is Platform().Now()), the
// record-view block on page "Comp", nothing on any other page. Print takes
// PrintForm() of it.
std::optional<TReportLines> ShownResultBlock(const TfrmKR3090& window);
// The same result as a spreadsheet row, for a save into a ".csv" file.
std::optional<TResultRow> ShownResultRow(const TfrmKR3090& window);
