#include "app/kit/Messages.h"

#include <QDir>
#include <QString>

#include "app/kit/Platform.h"
#include "settings/Config.h"

namespace {

QString CauseText(std::error_code cause) {
    if (cause == std::errc::permission_denied || cause == std::errc::operation_not_permitted)
        return QStringLiteral("权限不足");
    if (cause == std::errc::read_only_file_system) return QStringLiteral("文件系统只读");
    if (cause == std::errc::no_space_on_device) return QStringLiteral("磁盘空间不足");
    if (cause == std::errc::file_too_large) return QStringLiteral("文件超出大小限制");
    if (cause == std::errc::no_such_file_or_directory || cause == std::errc::not_a_directory)
        return QStringLiteral("文件夹不存在");
    if (cause == std::errc::is_a_directory) return QStringLiteral("同名的文件夹已存在");
    // Anything rarer in the system's own words.
    return QString::fromLocal8Bit(cause.message());
}

}  // namespace

void ReportFileFault(QWidget* owner, const QString& text, const QString& path) {
    Platform().MessageBox(owner, text + u'\n' + QDir::toNativeSeparators(path),
                          QStringLiteral("提示"), TMessageIcon::Warning);
}

QString ConfigWriteMessage(const TConfigWriteError& error) {
    if (error.Path().empty()) return QString::fromStdString(error.what());
    return QStringLiteral("无法写入配置文件 %1：%2\n新的设置没有保存，仍使用原来的设置。")
        .arg(QString::fromStdString(error.Path()), CauseText(error.Cause()));
}
