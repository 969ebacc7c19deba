#pragma once
// Opening the archive: the one body of TArchive, over Qt SQL, for both
// databases (ArchiveSchema.h says where their SQL differs).
//
// SQLite: the file is made when missing (with its folder), checked at open
// (a damaged file gives TArchiveProblem::Damaged; SetAsideArchiveFile keeps
// it and lets a new archive start), put in WAL mode with foreign keys on.
// PostgreSQL: the password is the caller's (asked at connect) or, when empty,
// libpq's own from ~/.pgpass or PGPASSFILE. A connection attempt gives up
// after 5 s; when the server goes away during a call, that call fails with
// TArchiveProblem::ConnectionLost and the next one connects again.
//
// Both: the schema is brought to this program's version at open; every import
// is one transaction, and two programs importing into one archive at once
// store each record once.

#include <memory>
#include <string>

#include "archive/Archive.h"
#include "archive/ArchiveSettings.h"

// Throws TArchiveError when the archive cannot be opened.
std::unique_ptr<TArchive> OpenArchive(const TArchiveSettings& settings,
                                      const std::string& password = {});

// Why the archive cannot be opened with this driver on this machine: the
// advice names what to install where the program runs (the Debian package on
// Linux, the plugin in the program's folder on Windows); empty when Qt has it.
std::string MissingDriverText(TArchiveDriver driver);
