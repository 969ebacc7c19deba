#include "analysis/FreqPlot.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <functional>

#include "protocol/Numbers.h"
#include "report/SongFont.h"

namespace {

enum class TMark { Square, Triangle, Circle };

struct TSeries {
    const char* Name;
    QColor Colour;
    Qt::PenStyle Line;
    TMark Mark;
    double TPlotPoint::*Value;
};

// Dark colours that stay apart in grey; the marks and lines tell them apart on paper.
const TSeries kSeries[] = {
    {"R（电阻分量）", QColor(0x1f, 0x3a, 0x93), Qt::SolidLine, TMark::Square, &TPlotPoint::R},
    {"X（电抗分量）", QColor(0xa0, 0x1c, 0x1c), Qt::DashLine, TMark::Triangle, &TPlotPoint::X},
    {"|Z|（阻抗）", QColor(0x20, 0x20, 0x20), Qt::DotLine, TMark::Circle, &TPlotPoint::Z},
};

// 1, 2 or 5 times a power of ten, at least `rough`.
double NiceStep(double rough) {
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * power >= rough) return m * power;
    return 10 * power;
}

void DrawMark(QPainter& p, TMark mark, QPointF at, double size, const QColor& colour, bool filled) {
    p.setPen(QPen(filled ? Qt::black : colour, 1.5));
    p.setBrush(filled ? QBrush(colour) : QBrush(Qt::white));
    const double h = size / 2;
    switch (mark) {
        case TMark::Square:
            p.drawRect(QRectF(at.x() - h, at.y() - h, size, size));
            break;
        case TMark::Triangle:
            p.drawPolygon(QPolygonF({QPointF(at.x(), at.y() - h * 1.2),
                                     QPointF(at.x() - h * 1.1, at.y() + h * 0.8),
                                     QPointF(at.x() + h * 1.1, at.y() + h * 0.8)}));
            break;
        case TMark::Circle:
            p.drawEllipse(at, h, h);
            break;
    }
}

// The power-frequency value: a circle with a cross.
void DrawValueMark(QPainter& p, QPointF at) {
    p.setPen(QPen(Qt::black, 2));
    p.setBrush(Qt::white);
    p.drawEllipse(at, 7, 7);
    p.drawLine(at - QPointF(7, 0), at + QPointF(7, 0));
    p.drawLine(at - QPointF(0, 7), at + QPointF(0, 7));
}

QString Text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

QString ImpedanceShown(double v) {
    try {
        return Text(ImpedanceText(v));
    } catch (const TNotANumber&) {
        return QStringLiteral("无效");
    }
}

}  // namespace

TFreqPlot::TFreqPlot(QWidget* parent) : QWidget(parent) {
    setMinimumSize(420, 300);
    setAccessibleName(QStringLiteral("R、X、|Z| 与频率的关系图"));
}

void TFreqPlot::SetData(std::vector<TPlotPoint> points, const TFreqAnalysis& analysis,
                        const QString& title) {
    points_ = std::move(points);
    analysis_ = analysis;
    title_ = title;
    // What the plot shows, for those who cannot see it.
    QStringList means;
    for (const TFrequencyMean& m : analysis_.Means)
        if (m.Count > 0)
            means << QStringLiteral("%1Hz：R %2，X %3，|Z| %4（%5条记录）")
                         .arg(m.Frequency)
                         .arg(ImpedanceShown(m.R), ImpedanceShown(m.X), ImpedanceShown(m.Z))
                         .arg(m.Count);
    setAccessibleDescription(
        (means.isEmpty() ? QStringLiteral("没有可画的记录")
                         : QStringLiteral("各频率均值：") + means.join(QStringLiteral("；"))) +
        QStringLiteral("。") + title_);
    update();
}

void TFreqPlot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    Paint(p, rect());
}

QImage TFreqPlot::Picture(const QSize& size) const {
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    Paint(p, image.rect());
    return image;
}

void TFreqPlot::Paint(QPainter& p, const QRect& area) const {
    p.save();
    p.fillRect(area, Qt::white);
    p.setRenderHint(QPainter::Antialiasing);
    p.setFont(SongFont(14));
    const QFontMetrics fm = p.fontMetrics();
    const int line = fm.height();

    // The heading: the value and how it was found.
    p.setPen(Qt::black);
    const int flags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap;
    QRect heading(area.left() + 8, area.top() + 6, area.width() - 16, area.height() / 3);
    heading.setHeight(fm.boundingRect(heading, flags, title_).height());
    p.drawText(heading, flags, title_);

    // The legend, in as many rows as the width needs: the three series, then
    // what the marks mean. Each entry is a sample 40 pixels wide and its name.
    struct TEntry {
        QString Name;
        std::function<void(QPointF)> Sample;
    };
    std::vector<TEntry> entries;
    for (const TSeries& s : kSeries)
        entries.push_back({QString::fromUtf8(s.Name), [&p, &s](QPointF at) {
                               p.setPen(QPen(s.Colour, 2, s.Line));
                               p.drawLine(at - QPointF(18, 0), at + QPointF(18, 0));
                               DrawMark(p, s.Mark, at, 10, s.Colour, true);
                           }});
    entries.push_back({QStringLiteral("单条记录"),
                       [&p](QPointF at) { DrawMark(p, TMark::Circle, at, 9, Qt::black, false); }});
    entries.push_back({QStringLiteral("频率均值"),
                       [&p](QPointF at) { DrawMark(p, TMark::Circle, at, 12, Qt::gray, true); }});
    entries.push_back({QStringLiteral("工频值"), [&p](QPointF at) { DrawValueMark(p, at); }});
    int x = area.left() + 16, legendTop = heading.bottom() + 4;
    for (const TEntry& e : entries) {
        const int width = 44 + fm.horizontalAdvance(e.Name) + 16;
        if (x + width > area.right() - 8 && x > area.left() + 16) {
            x = area.left() + 16;
            legendTop += line + 4;
        }
        e.Sample(QPointF(x + 20, legendTop + line / 2.0));
        p.setPen(Qt::black);
        p.drawText(x + 44, legendTop + fm.ascent(), e.Name);
        x += width;
    }

    const int f0 = analysis_.PowerFrequency;
    const QRect plot(area.left() + 78, legendTop + line + 14, area.width() - 78 - 28,
                     area.bottom() - 52 - (legendTop + line + 14));
    if (points_.empty() || plot.width() < 50 || plot.height() < 50) {
        p.drawText(plot, Qt::AlignCenter, QStringLiteral("没有可画的记录"));
        p.restore();
        return;
    }

    // Scales: frequencies with f0 and two hertz to spare; values from 0.
    int fLow = f0, fHigh = f0;
    double top = 0;
    for (const TPlotPoint& pt : points_) {
        fLow = std::min(fLow, pt.Frequency);
        fHigh = std::max(fHigh, pt.Frequency);
        top = std::max({top, pt.R, pt.X, pt.Z});
    }
    if (analysis_.TwoPoint) top = std::max(top, analysis_.TwoPoint->Value.Z);
    const double xLow = fLow - 2, xHigh = fHigh + 2;
    const double scale = top >= 1000 ? 1e-3 : top < 1 ? 1e3 : 1;
    const QString unit = top >= 1000 ? QStringLiteral("kΩ")
                         : top < 1   ? QStringLiteral("mΩ")
                                     : QStringLiteral("Ω");
    const double yStep = NiceStep(top > 0 ? top * scale * 1.1 / 5 : 0.2);
    const double yHigh = yStep * std::ceil((top > 0 ? top * scale * 1.1 : 1) / yStep);
    const auto X = [&](double f) {
        return plot.left() + (f - xLow) / (xHigh - xLow) * plot.width();
    };
    const auto Y = [&](double v) { return plot.bottom() - v * scale / yHigh * plot.height(); };

    // Grid, axes and their labels.
    p.setPen(QPen(QColor(0xd0, 0xd0, 0xd0), 1));
    const double xStep = std::max(1.0, NiceStep((xHigh - xLow) / 8));
    for (double f = std::ceil(xLow / xStep) * xStep; f <= xHigh; f += xStep) {
        p.setPen(QPen(QColor(0xd0, 0xd0, 0xd0), 1));
        p.drawLine(QPointF(X(f), plot.top()), QPointF(X(f), plot.bottom()));
        p.setPen(Qt::black);
        p.drawText(QRectF(X(f) - 30, plot.bottom() + 4, 60, line), Qt::AlignHCenter,
                   QString::number(f));
    }
    for (int k = 0; k * yStep <= yHigh + yStep / 1000; ++k) {
        const double v = k * yStep;
        const double at = plot.bottom() - v / yHigh * plot.height();
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
               QStringLiteral("频率 f (Hz)"));
    p.save();
    p.translate(area.left() + 4 + line, plot.center().y());
    p.rotate(-90);
    p.drawText(QRect(-plot.height() / 2, -line, plot.height(), line + 4), Qt::AlignCenter,
               QStringLiteral("R、X、|Z| (") + unit + u')');
    p.restore();

    // The f0 line.
    p.setPen(QPen(Qt::darkGray, 1.5, Qt::DashDotLine));
    p.drawLine(QPointF(X(f0), plot.top()), QPointF(X(f0), plot.bottom()));
    p.setPen(Qt::black);
    p.drawText(QRectF(X(f0) + 4, plot.top() + 2, 120, line), Qt::AlignLeft,
               QStringLiteral("工频 %1Hz").arg(f0));

    p.setClipRect(plot.adjusted(-8, -8, 8, 8));
    for (const TSeries& s : kSeries) {
        // The lines through the two means the value lies between; |Z| of the
        // interpolated R and X is a curve, drawn in short pieces.
        if (analysis_.TwoPoint) {
            const TFrequencyMean *a = nullptr, *b = nullptr;
            for (const TFrequencyMean& m : analysis_.Means) {
                if (m.Frequency == analysis_.TwoPoint->Below) a = &m;
                if (m.Frequency == analysis_.TwoPoint->Above) b = &m;
            }
            QPainterPath path;
            for (int k = 0; k <= 24; ++k) {
                const double t = k / 24.0;
                const double r = a->R + t * (b->R - a->R), xr = a->X + t * (b->X - a->X);
                const double v = s.Value == &TPlotPoint::R   ? r
                                 : s.Value == &TPlotPoint::X ? xr
                                                             : std::hypot(r, xr);
                const QPointF at(X(a->Frequency + t * (b->Frequency - a->Frequency)), Y(v));
                k ? path.lineTo(at) : path.moveTo(at);
            }
            p.setPen(QPen(s.Colour, 2, s.Line));
            p.setBrush(Qt::NoBrush);
            p.drawPath(path);
        }
        for (const TPlotPoint& pt : points_)
            DrawMark(p, s.Mark, QPointF(X(pt.Frequency), Y(pt.*s.Value)), 8, s.Colour, false);
        for (const TFrequencyMean& m : analysis_.Means) {
            if (m.Count == 0) continue;
            const TPlotPoint mean{m.Frequency, m.R, m.X, m.Z};
            DrawMark(p, s.Mark, QPointF(X(m.Frequency), Y(mean.*s.Value)), 12, s.Colour, true);
        }
    }
    if (analysis_.TwoPoint) {
        const TPowerValue& v = analysis_.TwoPoint->Value;
        for (double value : {v.R, v.X, v.Z}) DrawValueMark(p, QPointF(X(f0), Y(value)));
    }
    p.restore();
}
