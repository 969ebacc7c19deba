#pragma once
// The plot of the frequency analysis: R, X and |Z| against the test frequency,
// drawn with Qt's own painting. Each record is a hollow mark, each
// frequency's mean a filled one, the lines run through the two means the
// power-frequency value is interpolated between, and that value is the
// crossed circle on the f0 line. Series differ by mark and line style as
// well as colour, so the plot reads the same printed in black and white.
// Accessibility tools get what it shows as its description.

#include <QImage>
#include <QWidget>
#include <vector>

#include "analysis/FreqAnalysis.h"
#include "analysis/LeadLayout.h"
#include "analysis/PlotScale.h"

// How R, X and |Z| (and R0, X0, Z0) are drawn in every plot of the program:
// apart by mark and line as well as colour, so they read the same in grey.
enum class TPlotMark { Square, Triangle, Circle };
struct TPlotStyle {
    QColor Colour;
    Qt::PenStyle Line;
    TPlotMark Mark;
};
extern const TPlotStyle PlotStyleR, PlotStyleX, PlotStyleZ;
// A mark of size across; a filled one has a black outline, a hollow one white inside.
void DrawPlotMark(QPainter& painter, TPlotMark mark, QPointF at, double size,
                  const QColor& colour, bool filled);

// The value axis at the plot's left with its grid lines, the plot's frame,
// and the titles of both axes (the frequency's or the date's below).
void DrawValueAxis(QPainter& painter, const QRect& area, const QRect& plot,
                   const TValueScale& scale, const QString& xTitle, const QString& yTitle);

// What the plot shows: the records in the means, the analysis of them and the
// line that heads the plot (the value and how it was found, or why there is none).
struct TFreqPlotData {
    std::vector<TPlotPoint> Points;
    TFreqAnalysis Analysis;
    QString Title;
};

// The plot of the analysis of records (checked[k] for records[k], missing
// entries checked): the checked records that have a part in the means, and
// the heading "工频50Hz：" with the value and its method, or why there is none.
TFreqPlotData FreqPlotDataOf(const std::vector<TRecordValues>& records,
                             const std::vector<bool>& checked, const TFreqAnalysis& analysis);

// Paints the plot into area on white. The sizes of text, marks and lines are
// in the painter's units: a page scales the painter to draw it in print.
void PaintFreqPlot(QPainter& painter, const QRect& area, const TFreqPlotData& data);
// What the plot shows, in words, for those who cannot see it.
QString FreqPlotDescription(const TFreqPlotData& data);

// The plateau of a probe moved along its lead: the value at each position
// against d_PG / d_CG (against d_PG in metres when d_CG is not known), the
// positions joined, and the band 5 % wide around their mean shaded, within
// which the values should lie. The value axis spans the values, not from 0:
// a few per cent must show.
void PaintPlateauPlot(QPainter& painter, const QRect& area,
                      const std::vector<TProbePosition>& positions, double currentDistance);
QString PlateauPlotDescription(const std::vector<TProbePosition>& positions,
                               double currentDistance);

// A plot on screen: painted by Paint, which also draws it for a picture file.
class TPlotWidget : public QWidget {
  public:
    using QWidget::QWidget;
    virtual void Paint(QPainter& painter, const QRect& area) const = 0;
    // The plot alone at the given size, on white, for a picture file.
    QImage Picture(const QSize& size) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

class TFreqPlot : public TPlotWidget {
  public:
    explicit TFreqPlot(QWidget* parent);
    void SetData(std::vector<TPlotPoint> points, const TFreqAnalysis& analysis,
                 const QString& title);
    void Paint(QPainter& painter, const QRect& area) const override;

  private:
    TFreqPlotData data_;
};
