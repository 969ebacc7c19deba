#pragma once
// "测试报告" of the frequency analysis window: the report of the records
// checked there. The site and the conditions of the test are asked in the
// form: an archived site and campaign can be picked (the site's earlier
// campaigns then make the history), or new ones typed for a campaign not yet
// archived. Nothing is stored: "存入档案" does that.

#include <QPointer>
#include <QWidget>
#include <optional>
#include <vector>

#include "app/kit/Platform.h"
#include "campaignreport/CampaignReport.h"

class QPushButton;
class TCampaignForm;

class TfrmAnalysisReport : public QWidget {
  public:
    explicit TfrmAnalysisReport(QWidget* owner);

    void SetRecords(std::vector<TRecordValues> records, std::vector<bool> checked, double tolerance,
                    int powerFrequency);
    // The report from the form; none, after saying why, when the form does
    // not make a site and campaign.
    std::optional<TCampaignReport> Report();

    TCampaignForm* Form;
    QPushButton* BBtn_Pdf;
    QPushButton* BBtn_Odt;
    QPushButton* BBtn_Print;
    QPushButton* BBtn_Close;
    TFileDialogRequest PdfDialog;
    TFileDialogRequest OdtDialog;

  private:
    void MeasurementChanged();
    std::vector<TRecordValues> records_;
    std::vector<bool> checked_;
    double tolerance_ = DefaultTolerance;
};

extern QPointer<TfrmAnalysisReport> frmAnalysisReport;

void ShowAnalysisReport(QWidget* owner, std::vector<TRecordValues> records,
                        std::vector<bool> checked, double tolerance, int powerFrequency);
