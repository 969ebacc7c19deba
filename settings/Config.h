#pragma once
// Config.ini: section [Config] with the serial settings and the help file
// name, and the sections the floors above keep there (the archive's
// [Archive]). Where the file lives is SettingsLocationFor's choice.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

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

// Another section of the file, for a floor above that keeps its own settings
// there (the archive's [Archive]). Keys match in any case, the first of a
// name counts, values come trimmed.
struct TConfigSection {
    std::vector<std::pair<std::string, std::string>> Keys;  // in the file's order
    // The key's value, or fallback when the section does not hold it.
    std::string Text(const std::string& key, const std::string& fallback) const;
    // A decimal integer that fits 32 bits, or fallback.
    std::int32_t Integer(const std::string& key, std::int32_t fallback) const;
};
// A missing file or section reads as an empty section.
TConfigSection LoadConfigSection(const std::string& fileName, const std::string& section);
// Writes the keys into the section in the order given, keeping every other
// line; throws TConfigWriteError as SaveConfig does.
void SaveConfigSection(const std::string& fileName, const std::string& section,
                       const std::vector<std::pair<std::string, std::string>>& keys);
