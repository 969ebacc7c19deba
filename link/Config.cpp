// Config.ini is read and written the way the profile functions of the
// instrument's original platform do it: section and key names match in any
// case, the first occurrence counts, values are trimmed, and a save rewrites
// only its own keys, leaving every other line (HelpFileName, comments, other
// sections) as it was.
#include "link/Config.h"

#include <cerrno>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include "link/FilePath.h"

TCommSettings CommSettings;

namespace {

constexpr const char* Section = "Config";

struct TIniFile {
    std::vector<std::string> Lines;  // without line ends
    std::string Bom;  // a UTF-8 byte-order mark that an editor put in front, kept on save
    std::string Newline = "\r\n";
    bool EndsWithNewline = true;
    std::optional<std::string> Before;  // the file's bytes as read, when it could be read
    int ReadError = 0;                  // errno of an open that failed
};

std::string Trim(const std::string& s) {
    const char* space = " \t\r\n";
    const auto first = s.find_first_not_of(space);
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(space) - first + 1);
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// "[name]" -> name; anything else -> nothing.
std::optional<std::string> SectionName(const std::string& line) {
    const std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[') return std::nullopt;
    const auto close = t.find(']');
    if (close == std::string::npos) return std::nullopt;
    return Trim(t.substr(1, close - 1));
}

// "key = value" -> key; comments and other lines -> nothing.
std::optional<std::string> KeyName(const std::string& line) {
    const std::string t = Trim(line);
    if (t.empty() || t.front() == ';' || t.front() == '[') return std::nullopt;
    const auto eq = t.find('=');
    if (eq == std::string::npos) return std::nullopt;
    return Trim(t.substr(0, eq));
}

// The file name as the file system takes it; nothing when it cannot be one
// (bytes that are not UTF-8, on Windows).
std::optional<std::filesystem::path> FileSystemPath(const std::string& fileName) {
    try {
        return PathFromUtf8(fileName);
    } catch (...) {
        return std::nullopt;
    }
}

TIniFile ReadIni(const std::string& fileName) {
    TIniFile ini;
    const auto path = FileSystemPath(fileName);
    if (!path) return ini;
    errno = 0;
    std::ifstream in(*path, std::ios::binary);
    if (!in) {
        ini.ReadError = errno;
        return ini;
    }
    std::ostringstream text;
    text << in.rdbuf();
    std::string s = text.str();
    ini.Before = s;
    if (s.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        ini.Bom = s.substr(0, 3);
        s.erase(0, 3);
    }
    if (s.empty()) return ini;
    ini.Newline =
        s.find("\r\n") != std::string::npos || s.find('\n') == std::string::npos ? "\r\n" : "\n";
    ini.EndsWithNewline = s.back() == '\n';
    std::size_t start = 0;
    while (start < s.size()) {
        auto end = s.find('\n', start);
        if (end == std::string::npos) end = s.size();
        std::string line = s.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        ini.Lines.push_back(line);
        start = end + 1;
    }
    return ini;
}

// Index range [begin, end) of the lines of the first [Config] section; begin is
// the header line. Nothing when the file has no such section.
std::optional<std::pair<std::size_t, std::size_t>> FindSection(const TIniFile& ini,
                                                               const char* section = Section) {
    for (std::size_t i = 0; i < ini.Lines.size(); ++i) {
        auto name = SectionName(ini.Lines[i]);
        if (!name || !SameName(*name, section)) continue;
        std::size_t end = i + 1;
        while (end < ini.Lines.size() && !SectionName(ini.Lines[end])) ++end;
        return std::make_pair(i, end);
    }
    return std::nullopt;
}

std::optional<std::string> ReadValue(const TIniFile& ini, const std::string& key,
                                     const char* sectionName = Section) {
    auto section = FindSection(ini, sectionName);
    if (!section) return std::nullopt;
    for (std::size_t i = section->first + 1; i < section->second; ++i) {
        auto name = KeyName(ini.Lines[i]);
        if (!name || !SameName(*name, key)) continue;
        const std::string& line = ini.Lines[i];
        std::string value = Trim(line.substr(line.find('=') + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return std::nullopt;
}

std::string ReadText(const TIniFile& ini, const std::string& key, const std::string& fallback,
                     const char* section = Section) {
    auto value = ReadValue(ini, key, section);
    return value ? *value : fallback;
}

// A decimal integer that fits 32 bits, or the default.
std::int32_t ReadInteger(const TIniFile& ini, const std::string& key, std::int32_t fallback,
                         const char* section = Section) {
    auto value = ReadValue(ini, key, section);
    if (!value || value->empty()) return fallback;
    const char* first = value->data();
    const char* last = first + value->size();
    if (*first == '+') ++first;
    std::int32_t result = 0;
    auto [end, error] = std::from_chars(first, last, result);
    if (error != std::errc() || end != last) return fallback;
    return result;
}

void WriteValue(TIniFile& ini, const std::string& key, const std::string& value,
                const char* sectionName = Section) {
    const std::string line = key + "=" + value;
    auto section = FindSection(ini, sectionName);
    if (!section) {
        ini.Lines.push_back(std::string("[") + sectionName + "]");
        ini.Lines.push_back(line);
        return;
    }
    std::size_t lastKey = section->first;
    for (std::size_t i = section->first + 1; i < section->second; ++i) {
        auto name = KeyName(ini.Lines[i]);
        if (!name) continue;
        if (SameName(*name, key)) {
            ini.Lines[i] = line;
            return;
        }
        lastKey = i;
    }
    ini.Lines.insert(ini.Lines.begin() + static_cast<std::ptrdiff_t>(lastKey) + 1, line);
}

// The errno a failed file operation left, or EIO when it left none.
int LastError() {
    return errno ? errno : EIO;
}

// Replaces the file's content; the error that kept any of it from reaching
// the file, 0 when all did.
int WriteWhole(const std::filesystem::path& path, const std::string& text) {
    errno = 0;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.is_open()) return LastError();
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (out) out.flush();
    if (out) out.close();
    return out ? 0 : LastError();
}

// As the platform writes it: on Windows C:\...\Config.ini.
std::string FullPath(const std::string& fileName) {
    const auto name = FileSystemPath(fileName);
    if (!name) return fileName;
    std::error_code ec;
    auto path = std::filesystem::absolute(*name, ec);
    return ec ? fileName : Utf8FromPath(path.lexically_normal());
}

}  // namespace

void LoadConfig(const std::string& fileName, TCommSettings& settings,
                const TCommSettings& defaults) {
    const TIniFile ini = ReadIni(fileName);
    settings.ComName = ReadText(ini, "ComName", defaults.ComName);
    settings.DataNum = ReadInteger(ini, "DataNum", defaults.DataNum);
    settings.StopNum = ReadInteger(ini, "StopNum", defaults.StopNum);
    settings.Mark = ReadInteger(ini, "Mark", defaults.Mark);
    settings.Baud = ReadInteger(ini, "Baud", defaults.Baud);
    settings.HelpFileName = ReadText(ini, "HelpFileName", defaults.HelpFileName);
}

namespace {

// Writes the file's new text whole; what it held goes back when the write
// stops half way. Throws TConfigWriteError with the cause.
void WriteIni(const std::string& fileName, const TIniFile& ini, bool existed) {
    const auto path = FileSystemPath(fileName);
    std::string text = ini.Bom;
    for (std::size_t i = 0; i < ini.Lines.size(); ++i) {
        text += ini.Lines[i];
        if (i + 1 < ini.Lines.size() || ini.EndsWithNewline) text += ini.Newline;
    }
    const auto fail = [&fileName](int error) {
        throw TConfigWriteError(FullPath(fileName),
                                std::error_code(error, std::generic_category()));
    };
    // A file that is there but cannot be read is not rewritten: the lines of
    // it that are not ours would be lost.
    if (!path) fail(EINVAL);
    if (existed && !ini.Before) fail(ini.ReadError ? ini.ReadError : EIO);
    if (const int error = WriteWhole(*path, text); error != 0) {
        // A write that stopped half way (a full disk) has already emptied the
        // file: what it held goes back, and a first save leaves no half file.
        std::error_code ec;
        if (ini.Before)
            WriteWhole(*path, *ini.Before);
        else if (!existed)
            std::filesystem::remove(*path, ec);
        fail(error);
    }
}

bool Exists(const std::string& fileName) {
    const auto path = FileSystemPath(fileName);
    std::error_code ec;
    return path && std::filesystem::exists(*path, ec);
}

}  // namespace

void SaveConfig(const std::string& fileName, const TCommSettings& settings) {
    const bool existed = Exists(fileName);
    TIniFile ini = ReadIni(fileName);
    WriteValue(ini, "ComName", settings.ComName);
    WriteValue(ini, "DataNum", std::to_string(settings.DataNum));
    WriteValue(ini, "StopNum", std::to_string(settings.StopNum));
    WriteValue(ini, "Mark", std::to_string(settings.Mark));
    WriteValue(ini, "Baud", std::to_string(settings.Baud));
    WriteIni(fileName, ini, existed);
}

// [Archive] ----------------------------------------------------------------

namespace {

constexpr const char* ArchiveSection = "Archive";

}  // namespace

void LoadArchiveConfig(const std::string& fileName, TArchiveConfig& config) {
    const TIniFile ini = ReadIni(fileName);
    const TArchiveConfig defaults;
    config.Driver = ReadText(ini, "Driver", defaults.Driver, ArchiveSection);
    config.File = ReadText(ini, "File", defaults.File, ArchiveSection);
    config.Host = ReadText(ini, "Host", defaults.Host, ArchiveSection);
    config.Port = ReadInteger(ini, "Port", defaults.Port, ArchiveSection);
    config.Database = ReadText(ini, "Database", defaults.Database, ArchiveSection);
    config.User = ReadText(ini, "User", defaults.User, ArchiveSection);
    config.SslMode = ReadText(ini, "SslMode", defaults.SslMode, ArchiveSection);
    config.SslRootCert = ReadText(ini, "SslRootCert", defaults.SslRootCert, ArchiveSection);
    config.SslCert = ReadText(ini, "SslCert", defaults.SslCert, ArchiveSection);
    config.SslKey = ReadText(ini, "SslKey", defaults.SslKey, ArchiveSection);
}

void SaveArchiveConfig(const std::string& fileName, const TArchiveConfig& config) {
    const bool existed = Exists(fileName);
    TIniFile ini = ReadIni(fileName);
    WriteValue(ini, "Driver", config.Driver, ArchiveSection);
    WriteValue(ini, "File", config.File, ArchiveSection);
    WriteValue(ini, "Host", config.Host, ArchiveSection);
    WriteValue(ini, "Port", std::to_string(config.Port), ArchiveSection);
    WriteValue(ini, "Database", config.Database, ArchiveSection);
    WriteValue(ini, "User", config.User, ArchiveSection);
    WriteValue(ini, "SslMode", config.SslMode, ArchiveSection);
    WriteValue(ini, "SslRootCert", config.SslRootCert, ArchiveSection);
    WriteValue(ini, "SslCert", config.SslCert, ArchiveSection);
    WriteValue(ini, "SslKey", config.SslKey, ArchiveSection);
    WriteIni(fileName, ini, existed);
}
