#pragma once
// A window of the run found among the application's windows, so that no room
// keeps a pointer to another room's window: the first of type W, or null
// when none is open (a window closed with WA_DeleteOnClose is gone once
// deleted).

#include <QApplication>
#include <QWidget>

template <class W>
W* OpenWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* window = dynamic_cast<W*>(w)) return window;
    return nullptr;
}
