#include "analysis/FreqPlot.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <functional>

#include "analysis/FreqAnalysisText.h"
#include "protocol/Numbers.h"
#include "qtext/QText.h"
#include "report/SongFont.h"

namespace {

struct TSeries {
    const char* Name;
    QColor Colour;
    Qt::PenStyle Line;
    TPlotMark Mark;
    double TPlotPoint::*Value;
};

const TSeries kSeries[] = {
    {"R（电阻分量）", PlotStyleR.Colour, PlotStyleR.Line, PlotStyleR.Mark, &TPlotPoint::R},
    {"X（电抗分量）", PlotStyleX.Colour, PlotStyleX.Line, PlotStyleX.Mark, &TPlotPoint::X},
    {"|Z|（阻抗）", PlotStyleZ.Colour, PlotStyleZ.Line, PlotStyleZ.Mark, &TPlotPoint::Z},
};

}  // namespace

// Dark colours that stay apart in grey; the marks and lines tell them apart on paper.
const TPlotStyle PlotStyleR{QColor(0x1f, 0x3a, 0x93), Qt::SolidLine, TPlotMark::Square};
const TPlotStyle PlotStyleX{QColor(0xa0, 0x1c, 0x1c), Qt::DashLine, TPlotMark::Triangle};
const TPlotStyle PlotStyleZ{QColor(0x20, 0x20, 0x20), Qt::DotLine, TPlotMark::Circle};

void DrawValueAxis(QPainter& p, const QRect& area, const QRect& plot, const TValueScale& scale,
                   const QString& xTitle, const QString& yTitle) {
    const int line = p.fontMetrics().height();
    for (double v : scale.ValueLines()) {
        const double at = plot.bottom() - v / scale.ValueHigh * plot.height();
        p.setPen(QPen(QColor(0xd0, 0xd0, 0xd0), 1));
        p.drawLine(QPointF(plot.left(), at), QPointF(plot.right(), at));
        p.setPen(Qt::black);
        p.drawText(QRectF(plot.left() - 62, at - line / 2.0, 56, line),
                   Qt::AlignRight | Qt::AlignVCenter, QString::number(v, 'g', 6));
    }
    p.setPen(QPen(Qt::black, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRect(plot);
    p.drawText(QRect(plot.left(), plot.bottom() + line + 8, plot.width(), line), Qt::AlignHCenter,
               xTitle);
    p.save();
    p.translate(area.left() + 4 + line, plot.center().y());
    p.rotate(-90);
    p.drawText(QRect(-plot.height() / 2, -line, plot.height(), line + 4), Qt::AlignCenter, yTitle);
    p.restore();
}

void DrawPlotMark(QPainter& p, TPlotMark mark, QPointF at, double size, const QColor& colour,
                  bool filled) {
    p.setPen(QPen(filled ? Qt::black : colour, 1.5));
    p.setBrush(filled ? QBrush(colour) : QBrush(Qt::white));
    const double h = size / 2;
    switch (mark) {
        case TPlotMark::Square:
            p.drawRect(QRectF(at.x() - h, at.y() - h, size, size));
            break;
        case TPlotMark::Triangle:
            p.drawPolygon(QPolygonF({QPointF(at.x(), at.y() - h * 1.2),
                                     QPointF(at.x() - h * 1.1, at.y() + h * 0.8),
                                     QPointF(at.x() + h * 1.1, at.y() + h * 0.8)}));
            break;
        case TPlotMark::Circle:
            p.drawEllipse(at, h, h);
            break;
    }
}

namespace {

// The power-frequency value: a circle with a cross.
void DrawValueMark(QPainter& p, QPointF at) {
    p.setPen(QPen(Qt::black, 2));
    p.setBrush(Qt::white);
    p.drawEllipse(at, 7, 7);
    p.drawLine(at - QPointF(7, 0), at + QPointF(7, 0));
    p.drawLine(at - QPointF(0, 7), at + QPointF(0, 7));
}

QString ImpedanceShown(double v) {
    try {
        return Q(ImpedanceText(v));
    } catch (const TNotANumber&) {
        return QStringLiteral("无效");
    }
}

// The area the axes enclose, and how values map into it.
struct TPlotFrame {
    QRect Plot;
    TPlotScale Scale;
    double X(double frequency) const {
        return Plot.left() + Scale.FrequencyAt(frequency) * Plot.width();
    }
    double Y(double ohms) const { return Plot.bottom() - Scale.ValueAt(ohms) * Plot.height(); }
};

// The heading: the value and how it was found. Gives its bottom.
int DrawHeading(QPainter& p, const QRect& area, const QString& title) {
    p.setPen(Qt::black);
    const int flags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap;
    QRect heading(area.left() + 8, area.top() + 6, area.width() - 16, area.height() / 3);
    heading.setHeight(p.fontMetrics().boundingRect(heading, flags, title).height());
    p.drawText(heading, flags, title);
    return heading.bottom();
}

// The legend below top, in as many rows as the width needs: the three series,
// then what the marks mean. Each entry is a sample 40 units wide and its name.
// Gives the top of its last row.
int DrawLegend(QPainter& p, const QRect& area, int top) {
    struct TEntry {
        QString Name;
        std::function<void(QPointF)> Sample;
    };
    std::vector<TEntry> entries;
    for (const TSeries& s : kSeries)
        entries.push_back({QString::fromUtf8(s.Name), [&p, &s](QPointF at) {
                               p.setPen(QPen(s.Colour, 2, s.Line));
                               p.drawLine(at - QPointF(18, 0), at + QPointF(18, 0));
                               DrawPlotMark(p, s.Mark, at, 10, s.Colour, true);
                           }});
    entries.push_back({QStringLiteral("单条记录"),
                       [&p](QPointF at) { DrawPlotMark(p, TPlotMark::Circle, at, 9, Qt::black, false); }});
    entries.push_back({QStringLiteral("频率均值"),
                       [&p](QPointF at) { DrawPlotMark(p, TPlotMark::Circle, at, 12, Qt::gray, true); }});
    entries.push_back({QStringLiteral("工频值"), [&p](QPointF at) { DrawValueMark(p, at); }});
    const QFontMetrics fm = p.fontMetrics();
    const int line = fm.height();
    int x = area.left() + 16;
    for (const TEntry& e : entries) {
        const int width = 44 + fm.horizontalAdvance(e.Name) + 16;
        if (x + width > area.right() - 8 && x > area.left() + 16) {
            x = area.left() + 16;
            top += line + 4;
        }
        e.Sample(QPointF(x + 20, top + line / 2.0));
        p.setPen(Qt::black);
        p.drawText(x + 44, top + fm.ascent(), e.Name);
        x += width;
    }
    return top;
}

// Grid, axes and their labels.
void DrawAxes(QPainter& p, const QRect& area, const TPlotFrame& f) {
    const QRect& plot = f.Plot;
    const int line = p.fontMetrics().height();
    const QPen grid(QColor(0xd0, 0xd0, 0xd0), 1);
    for (double freq : f.Scale.FrequencyLines()) {
        p.setPen(grid);
        p.drawLine(QPointF(f.X(freq), plot.top()), QPointF(f.X(freq), plot.bottom()));
        p.setPen(Qt::black);
        p.drawText(QRectF(f.X(freq) - 30, plot.bottom() + 4, 60, line), Qt::AlignHCenter,
                   QString::number(freq));
    }
    DrawValueAxis(p, area, plot, f.Scale, QStringLiteral("频率 f (Hz)"),
                  QStringLiteral("R、X、|Z| (") + QString::fromStdString(f.Scale.Unit) + u')');
}

void DrawPowerFrequencyLine(QPainter& p, const TPlotFrame& f, int f0) {
    p.setPen(QPen(Qt::darkGray, 1.5, Qt::DashDotLine));
    p.drawLine(QPointF(f.X(f0), f.Plot.top()), QPointF(f.X(f0), f.Plot.bottom()));
    p.setPen(Qt::black);
    p.drawText(QRectF(f.X(f0) + 4, f.Plot.top() + 2, 120, p.fontMetrics().height()), Qt::AlignLeft,
               QStringLiteral("工频 %1Hz").arg(f0));
}

// The line of one series through the two means the value lies between; |Z|
// of the interpolated R and X is a curve, drawn in short pieces.
void DrawInterpolation(QPainter& p, const TPlotFrame& f, const TSeries& s,
                       const TFreqAnalysis& analysis) {
    const TFrequencyMean *a = nullptr, *b = nullptr;
    for (const TFrequencyMean& m : analysis.Means) {
        if (m.Frequency == analysis.TwoPoint->Below) a = &m;
        if (m.Frequency == analysis.TwoPoint->Above) b = &m;
    }
    QPainterPath path;
    for (int k = 0; k <= 24; ++k) {
        const double t = k / 24.0;
        const double r = a->R + t * (b->R - a->R), xr = a->X + t * (b->X - a->X);
        const double v = s.Value == &TPlotPoint::R   ? r
                         : s.Value == &TPlotPoint::X ? xr
                                                     : std::hypot(r, xr);
        const QPointF at(f.X(a->Frequency + t * (b->Frequency - a->Frequency)), f.Y(v));
        k ? path.lineTo(at) : path.moveTo(at);
    }
    p.setPen(QPen(s.Colour, 2, s.Line));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

// Per series: the interpolation line, each record hollow, each mean filled.
void DrawSeries(QPainter& p, const TPlotFrame& f, const TFreqPlotData& data) {
    for (const TSeries& s : kSeries) {
        if (data.Analysis.TwoPoint) DrawInterpolation(p, f, s, data.Analysis);
        for (const TPlotPoint& pt : data.Points)
            DrawPlotMark(p, s.Mark, QPointF(f.X(pt.Frequency), f.Y(pt.*s.Value)), 8, s.Colour, false);
        for (const TFrequencyMean& m : data.Analysis.Means) {
            if (m.Count == 0) continue;
            const TPlotPoint mean{m.Frequency, m.R, m.X, m.Z};
            DrawPlotMark(p, s.Mark, QPointF(f.X(m.Frequency), f.Y(mean.*s.Value)), 12, s.Colour, true);
        }
    }
}

}  // namespace

void PaintFreqPlot(QPainter& p, const QRect& area, const TFreqPlotData& data) {
    p.save();
    p.fillRect(area, Qt::white);
    p.setRenderHint(QPainter::Antialiasing);
    p.setFont(SongFont(14));
    const int line = p.fontMetrics().height();
    const int legendTop = DrawLegend(p, area, DrawHeading(p, area, data.Title) + 4);

    const TFreqAnalysis& analysis = data.Analysis;
    const QRect plot(area.left() + 78, legendTop + line + 14, area.width() - 78 - 28,
                     area.bottom() - 52 - (legendTop + line + 14));
    if (data.Points.empty() || plot.width() < 50 || plot.height() < 50) {
        p.drawText(plot, Qt::AlignCenter, QStringLiteral("没有可画的记录"));
        p.restore();
        return;
    }
    std::optional<double> valueZ;
    if (analysis.TwoPoint) valueZ = analysis.TwoPoint->Value.Z;
    const TPlotFrame frame{plot, PlotScale(analysis.PowerFrequency, data.Points, valueZ)};
    DrawAxes(p, area, frame);
    DrawPowerFrequencyLine(p, frame, analysis.PowerFrequency);
    p.setClipRect(plot.adjusted(-8, -8, 8, 8));
    DrawSeries(p, frame, data);
    if (analysis.TwoPoint) {
        const TPowerValue& v = analysis.TwoPoint->Value;
        for (double value : {v.R, v.X, v.Z})
            DrawValueMark(p, QPointF(frame.X(analysis.PowerFrequency), frame.Y(value)));
    }
    p.restore();
}

TFreqPlotData FreqPlotDataOf(const std::vector<TRecordValues>& records,
                             const std::vector<bool>& checked, const TFreqAnalysis& analysis) {
    TFreqPlotData data;
    for (std::size_t k = 0; k < records.size(); ++k) {
        const TRecordImpedance z = RecordImpedance(records[k]);
        if ((k >= checked.size() || checked[k]) && z.LeftOut == TLeftOut::No)
            data.Points.push_back({records[k].Frequency, z.R, z.X, z.Z});
    }
    data.Analysis = analysis;
    const TAnalysisResultTexts texts = AnalysisResultTexts(analysis, records.size());
    const QString f0 = QStringLiteral("工频%1Hz：").arg(analysis.PowerFrequency);
    data.Title = texts.TwoPoint.empty() ? f0 + Q(texts.Method)
                                        : f0 + Q(texts.TwoPoint) + QStringLiteral("\n（") +
                                              Q(texts.Method) + QStringLiteral("）");
    return data;
}

QString FreqPlotDescription(const TFreqPlotData& data) {
    QStringList means;
    for (const TFrequencyMean& m : data.Analysis.Means)
        if (m.Count > 0)
            means << QStringLiteral("%1Hz：R %2，X %3，|Z| %4（%5条记录）")
                         .arg(m.Frequency)
                         .arg(ImpedanceShown(m.R), ImpedanceShown(m.X), ImpedanceShown(m.Z))
                         .arg(m.Count);
    return (means.isEmpty() ? QStringLiteral("没有可画的记录")
                            : QStringLiteral("各频率均值：") + means.join(QStringLiteral("；"))) +
           QStringLiteral("。") + data.Title;
}

void TPlotWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    Paint(p, rect());
}

QImage TPlotWidget::Picture(const QSize& size) const {
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    Paint(p, image.rect());
    return image;
}

TFreqPlot::TFreqPlot(QWidget* parent) : TPlotWidget(parent) {
    setMinimumSize(420, 300);
    setAccessibleName(QStringLiteral("R、X、|Z| 与频率的关系图"));
}

void TFreqPlot::SetData(std::vector<TPlotPoint> points, const TFreqAnalysis& analysis,
                        const QString& title) {
    data_ = {std::move(points), analysis, title};
    setAccessibleDescription(FreqPlotDescription(data_));
    update();
}

void TFreqPlot::Paint(QPainter& p, const QRect& area) const {
    PaintFreqPlot(p, area, data_);
}

namespace {

// Where the positions stand along the plot's x axis.
double PlateauX(const TProbePosition& p, double currentDistance) {
    return currentDistance > 0 ? p.ProbeDistance / currentDistance : p.ProbeDistance;
}

QString PlateauXTitle(double currentDistance) {
    return currentDistance > 0 ? QStringLiteral("d_PG / d_CG") : QStringLiteral("d_PG (m)");
}

}  // namespace

void PaintPlateauPlot(QPainter& p, const QRect& area, const std::vector<TProbePosition>& positions,
                      double currentDistance) {
    p.save();
    p.fillRect(area, Qt::white);
    p.setRenderHint(QPainter::Antialiasing);
    p.setFont(SongFont(14));
    const int line = p.fontMetrics().height();
    p.setPen(Qt::black);
    p.drawText(QRect(area.left(), area.top() + 4, area.width(), line), Qt::AlignHCenter,
               QStringLiteral("各测点工频值（阴影：平均值±2.5%）"));
    const QRect plot(area.left() + 78, area.top() + line + 14, area.width() - 78 - 24,
                     area.height() - 3 * line - 44);
    std::vector<TProbePosition> shown;
    for (const TProbePosition& q : positions)
        if (std::isfinite(q.ProbeDistance) && std::isfinite(q.Z) && q.Z > 0) shown.push_back(q);
    if (shown.empty() || plot.width() < 50 || plot.height() < 30) {
        p.drawText(plot, Qt::AlignCenter, QStringLiteral("没有测点的工频值"));
        p.restore();
        return;
    }
    double low = shown[0].Z, high = low, sum = 0, xLow = PlateauX(shown[0], currentDistance),
           xHigh = xLow;
    for (const TProbePosition& q : shown) {
        low = std::min(low, q.Z);
        high = std::max(high, q.Z);
        sum += q.Z;
        xLow = std::min(xLow, PlateauX(q, currentDistance));
        xHigh = std::max(xHigh, PlateauX(q, currentDistance));
    }
    const double mean = sum / shown.size();
    // The values and the band, with room above and below.
    low = std::min(low, mean * 0.975);
    high = std::max(high, mean * 1.025);
    const TValueScale unit = ValueScale(high);
    const double yStep = NiceStep((high - low) * unit.Factor / 4);
    const double yLow = std::floor(low * unit.Factor / yStep - 0.5) * yStep;
    const double yHigh = std::ceil(high * unit.Factor / yStep + 0.5) * yStep;
    const double xStep = NiceStep(std::max(xHigh - xLow, currentDistance > 0 ? 0.05 : 10) / 4);
    const double xFrom = std::floor(xLow / xStep - 0.5) * xStep;
    const double xTo = std::ceil(xHigh / xStep + 0.5) * xStep;
    const auto X = [&](double x) { return plot.left() + (x - xFrom) / (xTo - xFrom) * plot.width(); };
    const auto Y = [&](double ohms) {
        return plot.bottom() - (ohms * unit.Factor - yLow) / (yHigh - yLow) * plot.height();
    };
    p.fillRect(QRectF(QPointF(plot.left(), Y(mean * 1.025)), QPointF(plot.right(), Y(mean * 0.975))),
               QColor(0xe4, 0xe4, 0xe4));
    for (double v = yLow; v <= yHigh + yStep / 2; v += yStep) {
        const double at = Y(v / unit.Factor);
        p.setPen(QPen(QColor(0xd0, 0xd0, 0xd0), 1));
        p.drawLine(QPointF(plot.left(), at), QPointF(plot.right(), at));
        p.setPen(Qt::black);
        p.drawText(QRectF(plot.left() - 62, at - line / 2.0, 56, line),
                   Qt::AlignRight | Qt::AlignVCenter, QString::number(v, 'g', 6));
    }
    for (double x = xFrom; x <= xTo + xStep / 2; x += xStep) {
        p.setPen(QPen(QColor(0xd0, 0xd0, 0xd0), 1));
        p.drawLine(QPointF(X(x), plot.top()), QPointF(X(x), plot.bottom()));
        p.setPen(Qt::black);
        p.drawText(QRectF(X(x) - 40, plot.bottom() + 4, 80, line), Qt::AlignHCenter,
                   QString::number(x, 'g', 6));
    }
    p.setPen(QPen(Qt::black, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRect(plot);
    p.drawText(QRect(plot.left(), plot.bottom() + line + 8, plot.width(), line), Qt::AlignHCenter,
               PlateauXTitle(currentDistance));
    p.save();
    p.translate(area.left() + 4 + line, plot.center().y());
    p.rotate(-90);
    p.drawText(QRect(-plot.height() / 2, -line, plot.height(), line + 4), Qt::AlignCenter,
               QStringLiteral("工频值 (") + QString::fromStdString(unit.Unit) + u')');
    p.restore();
    std::sort(shown.begin(), shown.end(),
              [](const auto& a, const auto& b) { return a.ProbeDistance < b.ProbeDistance; });
    QPolygonF joined;
    for (const TProbePosition& q : shown) joined << QPointF(X(PlateauX(q, currentDistance)), Y(q.Z));
    p.setPen(QPen(PlotStyleZ.Colour, 2, Qt::SolidLine));
    p.drawPolyline(joined);
    for (const QPointF& at : joined) DrawPlotMark(p, PlotStyleZ.Mark, at, 12, PlotStyleZ.Colour, true);
    p.restore();
}

QString PlateauPlotDescription(const std::vector<TProbePosition>& positions,
                               double currentDistance) {
    QStringList parts;
    for (const TProbePosition& q : positions)
        parts << QStringLiteral("%1 = %2：%3")
                     .arg(PlateauXTitle(currentDistance),
                          QString::number(PlateauX(q, currentDistance), 'g', 4),
                          Q(ImpedanceText(q.Z)));
    return QStringLiteral("各测点工频值：") +
           (parts.isEmpty() ? QStringLiteral("没有测点的工频值") : parts.join(QStringLiteral("；")));
}
