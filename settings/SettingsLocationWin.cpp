// The settings location on Windows. Whether Config.ini can be written is
// tried, not read from attributes: a folder under Program Files reports no
// read-only flag, yet only an administrator may write it.
#ifdef _WIN32

#include <windows.h>
// After windows.h:
#include <knownfolders.h>
#include <shlobj.h>

#include <string>

#include "settings/FilePath.h"
#include "settings/SettingsLocation.h"

namespace {

// Config.ini can be opened for writing where it is, or made in the folder
// (a probe file that goes when its handle closes).
bool ConfigWritable(const std::string& appPath) {
    const std::wstring config = PathFromUtf8(appPath + "Config.ini").wstring();
    HANDLE h = CreateFileW(config.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
        const std::wstring probe = PathFromUtf8(appPath).wstring() + L"kr3090-" +
                                   std::to_wstring(GetCurrentProcessId()) + L".tmp";
        h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    }
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

// %APPDATA%\kr3090\ (the roaming profile), empty when Windows names none.
std::string UserDataFolder() {
    PWSTR folder = nullptr;
    std::string out;
    if (SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_DEFAULT, nullptr, &folder) == S_OK)
        out = Utf8FromPath(std::filesystem::path(folder) / L"kr3090") + "\\";
    CoTaskMemFree(folder);
    return out;
}

}  // namespace

TSettingsLocation SettingsLocationFor(const std::string& appPath) {
    const TSettingsLocation beside{appPath + "Config.ini", true, appPath};
    if (ConfigWritable(appPath)) return beside;
    const std::string user = UserDataFolder();
    // Without a profile folder the save reports the folder it could not write.
    if (user.empty()) return beside;
    return {user + "Config.ini", false, user};
}

#endif  // _WIN32
