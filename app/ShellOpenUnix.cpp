#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include "app/ShellOpen.h"

void ShellOpenFile(QWidget*, const QString& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
}
