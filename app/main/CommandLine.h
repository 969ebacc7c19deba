#pragma once
// What the program answers from its command line before any window: its
// usage (--help, -h) and version (--version), and a plain sentence instead of
// Qt's advice to reinstall when there is no display to open the window on.
// --trace is read later, by the trace's routing (TraceLogging.h). Other
// arguments are Qt's own (-platform, -style) and are left to Qt.

#include <QString>
#include <QStringList>
#include <optional>

// The text --help or --version asks for; nothing when the window is to start.
std::optional<QString> CommandLineAnswer(const QStringList& arguments);

// kr3090 --sync [--upload-only | --download-only] LAPTOP SERVER: the two
// archives (a SQLite file, postgresql://...) exchange what the other lacks,
// the counts on standard output; nothing when the arguments ask no sync.
// The exit status: 0 when done, 1 when an archive failed (said on standard
// error, the counts of what was done before still printed), 2 for a command
// line that does not make a sync. Needs a QCoreApplication (Qt's drivers).
bool AsksForSync(const QStringList& arguments);
int RunSync(const QStringList& arguments);

// Linux: why no window can open (no DISPLAY nor WAYLAND_DISPLAY for the
// desktop's platform), or nothing. Windows always has its desktop.
std::optional<QString> NoDisplayText(const QStringList& arguments);

// From here until the application is made, Qt's fatal "no platform plugin
// could be initialized" (a DISPLAY that cannot be reached) ends the program
// with NoDisplay's sentence and exit code 1; EndStartupWatch puts Qt's
// handling back.
void WatchStartup();
void EndStartupWatch();
