#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include "app/kit/ShellOpen.h"

// Qt hands the file to xdg-open; without xdg-utils it only warns on standard
// error ("Unable to detect a launcher") and gives false.
bool ShellOpenFile(QWidget*, const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
}

QString NoOpenerText(const QString& path) {
    return QStringLiteral(
               "没有可以打开文件的程序：请安装软件包 xdg-utils（sudo apt install xdg-utils）。"
               "\n文件在：") +
           QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}
