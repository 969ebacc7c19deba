#include "app/kit/ExportFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

QString lastFolder;  // this run's last export, for every window alike

}  // namespace

QString FileNamePart(const QString& text) {
    QString name;
    for (const QChar c : text)
        name += c.unicode() < 0x20 || QStringLiteral("\\/:*?\"<>|").contains(c) ? u'_' : c;
    while (!name.isEmpty() && (name.front() == u' ' || name.front() == u'.')) name.remove(0, 1);
    while (!name.isEmpty() && (name.back() == u' ' || name.back() == u'.')) name.chop(1);
    return name;
}

void ProposeExportFile(TFileDialogRequest& request, const QString& name) {
    QString folder = lastFolder;
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    // A documents folder that was never made (a fresh Linux account) is no help.
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::homePath();
    request.FileName = QDir(folder).filePath(FileNamePart(name));
}

void ExportWritten(QWidget* owner, const QString& what, const QString& path) {
    lastFolder = QFileInfo(path).absolutePath();
    Platform().MessageBox(owner,
                          what + QStringLiteral("已保存到：\n") + QDir::toNativeSeparators(path),
                          QStringLiteral("提示"), TMessageIcon::Information);
}
