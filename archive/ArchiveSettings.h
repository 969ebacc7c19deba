#pragma once
// Where the test archive is: a SQLite file of the user's own (the default) or
// a PostgreSQL server a team shares. The window decides where the program's
// files live and passes that folder in; the settings dialog keeps these in
// the [Archive] section of Config.ini (link/Config.h), never the password.

#include <string>

#include "link/Config.h"

enum class TArchiveDriver { SQLite, PostgreSQL };

struct TArchiveSettings {
    TArchiveDriver Driver = TArchiveDriver::SQLite;
    std::string File;  // SQLite: the archive file (UTF-8)
    // PostgreSQL: a host name, an address, or the folder of a Unix socket
    // (a path starting with "/", as libpq takes it).
    std::string Host;
    int Port = 5432;
    std::string Database = "kr3090";
    std::string User;  // empty: libpq's default, the login name
    // TLS to the server, as libpq's sslmode: "verify-full" (the default:
    // encrypted, the certificate chain and the host name checked),
    // "verify-ca", "require" (encrypted, nothing checked) or "disable". A
    // Unix socket never leaves the machine and is not encrypted.
    std::string SslMode = "verify-full";
    std::string RootCert;    // empty: DefaultRootCertFile()
    std::string ClientCert;  // optional, with its key
    std::string ClientKey;
};

// The modes offered, strictest first; anything else read from Config.ini is
// taken as the strictest.
inline constexpr const char* SslModes[] = {"verify-full", "verify-ca", "require", "disable"};

// Where libpq looks for the root certificate: ~/.postgresql/root.crt,
// %APPDATA%\postgresql\root.crt on Windows.
std::string DefaultRootCertFile();

inline constexpr const char* DefaultArchiveFileName = "kr3090-archive.sqlite";

// folder/kr3090-archive.sqlite
std::string ArchiveFileIn(const std::string& folder);

// Settings from [Archive]; an empty File is the default file in `folder`.
TArchiveSettings ArchiveSettingsFrom(const TArchiveConfig& config, const std::string& folder);
TArchiveConfig ArchiveConfigFrom(const TArchiveSettings& settings);

// A damaged archive file is set aside, never deleted: it is renamed, with
// SQLite's -wal and -shm files beside it, to
// "kr3090-archive.sqlite.damaged-20250303-203340" in the same folder, and the
// new name is given back. Opening the old name then makes a new archive.
// Throws TArchiveError when the file cannot be renamed.
std::string SetAsideArchiveFile(const std::string& file);
