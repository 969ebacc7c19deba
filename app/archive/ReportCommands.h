#pragma once
// The campaign report's three buttons, the same in the archive window and in
// the analysis window: "导出PDF" and "导出文档" ask for a file (proposing
// ReportFileName in the last export's folder), write it whole or not at all
// and say where it went; "打印" sends the pages to the default printer. A
// failure is told in a "提示" box.

#include "app/kit/Platform.h"
#include "campaignreport/CampaignReport.h"

void SaveReportPdf(QWidget* owner, const TCampaignReport& report, TFileDialogRequest& dialog);
void SaveReportOdt(QWidget* owner, const TCampaignReport& report, TFileDialogRequest& dialog);
void PrintReport(QWidget* owner, const TCampaignReport& report);

// The requests of the two file buttons: a PDF and an ODF text document,
// replaced after asking.
TFileDialogRequest ReportPdfRequest();
TFileDialogRequest ReportOdtRequest();

// "<场地> <测试日期> 测试报告.<extension>", the name the save dialog proposes.
QString ReportFileName(const TCampaignReport& report, const QString& extension);
