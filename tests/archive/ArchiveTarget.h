#pragma once
// Where the archive tests run: a SQLite file in a fresh temporary folder, or,
// when KR3090_ARCHIVE_SERVER names the folder of a test server that
// scripts/archive-server-test.sh started, the very same tests on PostgreSQL
// (its socket, user and database kr3090, the password in its pgpass file);
// a folder of scripts/team-server-test.sh is reached over TCP and verified TLS.
// The import driver, a child process, takes a target text to find it again.

#include <QSqlDatabase>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveSettings.h"

// The server's folder; empty when the tests run on SQLite.
std::string TestServerFolder();

// "sqlite:FILE" or "server:FOLDER" -> the settings of that archive.
TArchiveSettings SettingsOfTarget(const std::string& target);

// A connection of its own (named `name`) to the test server in `folder` as
// its owner, past the archive, for what a test must see or do in plain SQL.
QSqlDatabase RawServerConnection(const std::string& folder, const QString& name);
// Drops the archive's tables on the test server in `folder`, with whatever an
// earlier test left in them (reviewed campaigns, which no one may delete,
// included); the next archive opened there makes them afresh.
void DropServerTables(const std::string& folder);

// Record k of a made-up upload: every k gives a different record, and the
// frequencies alternate between 45 and 55 Hz so that each set has a value.
TArchivedRecord TestRecord(int k);
std::vector<TArchivedRecord> TestRecords(int first, int count);
