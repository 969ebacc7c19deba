// "同步" between the laptop's file and the server (the test server when
// KR3090_ARCHIVE_SERVER names one, else a second SQLite file): a cancel
// after two campaigns leaves whole campaigns on the server, "取回场地"
// brings the checked site alone, and the last sync says what went where.
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableWidget>

#include "ArchiveTarget.h"
#include "WindowFixture.h"
#include "app/archive/ArchiveSyncfrm.h"
#include "app/archive/ArchiveWindows.h"
#include "app/archive/Archivefrm.h"
#include "app/kit/GlobVar.h"
#include "app/kit/OpenWindow.h"
#include "app/main/KR3090frm.h"
#include "archive/ArchiveSql.h"
#include "qtext/QText.h"

namespace {

// A site with campaigns of `records` records each, numbered from `first`.
void AddSite(TArchive& a, const std::string& name, int campaigns, int records, int first) {
    TSite site;
    site.Name = name;
    site.VoltageLevel = "110kV";
    const std::int64_t id = a.SaveSite(site);
    for (int k = 0; k < campaigns; ++k) {
        TCampaign c;
        c.SiteId = id;
        c.Date = "2025-0" + std::to_string(k + 1) + "-01";
        a.Import(a.SaveCampaign(c), TestRecords(first + 1000 * k, records));
    }
}

std::map<std::string, std::vector<int>> RecordsBySite(TArchive& a) {
    std::map<std::string, std::vector<int>> all;
    for (const TSite& site : a.Sites()) {
        all[site.Name];
        for (const TCampaignSummary& c : a.Campaigns(site.Id)) all[site.Name].push_back(c.Records);
    }
    return all;
}

}  // namespace

TEST_F(WindowTest, SyncWindowCountsWhatWentWhereAndACancelLeavesWholeCampaigns) {
    TArchiveSettings config;
    config.File = folder.filePath(QStringLiteral("笔记本.sqlite")).toStdString();
    SaveArchiveSettings(GlobVar.ConfigFileName.toStdString(), config,
                        GlobVar.DataFolder.toStdString());
    ArchiveAccess().Close();

    // No server in the settings: the window says so and offers nothing.
    window->BBtn_Archive->click();
    OpenWindow<TfrmArchive>()->BBtn_Sync->click();
    TfrmArchiveSync* unset = OpenWindow<TfrmArchiveSync>();
    ASSERT_TRUE(unset);
    EXPECT_TRUE(unset->Memo_Account->toPlainText().contains(
        QStringLiteral("“档案设置”里没有填写档案服务器")));
    EXPECT_FALSE(unset->BBtn_Sync->isEnabled());
    delete unset;

    const QString server = qEnvironmentVariable("KR3090_ARCHIVE_SERVER");
    TArchiveSettings serverSettings =
        server.isEmpty()
            ? SettingsOfTarget("sqlite:" +
                               folder.filePath(QStringLiteral("服务器.sqlite")).toStdString())
            : SettingsOfTarget("server:" + server.toStdString());
    {
        auto laptop = OpenArchive(config);
        AddSite(*laptop, "东郊变", 3, 40, 0);
        AddSite(*laptop, "同名站", 0, 0, 0);
        // Reviewed campaigns of earlier tests, which no one may delete, go too.
        if (!server.isEmpty()) DropServerTables(server.toStdString());
        auto office = OpenArchive(serverSettings);
        AddSite(*office, "西区变", 2, 25, 10000);
        AddSite(*office, "南山变", 1, 10, 20000);
        AddSite(*office, "同名站", 0, 0, 0);
    }
    // A laptop file that is damaged, or of a newer program, is refused with
    // its reason before the server is reached.
    const QString refused = folder.filePath(QStringLiteral("拒绝.sqlite"));
    OpenArchive(SettingsOfTarget("sqlite:" + refused.toStdString()));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "newer");
        db.setDatabaseName(refused);
        ASSERT_TRUE(db.open());
        QSqlQuery(db).exec("UPDATE schema_version SET version = 99, min_version = 99");
    }
    QSqlDatabase::removeDatabase("newer");
    for (const char* reason : {"档案的格式版本是 99", "档案文件已损坏"}) {
        TfrmArchiveSync check(nullptr);
        check.LaptopSettings.File = refused.toStdString();
        check.ServerSettings = serverSettings;
        check.ServerSettings.File =
            folder.filePath(QStringLiteral("从未打开.sqlite")).toStdString();
        EXPECT_FALSE(check.ReadArchives());
        const QString account = check.Memo_Account->toPlainText();
        EXPECT_TRUE(account.startsWith(QStringLiteral("无法同步，没有发送任何内容：")) &&
                    account.contains(QString::fromUtf8(reason)))
            << account.toStdString();
        EXPECT_FALSE(check.BBtn_Sync->isEnabled());
        EXPECT_FALSE(QFile::exists(Q(check.ServerSettings.File)));
        QFile::remove(refused + "-wal");
        QFile::resize(refused, 4096);  // then cut short
    }

    auto* sync = new TfrmArchiveSync(window.get());
    sync->ServerSettings = serverSettings;
    sync->show();
    ASSERT_TRUE(sync->ReadArchives()) << sync->Memo_Account->toPlainText().toStdString();
    ASSERT_EQ(sync->LView_ServerSites->rowCount(), 3);
    EXPECT_EQ(sync->LView_ServerSites->item(1, 0)->text(), QStringLiteral("南山变"));
    EXPECT_EQ(sync->LView_ServerSites->item(1, 2)->text(), QStringLiteral("没有"));

    const auto run = [&](QPushButton* button) {
        button->click();
        EXPECT_TRUE(WaitUntil([&] { return !sync->Running(); }, std::chrono::seconds(60)));
        return sync->Memo_Account->toPlainText().toStdString();
    };
    // Cancelled once two campaigns are up: the window takes it between campaigns.
    sync->RBtn_UploadOnly->setChecked(true);
    QObject::connect(sync->PBar_Sync, &QProgressBar::valueChanged, sync, [&](int done) {
        if (done == 2) sync->BBtn_Cancel->click();
    });
    EXPECT_EQ(run(sync->BBtn_Sync),
              std::string("同步已取消：完成了 2 / 3 次测试，其余的下次同步时补齐。\n"
                          "上传到服务器：新增场地 1 个，测试 2 次，记录 80 条；0 条记录已在档案中\n"
                          "  未同步：对方已有另一个名为“同名站”的场地，需要合并\n"));
    auto office = OpenArchive(serverSettings);
    EXPECT_EQ(RecordsBySite(*office)["东郊变"], (std::vector<int>{40, 40}));
    QObject::disconnect(sync->PBar_Sync, nullptr, sync, nullptr);

    // The checked site alone comes down.
    sync->LView_ServerSites->item(1, 0)->setCheckState(Qt::Checked);
    EXPECT_EQ(
        run(sync->BBtn_Fetch),
        std::string("同步完成：1 次测试。\n"
                    "下载到笔记本：新增场地 1 个，测试 1 次，记录 10 条；0 条记录已在档案中\n"));
    EXPECT_EQ(sync->LView_ServerSites->item(1, 2)->text(), QStringLiteral("已有"));
    EXPECT_EQ(RecordsBySite(*OpenArchive(config)).count("西区变"), 0u);

    // Both ways: the rest of the laptop up, the rest of the server down;
    // what both hold is read on each side and counted as there.
    sync->RBtn_Both->setChecked(true);
    EXPECT_EQ(
        run(sync->BBtn_Sync),
        std::string("同步完成：9 次测试。\n"
                    "上传到服务器：新增场地 0 个，测试 1 次，记录 40 条；90 条记录已在档案中\n"
                    "  未同步：对方已有另一个名为“同名站”的场地，需要合并\n"
                    "下载到笔记本：新增场地 1 个，测试 2 次，记录 50 条；90 条记录已在档案中\n"
                    "  未同步：对方已有另一个名为“同名站”的场地，需要合并\n"));
    const std::map<std::string, std::vector<int>> all{
        {"东郊变", {40, 40, 40}}, {"西区变", {25, 25}}, {"南山变", {10}}, {"同名站", {}}};
    EXPECT_EQ(RecordsBySite(*OpenArchive(config)), all);
    EXPECT_EQ(RecordsBySite(*office), all);
    // The archive window shows what came down.
    EXPECT_EQ(OpenWindow<TfrmArchive>()->LView_Sites->rowCount(), 4);

    // The two 同名站 are offered; merged on the operator's word, the next
    // sync leaves nothing out.
    ASSERT_EQ(sync->LView_Merge->rowCount(), 1);
    EXPECT_EQ(sync->LView_Merge->item(0, 1)->text(), QStringLiteral("同名站"));
    sync->LView_Merge->item(0, 0)->setCheckState(Qt::Checked);
    sync->BBtn_Merge->click();
    ASSERT_EQ(platform.Questions.size(), 1u);
    EXPECT_EQ(
        platform.Questions[0],
        QStringLiteral("确定把下列场地各自合并为同一个场地吗？\n  笔记本上的“同名站”与服务器上的"
                       "“同名站”\n合并后，同步时两边的测试互相补齐。"));
    EXPECT_EQ(sync->LView_Merge->rowCount(), 0);
    EXPECT_EQ(sync->LView_ServerSites->item(2, 2)->text(), QStringLiteral("已有"));  // merged
    EXPECT_EQ(
        run(sync->BBtn_Sync),
        std::string("同步完成：12 次测试。\n"
                    "上传到服务器：新增场地 0 个，测试 0 次，记录 0 条；180 条记录已在档案中\n"
                    "下载到笔记本：新增场地 0 个，测试 0 次，记录 0 条；180 条记录已在档案中\n"));

    // A campaign whose limit both sides changed is listed with both
    // versions; the office's is kept for both.
    const auto setLimit = [](TArchive& a, double limit) {
        for (const TSite& site : a.Sites())
            if (site.Name == "东郊变") {
                TCampaign c = a.Campaigns(site.Id).at(0).Campaign;
                c.Limit = limit;
                a.SaveCampaign(c);
            }
    };
    setLimit(*OpenArchive(config), 0.5);
    setLimit(*office, 0.4);
    EXPECT_NE(run(sync->BBtn_Sync).find("  未同步：“东郊变” 2025-01-01 的测试信息两边都改过"),
              std::string::npos);
    ASSERT_EQ(sync->LView_Conflicts->rowCount(), 1);
    EXPECT_EQ(sync->LView_Conflicts->item(0, 2)->text(),
              QStringLiteral("2025-01-01，限值 0.4Ω"));
    sync->LView_Conflicts->selectRow(0);
    sync->BBtn_KeepServer->click();
    EXPECT_EQ(sync->LView_Conflicts->rowCount(), 0);
    auto laptop = OpenArchive(config);
    EXPECT_EQ(laptop->Campaigns(laptop->Sites()[0].Id).at(0).Campaign.Limit, 0.4);  // 东郊变
    sync->close();
    ArchiveAccess().Close();
    delete OpenWindow<TfrmArchive>();
}
