#pragma once
// "到期复测": the sites of the archive overdue for their next test or due
// within the months chosen, soonest first, with each site's last test, its
// interval and its next date; the selected site's interval can be changed
// here, and the list goes to a spreadsheet file beside the site table's.

#include <QWidget>
#include <vector>

#include "app/kit/Platform.h"
#include "campaignreport/RetestDue.h"

class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

class TfrmRetestDue : public QWidget {
  public:
    explicit TfrmRetestDue(QWidget* owner);

    // Reads the sites again and lists those due by today (the platform's
    // clock) plus the chosen months.
    void Refresh();
    void BBtn_SaveYearsClick();   // the selected site's interval
    void BBtn_ExportCsvClick();

    QSpinBox* SpBox_Months;
    QLabel* Lbl_Count;
    QTableWidget* LView_Due;
    QSpinBox* SpBox_Years;
    QPushButton* BBtn_SaveYears;
    QPushButton* BBtn_ExportCsv;
    QPushButton* BBtn_Close;
    TFileDialogRequest CsvDialog;

  private:
    const TRetestDue* Selected() const;
    std::vector<TRetestDue> due_;
};
