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

bool ShellOpenFile(QWidget* owner, const QString& path) {
    const std::wstring wide =
        QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()).toStdWString();
    HWND window = owner ? reinterpret_cast<HWND>(owner->window()->winId()) : nullptr;
    // No best fit: a look-alike letter would name another file.
    BOOL lossy = FALSE;
    HINSTANCE result = nullptr;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, nullptr, 0,
                                      nullptr, &lossy);
    if (n > 0 && !lossy) {
        std::string ansi(static_cast<std::size_t>(n), '\0');
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, ansi.data(), n, nullptr,
                            nullptr);
        result = ShellExecuteA(window, "open", ansi.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
    } else {
        result = ShellExecuteW(window, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
    }
    // Above 32 is success; only a file type without a program is ours to tell.
    const auto code = reinterpret_cast<INT_PTR>(result);
    return code > 32 || (code != SE_ERR_NOASSOC && code != SE_ERR_ASSOCINCOMPLETE);
}

QString NoOpenerText(const QString& path) {
    return QStringLiteral("Windows 中没有与这种文件关联的程序：请安装一个能打开 .%1 文件的程序。"
                          "\n文件在：")
               .arg(QFileInfo(path).suffix()) +
           QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

#endif
