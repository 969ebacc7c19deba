#pragma once
// The archive window "档案": the sites, the selected site's campaigns as a
// table (date, records, Z0, the change against the campaign before, the
// entered limit and how Z0 compares with it), the trend of Z0, R0 and X0
// across the campaigns, and the selected campaign's records. From here a
// site's campaigns go to a spreadsheet file, result files go into a campaign,
// and a campaign's report is made. The user and role are shown, and what the
// role may not do is greyed with the reason; "审核" locks a campaign, the
// recycle bin and "变更记录" open beside it. Modeless; one window for the run.

#include <QWidget>
#include <vector>

#include "app/kit/Platform.h"
#include "archive/Archive.h"
#include "campaignreport/CampaignReport.h"

class QLabel;
class QPushButton;
class QSplitter;
class QTableWidget;
class TTrendPlot;
class TfrmRetestDue;

class TfrmArchive : public QWidget {
  public:
    explicit TfrmArchive(QWidget* owner);

    // Reads the sites again and selects the site and campaign given (or keeps
    // the selection).
    void Refresh(std::int64_t siteId = 0, std::int64_t campaignId = 0);
    std::int64_t SelectedSiteId() const;
    std::int64_t SelectedCampaignId() const;

    void BBtn_ImportFileClick();  // result files into a campaign
    // Widens the sites' side to show their columns (once the window is shown).
    void ShowSiteColumns();
    void BBtn_ExportCsvClick();   // the site's campaigns to a spreadsheet file
    void BBtn_PdfClick();         // the campaign's report as PDF
    void BBtn_OdtClick();         // ... as an editable document
    void BBtn_PrintClick();       // ... on the printer
    void BBtn_DeleteSiteClick();
    void BBtn_DeleteCampaignClick();
    void BBtn_SettingsClick();  // where the archive is
    void BBtn_RetestDueClick();  // the sites due for their next test
    void BBtn_ReviewClick();
    void BBtn_CorrectClick();  // a new campaign correcting the reviewed one
    void BBtn_RecycleBinClick();
    void BBtn_ChangesClick();  // the site's change record

    QLabel* Lbl_Archive;
    QTableWidget* LView_Sites;
    QTableWidget* LView_Campaigns;
    TTrendPlot* PBox_Trend;
    QTableWidget* LView_CampRecords;
    QPushButton* BBtn_ImportFile;
    QPushButton* BBtn_ExportCsv;
    QPushButton* BBtn_Pdf;
    QPushButton* BBtn_Odt;
    QPushButton* BBtn_Print;
    QPushButton* BBtn_DeleteSite;
    QPushButton* BBtn_DeleteCampaign;
    QPushButton* BBtn_Settings;
    QPushButton* BBtn_RetestDue;
    TfrmRetestDue* RetestDue = nullptr;  // made on first use
    QPushButton* BBtn_Sync;  // "同步" with the team's server
    QPushButton* BBtn_Close;
    QLabel* Lbl_User;           // "用户：li（测试）"
    QLabel* Lbl_CampaignState;  // reviewed by whom, corrected by which
    QPushButton* BBtn_Review;
    QPushButton* BBtn_Correct;
    QPushButton* BBtn_RecycleBin;
    QPushButton* BBtn_Changes;
    TFileDialogRequest ImportDialog;
    TFileDialogRequest CsvDialog;
    TFileDialogRequest PdfDialog;
    TFileDialogRequest OdtDialog;

  private:
    QWidget* BuildSites(QSplitter* columns);
    void BuildCampaigns(QSplitter* columns);
    void Connect();
    void ShowSite();
    void ShowCampaign();
    const TSite* Site() const;
    const TCampaignSummary* Campaign() const;
    std::optional<TCampaignReport> SelectedReport() const;
    void FollowRole();

    std::vector<TSite> sites_;
    std::vector<TCampaignSummary> campaigns_;  // the selected site's, by date
    std::vector<TArchivedRecord> records_;     // the selected campaign's
    bool filling_ = false;
    TArchiveUser user_{"", TArchiveRole::Reader};
};
