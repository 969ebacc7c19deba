#include "app/archive/TrendPlot.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <functional>

#include "analysis/FreqAnalysisText.h"
#include "analysis/FreqPlot.h"
#include "analysis/PlotScale.h"
#include "protocol/Numbers.h"
#include "report/SongFont.h"

namespace {

struct TTrendSeries {
    const char* Name;
    const TPlotStyle* Style;
    double TPowerValue::*Value;
};

const TTrendSeries kTrend[] = {
    {"Z0（工频阻抗）", &PlotStyleZ, &TPowerValue::Z},
    {"R0（电阻分量）", &PlotStyleR, &TPowerValue::R},
    {"X0（电抗分量）", &PlotStyleX, &TPowerValue::X},
};

QString Ohms(double v) {
    try {
        return QString::fromStdString(ImpedanceText(v));
    } catch (const TNotANumber&) {
        return QStringLiteral("无效");
    }
}

QString Signed(double v) {
    try {
        return QString::fromStdString(SignedImpedanceText(v));
    } catch (const TNotANumber&) {
        return QStringLiteral("无效");
    }
}

// The date axis: the campaigns' dates with room on both sides; grid lines on
// years, or on months when the campaigns lie within two years.
struct TDateAxis {
    qint64 First = 0, Last = 1;  // Julian days
    std::vector<QDate> Lines;
    bool Years = true;
    double At(const QDate& d) const { return double(d.toJulianDay() - First) / (Last - First); }
};

TDateAxis DateAxis(const std::vector<TTrendPoint>& points) {
    qint64 low = points.front().Date.toJulianDay(), high = low;
    for (const TTrendPoint& p : points) {
        low = std::min(low, p.Date.toJulianDay());
        high = std::max(high, p.Date.toJulianDay());
    }
    const qint64 spare = std::max<qint64>(60, (high - low) / 12);
    TDateAxis axis{low - spare, high + spare, {}, high - low > 730};
    const QDate first = QDate::fromJulianDay(axis.First), last = QDate::fromJulianDay(axis.Last);
    if (axis.Years) {
        const int step = std::max(1, (last.year() - first.year()) / 8 + 1);
        for (int y = first.year() + 1; y <= last.year(); y += step)
            axis.Lines.push_back(QDate(y, 1, 1));
    } else {
        const int months = (last.year() - first.year()) * 12 + last.month() - first.month();
        const int step = months > 16 ? 3 : months > 8 ? 2 : 1;
        for (QDate d(first.year(), first.month(), 1); d <= last; d = d.addMonths(step))
            if (d > first) axis.Lines.push_back(d);
    }
    return axis;
}

}  // namespace

QString TrendDescription(const std::vector<TTrendPoint>& points, const QString& title) {
    QStringList parts;
    for (const TTrendPoint& p : points) {
        QString text = p.Date.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral("：");
        text += p.Value ? QStringLiteral("Z0 %1，R0 %2，X0 %3")
                              .arg(Ohms(p.Value->Z), Signed(p.Value->R), Signed(p.Value->X))
                        : QStringLiteral("无工频值");
        if (p.Limit) text += QStringLiteral("，设定限值 ") + Ohms(*p.Limit);
        parts << text;
    }
    return title + QStringLiteral("。") +
           (parts.isEmpty() ? QStringLiteral("没有测试") : parts.join(QStringLiteral("；")));
}

TTrendPlot::TTrendPlot(QWidget* parent) : TPlotWidget(parent) {
    setMinimumSize(360, 240);
    setAccessibleName(QStringLiteral("Z0、R0、X0 历次测试趋势图"));
}

void TTrendPlot::SetData(std::vector<TTrendPoint> points, const QString& title) {
    std::stable_sort(points.begin(), points.end(),
                     [](const TTrendPoint& a, const TTrendPoint& b) { return a.Date < b.Date; });
    points_ = std::move(points);
    title_ = title;
    setAccessibleDescription(TrendDescription(points_, title_));
    update();
}

namespace {

// The legend on one row below the title: the three values and the limit.
void PaintLegend(QPainter& p, const QRect& area, int top) {
    const QFontMetrics fm = p.fontMetrics();
    const int line = fm.height();
    int x = area.left() + 16;
    for (const TTrendSeries& s : kTrend) {
        const QPointF at(x + 20, top + line / 2.0);
        p.setPen(QPen(s.Style->Colour, 2, s.Style->Line));
        p.drawLine(at - QPointF(18, 0), at + QPointF(18, 0));
        DrawPlotMark(p, s.Style->Mark, at, 10, s.Style->Colour, true);
        p.setPen(Qt::black);
        p.drawText(x + 44, top + fm.ascent(), QString::fromUtf8(s.Name));
        x += 44 + fm.horizontalAdvance(QString::fromUtf8(s.Name)) + 16;
    }
    p.setPen(QPen(Qt::darkGray, 2, Qt::DashDotLine));
    p.drawLine(x, top + line / 2, x + 36, top + line / 2);
    p.setPen(Qt::black);
    p.drawText(x + 44, top + fm.ascent(), QStringLiteral("设定限值"));
}

// The grid line and label of each date the axis names.
void PaintDates(QPainter& p, const QRect& plot, const TDateAxis& axis,
                const std::function<double(const QDate&)>& X) {
    const int line = p.fontMetrics().height();
    const QPen grid(QColor(0xd0, 0xd0, 0xd0), 1);
    for (const QDate& d : axis.Lines) {
        p.setPen(grid);
        p.drawLine(QPointF(X(d), plot.top()), QPointF(X(d), plot.bottom()));
        p.setPen(Qt::black);
        p.drawText(QRectF(X(d) - 40, plot.bottom() + 4, 80, line), Qt::AlignHCenter,
                   d.toString(axis.Years ? QStringLiteral("yyyy") : QStringLiteral("yyyy-MM")));
    }
}

// The limit: across the whole plot while every campaign has the same one,
// else from one campaign's limit to the next, a short stroke where alone.
void PaintLimit(QPainter& p, const QRect& plot, const std::vector<TTrendPoint>& points,
                const std::function<QPointF(const QDate&, double)>& At) {
    std::vector<double> limits;
    for (const TTrendPoint& pt : points)
        if (pt.Limit) limits.push_back(*pt.Limit);
    p.setPen(QPen(Qt::darkGray, 2, Qt::DashDotLine));
    if (!limits.empty() && limits.size() == points.size() &&
        std::all_of(limits.begin(), limits.end(), [&](double l) { return l == limits[0]; })) {
        const double y = At(points[0].Date, limits[0]).y();
        p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        return;
    }
    QPainterPath limit;
    bool drawing = false;
    for (std::size_t k = 0; k < points.size(); ++k) {
        const TTrendPoint& pt = points[k];
        if (!pt.Limit) {
            drawing = false;
            continue;
        }
        const QPointF at = At(pt.Date, *pt.Limit);
        const bool lone = k + 1 == points.size() || !points[k + 1].Limit;
        if (drawing)
            limit.lineTo(at);
        else if (lone)
            limit.moveTo(at - QPointF(20, 0)), limit.lineTo(at + QPointF(20, 0));
        else
            limit.moveTo(at);
        drawing = true;
    }
    p.drawPath(limit);
}

// Each value as a line through its campaigns, with its marks.
void PaintSeries(QPainter& p, const std::vector<TTrendPoint>& points,
                 const std::function<QPointF(const QDate&, double)>& At) {
    for (const TTrendSeries& s : kTrend) {
        QPainterPath path;
        bool joined = false;
        for (const TTrendPoint& pt : points) {
            if (!pt.Value) {
                joined = false;  // a campaign without a value breaks the line
                continue;
            }
            const QPointF at = At(pt.Date, (*pt.Value).*s.Value);
            joined ? path.lineTo(at) : path.moveTo(at);
            joined = true;
        }
        p.setPen(QPen(s.Style->Colour, 2, s.Style->Line));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        for (const TTrendPoint& pt : points)
            if (pt.Value)
                DrawPlotMark(p, s.Style->Mark, At(pt.Date, (*pt.Value).*s.Value), 10,
                             s.Style->Colour, true);
    }
}

}  // namespace

void TTrendPlot::Paint(QPainter& p, const QRect& area) const {
    p.save();
    p.fillRect(area, Qt::white);
    p.setRenderHint(QPainter::Antialiasing);
    p.setFont(SongFont(14));
    const int line = p.fontMetrics().height();
    p.setPen(Qt::black);
    p.drawText(QRect(area.left(), area.top() + 4, area.width(), line), Qt::AlignHCenter, title_);
    const int legend = area.top() + line + 10;
    PaintLegend(p, area, legend);

    const QRect plot(area.left() + 78, legend + line + 12, area.width() - 78 - 24,
                     area.bottom() - 2 * line - 16 - (legend + line + 12));
    if (points_.empty() || plot.width() < 50 || plot.height() < 50) {
        p.drawText(plot, Qt::AlignCenter, QStringLiteral("没有测试"));
        p.restore();
        return;
    }
    double top = 0;
    for (const TTrendPoint& pt : points_) {
        if (pt.Value) top = std::max({top, pt.Value->Z, pt.Value->R, pt.Value->X});
        if (pt.Limit) top = std::max(top, *pt.Limit);
    }
    const TValueScale scale = ValueScale(top);
    const TDateAxis axis = DateAxis(points_);
    const auto X = [&](const QDate& d) { return plot.left() + axis.At(d) * plot.width(); };
    const auto At = [&](const QDate& d, double ohms) {
        return QPointF(X(d), plot.bottom() - scale.ValueAt(ohms) * plot.height());
    };
    PaintDates(p, plot, axis, X);
    DrawValueAxis(p, area, plot, scale, QStringLiteral("测试日期"),
                  QStringLiteral("工频值 (") + QString::fromStdString(scale.Unit) + u')');
    p.setClipRect(plot.adjusted(-8, -8, 8, 8));
    PaintLimit(p, plot, points_, At);
    PaintSeries(p, points_, At);
    p.restore();
}
