#include "campaignreport/CampaignReportOutput.h"

#include <QBuffer>
#include <QDir>
#include <QPdfWriter>
#include <QPrinter>
#include <QSaveFile>
#include <QTextDocument>
#include <QTextDocumentWriter>

#include "campaignreport/OdtAsianFonts.h"
#include "campaignreport/ReportOdt.h"
#include "campaignreport/ReportPages.h"
#include "report/PrintTarget.h"
#include "report/Report.h"

namespace {

[[noreturn]] void NotWritten(const QString& path) {
    throw EReportError(QStringLiteral("无法写入文件“%1”，报告未导出！")
                           .arg(QDir::toNativeSeparators(path))
                           .toStdString());
}

TFreqPlotData PlotOf(const TCampaignReport& report) {
    return FreqPlotDataOf(ReportRecordValues(report), ReportChecked(report), report.Analysis);
}

QString DocumentTitle(const TReportContent& content, const TCampaignReport& report) {
    return QString::fromStdString(report.Site.Name + " " + report.Campaign.Date + " " +
                                  content.Title);
}

}  // namespace

void WriteCampaignReportPdf(const TCampaignReport& report, const QString& path) {
    const TReportContent content = CampaignReportContent(report);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) NotWritten(path);
    {
        QPdfWriter pdf(&file);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageOrientation(QPageLayout::Portrait);
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setTitle(DocumentTitle(content, report));
        pdf.setCreator(QStringLiteral("KR3090"));
        if (PaintReportPages(pdf, content, PlotOf(report)) == 0) NotWritten(path);
    }
    if (!file.commit()) NotWritten(path);
}

void WriteCampaignReportOdt(const TCampaignReport& report, const QString& path) {
#if QT_CONFIG(textodfwriter)
    const std::unique_ptr<QTextDocument> doc =
        ReportDocument(CampaignReportContent(report), PlotOf(report));
    // The writer closes its device when done, which a QSaveFile must not be.
    QBuffer odf;
    QTextDocumentWriter writer(&odf, "odf");
    if (!writer.write(doc.get())) NotWritten(path);
    const QByteArray bytes = OdtWithAsianFonts(odf.data());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        NotWritten(path);
#else
    (void)report;
    (void)path;
    throw EReportError("本程序不能写出ODF文档，报告未导出！");
#endif
}

void PrintCampaignReport(const TCampaignReport& report) {
    std::unique_ptr<QPrinter> printer = PrintTarget().CreatePrinter();
    if (!printer) throw EReportError("没有可用的打印机，报告未打印！");
    // Placed from the paper's corner, as the PDF is.
    printer->setFullPage(true);
    printer->setPageSize(QPageSize(QPageSize::A4));
    printer->setPageOrientation(QPageLayout::Portrait);
    printer->setPrintRange(QPrinter::AllPages);
    const TReportContent content = CampaignReportContent(report);
    if (PaintReportPages(*printer, content, PlotOf(report)) == 0 ||
        printer->printerState() == QPrinter::Error) {
        const QString name = printer->outputFormat() == QPrinter::PdfFormat
                                 ? QDir::toNativeSeparators(printer->outputFileName())
                                 : printer->printerName();
        throw EReportError(
            QStringLiteral("无法在打印机“%1”上打印，报告未打印！").arg(name).toStdString());
    }
}
