#pragma once
// The shell's "open" action on a file, shown maximised, as the desktop does
// it: ShellExecute on Windows (ShellOpenWin.cpp), the desktop's opener through
// QDesktopServices elsewhere (ShellOpenUnix.cpp). False when nothing on this
// machine could be asked to open it; what the opener then does is its own.

class QString;
class QWidget;

bool ShellOpenFile(QWidget* owner, const QString& path);

// What the operator is told when ShellOpenFile found nothing to open path
// with: what to install on this platform, and where the file is.
QString NoOpenerText(const QString& path);
