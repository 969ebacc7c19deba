#include "app/main/Manual.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include "app/kit/GlobVar.h"
#include "app/kit/Platform.h"

namespace {

const QString manualName = QStringLiteral("kr3090-manual.html");

QStringList ManualPlaces() {
    QStringList places{GlobVar.AppPath};
#ifdef KR3090_MANUAL_DIR
    places << QStringLiteral(KR3090_MANUAL_DIR);
#endif
    return places;
}

}  // namespace

void OpenManual(QWidget* owner) {
    const QStringList places = ManualPlaces();
    for (const QString& place : places) {
        const QString file = QDir(place).filePath(manualName);
        if (QFileInfo::exists(file)) {
            Platform().ShellOpen(owner, file);
            return;
        }
    }
    QStringList folders;
    for (const QString& place : places) folders << QDir::toNativeSeparators(QDir::cleanPath(place));
    Platform().MessageBox(owner,
                          QStringLiteral("找不到使用说明 %1，它应在：\n%2")
                              .arg(manualName, folders.join(u'\n')),
                          QStringLiteral("提示"), TMessageIcon::Information);
}
