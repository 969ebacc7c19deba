#include "app/archive/ReportCommands.h"

#include "app/kit/ExportFiles.h"
#include "app/kit/Messages.h"
#include "campaignreport/CampaignReportOutput.h"
#include "report/Report.h"

namespace {

template <class W>
void SaveReport(QWidget* owner, const TCampaignReport& report, TFileDialogRequest& dialog,
                W write) {
    ProposeExportFile(dialog, ReportFileName(report, dialog.DefaultExt));
    const QString path = Platform().SaveFileName(owner, dialog);
    if (path.isEmpty()) return;
    try {
        write(report, path);
    } catch (const EReportError& e) {
        ReportFileFault(owner, QString::fromUtf8(e.what()), path);
        return;
    }
    ExportWritten(owner, QStringLiteral("测试报告"), path);
}

}  // namespace

void SaveReportPdf(QWidget* owner, const TCampaignReport& report, TFileDialogRequest& dialog) {
    SaveReport(owner, report, dialog, WriteCampaignReportPdf);
}

void SaveReportOdt(QWidget* owner, const TCampaignReport& report, TFileDialogRequest& dialog) {
    SaveReport(owner, report, dialog, WriteCampaignReportOdt);
}

void PrintReport(QWidget* owner, const TCampaignReport& report) {
    try {
        PrintCampaignReport(report);
    } catch (const EReportError& e) {
        Platform().MessageBox(owner, QString::fromUtf8(e.what()), QStringLiteral("提示"),
                              TMessageIcon::Warning);
    }
}

TFileDialogRequest ReportPdfRequest() {
    TFileDialogRequest r;
    r.Filter = QStringLiteral("*.pdf(PDF文件)|*.pdf");
    r.DefaultExt = QStringLiteral("pdf");
    r.OverwritePrompt = true;
    return r;
}

TFileDialogRequest ReportOdtRequest() {
    TFileDialogRequest r;
    r.Filter = QStringLiteral("*.odt(ODF文档)|*.odt");
    r.DefaultExt = QStringLiteral("odt");
    r.OverwritePrompt = true;
    return r;
}

QString ReportFileName(const TCampaignReport& report, const QString& extension) {
    return QStringLiteral("%1 %2 测试报告.%3")
        .arg(QString::fromStdString(report.Site.Name), QString::fromStdString(report.Campaign.Date),
             extension);
}
