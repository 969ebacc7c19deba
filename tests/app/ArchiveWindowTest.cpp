// The archive's windows where the operator's input or the archive's file can
// be wrong: a damaged file is kept under another name, never deleted, and a
// new archive opens once the operator agrees; what does not make a site or a
// campaign is refused with the reason, storing nothing; the settings dialog
// writes [Archive] and never a password.
#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringDecoder>
#include <QStringList>
#include <QTableWidget>

#include "WindowFixture.h"
#include "app/archive/ArchiveAccess.h"
#include "app/archive/ArchiveBinfrm.h"
#include "app/archive/ArchiveSettingsfrm.h"
#include "app/archive/ArchiveStorefrm.h"
#include "app/archive/ArchiveTlsBox.h"
#include "app/archive/ArchiveWindows.h"
#include "app/archive/Archivefrm.h"
#include "app/archive/CampaignForm.h"
#include "app/archive/RetestDuefrm.h"
#include "app/archive/TrendPlot.h"
#include "app/kit/GlobVar.h"
#include "app/kit/OpenWindow.h"
#include "app/main/KR3090frm.h"
#include "archive/ArchiveSql.h"
#include "archive/ArchiveTeam.h"
#include "qtext/QText.h"
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
    // A distance that is no number is refused like the limit.
    platform.Boxes.clear();
    form.Edt_Limit->setText(QStringLiteral("0.5"));
    form.Edt_CurrentDistance->setText(QStringLiteral("300米"));
    EXPECT_EQ(form.Lbl_Factor->text(), "电流极距离（单位m）应为数值，或不填。");
    s.BBtn_StoreClick();
    ASSERT_EQ(platform.Boxes.size(), 1u);
    EXPECT_EQ(platform.Boxes[0].Text, "电流极距离（单位m）应为数值，或不填。");

    // A straight line of 300 m on a 180 m grid with the probe at 0.45, and the
    // record's 1 A: three rules broken, said as it is typed, and stored all the same.
    form.CBox_Method->setCurrentIndex(int(TLayoutMethod::StraightLine));
    form.Edt_Diagonal->setText(QStringLiteral("180"));
    form.Edt_CurrentDistance->setText(QStringLiteral("300"));
    form.Edt_ProbeDistance->setText(QStringLiteral("135"));
    EXPECT_EQ(form.Lbl_Factor->text(), "修正系数 Z/Z'：1.728");
    const QStringList warnings = form.Lbl_Warnings->text().split('\n');
    ASSERT_EQ(warnings.size(), 3);
    EXPECT_TRUE(
        warnings[0].startsWith("电流极距离 300m，小于地网对角线的4倍（720m）（依据：直线法"));
    EXPECT_TRUE(warnings[1].startsWith("电压极位于电流极距离的 0.45 处，偏离 0.618 点（依据："));
    EXPECT_TRUE(warnings[2].startsWith("测试电流 1A，小于 3A（依据："))
        << warnings[2].toStdString();
    EXPECT_EQ(QAccessible::queryAccessibleInterface(form.Lbl_Warnings)->text(QAccessible::Name),
              form.Lbl_Warnings->text());

    // The probe's distance typed for a record: a plateau to check (this one
    // has no value at any position), and a distance that is none refused.
    const int probe = s.LView_Records->columnCount() - 1;
    EXPECT_EQ(s.LView_Records->horizontalHeaderItem(probe)->text(), "电压极距离(m)");
    EXPECT_TRUE(s.LView_Records->item(0, probe)->flags() & Qt::ItemIsEditable);
    EXPECT_FALSE(s.LView_Records->item(0, 1)->flags() & Qt::ItemIsEditable);
    s.LView_Records->item(0, probe)->setText(QStringLiteral("-135"));
    platform.Boxes.clear();
    s.BBtn_StoreClick();
    ASSERT_EQ(platform.Boxes.size(), 1u);
    EXPECT_EQ(platform.Boxes[0].Text, "第1条记录的电压极距离“-135”不是大于0的数，请改正或清空！");
    s.LView_Records->item(0, probe)->setText(QStringLiteral("140"));
    EXPECT_EQ(form.Lbl_Warnings->text().split('\n').value(3),
              "只有 0 个测点，不足三个，无法检验平台（依据：平台检验：电压极沿引线移动三次，"
              "每次约为电流极距离的5%，三个测值相差不超过5%）");
    form.CBox_F0->setCurrentIndex(1);  // refilled: the typed distance stays
    EXPECT_EQ(s.LView_Records->item(0, probe)->text(), "140");
    form.CBox_F0->setCurrentIndex(0);

    // Nothing checked: nothing to store.
    platform.Boxes.clear();
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
        const TLeadLayout& l = campaigns[0].Campaign.Layout;
        EXPECT_EQ(
            std::make_tuple(l.Method, l.Diagonal, l.CurrentDistance, l.ProbeDistance, l.Angle),
            std::make_tuple(TLayoutMethod::StraightLine, std::optional(180.0), std::optional(300.0),
                            std::optional(135.0), std::optional<double>()));
        EXPECT_EQ(a.Records(campaigns[0].Campaign.Id).at(0).ProbeDistance, 140);
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

// "到期复测" on the fixture's clock (2017-02-16): overdue and due sites
// soonest first, a site's interval changed there (and shown in 档案's site
// table), the list exported as the site table is. A new site takes its
// interval from the store form.
TEST_F(WindowTest, TheSitesDueForRetestAreListedSoonestFirstAndTheirIntervalChangesThere) {
    TArchiveSettings config;
    config.File = folder.filePath(QStringLiteral("档案.sqlite")).toStdString();
    SaveArchiveSettings(GlobVar.ConfigFileName.toStdString(), config,
                        GlobVar.DataFolder.toStdString());
    ArchiveAccess().Close();
    {
        auto archive = OpenArchive(ArchiveAccess().Settings());
        const auto store = [&](const char* name, const char* date, std::optional<int> years) {
            TSite site;
            site.Name = name;
            site.VoltageLevel = "110kV";
            site.RetestYears = years;
            TCampaign campaign;
            campaign.Date = date;
            archive->Store(site, campaign, {});
        };
        store("东区", "2011-02-16", std::nullopt);
        store("西区", "2010-05-01", 5);
        store("北区", "2016-01-01", std::nullopt);
    }
    window->BBtn_Archive->click();
    TfrmArchive& a = *OpenWindow<TfrmArchive>();
    ASSERT_EQ(a.LView_Sites->rowCount(), 3);
    EXPECT_EQ(a.LView_Sites->item(2, 4)->text(), "2022-01-01");
    a.BBtn_RetestDue->click();
    TfrmRetestDue& due = *a.RetestDue;
    ASSERT_TRUE(due.isVisible());
    const auto rows = [&] {
        QStringList out;
        for (int row = 0; row < due.LView_Due->rowCount(); ++row) {
            QStringList cells;
            for (int col = 0; col < due.LView_Due->columnCount(); ++col)
                cells << due.LView_Due->item(row, col)->text();
            out << cells.join('|');
        }
        return out;
    };
    EXPECT_EQ(rows(), (QStringList{"西区|110kV|2010-05-01|5年|2015-05-01|逾期 657 天",
                                   "东区|110kV|2011-02-16|6年|2017-02-16|今天到期"}));
    EXPECT_EQ(due.Lbl_Count->text(), "共 2 个场地");
    EXPECT_FALSE(due.BBtn_SaveYears->isEnabled());  // no site chosen

    // 东区 every eight years: out of the next year's list, its date in 档案.
    due.LView_Due->selectRow(1);
    EXPECT_EQ(due.SpBox_Years->value(), 6);
    due.SpBox_Years->setValue(8);
    due.BBtn_SaveYears->click();
    EXPECT_EQ(rows(), QStringList{"西区|110kV|2010-05-01|5年|2015-05-01|逾期 657 天"});
    EXPECT_EQ(a.LView_Sites->item(0, 4)->text(), "2019-02-16");
    due.SpBox_Months->setValue(120);
    EXPECT_EQ(due.LView_Due->rowCount(), 3);

    platform.SaveAnswer = folder.filePath(QStringLiteral("due.csv"));
    due.BBtn_ExportCsvClick();
    EXPECT_EQ(platform.SaveAsked.back().FileName.section('/', -1), "到期复测.csv");
    QStringDecoder fromGbk("GBK");
    EXPECT_EQ(QString(fromGbk(ReadAll(platform.SaveAnswer))).split(QRegularExpression("\\r?\\n")),
              (QStringList{"场地,电压等级,上次测试,复测周期(年),下次测试,距到期(天),状态",
                           "西区,110kV,2010-05-01,5,2015-05-01,-657,逾期 657 天",
                           "东区,110kV,2011-02-16,8,2019-02-16,730,730 天后到期",
                           "北区,110kV,2016-01-01,6,2022-01-01,1780,1780 天后到期", ""}));

    // A new site's interval as the store form has it.
    TRecordValues values;
    values.Frequency = 45;
    values.U = 2;
    values.I = 1;
    ShowArchiveStore(window.get(), {{1, values, true}}, "仪器中的记录");
    TfrmArchiveStore& s = *OpenWindow<TfrmArchiveStore>();
    EXPECT_EQ(s.Form->SpBox_RetestYears->value(), 6);
    s.Form->Edt_SiteName->setText(QStringLiteral("南区"));
    s.Form->SpBox_RetestYears->setValue(4);
    s.BBtn_StoreClick();
    ArchiveAccess().Call(nullptr, [&](TArchive& archive) {
        const std::vector<TSite> sites = archive.Sites();
        ASSERT_EQ(sites.size(), 4u);
        EXPECT_EQ(sites[3].RetestYears, 4);
        EXPECT_EQ(sites[3].LastTest, "2017-02-16");
        EXPECT_EQ(sites[0].RetestYears, 8);
        EXPECT_EQ(sites[2].RetestYears, std::nullopt);
    });
    delete &a;
    ArchiveAccess().Close();
}

// A store that fails half way (the test server stopped after the window
// opened, or, on a SQLite file, the records refused by the file itself)
// leaves no new site behind; the window keeps its records and form, and the
// next "存入" stores them once.
TEST_F(WindowTest, AStoreThatFailsKeepsTheWindowsRecordsAndTheNextStoreStoresThemOnce) {
    const QString server = qEnvironmentVariable("KR3090_ARCHIVE_SERVER");
    TArchiveSettings config;
    config.File = folder.filePath(QStringLiteral("档案.sqlite")).toStdString();
    if (!server.isEmpty()) {
        config.Driver = TArchiveDriver::PostgreSQL;
        config.Database = config.User = "kr3090";
        config.Host = server.toStdString();
        qputenv("PGPASSFILE", (server + QStringLiteral("/pgpass")).toLocal8Bit());
    }
    SaveArchiveSettings(GlobVar.ConfigFileName.toStdString(), config,
                        GlobVar.DataFolder.toStdString());
    ArchiveAccess().Close();
    ArchiveAccess().Call(nullptr, [](TArchive& a) {
        for (const TSite& site : a.Sites()) a.DeleteSite(site.Id);
    });
    TRecordValues v;
    v.Frequency = 45;
    ShowArchiveStore(window.get(), {{1, v, true}, {2, v, true}}, "仪器中的记录");
    TfrmArchiveStore& s = *OpenWindow<TfrmArchiveStore>();
    s.Form->Edt_SiteName->setText(QStringLiteral("北郊变"));

    const auto control = [&](const char* action) {
        return QProcess::execute(KR3090_SOURCE_DIR "/scripts/archive-server-test.sh",
                                 {QString::fromLatin1(action), server});
    };
    QSqlDatabase raw = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "refuse");
    raw.setDatabaseName(Q(config.File));
    // On the file the site and the campaign are written, the records refused.
    const QString trigger = QStringLiteral(
        "CREATE TRIGGER refuse BEFORE INSERT ON records BEGIN SELECT RAISE(ABORT, '磁盘已满'); "
        "END");
    ASSERT_TRUE(server.isEmpty() ? raw.open() && QSqlQuery(raw).exec(trigger)
                                 : control("stop") == 0);
    s.BBtn_Store->click();
    ASSERT_EQ(platform.Boxes.size(), 1u);
    EXPECT_TRUE(
        platform.Boxes[0].Text.contains(server.isEmpty() ? "磁盘已满" : "下次操作时会重新连接"))
        << platform.Boxes[0].Text.toStdString();
    ASSERT_EQ(OpenWindow<TfrmArchiveStore>(), &s);
    EXPECT_EQ(s.LView_Records->rowCount(), 2);
    EXPECT_EQ(s.Form->CBox_Site->currentText(), QStringLiteral("（新建场地）"));
    EXPECT_EQ(s.Form->Edt_SiteName->text(), QStringLiteral("北郊变"));

    ASSERT_TRUE(server.isEmpty() ? QSqlQuery(raw).exec("DROP TRIGGER refuse")
                                 : control("start") == 0);
    raw.close();
    raw = QSqlDatabase();
    QSqlDatabase::removeDatabase("refuse");
    if (!server.isEmpty()) {
        // The server goes away once the site, the campaign and the first
        // record are written: none of them stays.
        ArchiveAccess().Get(nullptr)->SetImportProgress([&](int done, int) {
            if (done == 1) ASSERT_EQ(control("stop"), 0);
        });
        s.BBtn_Store->click();
        ArchiveAccess().Get(nullptr)->SetImportProgress({});
        ASSERT_EQ(control("start"), 0);
        ASSERT_EQ(platform.Boxes.size(), 2u);
        platform.Boxes.pop_back();
    }
    s.BBtn_Store->click();
    ASSERT_EQ(platform.Boxes.size(), 2u);
    EXPECT_EQ(platform.Boxes[1].Text,
              QStringLiteral("已存入档案“北郊变 2017-02-16”：新增2条记录，0条已在档案中。"));
    ArchiveAccess().Call(nullptr, [](TArchive& a) {
        ASSERT_EQ(a.Sites().size(), 1u);
        EXPECT_EQ(a.Campaigns(a.Sites()[0].Id).at(0).Records, 2);
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

// Debian's Qt without libqt6sql6-psql: its plugin folder holds the SQLite
// driver only. The advice names the package, and the server is not saved.
TEST_F(WindowTest, AServerWhoseDriverIsMissingIsRefusedWithThePackageAndChangesNothing) {
    const QDir installed(QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/sqldrivers");
    const QStringList sqlite = installed.entryList({QStringLiteral("*qsqlite*")}, QDir::Files);
    ASSERT_FALSE(sqlite.isEmpty());
    ASSERT_TRUE(QDir(folder.path()).mkpath(QStringLiteral("plugins/sqldrivers")));
    ASSERT_TRUE(QFile::copy(installed.filePath(sqlite.first()),
                            folder.filePath("plugins/sqldrivers/" + sqlite.first())));
    // Before any driver is looked up in this process.
    QCoreApplication::setLibraryPaths({folder.filePath(QStringLiteral("plugins"))});
    ASSERT_FALSE(MissingDriverText(TArchiveDriver::PostgreSQL).empty());
    ASSERT_TRUE(MissingDriverText(TArchiveDriver::SQLite).empty());

    const QString ini = GlobVar.ConfigFileName;
    const QByteArray before = "[Config]\r\nComName=COM3\r\n";
    {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(before);
    }
    TfrmArchiveSettings dialog(window.get());
    dialog.RBtn_PostgreSQL->setChecked(true);
    dialog.Edt_Host->setText(QStringLiteral("db.example"));
    EXPECT_FALSE(dialog.BBtn_SaveClick());
    ASSERT_EQ(platform.Boxes.size(), 1u);
#ifdef _WIN32
    EXPECT_EQ(platform.Boxes[0].Text,
              QStringLiteral("缺少 Qt 的数据库驱动 QPSQL：程序文件夹的 sqldrivers 里应有 "
                             "qsqlpsql.dll（连同它要的 libpq.dll）。\n档案设置未改变。"));
#else
    EXPECT_EQ(platform.Boxes[0].Text,
              QStringLiteral("缺少 Qt 的数据库驱动 QPSQL：请安装软件包 libqt6sql6-psql（sudo apt "
                             "install libqt6sql6-psql）。\n档案设置未改变。"));
#endif
    EXPECT_EQ(ReadAll(ini), before);
    // The archive in use is still the file, and opens.
    EXPECT_EQ(ArchiveAccess().Settings().Driver, TArchiveDriver::SQLite);
    EXPECT_NE(ArchiveAccess().Get(window.get()), nullptr);
    ArchiveAccess().Close();
}

namespace {

// The cells LibreOffice reads from a CSV file with the character set given
// (its own numbers: 61 is GBK; SYSTEM is what its import offers by itself,
// the locale's, here UTF-8), written back out as UTF-8 text; empty when it
// could not.
QString ReadBackBySpreadsheet(const QString& csv, const char* charset, const QString& work) {
    const QString out = work + "/" + QString::fromLatin1(charset);
    QProcess soffice;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LANG", "C.UTF-8");
    env.remove("LC_ALL");
    soffice.setProcessEnvironment(env);
    soffice.start("soffice", {"-env:UserInstallation=file://" + work + "/lo-profile", "--headless",
                              "--norestore", "--infilter=CSV:44,34," + QString::fromLatin1(charset),
                              "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76",
                              "--outdir", out, csv});
    if (!soffice.waitForFinished(240000)) return {};
    QFile f(out + "/" + QFileInfo(csv).fileName());
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

}  // namespace

// The files the archive gives are proposed by what they hold, in the
// documents folder and then where the last one went, and each export says
// where it went. A CSV comes in GBK or, chosen in the dialog, in UTF-8 that
// LibreOffice reads without being told; a file keeps the set it began with.
TEST_F(WindowTest, ExportsAreNamedByWhatTheyHoldAndSayWhereTheyWentInTheChosenCharacterSet) {
    TArchiveSettings settings;
    settings.File = folder.filePath(QStringLiteral("档案.sqlite")).toStdString();
    SaveArchiveSettings(GlobVar.ConfigFileName.toStdString(), settings,
                        GlobVar.DataFolder.toStdString());
    ArchiveAccess().Close();
    const QString documents = folder.filePath(QStringLiteral("我的文档"));
    ASSERT_TRUE(QDir().mkpath(documents) && QDir().mkpath(folder.filePath("xdg")));
    {
        QFile dirs(folder.filePath("xdg/user-dirs.dirs"));
        ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
        dirs.write(("XDG_DOCUMENTS_DIR=\"" + documents + "\"\n").toUtf8());
    }
    const QByteArray oldXdg = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", folder.filePath("xdg").toUtf8());

    // Stored through the store window: its 50 Hz record says why it is not used.
    std::vector<TStoreRecord> records;
    for (int f : {45, 50, 55}) {
        TRecordValues v;
        v.Frequency = f;
        v.U = 2;
        v.I = 1;
        v.Phi = 30;
        records.push_back({int(records.size()) + 1, v, true});
    }
    ShowArchiveStore(window.get(), records, "仪器中的记录");
    TfrmArchiveStore& s = *OpenWindow<TfrmArchiveStore>();
    EXPECT_EQ(s.LView_Records->item(1, 9)->text(), "工频点，不参与计算");
    s.Form->CBox_F0->setCurrentIndex(1);  // 60 Hz: no record of its own
    EXPECT_EQ(s.LView_Records->item(1, 9)->text(), "");
    s.Form->CBox_F0->setCurrentIndex(0);
    const QString name = QStringLiteral("东郊变 \"老站\" 110kV'--");
    s.Form->Edt_SiteName->setText(name);
    // The whole name is in view.
    EXPECT_GE(s.Form->Edt_SiteName->width(),
              s.Form->Edt_SiteName->fontMetrics().horizontalAdvance(name));
    s.BBtn_StoreClick();
    ASSERT_EQ(platform.Boxes.size(), 1u);
    EXPECT_TRUE(platform.Boxes[0].Text.startsWith(QStringLiteral("已存入档案")))
        << platform.Boxes[0].Text.toStdString();
    platform.Boxes.clear();

    window->BBtn_Archive->click();
    TfrmArchive& a = *OpenWindow<TfrmArchive>();
    ASSERT_EQ(a.LView_Sites->rowCount(), 1);
    // On a screen of 1280 × 1024 (offscreen's own is smaller than the window).
    a.resize(1150, 920);
    QApplication::processEvents();
    a.ShowSiteColumns();
    QApplication::processEvents();
    // Every column of the sites in view.
    EXPECT_FALSE(a.LView_Sites->horizontalScrollBar()->isVisible());
    const QString stem = QStringLiteral("东郊变 _老站_ 110kV'-- 2017-02-16 测试报告");
    a.BBtn_PdfClick();  // cancelled
    ASSERT_EQ(platform.SaveAsked.size(), 1u);
    EXPECT_EQ(platform.SaveAsked[0].FileName, documents + "/" + stem + ".pdf");
    const QString out = folder.filePath(QStringLiteral("报告"));
    ASSERT_TRUE(QDir().mkpath(out));
    platform.SaveAnswer = out + "/r.pdf";
    a.BBtn_PdfClick();
    ASSERT_EQ(platform.Boxes.size(), 1u);
    EXPECT_EQ(platform.Boxes[0].Text,
              "测试报告已保存到：\n" + QDir::toNativeSeparators(out + "/r.pdf"));
    EXPECT_GT(QFileInfo(out + "/r.pdf").size(), 1000);
    platform.SaveAnswer.clear();
    a.BBtn_OdtClick();  // in the folder of the last export
    EXPECT_EQ(platform.SaveAsked.back().FileName, out + "/" + stem + ".odt");

    // The site's campaigns, GBK first, then UTF-8 chosen in the dialog.
    const QString gbk = out + "/g.csv", utf8 = out + "/u.csv";
    platform.SaveAnswer = gbk;
    a.BBtn_ExportCsvClick();
    EXPECT_EQ(platform.SaveAsked.back().FileName,
              out + "/" + QStringLiteral("东郊变 _老站_ 110kV'-- 历次测试.csv"));
    platform.SaveAnswer = utf8;
    platform.SaveFilter = 1;
    a.BBtn_ExportCsvClick();
    ASSERT_EQ(platform.Boxes.size(), 3u);
    EXPECT_EQ(platform.Boxes[2].Text, "表格（UTF-8）已保存到：\n" + QDir::toNativeSeparators(utf8));
    const QByteArray gbkBytes = ReadAll(gbk), utf8Bytes = ReadAll(utf8);
    ASSERT_TRUE(utf8Bytes.startsWith("\xEF\xBB\xBF"));
    QStringDecoder fromGbk("GBK");
    const QString text = fromGbk(gbkBytes);
    EXPECT_TRUE(text.contains(QStringLiteral("\"东郊变 \"\"老站\"\" 110kV'--\"")))
        << text.toStdString();
    EXPECT_EQ(QString::fromUtf8(utf8Bytes.mid(3)), text);
    // UTF-8 chosen for the GBK file: it stays GBK.
    platform.SaveAnswer = gbk;
    a.BBtn_ExportCsvClick();
    EXPECT_EQ(ReadAll(gbk), gbkBytes + gbkBytes);
    EXPECT_EQ(platform.Boxes.back().Text,
              "表格（GBK）已保存到：\n" + QDir::toNativeSeparators(gbk));

    // LibreOffice: the UTF-8 file as it comes, the GBK one only when told.
    const QString fromUtf8 = ReadBackBySpreadsheet(utf8, "SYSTEM", folder.path());
    EXPECT_TRUE(fromUtf8.contains(QStringLiteral("东郊变 \"\"老站\"\" 110kV'--")))
        << fromUtf8.toStdString();
    {
        QFile g(gbk);
        ASSERT_TRUE(g.open(QIODevice::WriteOnly));
        g.write(gbkBytes);
    }
    EXPECT_EQ(ReadBackBySpreadsheet(gbk, "61", folder.path()), fromUtf8);
    EXPECT_NE(ReadBackBySpreadsheet(gbk, "SYSTEM", folder.path()), fromUtf8);

    qputenv("XDG_CONFIG_HOME", oldXdg);
    a.close();
    ArchiveAccess().Close();
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

namespace {

// The archive window on the archive of the settings given, its first site
// and campaign selected.
TfrmArchive* ArchiveWindowOn(TfrmKR3090& window, const TArchiveSettings& config) {
    SaveArchiveSettings(GlobVar.ConfigFileName.toStdString(), config,
                        GlobVar.DataFolder.toStdString());
    ArchiveAccess().Close();
    window.BBtn_Archive->click();
    TfrmArchive* archive = OpenWindow<TfrmArchive>();
    archive->Refresh();
    return archive;
}

}  // namespace

// A file's user has every role: "审核" locks the campaign, and the buttons
// then say why they are grey; a deleted campaign waits in the bin, comes
// back, goes for good after the question; "变更记录" lists every step.
TEST_F(WindowTest, TheArchiveWindowFollowsTheRoleAndTheReviewLockThroughTheBinAndTheChangeRecord) {
    TArchiveSettings config;
    config.File = folder.filePath(QStringLiteral("档案.sqlite")).toStdString();
    std::int64_t siteId = 0, first = 0, second = 0;
    {
        auto a = OpenArchive(config);
        TCampaign c;
        c.Date = "2025-01-01";
        const TStoreResult r = a->Store({0, "北站", "", "", ""}, c, {{0, 0, 1, {}}});
        siteId = r.SiteId;
        first = r.CampaignId;
        c.SiteId = siteId;
        c.Date = "2025-02-02";
        second = a->SaveCampaign(c);
    }
    TfrmArchive* archive = ArchiveWindowOn(*window, config);
    const QString user = archive->Lbl_User->text();
    EXPECT_TRUE(user.startsWith(QStringLiteral("用户：")) &&
                user.endsWith(QStringLiteral("（管理）")))
        << user.toStdString();
    ASSERT_EQ(archive->SelectedCampaignId(), second);
    archive->Refresh(siteId, first);
    ASSERT_EQ(archive->SelectedCampaignId(), first);
    for (QPushButton* b : {archive->BBtn_Review, archive->BBtn_DeleteCampaign,
                           archive->BBtn_DeleteSite, archive->BBtn_Changes})
        EXPECT_TRUE(b->isEnabled() && b->toolTip().isEmpty()) << b->objectName().toStdString();
    EXPECT_EQ(archive->Lbl_CampaignState->text(), QStringLiteral("未审核。"));
    EXPECT_FALSE(archive->BBtn_Correct->isEnabled());
    EXPECT_EQ(archive->BBtn_Correct->toolTip(),
              QStringLiteral("只有已审核的测试需要更正：没审核的测试可以直接修改。"));

    archive->BBtn_Review->click();
    ASSERT_EQ(platform.Questions.size(), 1u);
    EXPECT_EQ(platform.Questions[0],
              QStringLiteral(
                  "确定审核2025-01-01的测试吗？审核后，它和它的1条记录不能再改动，也不能删除。"));
    ASSERT_EQ(archive->SelectedCampaignId(), first);
    EXPECT_FALSE(archive->BBtn_Review->isEnabled());
    EXPECT_TRUE(archive->BBtn_Review->toolTip().startsWith(QStringLiteral("这次测试已由 ")));
    EXPECT_FALSE(archive->BBtn_DeleteCampaign->isEnabled());
    EXPECT_EQ(archive->BBtn_DeleteCampaign->toolTip(),
              QStringLiteral("已审核的测试不能删除，只能更正。"));
    EXPECT_FALSE(archive->BBtn_DeleteSite->isEnabled());
    EXPECT_EQ(archive->BBtn_DeleteSite->toolTip(),
              QStringLiteral("这个场地有已审核的测试，不能删除：已审核的测试只能更正。"));
    EXPECT_TRUE(archive->Lbl_CampaignState->text().endsWith(QStringLiteral("审核，只读。")));
    // A correction: a new campaign naming the reviewed one, whose value then gives way.
    ASSERT_TRUE(archive->BBtn_Correct->isEnabled());
    archive->BBtn_Correct->click();
    const std::int64_t correction = archive->SelectedCampaignId();
    EXPECT_NE(correction, first);
    EXPECT_EQ(archive->Lbl_CampaignState->text(),
              QStringLiteral("未审核。 本次测试更正2025-01-01的测试，以本次的值为准。"));
    archive->Refresh(siteId, first);
    EXPECT_TRUE(archive->Lbl_CampaignState->text().endsWith(
        QStringLiteral("已被2025-01-01的测试更正：以更正后的值为准。")));

    archive->Refresh(siteId, second);
    archive->BBtn_DeleteCampaignClick();
    EXPECT_EQ(archive->LView_Campaigns->rowCount(), 2);
    archive->BBtn_RecycleBin->click();
    auto* bin = static_cast<TfrmRecycleBin*>(archive->findChild<QDialog*>("frmRecycleBin"));
    ASSERT_TRUE(bin);
    ASSERT_EQ(bin->LView_Bin->rowCount(), 1);
    EXPECT_EQ(bin->LView_Bin->item(0, 0)->text(), QStringLiteral("北站"));
    EXPECT_EQ(bin->LView_Bin->item(0, 1)->text(), QStringLiteral("2025-02-02"));
    bin->LView_Bin->selectRow(0);
    ASSERT_TRUE(bin->BBtn_Restore->isEnabled());
    bin->BBtn_Restore->click();
    EXPECT_EQ(bin->LView_Bin->rowCount(), 0);
    EXPECT_EQ(archive->LView_Campaigns->rowCount(), 3);
    archive->Refresh(siteId, second);
    archive->BBtn_DeleteCampaignClick();
    bin->Refresh();
    platform.ConfirmAnswer = false;  // the question, answered no: nothing goes
    bin->BBtn_Empty->click();
    EXPECT_EQ(bin->LView_Bin->rowCount(), 1);
    platform.ConfirmAnswer = true;
    bin->BBtn_Empty->click();
    EXPECT_EQ(platform.Questions.back(),
              QStringLiteral("确定清空回收站吗？其中的1项将永久删除，无法恢复。"));
    EXPECT_EQ(bin->LView_Bin->rowCount(), 0);
    EXPECT_FALSE(bin->BBtn_Empty->isEnabled());
    bin->close();

    archive->BBtn_Changes->click();
    // By name: the bin closed a moment ago may not be gone yet.
    auto* log = static_cast<TfrmChangeLog*>(archive->findChild<QDialog*>("frmChangeLog"));
    ASSERT_TRUE(log);
    QStringList rows;
    for (int row = 0; row < log->LView_Changes->rowCount(); ++row)
        rows << log->LView_Changes->item(row, 3)->text() + " " +
                    log->LView_Changes->item(row, 4)->text() + " " +
                    log->LView_Changes->item(row, 5)->text() + " " +
                    log->LView_Changes->item(row, 6)->text();
    EXPECT_EQ(
        rows,
        QStringList(
            {"新建场地   ", "新建测试 2025-01-01  ", "存入 2025-01-01 1 已有 0 条",
             "新建测试 #" + QString::number(second) + "  ", "审核 2025-01-01 1 ",
             "更正 2025-01-01  更正测试 #" + QString::number(first),
             "删除 #" + QString::number(second) + "  ", "恢复 #" + QString::number(second) + "  ",
             "删除 #" + QString::number(second) + "  ",
             "清空回收站 #" + QString::number(second) + "  场地：北站；测试日期：2025-02-02"}))
        << rows.join('\n').toStdString();
    delete archive;
    ArchiveAccess().Close();
}

// On the team server as tester1: the window greys what 测试 may not do and
// says which right it lacks.
TEST_F(WindowTest, OnTheTeamServerTheArchiveWindowFollowsTheRoleOfTheServersUser) {
    const QString server = qEnvironmentVariable("KR3090_ARCHIVE_SERVER");
    QFile tcp(server + "/tcp");
    if (server.isEmpty() || !tcp.open(QIODevice::ReadOnly)) GTEST_SKIP() << "no team server";
    const QStringList hostPort = QString::fromUtf8(tcp.readAll()).simplified().split(' ');
    qputenv("PGPASSFILE", (server + "/pgpass").toUtf8());
    TArchiveSettings config;
    config.Driver = TArchiveDriver::PostgreSQL;
    config.Host = hostPort.value(0).toStdString();
    config.Port = hostPort.value(1).toInt();
    config.Database = "kr3090";
    config.User = "kr3090";
    config.SslMode = "verify-full";
    config.RootCert = (server + "/ca.crt").toStdString();
    InitTeamServer(config, {});  // the tables with their grants, as the archive's tests left them
    config.User = "tester1";
    {
        auto a = OpenArchive(config);
        a->Store(
            {0, QStringLiteral("窗口站%1").arg(QCoreApplication::applicationPid()).toStdString(),
             "", "", ""},
            {}, {{0, 0, 1, {}}});
    }
    TfrmArchive* archive = ArchiveWindowOn(*window, config);
    EXPECT_EQ(archive->Lbl_User->text(), QStringLiteral("用户：tester1（测试）"));
    ASSERT_NE(archive->SelectedCampaignId(), 0);
    EXPECT_TRUE(archive->BBtn_ImportFile->isEnabled());
    EXPECT_TRUE(archive->BBtn_Changes->isEnabled());
    const std::vector<std::pair<QPushButton*, QString>> greyed{
        {archive->BBtn_DeleteSite, "“删除场地”需要“管理”的权限；用户 tester1 的角色是“测试”。"},
        {archive->BBtn_DeleteCampaign, "“删除测试”需要“管理”的权限；用户 tester1 的角色是“测试”。"},
        {archive->BBtn_Review, "“审核”需要“审核”的权限；用户 tester1 的角色是“测试”。"}};
    for (const auto& [button, why] : greyed) {
        EXPECT_FALSE(button->isEnabled()) << button->objectName().toStdString();
        EXPECT_EQ(button->toolTip(), why);
    }
    // Refused by the server all the same when asked past the button.
    archive->BBtn_DeleteCampaignClick();
    ASSERT_FALSE(platform.Boxes.empty());
    EXPECT_TRUE(platform.Boxes.back().Text.startsWith(
        QStringLiteral("档案服务器拒绝了“删除测试”：这需要“管理”的权限，用户 "
                       "tester1（测试）没有。没有改动任何内容。")))
        << platform.Boxes.back().Text.toStdString();
    EXPECT_EQ(archive->LView_Campaigns->rowCount(), 1);
    delete archive;
    ArchiveAccess().Close();
}
