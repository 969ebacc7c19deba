#pragma once
// Waiting on the window while the simulator answers: the Qt event loop is
// pumped so that frames handed over by the receive thread get handled.

#include <QApplication>
#include <QRegularExpression>
#include <QString>
#include <chrono>
#include <functional>
#include <thread>

// True once pred holds; false after `seconds` without it.
inline bool WaitUntil(const std::function<bool()>& pred, int seconds = 15) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// The whole text matches the pattern (UTF-8), not just a part of it.
inline bool FullMatch(const QString& text, const char* pattern) {
    return QRegularExpression(QRegularExpression::anchoredPattern(QString::fromUtf8(pattern)))
        .match(text)
        .hasMatch();
}
