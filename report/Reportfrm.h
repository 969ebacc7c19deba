#pragma once
// The report form that prints a result: a form that is never shown and only
// carries the report QuickRep1, whose page holds the memo QRMemo1. A new form
// is made for every print and destroyed after it.

#include <QStringList>
#include <QWidget>

#include "report/Report.h"

class TfrmReport : public QWidget {
    Q_OBJECT
  public:
    explicit TfrmReport(QWidget* parent = nullptr);

    TReport* QuickRep1;
    TReportBand* PageHeaderBand1;
    TReportBand* TitleBand1;
    TReportBand* PageFooterBand1;
    TReportMemo* QRMemo1;  // on PageHeaderBand1
};

// The form of the print in progress; nullptr outside PrintLines.
extern TfrmReport* frmReport;

// Prints the lines, in order and unchanged, one centred line each, on one A4
// sheet of the print target (the default printer); returns when the sheet has
// been handed over. No printer: nothing happens. The form is destroyed also
// when printing fails; the EReportError then reaches the caller.
void PrintLines(const QStringList& lines);
