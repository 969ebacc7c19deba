#pragma once
// Where the program keeps Config.ini and the files it writes for the user.
// An unpacked program (the Windows zip, scripts/run.sh's demo/) keeps them in
// its own folder; an installed one never does, since that folder is the
// system's: a save there as root (/usr/bin/Config.ini) would become every
// user's settings, and no user's "保存" could write it.
//
// One body per platform: SettingsLocationUnix.cpp, SettingsLocationWin.cpp.

#include <string>

struct TSettingsLocation {
    std::string ConfigFileName;     // Config.ini, UTF-8, the platform's separators
    bool BesideExecutable = false;  // the program keeps its files in its own folder
    // Where the program's other files for this user go (an archive, for one),
    // with a trailing separator: the executable's folder when
    // BesideExecutable, otherwise the user's data folder, the one Qt names
    // QStandardPaths::AppDataLocation for a program called kr3090
    // (~/.local/share/kr3090/, %APPDATA%\kr3090\). Not made here.
    std::string DataFolder;
};

// appPath: the executable's folder with a trailing separator.
// Linux: the user's folders ($XDG_CONFIG_HOME/kr3090/Config.ini, by default
// ~/.config/kr3090/) when the executable is installed (it lives in the build's
// install folder, /usr/bin for the Debian package) or its folder is neither
// writable nor holds a Config.ini; otherwise beside it.
// Windows: beside the executable when Config.ini there can be written (or
// made); otherwise %APPDATA%\kr3090\, as under Program Files, which a user
// may not write.
TSettingsLocation SettingsLocationFor(const std::string& appPath);
