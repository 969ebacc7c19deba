#pragma once
// "同步": the laptop's own archive file and the team's server named in
// "档案设置" exchange what the other lacks, both ways or, on the operator's
// choice, "只上传" or "只下载"; "取回场地" brings the checked sites' history
// from the server onto the laptop. The copy goes one campaign at a time on
// the window's thread, so the window stays live, the bar counts the
// campaigns, and "取消" takes effect between two campaigns: each campaign is
// one transaction of the archive it goes into, and a cancel, a failure or a
// server that goes away leaves both archives whole, the next sync finishing
// the work. At the end the window says what went where.
//
// Sites stored on their own on each side that look like one (the same name
// and voltage level once written alike) are listed for merging; "合并"
// merges the checked pairs on the operator's word, and the next sync fills
// each with the other's campaigns. A campaign whose details changed on both
// sides since the last sync is listed with both versions; "用笔记本的" or
// "用服务器的" keeps one for both.
//
// Modeless, one for the run, over the archive window.

#include <QWidget>
#include <memory>

#include "archive/Archive.h"
#include "archive/ArchiveSettings.h"
#include "archive/ArchiveSync.h"

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableWidget;

class TfrmArchiveSync : public QWidget {
  public:
    explicit TfrmArchiveSync(QWidget* owner);
    ~TfrmArchiveSync() override;

    // Which archives meet: from "档案设置" when the window opens (a test may
    // point them elsewhere before it reads them).
    TArchiveSettings LaptopSettings, ServerSettings;

    // Opens both archives (the server's password asked when it wants one)
    // and lists the server's sites; false, with the reason in the account,
    // when one cannot be opened.
    bool ReadArchives();
    void BBtn_SyncClick();   // in the direction chosen
    void BBtn_FetchClick();  // the checked sites, down only
    void BBtn_CancelClick();
    void BBtn_MergeClick();         // the checked pairs, after the operator's yes
    void KeepVersion(bool laptop);  // of the selected campaign in LView_Conflicts
    bool Running() const { return run_ != nullptr; }

    QLabel* Lbl_Laptop;
    QLabel* Lbl_Server;
    QRadioButton* RBtn_Both;
    QRadioButton* RBtn_UploadOnly;
    QRadioButton* RBtn_DownloadOnly;
    QTableWidget* LView_ServerSites;
    QTableWidget* LView_Merge;
    QPushButton* BBtn_Merge;
    QTableWidget* LView_Conflicts;
    QPushButton* BBtn_KeepLaptop;
    QPushButton* BBtn_KeepServer;
    QPushButton* BBtn_Sync;
    QPushButton* BBtn_Fetch;
    QPushButton* BBtn_Refresh;
    QProgressBar* PBar_Sync;
    QPushButton* BBtn_Cancel;
    QPlainTextEdit* Memo_Account;
    QPushButton* BBtn_Close;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void Start(TSyncDirection direction, const std::vector<std::string>& sites);
    void NextStep();
    void Finish(const QString& ending);
    void ShowServerSites();
    void ShowMatches();
    void ShowConflicts();
    void Follow();  // the buttons as the state allows

    std::unique_ptr<TArchive> laptop_, server_;
    std::vector<TSite> serverSites_;
    std::vector<TSiteMatch> matches_;
    std::vector<TCampaignConflict> conflicts_;
    std::unique_ptr<TSyncRun> run_;
    TSyncDirection direction_ = TSyncDirection::Both;
    bool cancel_ = false;
    std::string password_;  // the server's, asked once a run of the window
};

// Opens "同步" over owner (the archive window) and reads both archives.
void ShowArchiveSync(QWidget* owner);
