#pragma once
// The test archive: the sites whose earth grids are tested, the campaigns of
// each site across the years, and the instrument's records of each campaign,
// with the power-frequency value worked out from them. One interface with one
// body over Qt SQL (ArchiveSql.h) for two databases: a SQLite file of the
// user's own (the default) and a PostgreSQL server a team shares. Nothing
// here uses Qt: the window and the report see the archive through these
// types alone.
//
// Texts are UTF-8. Ids are the database's own (0: not stored yet). Failures
// of the database come as TArchiveError with a text for the operator.
//
// One archive object is one connection: use it from the thread that opened it.

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "analysis/FreqAnalysis.h"
#include "analysis/LeadLayout.h"
#include "protocol/Numbers.h"
#include "protocol/RecordValues.h"

struct TSite {
    std::int64_t Id = 0;
    std::string Name;          // as typed, unique in the archive
    std::string VoltageLevel;  // "110kV"
    std::string GridSize;      // the grid's size or its diagonal, as typed ("120m×80m", "D=144m")
    std::string Location;      // a note on where it is
    // Made where the site was first stored, kept by every copy of it in
    // another archive; given when storing a copy, made when empty.
    std::string Uuid;
    // Years between tests (RetestDue.h); none: the usual interval.
    std::optional<int> RetestYears;
    // The date of its latest campaign ("yyyy-MM-dd"), as read; empty without
    // one. Not stored: it follows from the campaigns.
    std::string LastTest;
};

// One visit to a site: the conditions of the test and the user's limit.
struct TCampaign {
    std::int64_t Id = 0;
    std::int64_t SiteId = 0;
    std::string Date;  // "yyyy-MM-dd"
    std::string Testers;
    std::string Weather;
    std::string Soil;         // the soil's state ("干燥", "潮湿")
    std::string LeadLayout;   // how the leads were laid out, as typed (a note beside Layout)
    std::string LeadLengths;  // as typed ("电流极 800m，电压极 500m")
    // The layout as numbers; Method None for campaigns stored without them
    // (their free text above stays as it was).
    TLeadLayout Layout;
    std::string InstrumentSerial;  // empty when not known
    std::string Remarks;
    std::optional<double> Limit;  // ohms, entered by the user
    int PowerFrequency = 50;      // 50 or 60 Hz
    std::string Uuid;             // as the site's
    // Set by the archive (on a server, by the server itself), never by the caller.
    std::string CreatedBy;   // the user who stored it
    std::string Reviewer;    // empty until reviewed; then read-only for good
    std::string ReviewedAt;  // "yyyy-MM-dd HH:mm:ss"
    // The reviewed campaign this one corrects (0: none); given when storing it.
    std::int64_t Corrects = 0;
};

// One record of the instrument, kept as it arrived: the singles widened, the
// date bytes as they are (year 117 stays 117).
struct TArchivedRecord {
    std::int64_t Id = 0;
    std::int64_t CampaignId = 0;
    int Number = 0;  // the instrument's record number (or the upload's running number)
    TRecordValues Values;
    // Where the potential probe stood (d_PG, m) when it differs between the
    // campaign's records (a plateau); none: the campaign's layout's. Not part
    // of the record's identity: a record stored again keeps its first one.
    std::optional<double> ProbeDistance;
};

// The campaign's power-frequency value as the analysis gives it over all its
// records; stored with the campaign and worked out again when its records change.
struct TCampaignValue {
    int PowerFrequency = 50;
    std::optional<TTwoPointValue> TwoPoint;
    std::optional<TLineFitValue> LineFit;
    // How it was found, or why there is none (FreqAnalysisText.h: ValueMethodText).
    TValueMethod Method = TValueMethod::NoRecords;
};

// A campaign as the site's table shows it.
struct TCampaignSummary {
    TCampaign Campaign;
    int Records = 0;
    TCampaignValue Value;
    std::int64_t CorrectedBy = 0;  // the latest campaign correcting this one; 0: its value stands
};

// What a user may do in the archive. On a server the roles are the server's
// (ArchiveTeam.h), each one including the one before it; a SQLite file's
// user has them all.
enum class TArchiveRole {
    Reader,    // none of the team's roles: may read
    Tester,    // 测试: adds sites, campaigns and records, changes its own campaigns
    Reviewer,  // 审核: also reviews
    Admin,     // 管理: also deletes, restores and empties the recycle bin
};

struct TArchiveUser {
    std::string Name;
    TArchiveRole Role = TArchiveRole::Admin;
};

// A site or a campaign in the recycle bin.
struct TBinEntry {
    std::int64_t SiteId = 0;
    std::int64_t CampaignId = 0;  // 0: the whole site
    std::string SiteName;
    std::string Date;  // the campaign's
    int Records = 0;   // the campaign's
    std::string DeletedBy;
    std::string DeletedAt;
};

// One line of the change record, which is only ever appended to.
struct TChange {
    std::int64_t Id = 0;
    std::string At;      // "yyyy-MM-dd HH:mm:ss"
    std::string Who;     // the archive's user (on a server, the server's)
    std::string Host;    // the program's machine
    std::string Action;  // "存入", "审核", "删除"... (ArchiveSql.cpp)
    std::int64_t SiteId = 0;
    std::int64_t CampaignId = 0;
    std::optional<int> Records;  // the records stored, when the change stored any
    std::string Detail;          // what changed, before and after, as JSON
};

struct TImportResult {
    int Stored = 0;   // new records
    int Already = 0;  // the same number, test time and values were there already
};

// Where one store put the records, and how many were new.
struct TStoreResult {
    std::int64_t SiteId = 0;
    std::int64_t CampaignId = 0;
    TImportResult Records;
};

// What went wrong, for the window to choose what it offers besides the text.
enum class TArchiveProblem {
    Other,
    NoDriver,         // Qt's database driver (sqldrivers/qsqlite, qsqlpsql) is missing
    CannotOpen,       // the SQLite file cannot be opened or made (folder, rights)
    Damaged,          // the SQLite file is not a readable archive: offer a new one
    Newer,            // made by a newer program: its schema version is unknown here
    Unreachable,      // the server cannot be reached
    PasswordRefused,  // the server refused the user or the password: ask for it
    ConnectionLost,   // the server went away during a call; the next call reconnects
    NameTaken,        // another site has that name
    NotFound,         // the site, campaign or record is not (or no more) in the archive
    NoDatabase,       // the server has no database of that name
    NotPermitted,     // the server does not let this user do that (its own rights)
    Reviewed,         // the campaign is reviewed: it and its records stay as they are
    Insecure,         // the link does not pass the TLS settings: unknown certificate
                      // authority, wrong host name, a server without TLS
};

class TArchiveError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
    TArchiveError(TArchiveProblem problem, const std::string& text)
        : std::runtime_error(text), Kind(problem) {}
    TArchiveProblem Problem() const { return Kind; }

  private:
    TArchiveProblem Kind = TArchiveProblem::Other;
};

class TArchive {
  public:
    virtual ~TArchive() = default;

    // In the order they were made (the window sorts as it shows them).
    virtual std::vector<TSite> Sites() = 0;
    // Stores a new site (Id 0) or changes one (renaming it); gives its id. A
    // new site whose Uuid the archive holds is that site, left as it is.
    // An empty name is refused (Other), the name of another site too (NameTaken).
    virtual std::int64_t SaveSite(const TSite& site) = 0;

    // A site's campaigns by date, with their record counts and values.
    virtual std::vector<TCampaignSummary> Campaigns(std::int64_t siteId) = 0;
    // Stores a new campaign (Id 0) or changes one, its value worked out again
    // (the power frequency may have changed); gives its id. PowerFrequency
    // must be 50 or 60.
    virtual std::int64_t SaveCampaign(const TCampaign& campaign) = 0;

    // In the order they were stored.
    virtual std::vector<TArchivedRecord> Records(std::int64_t campaignId) = 0;
    // Adds the records to the campaign in one transaction: all or nothing.
    // A record whose number, test time and values the campaign holds already
    // is not stored again. The campaign's value is worked out again.
    virtual TImportResult Import(std::int64_t campaignId,
                                 const std::vector<TArchivedRecord>& records) = 0;

    // A new site (Id 0), a new campaign of it or of the site given (Id 0;
    // its SiteId is the site's), and the records, in one transaction: all of
    // them or nothing, so a store that fails can be repeated as it was. An
    // existing campaign takes the records as Import does; a new site with an
    // existing campaign is refused (Other). A new site or campaign whose Uuid
    // the archive holds already is that one (a store repeated after its
    // answer was lost, a copy from another archive): it is not stored again.
    virtual TStoreResult Store(const TSite& site, const TCampaign& campaign,
                               const std::vector<TArchivedRecord>& records) = 0;

    // The site becomes the one known by otherUuid too (a copy of it made
    // elsewhere under that UUID, merged on the operator's word): a copy of
    // that site stored later lands in it. NotFound when the site is gone.
    virtual void MergeSite(std::int64_t siteId, const std::string& otherUuid) = 0;
    // The UUIDs merged into sites here, with the site each points to.
    virtual std::vector<std::pair<std::string, std::int64_t>> SiteAliases() = 0;

    // What the campaigns' details were when this archive last synced with
    // the archive `peer` (its Description), by campaign UUID, so that a sync
    // tells a change of one side from changes of both.
    virtual std::vector<std::pair<std::string, std::string>> SyncMarks(const std::string& peer) = 0;
    virtual void SetSyncMarks(const std::string& peer,
                              const std::vector<std::pair<std::string, std::string>>& marks) = 0;

    // "SQLite 档案：/home/.../kr3090-archive.sqlite", "PostgreSQL 档案：host:5432/kr3090".
    virtual std::string Description() = 0;

    // Moves the site with its campaigns and their records to the recycle bin
    // (nothing to do when it is there or gone already, as for the campaign
    // below). A site with a reviewed campaign, or a reviewed campaign, stays:
    // Reviewed.
    virtual void DeleteSite(std::int64_t siteId) = 0;
    // Moves the campaign with its records to the recycle bin.
    virtual void DeleteCampaign(std::int64_t campaignId) = 0;

    // The user this archive is used as, with the role the server gives it.
    virtual TArchiveUser User() = 0;
    // Marks the campaign reviewed by the user, now; from then on it and its
    // records are read-only (Reviewed), also on the server for every role.
    virtual void Review(std::int64_t campaignId) = 0;
    // The recycle bin, most recently deleted first.
    virtual std::vector<TBinEntry> RecycleBin() = 0;
    virtual void Restore(const TBinEntry& entry) = 0;
    // Removes everything in the recycle bin for good.
    virtual void EmptyRecycleBin() = 0;
    // The site's changes in the order they were made.
    virtual std::vector<TChange> Changes(std::int64_t siteId) = 0;

    // Called inside Import after each record with (done, total): a long import
    // can show its progress. An exception thrown from it ends the import, which
    // then stores nothing.
    void SetImportProgress(std::function<void(int done, int total)> progress) {
        ImportProgress = std::move(progress);
    }

  protected:
    std::function<void(int, int)> ImportProgress;
};
