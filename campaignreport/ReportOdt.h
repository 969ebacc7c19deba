#pragma once
// The campaign report as an editable text document: the same blocks as the
// pages, with real tables and the plot as a picture painted at print
// resolution. Written as ODF text (.odt) by Qt's QTextDocumentWriter, which
// LibreOffice, WPS and Word open. Page numbers are the word processor's.

#include <QImage>
#include <memory>

#include "analysis/FreqPlot.h"
#include "campaignreport/ReportContent.h"

class QTextDocument;

// The plot at dpi on paper, ReportPlotWidth × ReportPlotHeight millimetres.
QImage ReportPlotPicture(const TFreqPlotData& plot, int dpi);
// The plateau plot at dpi, ReportPlotWidth × ReportPlateauHeight millimetres.
QImage ReportPlateauPicture(const std::vector<TProbePosition>& positions, double currentDistance,
                            int dpi);

std::unique_ptr<QTextDocument> ReportDocument(const TReportContent& content,
                                              const TFreqPlotData& plot);
