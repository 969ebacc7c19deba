#pragma once
// A top-level QWidget is a "client area" to Qt's accessibility, which screen
// readers announce as a filler. The program's own windows say that they are
// windows, with their title as their name.

class QWidget;

// Called in the window's constructor, before anything asks about it.
void AnnounceAsWindow(QWidget* window);
