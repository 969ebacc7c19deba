#pragma once
// The campaign report on A4 pages: one layout for the PDF file and for the
// printer. Sizes are millimetres on the paper, fonts the program's 宋体 in
// points, so the pages come out the same at any resolution. Tables break
// between rows with their header repeated; the plot is painted by
// PaintFreqPlot as vectors, scaled onto the page; every page ends with
// "第 n 页 共 m 页".

#include "analysis/FreqPlot.h"
#include "campaignreport/ReportContent.h"

#include <functional>

class QPagedPaintDevice;

// Margins of the page and the plot's size on it, millimetres.
constexpr double ReportMarginLeft = 20, ReportMarginRight = 20, ReportMarginTop = 18,
                 ReportMarginBottom = 22;
constexpr double ReportPlotWidth = 170, ReportPlotHeight = 110.5;
// The plateau plot: as wide, less high, in the same units across.
constexpr double ReportPlateauHeight = 62;
// The plot is painted in these units and scaled onto its place.
constexpr int ReportPlotUnitsWide = 800;

// A plot of the report: painted into a rectangle of ReportPlotUnitsWide
// units across, as high as PlotUnitsHigh gives for its height on paper.
using TReportPainter = std::function<void(QPainter&, const QRect&)>;
constexpr int PlotUnitsHigh(double heightMm) {
    return int(ReportPlotUnitsWide * heightMm / ReportPlotWidth + 0.5);
}
TReportPainter FreqPlotPainter(const TFreqPlotData& plot);
TReportPainter PlateauPlotPainter(const TReportBlock& block);

// Lays the content out on the device and paints it, from the paper's top
// left corner (the device is set to A4 portrait without margins: full page).
// Gives the number of pages, or 0 when the device refused to paint or to
// start a new page.
int PaintReportPages(QPagedPaintDevice& device, const TReportContent& content,
                     const TFreqPlotData& plot);
