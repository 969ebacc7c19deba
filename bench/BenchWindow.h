#pragma once
// What the window benchmarks share: one application for the whole program,
// offscreen unless the caller chose a platform, and a raw pseudo-terminal
// pair whose slave the window opens as its port (the benchmark plays the
// instrument on the master).
#include <pty.h>
#include <termios.h>

#include <QApplication>
#include <string>

inline void EnsureApplication(const char* name) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static std::string programName = name;
    static char* argv[] = {programName.data(), nullptr};
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
}

// False when no pair could be opened.
inline bool OpenRawPty(int& master, int& slave, std::string& slavePath) {
    char path[256] = {};
    if (openpty(&master, &slave, path, nullptr, nullptr) != 0) return false;
    termios t{};
    tcgetattr(master, &t);
    cfmakeraw(&t);
    tcsetattr(master, TCSANOW, &t);
    slavePath = path;
    return true;
}
