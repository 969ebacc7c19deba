// The archive window's side of a damaged archive file: the operator is asked,
// the file is kept under another name, never deleted, and a new archive opens.
#include <QAccessible>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

#include "WindowFixture.h"
#include "app/ArchiveAccess.h"
#include "app/Archivefrm.h"
#include "app/GlobVar.h"
#include "app/KR3090frm.h"
#include "archive/ArchiveSql.h"
#include "link/Config.h"

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

}  // namespace

TEST_F(WindowTest, ADamagedArchiveIsKeptAsideAndANewOneOpensOnceTheOperatorAgrees) {
    const QString file = folder.filePath(QStringLiteral("档案.sqlite"));
    TArchiveConfig config;
    config.File = file.toStdString();
    SaveArchiveConfig(GlobVar.ConfigFileName.toStdString(), config);

    // An archive with a site, cut to half its size; then one of random bytes.
    {
        auto archive = OpenArchive(ArchiveAccess().Settings());
        TSite site;
        site.Name = "旧站";
        archive->SaveSite(site);
    }
    QFile::remove(file + QStringLiteral("-wal"));
    QFile::remove(file + QStringLiteral("-shm"));
    ASSERT_GT(QFileInfo(file).size(), 8192);
    QFile::resize(file, QFileInfo(file).size() / 2);
    QByteArray noise(8192, 0);
    for (int k = 0; k < noise.size(); ++k) noise[k] = char((k * 7919 + 13) % 251);

    for (const QByteArray& damaged : {ReadAll(file), noise}) {
        ArchiveAccess().Close();
        QFile::remove(file);
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(damaged);
        out.close();
        platform.Boxes.clear();
        platform.Questions.clear();

        // Declined: nothing changes, the window says the archive is not open.
        platform.ConfirmAnswer = false;
        window->BBtn_Archive->click();
        ASSERT_EQ(platform.Questions.size(), 1u);
        EXPECT_TRUE(platform.Questions[0].contains(QStringLiteral("是否新建档案？原文件不会删除")))
            << platform.Questions[0].toStdString();
        EXPECT_EQ(frmArchive->Lbl_Archive->text(), "档案未打开");
        EXPECT_EQ(ReadAll(file), damaged);

        // Agreed: the damaged bytes live on under the name the box gives.
        platform.ConfirmAnswer = true;
        frmArchive->Refresh();
        ASSERT_EQ(platform.Boxes.size(), 1u);
        const QString kept = platform.Boxes[0].Text.section(u'\n', 1, 1);
        EXPECT_TRUE(kept.contains(QStringLiteral("档案.sqlite.damaged-"))) << kept.toStdString();
        EXPECT_EQ(ReadAll(kept), damaged);
        EXPECT_TRUE(frmArchive->Lbl_Archive->text().startsWith(QStringLiteral("SQLite 档案：")));
        EXPECT_EQ(frmArchive->LView_Sites->rowCount(), 0);
        frmArchive->close();
        QFile::remove(kept);
    }
    ArchiveAccess().Close();
    delete frmArchive;
}

// Screen readers announce the archive window as a window, with its title.
TEST_F(WindowTest, TheArchiveWindowSaysItIsAWindow) {
    window->BBtn_Archive->click();
    QAccessibleInterface* archive = QAccessible::queryAccessibleInterface(frmArchive.data());
    EXPECT_EQ(archive->role(), QAccessible::Window);
    EXPECT_EQ(archive->text(QAccessible::Name), "档案");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(window.get())->role(), QAccessible::Window);
    ArchiveAccess().Close();
}
