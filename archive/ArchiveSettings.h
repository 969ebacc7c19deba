#pragma once
// Where the test archive is: a SQLite file of the user's own (the default) or
// a PostgreSQL server a team shares, kept in the [Archive] section of
// Config.ini (settings/Config.h), never with a password. The window decides
// where the program's files live and passes that folder in.

#include <string>


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

// [Archive] of configFile; what it does not hold (or a Port that is not an
// integer) is the default above, and an empty File the default file in folder.
TArchiveSettings LoadArchiveSettings(const std::string& configFile, const std::string& folder);
// Writes the keys of [Archive], keeping every other line of the file: the
// driver as "SQLite" or "PostgreSQL", and the default file of folder as an
// empty File, so that it follows the program's folder. Throws
// TConfigWriteError (settings/Config.h) when the file cannot be written.
void SaveArchiveSettings(const std::string& configFile, const TArchiveSettings& settings,
                         const std::string& folder);

// A damaged archive file is set aside, never deleted: it is renamed, with
// SQLite's -wal and -shm files beside it, to
// "kr3090-archive.sqlite.damaged-20250303-203340" in the same folder, and the
// new name is given back. Opening the old name then makes a new archive.
// Throws TArchiveError when the file cannot be renamed.
std::string SetAsideArchiveFile(const std::string& file);
