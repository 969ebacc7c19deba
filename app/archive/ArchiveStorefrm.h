#pragma once
// "存入档案": records of the instrument, or of a result file, go into a
// campaign of a site. The operator picks or makes the site and the campaign
// and unchecks the records that do not belong; "存入" stores the checked ones
// with a new site and campaign in one transaction: a store that fails keeps
// nothing and the window keeps its records for the next "存入". Records the
// campaign holds already are not stored again, and the box after the import
// says how many were new and how many were there.
//
// The window is modal to its owner without a loop of its own: it is opened
// when the last record of an upload has been handled. Enter stores, Esc
// closes, and a new site's name takes the typing first.

#include <QDialog>
#include <vector>

#include "app/archive/ArchiveWindows.h"
#include "archive/Archive.h"

class QLabel;
class QPushButton;
class QTableWidget;
class TCampaignForm;

class TfrmArchiveStore : public QDialog {
  public:
    explicit TfrmArchiveStore(QWidget* owner);

    // source says where the records come from ("仪器中的记录", a file's name).
    void SetRecords(std::vector<TStoreRecord> records, const QString& source);
    // Fills the form from the archive and picks the site and campaign given.
    void LoadArchive(std::int64_t siteId = 0, std::int64_t campaignId = 0);
    void BBtn_StoreClick();

    QLabel* Lbl_Source;
    TCampaignForm* Form;
    QTableWidget* LView_Records;
    QPushButton* BBtn_Store;
    QPushButton* BBtn_Cancel;

  private:
    void FillRecords();  // the rows, marked at the form's power frequency
    int ProbeColumn() const;
    bool ProbeDistanceOf(int row, std::optional<double>& distance) const;
    std::vector<TLayoutWarning> PlateauWarnings(const TLeadLayout& layout) const;
    void CurrentChanged();
    std::vector<TStoreRecord> records_;
    // Made once for these records: a store repeated after its answer was
    // lost finds the site and campaign it made, and makes no second ones.
    std::string siteUuid_, campaignUuid_;
};
