#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include "app/kit/ShellOpen.h"

void ShellOpenFile(QWidget*, const QString& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
}
