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
// UUID is not copied: the two are to be merged on the operator's word, and
// its name is listed instead.

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
};

struct TSyncResult {
    TSyncCounts Up;    // laptop to server
    TSyncCounts Down;  // server to laptop
};

// Copies into `to` what `from` holds and `to` lacks; counts as it goes, so
// that the counts tell what was done when a TArchiveError ends it.
void CopyMissing(TArchive& from, TArchive& to, TSyncCounts& counts);

// Both ways (up first) or one way; throws TArchiveError, result holding what
// was done until then.
void SyncArchives(TArchive& laptop, TArchive& server, TSyncDirection direction,
                  TSyncResult& result);

// The archive a command line names: "postgresql://user@host:port/database"
// (libpq's form; ?host=/socket/folder, sslmode, sslrootcert, sslcert and
// sslkey as libpq takes them; the password from ~/.pgpass or PGPASSFILE), or
// else the path of a SQLite file. Throws TArchiveError (Other) for a
// postgresql:// text that names no database.
TArchiveSettings ArchiveSettingsOf(const std::string& text);
