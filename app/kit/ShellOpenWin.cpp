// ShellExecuteA "open", maximised, owned by the window. A path that the ANSI
// code page cannot spell (a Chinese folder on a Western system) would reach
// the shell as '?' and open nothing: that one goes through ShellExecuteW.
#ifdef _WIN32

#include <windows.h>
// shellapi.h needs windows.h before it.
#include <shellapi.h>

#include <QDir>
#include <QFileInfo>
#include <QWidget>
#include <string>

#include "app/kit/ShellOpen.h"

void ShellOpenFile(QWidget* owner, const QString& path) {
    const std::wstring wide =
        QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()).toStdWString();
    HWND window = owner ? reinterpret_cast<HWND>(owner->window()->winId()) : nullptr;
    // No best fit: a look-alike letter would name another file.
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, nullptr, 0,
                                      nullptr, &lossy);
    if (n > 0 && !lossy) {
        std::string ansi(static_cast<std::size_t>(n), '\0');
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, ansi.data(), n, nullptr,
                            nullptr);
        ShellExecuteA(window, "open", ansi.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
    } else {
        ShellExecuteW(window, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
    }
}

#endif
