#pragma once
// The frequency analysis window "频率分析": the records of the instrument
// (one row each, with a check box), the means per test frequency with their
// spread, the impedance at the power frequency and a plot of R, X and |Z|
// against frequency. Modeless; one window for the whole run, created when the
// first analysis arrives and given each new set of records. Unchecking a
// record, choosing another f0 or tolerance updates everything at once.

#include <QPointer>
#include <QWidget>
#include <vector>

#include "analysis/FreqAnalysis.h"
#include "app/kit/Platform.h"

class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTableWidget;
class TFreqPlot;

class TfrmFreqAnalysis : public QWidget {
  public:
    explicit TfrmFreqAnalysis(QWidget* owner);

    // A new set of records, numbered 1.. in their order, all checked.
    void SetRecords(std::vector<TRecordValues> records);
    void Recompute();

    void BBtn_SaveCsvClick();  // the tables and the value to a spreadsheet file
    void BBtn_SavePngClick();  // the plot to a picture file
    void BBtn_StoreClick();    // the checked records into the archive
    void BBtn_ReportClick();   // the report of the checked records

    const std::vector<TRecordValues>& Records() const { return records_; }
    const TFreqAnalysis& Analysis() const { return analysis_; }
    int PowerFrequency() const;

    QLabel* Lbl_Count;
    QGroupBox* GBox_Records;
    QTableWidget* LView_Records;
    QGroupBox* GBox_Means;
    QTableWidget* LView_Means;
    QGroupBox* GBox_Value;
    QLabel* Lbl_F0;  // "工频"
    QComboBox* CBox_F0;
    QLabel* Lbl_Tolerance;  // "|Z|离散度容差"
    QDoubleSpinBox* SEdt_Tolerance;
    QLabel* Lbl_Method;
    QLabel* Lbl_TwoPoint;
    QLabel* Lbl_LineFit;
    QLabel* Lbl_Note;
    QGroupBox* GBox_Plot;
    TFreqPlot* PBox_Plot;
    QPushButton* BBtn_SaveCsv;
    QPushButton* BBtn_SavePng;
    QPushButton* BBtn_Store;
    QPushButton* BBtn_Report;
    QPushButton* BBtn_Close;
    // The export dialogs remember the type last chosen (a CSV's character set).
    TFileDialogRequest SaveCsvDialog;
    TFileDialogRequest SavePngDialog;

  private:
    void BuildValueGroup(QWidget* parent);
    QString ExportName(const QString& extension) const;
    std::vector<bool> Checked() const;
    void FillRecords();

    std::vector<TRecordValues> records_;
    TFreqAnalysis analysis_;
    bool filling_ = false;
};

// The window, or null before the first analysis.
extern QPointer<TfrmFreqAnalysis> frmFreqAnalysis;

// Creates the window on first use (owned by `owner`, the main window, and
// centred over it), gives it the records and brings it to the front.
void ShowFreqAnalysis(QWidget* owner, std::vector<TRecordValues> records);
