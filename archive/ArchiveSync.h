#pragma once
// Two archives exchange what the other lacks: a laptop's SQLite file and the
// team's server, or any two archives. Sites and campaigns are known by their
// UUID, records by their identity (the records table's UNIQUE key), so a
// sync repeated, or cut short and run again, stores nothing twice. Each
// campaign is copied in one transaction of the receiving archive (a new site
// goes in with its first campaign): a sync that fails leaves both archives
// whole, moved by whole campaigns, and the next one finishes the work.
//
// A site of one side whose name the other side gives to a site of another
// UUID, or whose name and voltage level are those of such a site once
// written alike (SameSite), is not copied: its name is listed instead, and
// the two are merged on the operator's word (MergeSites). A merged site is
// known on each side by the other's UUID too, so later syncs of either copy
// land in one place.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveSettings.h"

enum class TSyncDirection { Both, UploadOnly, DownloadOnly };

// What went one way.
struct TSyncCounts {
    int Sites = 0;                      // new sites
    int Campaigns = 0;                  // new campaigns
    int Records = 0;                    // new records
    int Already = 0;                    // records the receiving archive held already
    std::vector<std::string> SameName;  // sites left for merging, by name
    int Details = 0;  // campaigns whose details changed on the sending side alone, brought over
};

// A campaign whose details (date, testers, limit, lead layout, remarks and
// the rest of its form) changed on both sides since the last sync, or that
// differ with no sync on record: both versions, neither overwritten.
struct TCampaignConflict {
    std::string Site;  // the laptop's name of its site
    TCampaign Laptop, Server;
};

struct TSyncResult {
    TSyncCounts Up;    // laptop to server
    TSyncCounts Down;  // server to laptop
    std::vector<TCampaignConflict> Conflicts;
};

// One copy of a sync: a campaign with its records (or a site without
// campaigns) from one archive into the other, in one transaction there.
struct TSyncStep {
    bool Up = true;                     // laptop to server
    TSite Site;                         // as the sending archive holds it
    bool NewSite = false;               // the first step of a site the other side lacked
    std::optional<TCampaign> Campaign;  // none: the site alone
    bool NewCampaign = false;
    // A campaign both hold whose details the receiving side takes: the
    // receiving side's ids of it and of its site.
    bool Details = false;
    std::int64_t TargetId = 0, TargetSiteId = 0;
};

// A sync done one campaign at a time, so that a window stays live and a
// cancel takes effect between campaigns. What both sides hold is read once
// at the start: what one side sends is not sent back to it.
class TSyncRun {
  public:
    // fetchSites: the UUIDs of the only sites to bring from the server (the
    // operator's choice; direction DownloadOnly), none: every site.
    TSyncRun(TArchive& laptop, TArchive& server, TSyncDirection direction,
             const std::vector<std::string>& fetchSites = {});
    int Total() const { return static_cast<int>(Steps.size()); }
    int Done() const { return Next; }
    bool Finished() const { return Next == Total(); }
    // Copies the next campaign. A TArchiveError leaves it to be copied again
    // by the next call; whatever was done before stays counted.
    void Step();
    const TSyncResult& Result() const { return Counts; }

  private:
    void Plan(TArchive& from, TArchive& to, bool up, const std::vector<std::string>& only);
    void PlanDetails(TSyncDirection direction);
    TArchive& Laptop;
    TArchive& Server;
    std::vector<TSyncStep> Steps;
    std::vector<std::string> Skipped;  // sites found taken by name on the way
    // Each receiving side's ids of the sites it holds, by UUID (up: the server's).
    std::map<std::string, std::int64_t> SiteIds[2];
    // Each side's campaigns by UUID (0: the laptop's), with their site's name.
    std::map<std::string, std::pair<std::string, TCampaign>> CampaignsOn[2];
    std::string Peer;  // the server as the laptop's sync marks name it
    int Next = 0;
    TSyncResult Counts;
};

// A whole TSyncRun: both ways (up first) or one way; throws TArchiveError,
// result holding what was done until then.
void SyncArchives(TArchive& laptop, TArchive& server, TSyncDirection direction,
                  TSyncResult& result);

// Two sites stored on their own under other UUIDs that look like one: the
// same name and voltage level once spaces are dropped and full-width forms
// folded (NormalisedName), the voltage level's letters in either case.
struct TSiteMatch {
    TSite Laptop, Server;
};
std::string NormalisedName(const std::string& text);
bool SameSite(const TSite& a, const TSite& b);
// The pairs of the two archives not merged yet, in the laptop's order.
std::vector<TSiteMatch> SiteMatches(TArchive& laptop, TArchive& server);
// On the operator's word: each side's site is known by the other's UUID too.
void MergeSites(TArchive& laptop, TArchive& server, const TSiteMatch& match);

// The details a sync compares, as one text.
std::string CampaignDetails(const TCampaign& c);
// "2025-05-01，测试人员 张三，限值 0.5Ω，引线 ...，备注 ..." for the operator
// (what is empty left out).
std::string CampaignDetailsText(const TCampaign& c);
// The operator's choice: the version kept goes to the other side.
void ResolveConflict(TArchive& laptop, TArchive& server, const TCampaignConflict& conflict,
                     bool keepLaptop);

// What went one way, for the operator: "上传：新增场地 2 个，测试 3 次，记录
// 120 条；40 条记录已在档案中", then a line for each site left for merging.
std::string SyncCountsText(const std::string& way, const TSyncCounts& counts);
// A line for each campaign left for the operator's choice; empty when none.
std::string ConflictsText(const std::vector<TCampaignConflict>& conflicts);

// The archive a command line names: "postgresql://user@host:port/database"
// (libpq's form; ?host=/socket/folder, sslmode, sslrootcert, sslcert and
// sslkey as libpq takes them; the password from ~/.pgpass or PGPASSFILE), or
// else the path of a SQLite file. Throws TArchiveError (Other) for a
// postgresql:// text that names no database.
TArchiveSettings ArchiveSettingsOf(const std::string& text);
