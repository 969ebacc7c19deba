#pragma once
// The program's manual (kr3090-manual.html), opened by "帮助" when Config.ini
// names no help file of its own: beside the executable in the Windows zip and
// the build tree, in the package's data folder once installed.

class QWidget;

// Hands the manual to the shell; says where it should be when it is missing.
void OpenManual(QWidget* owner);
