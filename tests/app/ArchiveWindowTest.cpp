// The archive's windows where the operator's input or the archive's file can
// be wrong: a damaged file is kept under another name, never deleted, and a
// new archive opens once the operator agrees; what does not make a site or a
// campaign is refused with the reason, storing nothing; the settings dialog
// writes [Archive] and never a password.
#include <QAccessible>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>

#include "WindowFixture.h"
#include "app/archive/ArchiveAccess.h"
#include "app/archive/ArchiveSettingsfrm.h"
#include "app/archive/ArchiveStorefrm.h"
#include "app/archive/ArchiveWindows.h"
#include "app/archive/Archivefrm.h"
#include "app/archive/CampaignForm.h"
#include "app/archive/TrendPlot.h"
#include "app/kit/GlobVar.h"
#include "app/kit/OpenWindow.h"
#include "app/main/KR3090frm.h"
#include "archive/ArchiveSql.h"
#include "settings/Config.h"

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

}  // namespace

TEST_F(WindowTest, ADamagedArchiveIsKeptAsideAndANewOneOpensOnceTheOperatorAgrees) {
    const QString file = folder.filePath(QStringLiteral("档案.sqlite"));
    TArchiveSettings config;
    config.File = file.toStdString();
    SaveArchiveSettings(GlobVar.ConfigFileName.toStdString(), config,
                        GlobVar.DataFolder.toStdString());

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
        EXPECT_EQ(OpenWindow<TfrmArchive>()->Lbl_Archive->text(), "档案未打开");
        EXPECT_EQ(ReadAll(file), damaged);

        // Agreed: the damaged bytes live on under the name the box gives.
        platform.ConfirmAnswer = true;
        OpenWindow<TfrmArchive>()->Refresh();
        ASSERT_EQ(platform.Boxes.size(), 1u);
        const QString kept = platform.Boxes[0].Text.section(u'\n', 1, 1);
        EXPECT_TRUE(kept.contains(QStringLiteral("档案.sqlite.damaged-"))) << kept.toStdString();
        EXPECT_EQ(ReadAll(kept), damaged);
        EXPECT_TRUE(OpenWindow<TfrmArchive>()->Lbl_Archive->text().startsWith(
            QStringLiteral("SQLite 档案：")));
        EXPECT_EQ(OpenWindow<TfrmArchive>()->LView_Sites->rowCount(), 0);
        OpenWindow<TfrmArchive>()->close();
        QFile::remove(kept);
    }
    ArchiveAccess().Close();
    delete OpenWindow<TfrmArchive>();
}

// Screen readers announce the archive window as a window, with its title, and
// its trend as a picture.
TEST_F(WindowTest, TheArchiveWindowSaysItIsAWindowAndItsTrendAPicture) {
    window->BBtn_Archive->click();
    QAccessibleInterface* archive =
        QAccessible::queryAccessibleInterface(OpenWindow<TfrmArchive>());
    EXPECT_EQ(archive->role(), QAccessible::Window);
    EXPECT_EQ(archive->text(QAccessible::Name), "档案");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(window.get())->role(), QAccessible::Window);
    // Its trend plot is a picture that says what it shows.
    QAccessibleInterface* trend =
        QAccessible::queryAccessibleInterface(OpenWindow<TfrmArchive>()->PBox_Trend);
    EXPECT_EQ(trend->role(), QAccessible::Graphic);
    EXPECT_EQ(trend->text(QAccessible::Name), "Z0、R0、X0 历次测试趋势图");
    ArchiveAccess().Close();
}

TEST_F(WindowTest, WhatDoesNotMakeASiteOrACampaignIsRefusedWithTheReasonAndNothingStored) {
    const QString file = folder.filePath(QStringLiteral("档案.sqlite"));
    TArchiveSettings config;
    config.File = file.toStdString();
    SaveArchiveSettings(GlobVar.ConfigFileName.toStdString(), config,
                        GlobVar.DataFolder.toStdString());
    ArchiveAccess().Close();
    TRecordValues values;
    values.Frequency = 45;
    values.U = 2;
    values.I = 1;
    values.Phi = 30;
    ShowArchiveStore(window.get(), {{1, values, true}, {2, values, false}}, "仪器中的记录");
    TfrmArchiveStore& s = *OpenWindow<TfrmArchiveStore>();
    TCampaignForm& form = *s.Form;
    const std::vector<std::pair<QString, QString>> cases{
        {QString(), "请填写场地名称！"},
        {"abc", "设定限值应为大于0的数值（单位Ω），或不填。"},
        {"0", "设定限值应为大于0的数值（单位Ω），或不填。"},
        {"-2.5", "设定限值应为大于0的数值（单位Ω），或不填。"},
        {"inf", "设定限值应为大于0的数值（单位Ω），或不填。"}};
    for (const auto& [limit, reason] : cases) {
        platform.Boxes.clear();
        form.Edt_SiteName->setText(limit.isEmpty() ? QStringLiteral("  ") : QStringLiteral("站"));
        form.Edt_Limit->setText(limit);
        s.BBtn_StoreClick();
        ASSERT_EQ(platform.Boxes.size(), 1u);
        EXPECT_EQ(platform.Boxes[0].Text, reason) << limit.toStdString();
    }
    // Nothing checked: nothing to store.
    platform.Boxes.clear();
    form.Edt_Limit->setText(QStringLiteral("0.5"));
    s.LView_Records->item(0, 0)->setCheckState(Qt::Unchecked);
    s.BBtn_StoreClick();
    ASSERT_EQ(platform.Boxes.size(), 1u);
    EXPECT_EQ(platform.Boxes[0].Text, "没有勾选要存入的记录！");
    ArchiveAccess().Call(nullptr, [](TArchive& a) { EXPECT_TRUE(a.Sites().empty()); });

    // The checked one, with a limit of 0.5 Ω, goes in; the unchecked one does not.
    platform.Boxes.clear();
    s.LView_Records->item(0, 0)->setCheckState(Qt::Checked);
    s.BBtn_StoreClick();
    ASSERT_EQ(platform.Boxes.size(), 1u);
    EXPECT_TRUE(platform.Boxes[0].Text.endsWith("：新增1条记录，0条已在档案中。"));
    ArchiveAccess().Call(nullptr, [](TArchive& a) {
        const std::vector<TCampaignSummary> campaigns = a.Campaigns(a.Sites().at(0).Id);
        ASSERT_EQ(campaigns.size(), 1u);
        EXPECT_EQ(campaigns[0].Records, 1);
        EXPECT_EQ(campaigns[0].Campaign.Limit, 0.5);
    });
    ArchiveAccess().Close();
}

// Stored records are announced by the archive access object; the open archive
// window listens and shows the new site and campaign selected.
TEST_F(WindowTest, StoredRecordsAreAnnouncedAndTheOpenArchiveWindowShowsThem) {
    TArchiveSettings config;
    config.File = folder.filePath(QStringLiteral("档案.sqlite")).toStdString();
    SaveArchiveSettings(GlobVar.ConfigFileName.toStdString(), config,
                        GlobVar.DataFolder.toStdString());
    ArchiveAccess().Close();
    std::vector<std::pair<std::int64_t, std::int64_t>> heard;
    const QMetaObject::Connection listener = QObject::connect(
        &ArchiveAccess(), &TArchiveAccess::Changed,
        [&](std::int64_t site, std::int64_t campaign) { heard.emplace_back(site, campaign); });
    window->BBtn_Archive->click();
    ASSERT_EQ(OpenWindow<TfrmArchive>()->LView_Sites->rowCount(), 0);
    EXPECT_EQ(ArchiveSelection().SiteId, 0);

    TRecordValues values;
    values.Frequency = 45;
    values.U = 2;
    values.I = 1;
    values.Phi = 30;
    ShowArchiveStore(window.get(), {{1, values, true}}, "仪器中的记录");
    OpenWindow<TfrmArchiveStore>()->Form->Edt_SiteName->setText(QStringLiteral("东区场地"));
    OpenWindow<TfrmArchiveStore>()->BBtn_StoreClick();
    QObject::disconnect(listener);

    std::int64_t siteId = 0;
    std::int64_t campaignId = 0;
    ArchiveAccess().Call(nullptr, [&](TArchive& a) {
        siteId = a.Sites().at(0).Id;
        campaignId = a.Campaigns(siteId).at(0).Campaign.Id;
    });
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0], std::make_pair(siteId, campaignId));
    EXPECT_EQ(OpenWindow<TfrmArchive>()->LView_Sites->rowCount(), 1);
    EXPECT_EQ(OpenWindow<TfrmArchive>()->LView_Campaigns->rowCount(), 1);
    EXPECT_EQ(ArchiveSelection().SiteId, siteId);
    EXPECT_EQ(ArchiveSelection().CampaignId, campaignId);
    EXPECT_EQ(OpenWindow<TfrmArchive>()->LView_CampRecords->rowCount(), 1);
    delete OpenWindow<TfrmArchive>();
    ArchiveAccess().Close();
}

TEST_F(WindowTest, TheArchiveSettingsGoIntoConfigIniWithoutAPasswordAndTheArchiveOpensAfresh) {
    const QString ini = GlobVar.ConfigFileName;
    {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Config]\r\nComName=COM3\r\n");
    }
    TfrmArchiveSettings dialog(window.get());
    // The default file is offered, in the program's data folder.
    EXPECT_TRUE(dialog.RBtn_SQLite->isChecked());
    EXPECT_EQ(dialog.Edt_File->text(),
              QString::fromStdString(ArchiveFileIn(GlobVar.DataFolder.toStdString())));
    EXPECT_FALSE(dialog.Edt_Host->isEnabled());
    dialog.RBtn_PostgreSQL->setChecked(true);
    EXPECT_TRUE(dialog.Edt_Host->isEnabled() && !dialog.Edt_File->isEnabled());
    dialog.Edt_Host->setText(QStringLiteral(" db.example "));
    dialog.SEdt_Port->setValue(5433);
    dialog.Edt_Database->setText(QStringLiteral("地网档案"));
    dialog.Edt_User->setText(QStringLiteral("王工"));
    ASSERT_TRUE(dialog.BBtn_SaveClick());
    EXPECT_EQ(ReadAll(ini), QStringLiteral("[Config]\r\nComName=COM3\r\n[Archive]\r\n"
                                           "Driver=PostgreSQL\r\nFile=\r\nHost=db.example\r\n"
                                           "Port=5433\r\nDatabase=地网档案\r\nUser=王工\r\n")
                                .toUtf8());
    const TArchiveSettings read = ArchiveAccess().Settings();
    EXPECT_EQ(read.Driver, TArchiveDriver::PostgreSQL);
    EXPECT_EQ(read.Host, "db.example");
    EXPECT_EQ(read.Port, 5433);

    // A file of the user's own is kept as chosen.
    dialog.RBtn_SQLite->setChecked(true);
    dialog.Edt_File->setText(folder.filePath(QStringLiteral("站.sqlite")));
    ASSERT_TRUE(dialog.BBtn_SaveClick());
    EXPECT_EQ(ArchiveAccess().Settings().File,
              folder.filePath(QStringLiteral("站.sqlite")).toStdString());
    EXPECT_TRUE(platform.Errors.empty());
}
