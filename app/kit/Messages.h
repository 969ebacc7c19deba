#pragma once
// The boxes more than one room of windows gives, in the same words.

class QString;
class QWidget;
class TConfigWriteError;

// Tells the operator that a file was not (wholly) written: text, then the
// path in the platform's separators, in a "提示" box with the warning icon.
void ReportFileFault(QWidget* owner, const QString& text, const QString& path);

// The error display's text for a save of Config.ini that failed: the file,
// the cause, and that the settings in use stay the old ones.
QString ConfigWriteMessage(const TConfigWriteError& error);
