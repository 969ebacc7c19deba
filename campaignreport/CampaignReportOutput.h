#pragma once
// The three ways a campaign report leaves the program, for the buttons
// "导出PDF", "导出文档" and "打印" of the archive and analysis windows. Each
// throws EReportError (report/Report.h) with the text for the operator when it
// fails; a file is then left as it was (written aside and put in place only
// when complete).

#include <QString>

#include "campaignreport/CampaignReport.h"

// A4 pages as a PDF file with its fonts embedded.
void WriteCampaignReportPdf(const TCampaignReport& report, const QString& path);
// The same content as an editable ODF text document (.odt).
void WriteCampaignReportOdt(const TCampaignReport& report, const QString& path);
// The same pages on the print target in use (the default printer; tests
// install another). No printer is an error too: the operator is told.
void PrintCampaignReport(const TCampaignReport& report);
