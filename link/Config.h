#pragma once
// Config.ini: section [Config] with the serial settings and the help file
// name. Where the file lives is SettingsLocationFor's choice.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <system_error>

struct TCommSettings {
    std::string ComName = "COM1";
    std::int32_t DataNum = 8;
    std::int32_t StopNum = 0;  // 0 = 1, 1 = 1.5, 2 = 2 stop bits
    std::int32_t Mark = 0;     // 0 None, 1 Odd, 2 Even, 3 Mark, 4 Space
    std::int32_t Baud = 9600;
    std::string HelpFileName;  // read only
};

// The settings of this run (window thread only).
extern TCommSettings CommSettings;

// Raised by SaveConfig with "Unable to write to <full path>"; Path and Cause
// (an errno value of the generic category) let the window say it in Chinese.
class TConfigWriteError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
    TConfigWriteError(const std::string& fullPath, std::error_code cause)
        : std::runtime_error("Unable to write to " + fullPath), path_(fullPath), cause_(cause) {}
    const std::string& Path() const { return path_; }
    std::error_code Cause() const { return cause_; }

  private:
    std::string path_;
    std::error_code cause_;
};

// Missing file, section or key, or a value that is not an integer: the value
// of defaults (the platform's default port is the window's to give).
void LoadConfig(const std::string& fileName, TCommSettings& settings,
                const TCommSettings& defaults = TCommSettings{});
// Writes ComName, DataNum, StopNum, Mark and Baud into [Config], keeping every
// other line of the file as it was. Throws TConfigWriteError; the file then
// holds what it held before (a file that exists but cannot be read is not
// touched).
void SaveConfig(const std::string& fileName, const TCommSettings& settings);

// Section [Archive]: where the test archive is (archive/ArchiveSettings.h
// reads these). The password is never kept here: the program asks for it at
// connect, or libpq finds it in ~/.pgpass (PGPASSFILE).
struct TArchiveConfig {
    std::string Driver = "SQLite";  // "SQLite" or "PostgreSQL"
    std::string File;               // the SQLite file; empty: the default one
    std::string Host;               // the server: a name, an address or a socket folder
    std::int32_t Port = 5432;
    std::string Database = "kr3090";
    std::string User;
    // The server's TLS: libpq's sslmode ("verify-full" checks the certificate
    // chain and the host name), the root certificate file (empty: libpq's own
    // place), an optional client certificate and key.
    std::string SslMode = "verify-full";
    std::string SslRootCert;
    std::string SslCert;
    std::string SslKey;
};
// Missing keys (or a Port that is not an integer) give the defaults above.
void LoadArchiveConfig(const std::string& fileName, TArchiveConfig& config);
// Writes the keys of [Archive], keeping every other line; throws
// TConfigWriteError as SaveConfig does.
void SaveArchiveConfig(const std::string& fileName, const TArchiveConfig& config);
