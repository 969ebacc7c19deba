#include "report/Report.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>

#include "report/PrintTarget.h"
#include "report/SongFont.h"

namespace {
constexpr double mmPerInch = 25.4;

// The printer's name for messages, or the file a PDF printer writes.
QString PrinterLabel(const QPrinter& printer) {
    if (printer.outputFormat() == QPrinter::PdfFormat) return printer.outputFileName();
    return printer.printerName();
}
}  // namespace

TReportBand::TReportBand(TBandType type, QObject* report) : QObject(report), Type(type) {}

QList<TReportMemo*> TReportBand::Memos() const {
    return findChildren<TReportMemo*>(QString(), Qt::FindDirectChildrenOnly);
}

TReportMemo::TReportMemo(TReportBand* band) : QObject(band) {}

TReport::TReport(QObject* parent) : QObject(parent) {}

QList<TReportBand*> TReport::Bands() const {
    return findChildren<TReportBand*>(QString(), Qt::FindDirectChildrenOnly);
}

QSizeF TReport::PaperSize() const {
    const QSizeF portrait = QPageSize(Page.Paper).size(QPageSize::Millimeter);
    return Page.Orientation == QPageLayout::Portrait ? portrait : portrait.transposed();
}

double TReport::BandWidth() const {
    return PaperSize().width() - Page.LeftMargin - Page.RightMargin;
}

QRectF TReport::BandRect(const TReportBand& band) const {
    if (band.Type == TBandType::PageFooter)
        return {Page.LeftMargin, PaperSize().height() - Page.BottomMargin - band.Height,
                BandWidth(), band.Height};
    // Page headers and titles follow one another down from the top margin.
    double top = Page.TopMargin;
    for (const TReportBand* b : Bands()) {
        if (b == &band) break;
        if (b->Type == TBandType::PageFooter) continue;
        if (b->Type == TBandType::PageHeader && !Options.FirstPageHeader) continue;
        top += b->Height;
    }
    return {Page.LeftMargin, top, BandWidth(), band.Height};
}

QRectF TReport::MemoRect(const TReportMemo& memo) const {
    const auto* band = qobject_cast<const TReportBand*>(memo.parent());
    if (!band) return {};
    const QRectF b = BandRect(*band);
    const double left = memo.CentreOnBand ? (b.width() - memo.Width) / 2 : memo.Left;
    return {b.left() + left, b.top() + memo.Top, memo.Width, memo.Height};
}

void TReport::Print() {
    std::unique_ptr<QPrinter> printer = PrintTarget().CreatePrinter();
    if (!printer) return;
    PrintOn(*printer);
}

void TReport::PrintOn(QPrinter& printer) {
    if (!Options.PrintIfEmpty) return;  // a report without data is all it can be
    if (Page.Zoom <= 0) throw EReportError("报表缩放比例无效");

    // The engine places everything itself, from the paper's corner.
    printer.setFullPage(true);
    printer.setPageSize(QPageSize(Page.Paper));
    printer.setPageOrientation(Page.Orientation);
    printer.setCopyCount(std::max(1, Options.Copies));
    printer.setDuplex(Options.Duplex);
    printer.setPaperSource(Options.PaperBin);
    printer.setPrintRange(QPrinter::AllPages);
    if (!ReportTitle.isEmpty()) printer.setDocName(ReportTitle);

    QPainter painter;
    if (!painter.begin(&printer))
        throw EReportError(
            QStringLiteral("无法在打印机“%1”上打印").arg(PrinterLabel(printer)).toStdString());

    const double paperPxPerMm = printer.logicalDpiY() / mmPerInch;
    painter.setClipRect(QRectF(QPointF(0, 0), PaperSize() * paperPxPerMm));
    const double pxPerMm = paperPxPerMm * Page.Zoom / 100.0;
    for (const TReportBand* band : Bands()) {
        if (band->Type == TBandType::PageHeader && !Options.FirstPageHeader) continue;
        if (band->Type == TBandType::PageFooter && !Options.LastPageFooter) continue;
        PaintBand(painter, *band, pxPerMm);
    }
    // One sheet: there is never a newPage().
    if (!painter.end() || printer.printerState() == QPrinter::Error)
        throw EReportError(
            QStringLiteral("无法在打印机“%1”上打印").arg(PrinterLabel(printer)).toStdString());
}

void TReport::PaintBand(QPainter& painter, const TReportBand& band, double pxPerMm) const {
    const QRectF rect = BandRect(band);
    if (rect.height() <= 0) return;
    const QRectF px(rect.topLeft() * pxPerMm, rect.size() * pxPerMm);
    if (!band.Transparent) painter.fillRect(px, band.Color);
    for (const TReportMemo* memo : band.Memos()) PaintMemo(painter, *memo, pxPerMm);
}

void TReport::PaintMemo(QPainter& painter, const TReportMemo& memo, double pxPerMm) const {
    const QRectF rect = MemoRect(memo);
    const QRectF box(rect.topLeft() * pxPerMm, rect.size() * pxPerMm);
    if (box.width() <= 0 || box.height() <= 0) return;

    painter.save();
    painter.setClipRect(box, Qt::IntersectClip);  // a fixed box: what does not fit is cut
    if (!memo.Transparent) painter.fillRect(box, memo.Color);

    QFont font = memo.Font;
    if (font.pointSizeF() > 0) font.setPointSizeF(font.pointSizeF() * Page.Zoom / 100.0);
    painter.setFont(font);
    painter.setPen(memo.FontColor);
    // Every visual line takes the same height, so lines drawn with a fallback
    // font keep the column's spacing.
    const double lineHeight = QFontMetricsF(font, painter.device()).lineSpacing();

    QTextOption option(memo.Alignment & Qt::AlignHorizontal_Mask);
    option.setWrapMode(memo.WordWrap ? QTextOption::WrapAtWordBoundaryOrAnywhere
                                     : QTextOption::NoWrap);
    // Blanks at the end of a line count: lines filled to the same length then
    // print the same width, and centred they start at one left edge.
    option.setFlags(QTextOption::IncludeTrailingSpaces);

    double y = 0;
    for (const QString& text : memo.Lines) {
        if (y >= box.height()) break;  // the rest lies below the box
        QTextLayout layout(text, font, painter.device());
        layout.setTextOption(option);
        layout.setCacheEnabled(true);
        layout.beginLayout();
        while (y < box.height()) {
            QTextLine line = layout.createLine();
            if (!line.isValid()) break;
            line.setLineWidth(box.width());
            line.setPosition(QPointF(0, y));
            y += lineHeight;
        }
        layout.endLayout();
        layout.draw(&painter, box.topLeft());
    }
    painter.restore();
}
