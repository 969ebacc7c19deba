#pragma once
// The trend of a site's grid across its campaigns: Z0, R0 and X0 against the
// campaign's date, with the limit the user entered as a line, painted with
// QPainter as the frequency plot is (same marks and line styles). Campaigns
// without a value leave a gap. Accessibility tools get the values as the
// plot's description.

#include <QDate>
#include <QImage>
#include <QWidget>
#include <optional>
#include <vector>

#include "analysis/FreqAnalysis.h"
#include "analysis/FreqPlot.h"

struct TTrendPoint {
    QDate Date;
    std::optional<TPowerValue> Value;
    std::optional<double> Limit;  // ohms
};

class TTrendPlot : public TPlotWidget {
  public:
    explicit TTrendPlot(QWidget* parent);
    void SetData(std::vector<TTrendPoint> points, const QString& title);
    void Paint(QPainter& painter, const QRect& area) const override;

  private:
    std::vector<TTrendPoint> points_;
    QString title_;
};

// What the plot shows, in words.
QString TrendDescription(const std::vector<TTrendPoint>& points, const QString& title);
