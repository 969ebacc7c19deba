#include "app/archive/ArchiveAccess.h"

#include <QDir>

#include "app/kit/GlobVar.h"
#include "app/kit/Platform.h"
#include "archive/ArchiveSql.h"
#include "qtext/QText.h"

TArchiveAccess& ArchiveAccess() {
    static TArchiveAccess access;
    return access;
}

void ReportArchiveError(QWidget* owner, const TArchiveError& error) {
    Platform().MessageBox(owner, Q(error.what()), QStringLiteral("提示"), TMessageIcon::Warning);
}

TArchiveSettings TArchiveAccess::Settings() const {
    // The default file lies with the program's other files for this user.
    return LoadArchiveSettings(GlobVar.ConfigFileName.toStdString(),
                               GlobVar.DataFolder.toStdString());
}

TArchive* TArchiveAccess::Get(QWidget* owner) {
    if (archive_) return archive_.get();
    const TArchiveSettings settings = Settings();
    for (;;) {
        try {
            archive_ = OpenArchive(settings, password_);
            return archive_.get();
        } catch (const TArchiveError& e) {
            if (e.Problem() == TArchiveProblem::PasswordRefused) {
                password_ =
                    Platform()
                        .Password(owner, Q(e.what()) + QStringLiteral("\n请输入数据库密码："))
                        .toStdString();
                if (!password_.empty()) continue;
                return nullptr;
            }
            if (e.Problem() != TArchiveProblem::Damaged) {
                ReportArchiveError(owner, e);
                return nullptr;
            }
            const QString file = QDir::toNativeSeparators(Q(settings.File));
            if (!Platform().Confirm(
                    owner,
                    Q(e.what()) + QStringLiteral("\n\n是否新建档案？原文件不会删除，"
                                                 "将改名保留在同一文件夹中。"),
                    QStringLiteral("提示")))
                return nullptr;
            try {
                const std::string kept = SetAsideArchiveFile(settings.File);
                Platform().MessageBox(owner,
                                      QStringLiteral("原档案文件已保留为：\n") +
                                          QDir::toNativeSeparators(Q(kept)) +
                                          QStringLiteral("\n新档案：\n") + file,
                                      QStringLiteral("提示"), TMessageIcon::Information);
            } catch (const TArchiveError& kept) {
                ReportArchiveError(owner, kept);
                return nullptr;
            }
        }
    }
}

bool TArchiveAccess::Call(QWidget* owner, const std::function<void(TArchive&)>& call) {
    TArchive* archive = Get(owner);
    if (!archive) return false;
    try {
        call(*archive);
        return true;
    } catch (const TArchiveError& e) {
        ReportArchiveError(owner, e);
        return false;
    }
}

void TArchiveAccess::Close() {
    archive_.reset();
}
