// The settings location on Linux. KR3090_INSTALL_BINDIR is the folder the
// build installs the program into; a program found there is an installed one,
// whatever the permissions of the folder say (root may write /usr/bin).
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "settings/SettingsLocation.h"

namespace {

namespace fs = std::filesystem;

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    passwd entry;
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->pw_dir;
    return "/";
}

// The folder an XDG variable names; a relative one is invalid and ignored,
// leaving the default under the home folder.
std::string UserFolder(const char* variable, const char* underHome) {
    const char* value = std::getenv(variable);
    fs::path base = value && *value == '/' ? fs::path(value) : fs::path(HomeFolder()) / underHome;
    std::string folder = (base / "kr3090").lexically_normal().string();
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

bool InstalledProgram(const std::string& appPath) {
    std::error_code ec;
    return fs::equivalent(appPath, KR3090_INSTALL_BINDIR, ec);
}

}  // namespace

TSettingsLocation SettingsLocationFor(const std::string& appPath) {
    const std::string beside = appPath + "Config.ini";
    std::error_code ec;
    if (!InstalledProgram(appPath) &&
        (fs::exists(beside, ec) || ::access(appPath.c_str(), W_OK) == 0))
        return {beside, true, appPath};
    return {UserFolder("XDG_CONFIG_HOME", ".config") + "/Config.ini", false,
            UserFolder("XDG_DATA_HOME", ".local/share") + "/"};
}
