#include "campaignreport/ReportOdt.h"

#include <QPainter>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>
#include <QUrl>
#include <algorithm>
#include <numeric>

#include "campaignreport/ReportPages.h"
#include "qtext/QText.h"
#include "report/SongFont.h"

namespace {

// Qt 6.4's ODF writer names a text's font only when the format carries the
// old single-family property; without it every text would be written "Sans".
QTextCharFormat CharFormat(double points, bool bold = false, const QColor& colour = Qt::black) {
    QFont font = SongFontPoints(points);
    font.setBold(bold);
    QTextCharFormat f;
    f.setFont(font);
    f.setProperty(QTextFormat::OldFontFamily, font.family());
    f.setForeground(colour);
    return f;
}

QTextBlockFormat BlockFormat(Qt::Alignment align = Qt::AlignLeft, double top = 0,
                             double bottom = 0) {
    QTextBlockFormat f;
    f.setAlignment(align);
    f.setTopMargin(top);
    f.setBottomMargin(bottom);
    return f;
}

// The table's width on A4 between the pages' margins, and its cells'
// padding, in points.
constexpr double kTablePoints = ReportPlotWidth / 25.4 * 72;
constexpr double kCellPadding = 2.25;

// Column widths in points (Qt 6.4's writer puts a percentage down as "%",
// which ODF readers ignore): each column as wide as its longest text, a Latin
// character taken as 6 points in the 9 point font (wider than 宋体's, as a
// substitute font may draw it), a CJK one as 10. Too wide, a column whose
// texts have blanks (the test time) breaks there; the wrapping column gets
// what is left, at least 60 points.
QList<QTextLength> ColumnWidths(const TReportTable& t) {
    auto points = [](const QString& s) {
        double w = 2 * kCellPadding + 4;
        for (const QChar c : s) w += c.unicode() < 0x80 ? 6 : 10;
        return w;
    };
    std::vector<double> w(t.Headers.size(), 0), word(t.Headers.size(), 0);
    for (std::size_t c = 0; c < w.size(); ++c) {
        QStringList texts{Q(t.Headers[c])};
        for (const auto& row : t.Rows)
            if (c < row.size()) texts << Q(row[c]);
        for (const QString& text : texts) {
            w[c] = std::max(w[c], points(text));
            for (const QString& part : text.split(QLatin1Char(' ')))
                word[c] = std::max(word[c], points(part));
        }
    }
    auto total = [&] {
        return std::accumulate(w.begin(), w.end(), 0.0) -
               (t.WrapColumn >= 0 ? w[t.WrapColumn] - 60 : 0);
    };
    for (std::size_t c = 0; c < w.size() && total() > kTablePoints; ++c)
        if (int(c) != t.WrapColumn) w[c] = word[c];
    if (t.WrapColumn >= 0)
        w[t.WrapColumn] = std::max(kTablePoints - (total() - 60), 60.0);
    const double scale = std::min(1.0, kTablePoints / total());
    QList<QTextLength> lengths;
    for (double c : w) lengths << QTextLength(QTextLength::FixedLength, c * scale);
    return lengths;
}

void InsertTable(QTextCursor& cursor, const TReportTable& t) {
    QTextTableFormat format;
    format.setBorder(0.75);
    format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    format.setBorderCollapse(true);
    format.setCellPadding(kCellPadding / 0.75);  // the writer's pixels at 96 dpi
    format.setCellSpacing(0);
    format.setHeaderRowCount(1);
    format.setBorderBrush(Qt::black);
    format.setWidth(QTextLength(QTextLength::FixedLength, kTablePoints));
    format.setColumnWidthConstraints(ColumnWidths(t));
    const int columns = int(t.Headers.size());
    QTextTable* table = cursor.insertTable(int(t.Rows.size()) + 1, columns, format);
    for (int c = 0; c < columns; ++c) {
        QTextTableCell cell = table->cellAt(0, c);
        QTextCharFormat shade = cell.format();
        shade.setBackground(QColor(0xe8, 0xe8, 0xe8));
        cell.setFormat(shade);
        QTextCursor at = cell.firstCursorPosition();
        at.setBlockFormat(BlockFormat(Qt::AlignHCenter));
        at.insertText(Q(t.Headers[c]), CharFormat(9, true));
    }
    for (int r = 0; r < int(t.Rows.size()); ++r) {
        const bool grey = r < int(t.Greyed.size()) && t.Greyed[r];
        for (int c = 0; c < columns && c < int(t.Rows[r].size()); ++c) {
            QTextCursor at = table->cellAt(r + 1, c).firstCursorPosition();
            at.setBlockFormat(BlockFormat(c == t.WrapColumn ? Qt::AlignLeft : Qt::AlignHCenter));
            at.insertText(Q(t.Rows[r][c]), CharFormat(9, false, grey ? Qt::darkGray : Qt::black));
        }
    }
    cursor.movePosition(QTextCursor::End);
}

// Millimetres as the ODF writer's pixels (it writes them at 96 per inch).
double WriterPixels(double mm) {
    return mm / 25.4 * 96;
}

// A plot of the report at dpi, ReportPlotWidth × heightMm millimetres, on white.
QImage PlotPicture(double heightMm, const TReportPainter& paint, int dpi) {
    const QSize size(qRound(ReportPlotWidth / 25.4 * dpi), qRound(heightMm / 25.4 * dpi));
    const int unitsHigh = PlotUnitsHigh(heightMm);
    QImage image(size, QImage::Format_RGB32);
    image.setDotsPerMeterX(qRound(dpi / 0.0254));
    image.setDotsPerMeterY(qRound(dpi / 0.0254));
    image.fill(Qt::white);
    QPainter p(&image);
    p.scale(double(size.width()) / ReportPlotUnitsWide, double(size.height()) / unitsHigh);
    paint(p, QRect(0, 0, ReportPlotUnitsWide, unitsHigh));
    return image;
}

// A plot of the report as a picture of its size on paper.
void InsertPicture(QTextDocument& doc, QTextCursor& cursor, const QString& name, double heightMm,
                   const TReportPainter& paint) {
    doc.addResource(QTextDocument::ImageResource, QUrl(name), PlotPicture(heightMm, paint, 300));
    QTextImageFormat image;
    image.setName(name);
    image.setWidth(WriterPixels(ReportPlotWidth));
    image.setHeight(WriterPixels(heightMm));
    cursor.insertBlock(BlockFormat(Qt::AlignHCenter, 4, 4));
    cursor.insertImage(image);
}

void InsertParagraph(QTextCursor& cursor, const QString& text, const QTextCharFormat& format,
                     const QTextBlockFormat& block) {
    cursor.insertBlock(block);
    cursor.insertText(text, format);
}

}  // namespace

QImage ReportPlotPicture(const TFreqPlotData& plot, int dpi) {
    return PlotPicture(ReportPlotHeight, FreqPlotPainter(plot), dpi);
}

QImage ReportPlateauPicture(const std::vector<TProbePosition>& positions, double currentDistance,
                            int dpi) {
    TReportBlock block;
    block.Positions = positions;
    block.CurrentDistance = currentDistance;
    return PlotPicture(ReportPlateauHeight, PlateauPlotPainter(block), dpi);
}

std::unique_ptr<QTextDocument> ReportDocument(const TReportContent& content,
                                              const TFreqPlotData& plot) {
    auto doc = std::make_unique<QTextDocument>();
    doc->setDefaultFont(SongFontPoints(10.5));
    doc->setMetaInformation(QTextDocument::DocumentTitle, Q(content.Title));
    QTextCursor cursor(doc.get());
    cursor.setBlockFormat(BlockFormat(Qt::AlignHCenter, 0, 12));
    cursor.insertText(Q(content.Title), CharFormat(18, true));
    const QTextCharFormat body = CharFormat(10.5);
    for (const TReportBlock& b : content.Blocks) {
        switch (b.Kind) {
            case TBlockKind::Heading:
                InsertParagraph(cursor, Q(b.Text), CharFormat(12, true),
                                BlockFormat(Qt::AlignLeft, 10, 4));
                break;
            case TBlockKind::Fields:
                for (const auto& [label, value] : b.Fields)
                    InsertParagraph(cursor, Q(label + "：" + value), body, BlockFormat());
                break;
            case TBlockKind::Text:
                for (const QString& line : Q(b.Text).split(QLatin1Char('\n')))
                    InsertParagraph(cursor, line, body, BlockFormat());
                break;
            case TBlockKind::Table:
                cursor.insertBlock(BlockFormat());
                InsertTable(cursor, b.Table);
                break;
            case TBlockKind::Plot:
                InsertPicture(*doc, cursor, QStringLiteral("kr3090-plot.png"), ReportPlotHeight,
                              FreqPlotPainter(plot));
                break;
            case TBlockKind::Plateau:
                InsertPicture(*doc, cursor, QStringLiteral("kr3090-plateau.png"),
                              ReportPlateauHeight, PlateauPlotPainter(b));
                break;
            case TBlockKind::Signatures:
                for (std::size_t k = 0; k < b.Signers.size(); ++k) {
                    const auto by =
                        k < b.Signed.size() ? b.Signed[k] : std::pair<std::string, std::string>{};
                    InsertParagraph(
                        cursor,
                        Q(b.Signers[k] + "（签字）：" +
                          (by.first.empty() ? "________________________" : by.first) +
                          "    日期：" + (by.second.empty() ? "________________" : by.second)),
                        body, BlockFormat(Qt::AlignLeft, 18, 0));
                }
                break;
        }
    }
    return doc;
}
