#pragma once
// Two windows the archive window opens beside itself: the recycle bin, where
// 管理 restores a deleted site or campaign or empties the bin after a
// question, and "变更记录", a site's change record as the archive keeps it.
// Both read the archive when they open; what the role may not do is greyed
// with the reason in its tooltip.

#include <QDialog>
#include <string>
#include <vector>

#include "archive/Archive.h"

class QLabel;
class QPushButton;
class QTableWidget;

class TfrmRecycleBin : public QDialog {
  public:
    TfrmRecycleBin(QWidget* owner, const TArchiveUser& user);
    void Refresh();
    void BBtn_RestoreClick();
    void BBtn_EmptyClick();

    QTableWidget* LView_Bin;
    QPushButton* BBtn_Restore;
    QPushButton* BBtn_Empty;
    QPushButton* BBtn_Close;

  private:
    TArchiveUser user_;
    std::vector<TBinEntry> bin_;
};

class TfrmChangeLog : public QDialog {
  public:
    TfrmChangeLog(QWidget* owner, const TSite& site,
                  const std::vector<TCampaignSummary>& campaigns);

    QTableWidget* LView_Changes;
    QPushButton* BBtn_Close;
};

// A change's detail in the operator's words: "备注：“”→“补记”", "已有 2 条".
std::string ChangeDetailText(const std::string& json);

// Why the user may not do `action`, which needs `needed`; empty when it may.
QString MissingRightText(const TArchiveUser& user, TArchiveRole needed, const QString& action);
