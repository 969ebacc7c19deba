#pragma once
// The shell's "open" action on a file, shown maximised, as the desktop does
// it: ShellExecute on Windows (ShellOpenWin.cpp), the desktop's opener through
// QDesktopServices elsewhere (ShellOpenUnix.cpp). The outcome is not examined.

class QString;
class QWidget;

void ShellOpenFile(QWidget* owner, const QString& path);
