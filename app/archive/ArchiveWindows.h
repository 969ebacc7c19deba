#pragma once
// The archive's windows as the other rooms see them: the archive opened for
// the run (ArchiveAccess, whose Changed signal says what went into it), the
// campaign form and the report buttons the analysis builds on, and the two
// windows "档案" and "存入档案", opened over an owner. Nothing else of this
// folder is included from outside it (scripts/check-layers.sh).

#include <QString>
#include <cstdint>
#include <vector>

#include "app/archive/ArchiveAccess.h"
#include "app/archive/CampaignForm.h"
#include "app/archive/ReportCommands.h"
#include "protocol/RecordValues.h"

class QWidget;

struct TStoreRecord {
    int Number = 0;  // the instrument's record number, or the upload's running number
    TRecordValues Values;
    bool Checked = true;
};

// Creates the archive window on first use (owned by owner, the main window),
// reads the archive and brings the window to the front.
void ShowArchive(QWidget* owner);

// The site and campaign selected in the archive window; 0 when it is not open.
struct TArchiveSelection {
    std::int64_t SiteId = 0;
    std::int64_t CampaignId = 0;
};
TArchiveSelection ArchiveSelection();

// Opens "存入档案" over owner (one at a time) with the records; source says
// where they come from ("仪器中的记录", a file's name).
void ShowArchiveStore(QWidget* owner, std::vector<TStoreRecord> records, const QString& source,
                      std::int64_t siteId = 0, std::int64_t campaignId = 0);
