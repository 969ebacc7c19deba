#include "report/Report.h"

#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QTextLayout>
#include <cmath>

#include "report/PrintTarget.h"

namespace {
constexpr double mmPerInch = 25.4;

// Width of a text as laid out on a device, with an optional letter spacing.
double LaidOutWidth(const QString& text, const QFont& font, QPaintDevice* device,
                    double letterSpacing) {
    QTextLayout layout(text, font, device);
    if (letterSpacing != 0) {
        QTextLayout::FormatRange range{0, int(text.size()), {}};
        range.format.setFontLetterSpacingType(QFont::AbsoluteSpacing);
        range.format.setFontLetterSpacing(letterSpacing);
        layout.setFormats({range});
    }
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(1e9);
    layout.endLayout();
    return line.naturalTextWidth();
}

// What one unit of absolute letter spacing adds on the device: Qt scales it
// from the screen's resolution to the device's (12 for a 1200 dpi printer
// under a 100 dpi screen), so it is measured rather than assumed.
double SpacingScale(const QFont& font, QPaintDevice* device) {
    const QString zero(QLatin1Char('0'));
    const double added = LaidOutWidth(zero, font, device, 10) - LaidOutWidth(zero, font, device, 0);
    return added > 0 ? added / 10 : 1;
}

// Letter spacing that puts every character of text on the fixed pitch of
// cell (one cell for ASCII, two for the rest).
QList<QTextLayout::FormatRange> PitchFormats(const QString& text, const QFontMetricsF& metrics,
                                             double cell, double spacingScale,
                                             QHash<QString, double>& advances) {
    QList<QTextLayout::FormatRange> formats;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2
                                                                                             : 1;
        const QString ch = text.mid(i, length);
        auto advance = advances.find(ch);
        if (advance == advances.end()) advance = advances.insert(ch, metrics.horizontalAdvance(ch));
        const double cells = text[i].unicode() < 0x80 ? 1 : 2;
        const double spacing = cells * cell - *advance;
        if (std::abs(spacing) > cell / 100) {
            QTextLayout::FormatRange range;
            range.start = int(i);
            range.length = int(length);
            range.format.setFontLetterSpacingType(QFont::AbsoluteSpacing);
            range.format.setFontLetterSpacing(spacing / spacingScale);
            formats << range;
        }
        i += length;
    }
    return formats;
}

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
    const QFontMetricsF metrics(font, painter.device());
    const double lineHeight = metrics.lineSpacing();
    const double cell = metrics.horizontalAdvance(QLatin1Char('0'));
    QHash<QString, double> advances;
    const double spacingScale = memo.FixedPitch ? SpacingScale(font, painter.device()) : 1;

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
        if (memo.FixedPitch)
            layout.setFormats(PitchFormats(text, metrics, cell, spacingScale, advances));
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
