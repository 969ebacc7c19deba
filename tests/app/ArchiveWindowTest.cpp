// The archive's windows where the operator's input or the archive's file can
// be wrong: a damaged file is kept under another name, never deleted, and a
// new archive opens once the operator agrees; what does not make a site or a
// campaign is refused with the reason, storing nothing; the settings dialog
// writes [Archive] and never a password.
#include <QAccessible>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStringList>
#include <QTableWidget>

#include "WindowFixture.h"
#include "app/ArchiveAccess.h"
#include "app/ArchiveSettingsfrm.h"
#include "app/ArchiveStorefrm.h"
#include "app/ArchiveTlsBox.h"
#include "app/Archivefrm.h"
#include "app/CampaignForm.h"
#include "app/GlobVar.h"
#include "app/KR3090frm.h"
#include "app/TrendPlot.h"
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

// Screen readers announce the archive window as a window, with its title, and
// its trend as a picture.
TEST_F(WindowTest, TheArchiveWindowSaysItIsAWindowAndItsTrendAPicture) {
    window->BBtn_Archive->click();
    QAccessibleInterface* archive = QAccessible::queryAccessibleInterface(frmArchive.data());
    EXPECT_EQ(archive->role(), QAccessible::Window);
    EXPECT_EQ(archive->text(QAccessible::Name), "档案");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(window.get())->role(), QAccessible::Window);
    // Its trend plot is a picture that says what it shows.
    QAccessibleInterface* trend = QAccessible::queryAccessibleInterface(frmArchive->PBox_Trend);
    EXPECT_EQ(trend->role(), QAccessible::Graphic);
    EXPECT_EQ(trend->text(QAccessible::Name), "Z0、R0、X0 历次测试趋势图");
    ArchiveAccess().Close();
}

TEST_F(WindowTest, WhatDoesNotMakeASiteOrACampaignIsRefusedWithTheReasonAndNothingStored) {
    const QString file = folder.filePath(QStringLiteral("档案.sqlite"));
    TArchiveConfig config;
    config.File = file.toStdString();
    SaveArchiveConfig(GlobVar.ConfigFileName.toStdString(), config);
    ArchiveAccess().Close();
    TRecordValues values;
    values.Frequency = 45;
    values.U = 2;
    values.I = 1;
    values.Phi = 30;
    ShowArchiveStore(window.get(), {{1, values, true}, {2, values, false}}, "仪器中的记录");
    TfrmArchiveStore& s = *frmArchiveStore;
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
    // A new server is verified in full, against libpq's own root certificate.
    EXPECT_TRUE(dialog.Grp_Tls->isEnabled() && dialog.BBtn_Test->isEnabled());
    EXPECT_EQ(dialog.Grp_Tls->CBox_SslMode->currentData().toString(), "verify-full");
    EXPECT_EQ(dialog.Grp_Tls->Edt_RootCert->text(), QString::fromStdString(DefaultRootCertFile()));
    EXPECT_TRUE(DefaultRootCertFile().ends_with("root.crt"));
    dialog.Grp_Tls->Edt_ClientCert->setText(QStringLiteral("/证书/王工.crt"));
    dialog.Grp_Tls->Edt_ClientKey->setText(QStringLiteral("/证书/王工.key"));
    ASSERT_TRUE(dialog.BBtn_SaveClick());
    EXPECT_EQ(ReadAll(ini), QStringLiteral("[Config]\r\nComName=COM3\r\n[Archive]\r\n"
                                           "Driver=PostgreSQL\r\nFile=\r\nHost=db.example\r\n"
                                           "Port=5433\r\nDatabase=地网档案\r\nUser=王工\r\n"
                                           "SslMode=verify-full\r\nSslRootCert=\r\n"
                                           "SslCert=/证书/王工.crt\r\nSslKey=/证书/王工.key\r\n")
                                .toUtf8());
    const TArchiveSettings read = ArchiveAccess().Settings();
    EXPECT_EQ(read.Driver, TArchiveDriver::PostgreSQL);
    EXPECT_EQ(read.Host, "db.example");
    EXPECT_EQ(read.Port, 5433);
    EXPECT_EQ(
        std::tie(read.SslMode, read.RootCert, read.ClientKey),
        std::make_tuple(std::string("verify-full"), std::string(), std::string("/证书/王工.key")));

    // A file of the user's own is kept as chosen.
    dialog.RBtn_SQLite->setChecked(true);
    dialog.Edt_File->setText(folder.filePath(QStringLiteral("站.sqlite")));
    ASSERT_TRUE(dialog.BBtn_SaveClick());
    EXPECT_EQ(ArchiveAccess().Settings().File,
              folder.filePath(QStringLiteral("站.sqlite")).toStdString());
    EXPECT_TRUE(platform.Errors.empty());
}

// "测试连接" on a team server of scripts/team-server-test.sh (its folder in
// KR3090_ARCHIVE_SERVER): the server's own view of the link, or why not.
TEST_F(WindowTest, TestConnectionSaysWhatTheTeamServerSaysOfTheLinkOrWhyNot) {
    const QString server = qEnvironmentVariable("KR3090_ARCHIVE_SERVER");
    QFile tcp(server + "/tcp");
    if (server.isEmpty() || !tcp.open(QIODevice::ReadOnly)) GTEST_SKIP() << "no team server";
    const QStringList hostPort = QString::fromUtf8(tcp.readAll()).simplified().split(' ');
    qputenv("PGPASSFILE", (server + "/pgpass").toUtf8());
    TfrmArchiveSettings dialog(window.get());
    dialog.RBtn_PostgreSQL->setChecked(true);
    dialog.Edt_Host->setText(hostPort.value(0));
    dialog.SEdt_Port->setValue(hostPort.value(1).toInt());
    dialog.Edt_User->setText(QStringLiteral("kr3090"));
    platform.OpenAnswer = server + "/ca.crt";
    dialog.Grp_Tls->BBtn_RootCert->click();
    EXPECT_EQ(dialog.Grp_Tls->Edt_RootCert->text(), server + "/ca.crt");
    dialog.BBtn_Test->click();
    ASSERT_EQ(platform.Boxes.size(), 1u);
    const TBox connected = platform.Boxes[0];
    EXPECT_EQ(connected.Caption, QStringLiteral("测试连接"));
    EXPECT_EQ(connected.Icon, TMessageIcon::Information);
    EXPECT_TRUE(connected.Text.startsWith(
        QStringLiteral("已连接档案服务器 kr3090@localhost:%1（数据库 kr3090），登录用户 kr3090。\n"
                       "连接已加密（TLSv1.3，")
            .arg(hostPort.value(1))))
        << connected.Text.toStdString();
    EXPECT_TRUE(connected.Text.contains(QStringLiteral(
        "），服务器的证书已验证：证书链可信，主机名相符。\n服务器版本：PostgreSQL 15.")))
        << connected.Text.toStdString();

    dialog.Grp_Tls->Edt_RootCert->setText(server + "/wrong-ca.crt");
    dialog.BBtn_Test->click();
    ASSERT_EQ(platform.Boxes.size(), 2u);
    EXPECT_EQ(platform.Boxes[1].Icon, TMessageIcon::Warning);
    EXPECT_TRUE(platform.Boxes[1].Text.contains(QStringLiteral("证书颁发机构未知")))
        << platform.Boxes[1].Text.toStdString();
    // A refused login asks for the password; none given, nothing more is said.
    dialog.Grp_Tls->Edt_RootCert->setText(server + "/ca.crt");
    dialog.Edt_Database->setText(QStringLiteral("kr3090"));
    dialog.Edt_User->setText(QStringLiteral("nobody-here"));
    dialog.BBtn_Test->click();
    EXPECT_EQ(platform.Boxes.size(), 2u);
}
