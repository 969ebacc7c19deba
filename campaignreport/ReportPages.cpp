#include "campaignreport/ReportPages.h"

#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QTextLayout>
#include <algorithm>
#include <numeric>

#include "qtext/QText.h"
#include "report/SongFont.h"

namespace {

constexpr double kPaperWidth = 210, kPaperHeight = 297;  // A4, mm
constexpr double kCellPadX = 1.2, kCellPadY = 0.9;       // mm
const QColor kGrey(0x70, 0x70, 0x70);

QFont Bold(QFont font) {
    font.setBold(true);
    return font;
}

// The fonts of the report, in points.
struct TFonts {
    QFont Title = Bold(SongFontPoints(18));
    QFont Heading = Bold(SongFontPoints(12));
    QFont Body = SongFontPoints(10.5);
    QFont Table = SongFontPoints(9);
    QFont TableHeader = Bold(SongFontPoints(9));
    QFont Footer = SongFontPoints(9);
};

// One pass over the content: the first only measures and counts the pages,
// the second paints them knowing how many there are.
class TPageFlow {
  public:
    TPageFlow(QPagedPaintDevice& device, QPainter* painter, const TReportContent& content,
              const TFreqPlotData& plot, int pages)
        : device_(device),
          painter_(painter),
          content_(content),
          plot_(plot),
          pages_(pages),
          mm_(device.logicalDpiY() / 25.4),
          body_(ReportMarginLeft * mm_, ReportMarginTop * mm_,
                (kPaperWidth - ReportMarginLeft - ReportMarginRight) * mm_,
                (kPaperHeight - ReportMarginTop - ReportMarginBottom) * mm_),
          y_(body_.top()) {}

    // Gives the pages laid out, 0 when the device would not start a new one.
    int Run() {
        Title();
        const auto& blocks = content_.Blocks;
        for (std::size_t k = 0; k < blocks.size(); ++k) {
            if (failed_) return 0;
            Block(blocks[k], k + 1 < blocks.size() ? &blocks[k + 1] : nullptr);
        }
        Footer();
        return failed_ ? 0 : page_;
    }

  private:
    QPagedPaintDevice& device_;
    QPainter* painter_;  // nullptr while counting
    const TReportContent& content_;
    const TFreqPlotData& plot_;
    const int pages_;
    const double mm_;  // device pixels a millimetre
    const QRectF body_;
    const TFonts fonts_;
    double y_;
    int page_ = 1;
    bool failed_ = false;

    double Mm(double v) const { return v * mm_; }
    double LineHeight(const QFont& f) const { return QFontMetricsF(f, &device_).lineSpacing(); }
    double Advance(const QString& text, const QFont& f) const {
        return QFontMetricsF(f, &device_).horizontalAdvance(text);
    }

    void NewPage() {
        Footer();
        if (painter_ && !device_.newPage()) failed_ = true;
        ++page_;
        y_ = body_.top();
    }
    // Starts a new page unless height fits below; a page already empty takes it.
    void Ensure(double height) {
        if (y_ + height > body_.bottom() && y_ > body_.top()) NewPage();
    }

    // Lines of text broken to width: at word boundaries, anywhere in a word
    // longer than the width. Gives the height.
    double LayOut(QTextLayout& layout, double width, Qt::Alignment align) const {
        QTextOption option(align);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        const double line = QFontMetricsF(layout.font(), &device_).lineSpacing();
        double y = 0;
        layout.beginLayout();
        for (QTextLine l = layout.createLine(); l.isValid(); l = layout.createLine()) {
            l.setLineWidth(width);
            l.setPosition(QPointF(0, y));
            y += line;
        }
        layout.endLayout();
        return y;
    }
    double TextHeight(const QString& text, const QFont& font, double width) const {
        QTextLayout layout(text, font, &device_);
        return LayOut(layout, width, Qt::AlignLeft);
    }
    void DrawText(const QRectF& box, const QString& text, const QFont& font, Qt::Alignment align,
                  const QColor& colour = Qt::black) const {
        if (!painter_) return;
        QTextLayout layout(text, font, &device_);
        LayOut(layout, box.width(), align);
        painter_->setPen(colour);
        layout.draw(painter_, box.topLeft());
    }

    // A paragraph that may run over pages, line by line.
    void Paragraph(const QString& text, const QFont& font, double indent = 0) {
        const double line = LineHeight(font);
        for (const QString& part : text.split(QLatin1Char('\n'))) {
            QTextLayout layout(part, font, &device_);
            LayOut(layout, body_.width() - indent, Qt::AlignLeft);
            for (int i = 0; i < layout.lineCount(); ++i) {
                Ensure(line);
                const QTextLine l = layout.lineAt(i);
                if (painter_) {
                    painter_->setPen(Qt::black);
                    l.draw(painter_, QPointF(body_.left() + indent, y_ - l.y()));
                }
                y_ += line;
            }
        }
        y_ += Mm(1.5);
    }

    void Title() {
        const double h = TextHeight(Q(content_.Title), fonts_.Title, body_.width());
        DrawText(QRectF(body_.left(), y_, body_.width(), h), Q(content_.Title), fonts_.Title,
                 Qt::AlignHCenter);
        y_ += h + Mm(5);
    }

    void Footer() {
        const double top = (kPaperHeight - ReportMarginBottom + 6) * mm_;
        if (!painter_) return;
        painter_->setPen(QPen(Qt::black, Mm(0.2)));
        painter_->drawLine(QPointF(body_.left(), top - Mm(1.5)),
                           QPointF(body_.right(), top - Mm(1.5)));
        const double h = LineHeight(fonts_.Footer);
        const QString number = Q(PageNumberText(page_, pages_));
        DrawText(QRectF(body_.left(), top, body_.width(), h), number, fonts_.Footer,
                 Qt::AlignHCenter);
        // A long site name ends short of the page number.
        const double room = body_.width() / 2 - Advance(number, fonts_.Footer) / 2 - Mm(4);
        const QString site = QFontMetricsF(fonts_.Footer, &device_)
                                 .elidedText(Q(content_.Footer), Qt::ElideRight, room);
        DrawText(QRectF(body_.left(), top, room, h), site, fonts_.Footer, Qt::AlignLeft);
    }

    // What must stand on the same page as a heading: the start of its block.
    double FirstPartHeight(const TReportBlock* next) const {
        if (!next) return 0;
        switch (next->Kind) {
            case TBlockKind::Plot:
                return Mm(ReportPlotHeight);
            case TBlockKind::Plateau:
                return Mm(ReportPlateauHeight);
            case TBlockKind::Signatures:
                return SignaturesHeight(*next);
            default:
                return 3 * LineHeight(fonts_.Body);
        }
    }

    void Block(const TReportBlock& b, const TReportBlock* next) {
        switch (b.Kind) {
            case TBlockKind::Heading: {
                const double h = LineHeight(fonts_.Heading);
                Ensure(Mm(3) + h + Mm(1.5) + FirstPartHeight(next));
                if (y_ > body_.top()) y_ += Mm(3);
                DrawText(QRectF(body_.left(), y_, body_.width(), h), Q(b.Text), fonts_.Heading,
                         Qt::AlignLeft);
                y_ += h + Mm(1.5);
                break;
            }
            case TBlockKind::Fields:
                Fields(b.Fields, b.FieldsSideBySide);
                break;
            case TBlockKind::Text:
                Paragraph(Q(b.Text), fonts_.Body, Mm(4));
                break;
            case TBlockKind::Table:
                Table(b.Table);
                break;
            case TBlockKind::Plot:
                Painted(ReportPlotHeight, FreqPlotPainter(plot_));
                break;
            case TBlockKind::Plateau:
                Painted(ReportPlateauHeight, PlateauPlotPainter(b));
                break;
            case TBlockKind::Signatures:
                Signatures(b);
                break;
        }
    }

    // label：value, two pairs a row where both fit half the width.
    void Fields(const std::vector<std::pair<std::string, std::string>>& fields, bool sideBySide) {
        const QFont& font = fonts_.Body;
        double label = 0;
        for (const auto& f : fields) label = std::max(label, Advance(Q(f.first + "："), font));
        const double indent = Mm(4), gap = Mm(6);
        const double half = (body_.width() - indent - gap) / 2;
        auto fitsHalf = [&](const auto& f) { return label + Advance(Q(f.second), font) <= half; };
        for (std::size_t k = 0; k < fields.size();) {
            const bool pair = sideBySide && k + 1 < fields.size() && fitsHalf(fields[k]) &&
                              fitsHalf(fields[k + 1]);
            const double width = pair ? half : body_.width() - indent;
            double h = 0;
            for (std::size_t i = k; i < k + (pair ? 2 : 1); ++i)
                h = std::max(h, TextHeight(Q(fields[i].second), font, width - label));
            Ensure(h);
            for (std::size_t i = k; i < k + (pair ? 2 : 1); ++i) {
                const double x = body_.left() + indent + (i - k) * (half + gap);
                DrawText(QRectF(x, y_, label, h), Q(fields[i].first + "："), font, Qt::AlignLeft);
                DrawText(QRectF(x + label, y_, width - label, h), Q(fields[i].second), font,
                         Qt::AlignLeft);
            }
            y_ += h;
            k += pair ? 2 : 1;
        }
        y_ += Mm(1.5);
    }

    // Natural widths, then what is left to the wrapping column or to all.
    std::vector<double> ColumnWidths(const TReportTable& t) const {
        const std::size_t n = t.Headers.size();
        std::vector<double> w(n, 0);
        for (std::size_t c = 0; c < n; ++c) {
            w[c] = Advance(Q(t.Headers[c]), fonts_.TableHeader);
            for (const auto& row : t.Rows)
                if (c < row.size()) w[c] = std::max(w[c], Advance(Q(row[c]), fonts_.Table));
            w[c] += 2 * Mm(kCellPadX) + Mm(0.5);
        }
        const double total = std::accumulate(w.begin(), w.end(), 0.0);
        const double width = body_.width();
        if (total <= width) {
            for (double& c : w) c += (width - total) / n;
            return w;
        }
        if (t.WrapColumn >= 0) {
            const double others = total - w[t.WrapColumn];
            if (others + Mm(15) <= width) {
                w[t.WrapColumn] = width - others;
                return w;
            }
        }
        for (double& c : w) c *= width / total;
        return w;
    }

    double RowHeight(const std::vector<std::string>& row, const std::vector<double>& w,
                     const QFont& font) const {
        double h = LineHeight(font);
        for (std::size_t c = 0; c < row.size() && c < w.size(); ++c)
            h = std::max(h, TextHeight(Q(row[c]), font, w[c] - 2 * Mm(kCellPadX)));
        return h + 2 * Mm(kCellPadY);
    }

    void DrawRow(const std::vector<std::string>& row, const std::vector<double>& w, double h,
                 const QFont& font, bool header, bool grey, int wrapColumn) {
        if (!painter_) return;
        double x = body_.left();
        for (std::size_t c = 0; c < w.size(); ++c) {
            const QRectF cell(x, y_, w[c], h);
            if (header) painter_->fillRect(cell, QColor(0xe8, 0xe8, 0xe8));
            painter_->setPen(QPen(Qt::black, Mm(0.15)));
            painter_->setBrush(Qt::NoBrush);
            painter_->drawRect(cell);
            if (c < row.size()) {
                const Qt::Alignment align =
                    int(c) == wrapColumn && !header ? Qt::AlignLeft : Qt::AlignHCenter;
                painter_->save();
                painter_->setClipRect(cell);
                DrawText(cell.adjusted(Mm(kCellPadX), Mm(kCellPadY), -Mm(kCellPadX), 0), Q(row[c]),
                         font, align, grey ? kGrey : QColor(Qt::black));
                painter_->restore();
            }
            x += w[c];
        }
    }

    void Table(const TReportTable& t) {
        const std::vector<double> w = ColumnWidths(t);
        const double headerH = RowHeight(t.Headers, w, fonts_.TableHeader);
        auto header = [&] {
            DrawRow(t.Headers, w, headerH, fonts_.TableHeader, true, false, t.WrapColumn);
            y_ += headerH;
        };
        const double first = t.Rows.empty() ? 0 : RowHeight(t.Rows[0], w, fonts_.Table);
        Ensure(headerH + first);
        header();
        for (std::size_t r = 0; r < t.Rows.size(); ++r) {
            const double h = RowHeight(t.Rows[r], w, fonts_.Table);
            if (y_ + h > body_.bottom()) {
                NewPage();
                header();
            }
            DrawRow(t.Rows[r], w, h, fonts_.Table, false, r < t.Greyed.size() && t.Greyed[r],
                    t.WrapColumn);
            y_ += h;
        }
        y_ += Mm(2.5);
    }

    // A plot as vectors: painted in its own units, scaled onto the page.
    void Painted(double heightMm, const TReportPainter& paint) {
        const QRectF box(body_.left() + (body_.width() - Mm(ReportPlotWidth)) / 2, 0,
                         Mm(ReportPlotWidth), Mm(heightMm));
        const int unitsHigh = PlotUnitsHigh(heightMm);
        Ensure(box.height());
        if (painter_) {
            painter_->save();
            painter_->translate(box.left(), y_);
            painter_->scale(box.width() / ReportPlotUnitsWide, box.height() / unitsHigh);
            paint(*painter_, QRect(0, 0, ReportPlotUnitsWide, unitsHigh));
            painter_->restore();
            painter_->setPen(QPen(Qt::black, Mm(0.15)));
            painter_->setBrush(Qt::NoBrush);
            painter_->drawRect(QRectF(box.left(), y_, box.width(), box.height()));
        }
        y_ += box.height() + Mm(2.5);
    }

    double SignaturesHeight(const TReportBlock& b) const {
        return Mm(8) + b.Signers.size() * Mm(14);
    }

    // A line to sign on and a line for the date, for each signer.
    void Signatures(const TReportBlock& b) {
        Ensure(SignaturesHeight(b));
        y_ += Mm(8);
        const QFont& font = fonts_.Body;
        const double h = LineHeight(font);
        for (std::size_t k = 0; k < b.Signers.size(); ++k) {
            const std::string& signer = b.Signers[k];
            const auto signedBy =
                k < b.Signed.size() ? b.Signed[k] : std::pair<std::string, std::string>{};
            const QString label = Q(signer + "（签字）：");
            const QString date = QStringLiteral("日期：");
            double x = body_.left() + Mm(4);
            const double base = y_ + h;
            DrawText(QRectF(x, y_, Advance(label, font) + Mm(1), h), label, font, Qt::AlignLeft);
            x += Advance(label, font);
            if (painter_) {
                painter_->setPen(QPen(Qt::black, Mm(0.2)));
                painter_->drawLine(QPointF(x, base), QPointF(x + Mm(55), base));
            }
            if (!signedBy.first.empty())
                DrawText(QRectF(x + Mm(1), y_, Mm(54), h), Q(signedBy.first), font, Qt::AlignLeft);
            x += Mm(62);
            DrawText(QRectF(x, y_, Advance(date, font) + Mm(1), h), date, font, Qt::AlignLeft);
            x += Advance(date, font);
            if (painter_) painter_->drawLine(QPointF(x, base), QPointF(x + Mm(35), base));
            if (!signedBy.second.empty())
                DrawText(QRectF(x + Mm(1), y_, Mm(60), h), Q(signedBy.second), font, Qt::AlignLeft);
            y_ += Mm(14);
        }
    }
};

}  // namespace

int PaintReportPages(QPagedPaintDevice& device, const TReportContent& content,
                     const TFreqPlotData& plot) {
    InstallSongFontSubstitution();
    const int pages = TPageFlow(device, nullptr, content, plot, 0).Run();
    QPainter painter;
    if (!painter.begin(&device)) return 0;
    const int painted = TPageFlow(device, &painter, content, plot, pages).Run();
    return painter.end() ? painted : 0;
}

TReportPainter FreqPlotPainter(const TFreqPlotData& plot) {
    return [&plot](QPainter& p, const QRect& area) { PaintFreqPlot(p, area, plot); };
}

TReportPainter PlateauPlotPainter(const TReportBlock& block) {
    return [&block](QPainter& p, const QRect& area) {
        PaintPlateauPlot(p, area, block.Positions, block.CurrentDistance);
    };
}
