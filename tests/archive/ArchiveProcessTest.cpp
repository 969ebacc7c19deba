// Other programs at the same archive: two importing overlapping uploads at
// once, and one killed in the middle of its imports; syncs killed at varied
// moments both ways, and two laptops syncing the same new site at once.
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <map>
#include <set>

#include "ArchiveFixture.h"

namespace {

// The import driver (ImportDriver.cpp).
std::unique_ptr<QProcess> StartDriver(const QStringList& arguments) {
    auto p = std::make_unique<QProcess>();
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Built beside the tests (archive_import_driver, or .exe on Windows).
    p->start(QCoreApplication::applicationDirPath() + "/archive_import_driver", arguments);
    EXPECT_TRUE(p->waitForStarted());
    return p;
}

std::unique_ptr<QProcess> StartDriver(const std::string& target, std::int64_t campaign, int first,
                                      int count, int batch) {
    return StartDriver({QString::fromStdString(target), QString::number(campaign),
                        QString::number(first), QString::number(count), QString::number(batch)});
}

// A sync of the laptop file with the test's archive, one way or both.
std::unique_ptr<QProcess> StartSync(const QString& laptop, const std::string& server,
                                    const char* way) {
    return StartDriver({"sync", "sqlite:" + laptop, QString::fromStdString(server), way});
}

QStringList Lines(QProcess& p) {
    QStringList lines;
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n'))
        if (!line.trimmed().isEmpty()) lines << line.trimmed();  // CR LF on Windows
    return lines;
}

// Each campaign's record count by its UUID.
std::map<std::string, int> CampaignRecords(TArchive& archive) {
    std::map<std::string, int> all;
    for (const TSite& site : archive.Sites())
        for (const TCampaignSummary& c : archive.Campaigns(site.Id))
            all[c.Campaign.Uuid] = c.Records;
    return all;
}

std::string IntegrityOf(const QString& file) {
    std::string answer;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "kr3090-test-check");
        db.setDatabaseName(file);
        QSqlQuery q(db);
        answer = db.open() && q.exec("PRAGMA integrity_check") && q.next()
                     ? q.value(0).toString().toStdString()
                     : "not readable";
    }
    QSqlDatabase::removeDatabase("kr3090-test-check");
    return answer;
}

// Sites name0, name1 ... with campaigns of 200 records each.
void AddSites(TArchive& archive, const std::string& name, int sites, int campaigns, int first) {
    for (int s = 0; s < sites; ++s) {
        TSite site;
        site.Name = name + std::to_string(s);
        const std::int64_t id = archive.SaveSite(site);
        for (int k = 0; k < campaigns; ++k) {
            TCampaign c;
            c.SiteId = id;
            c.Date = "2025-01-0" + std::to_string(k + 1);
            archive.Import(archive.SaveCampaign(c), TestRecords(first + (s * 10 + k) * 1000, 200));
        }
    }
}

}  // namespace

void ArchiveTest::WaitForKilledSessions() {
    // The server may still be carrying out a COMMIT the killed program had
    // sent: wait until its server process is gone (ours stays).
    for (int k = 0; OnServer() && k < 100; ++k) {
        QSqlDatabase db = Raw();
        QSqlQuery q(db);
        q.exec("SELECT count(*) FROM pg_stat_activity WHERE application_name = 'kr3090'");
        if (q.next() && q.value(0).toInt() <= 1) break;
        QThread::msleep(100);
    }
}

TEST_F(ArchiveTest, ASyncKilledAtVariedMomentsBothWaysLeavesWholeCampaignsAndTheNextFinishes) {
    QTemporaryDir laptopFolder;
    const QString laptopFile = laptopFolder.filePath("笔记本.sqlite");
    auto laptop = OpenArchive(SettingsOfTarget("sqlite:" + laptopFile.toStdString()));
    auto server = Open();
    AddSites(*laptop, "现场站", 3, 4, 0);
    AddSites(*server, "办公室站", 2, 4, 500000);
    int killedInside = 0;
    std::size_t up = 0, down = 0;
    for (int round = 0; round < 12; ++round) {
        auto p = StartSync(laptopFile, Target(), round % 2 ? "down" : "up");
        // Killed after a varied number of campaigns, a varied time after it.
        for (int lines = 0; lines <= round % 4 && p->waitForReadyRead(20000);)
            lines += static_cast<int>(p->readAll().count('\n'));
        QThread::msleep(static_cast<unsigned long>(round * 7 % 23));
        if (p->state() == QProcess::Running) ++killedInside;
        p->kill();
        ASSERT_TRUE(p->waitForFinished(20000));
        WaitForKilledSessions();
        // Whole campaigns on both sides, never fewer than before.
        const std::map<std::string, int> onServer = CampaignRecords(*server);
        const std::map<std::string, int> onLaptop = CampaignRecords(*laptop);
        for (const auto& side : {onServer, onLaptop})
            for (const auto& [uuid, records] : side) ASSERT_EQ(records, 200) << "round " << round;
        EXPECT_GE(onServer.size(), up);
        EXPECT_GE(onLaptop.size(), down);
        up = onServer.size();
        down = onLaptop.size();
        ASSERT_EQ(IntegrityOf(laptopFile), "ok");
        if (!OnServer()) {
            ASSERT_EQ(IntegrityOf(QString::fromStdString(Settings.File)), "ok");
        }
    }
    EXPECT_GT(killedInside, 6);
    auto last = StartSync(laptopFile, Target(), "both");
    ASSERT_TRUE(last->waitForFinished(60000));
    ASSERT_EQ(last->exitCode(), 0);
    EXPECT_EQ(CampaignRecords(*server).size(), 20u);
    EXPECT_EQ(CampaignRecords(*laptop), CampaignRecords(*server));
}

TEST_F(ArchiveTest, TwoLaptopsSyncingTheSameNewSiteAtOnceGiveOneSiteWithEachRecordOnce) {
    QTemporaryDir folder;
    auto server = Open();
    for (int round = 0; round < 3; ++round) {
        for (const TSite& site : server->Sites()) server->DeleteSite(site.Id);
        server->EmptyRecycleBin();  // a binned site keeps its name
        // Laptop b is a copy of laptop a's file, taken on a trip and added
        // to: the same site and campaign with 300 records of its own besides
        // 100 of a's, and a campaign of its own. Each also made a site
        // "各建站" of its own, which the server takes once and offers the
        // other for merging.
        const QString a = folder.filePath(QString("a%1.sqlite").arg(round));
        const QString b = folder.filePath(QString("b%1.sqlite").arg(round));
        std::int64_t campaign = 0;
        {
            auto first = OpenArchive(SettingsOfTarget("sqlite:" + a.toStdString()));
            TSite site;
            site.Name = "新站";
            TCampaign c;
            c.SiteId = first->SaveSite(site);
            c.Date = "2025-06-01";
            campaign = first->SaveCampaign(c);
            first->Import(campaign, TestRecords(0, 200));
        }
        ASSERT_TRUE(QFile::copy(a, b));
        for (const QString& file : {a, b}) {
            auto laptop = OpenArchive(SettingsOfTarget("sqlite:" + file.toStdString()));
            TSite own;
            own.Name = "各建站";
            TCampaign c;
            c.SiteId = laptop->SaveSite(own);
            c.Date = "2025-06-02";
            laptop->Import(laptop->SaveCampaign(c), TestRecords(file == a ? 1000 : 2000, 50));
            if (file == a) continue;
            laptop->Import(campaign, TestRecords(100, 400));
            c.SiteId = laptop->Sites()[0].Id;
            c.Date = "2025-06-03";
            laptop->Import(laptop->SaveCampaign(c), TestRecords(3000, 100));
        }
        auto p = StartSync(a, Target(), "up");
        auto q = StartSync(b, Target(), "up");
        int offered = 0;
        for (QProcess* sync : {p.get(), q.get()}) {
            ASSERT_TRUE(sync->waitForFinished(60000));
            ASSERT_EQ(sync->exitCode(), 0) << "round " << round;
            const QStringList lines = Lines(*sync);
            offered += lines[lines.size() - 2].split(' ').last().toInt();
        }
        EXPECT_EQ(offered, 1);
        std::map<std::string, std::vector<int>> sites;
        for (const TSite& site : server->Sites())
            for (const TCampaignSummary& c : server->Campaigns(site.Id))
                sites[site.Name].push_back(c.Records);
        const std::map<std::string, std::vector<int>> once{{"新站", {500, 100}}, {"各建站", {50}}};
        EXPECT_EQ(sites, once) << "round " << round;
    }
}

TEST_F(ArchiveTest, TwoProgramsImportingOverlappingUploadsAtOnceStoreEachRecordOnce) {
    auto archive = Open();
    const std::int64_t campaign = NewCampaign(*archive);
    // Records 1000 to 2999 reach both, in imports that overlap in part and at
    // different moments.
    auto a = StartDriver(Target(), campaign, 0, 3000, 100);
    auto b = StartDriver(Target(), campaign, 1000, 3000, 50);
    int stored = 0, already = 0;
    for (QProcess* p : {a.get(), b.get()}) {
        ASSERT_TRUE(p->waitForFinished(120000));
        ASSERT_EQ(p->exitCode(), 0);
        const QStringList total = Lines(*p).last().split(' ');
        stored += total[1].toInt();
        already += total[2].toInt();
    }
    EXPECT_EQ(stored, 4000);
    EXPECT_EQ(already, 2000);
    const auto records = archive->Records(campaign);
    EXPECT_EQ(records.size(), 4000u);
    std::set<std::tuple<int, int, int, double>> distinct;
    for (const auto& r : records)
        distinct.insert({r.Number, r.Values.Day, r.Values.Month, r.Values.U});
    EXPECT_EQ(distinct.size(), 4000u);
    EXPECT_EQ(CampaignOf(*archive, campaign).Records, 4000);
}

TEST_F(ArchiveTest, AProgramKilledInTheMiddleOfAnImportLeavesTheArchiveAsBefore) {
    auto archive = Open();
    const std::int64_t campaign = NewCampaign(*archive);
    int killedInside = 0, records = 0;
    for (int round = 0; round < 16; ++round) {
        // Each round imports new records in imports of 100, and is killed
        // after a varied time: in the records, in the commit, between imports.
        auto p = StartDriver(Target(), campaign, 100000 * (round + 1), 3000, 100);
        ASSERT_TRUE(p->waitForReadyRead(20000));
        QThread::msleep(static_cast<unsigned long>(round * 13 % 97));
        p->kill();
        ASSERT_TRUE(p->waitForFinished(20000));
        WaitForKilledSessions();
        const QStringList lines = Lines(*p);
        const int commits = static_cast<int>(lines.count("c"));
        const int now = CampaignOf(*archive, campaign).Records;
        // Killed after its last record but before it heard the commit
        // answered: the import may or may not have reached the database.
        const bool inCommit = !lines.isEmpty() && lines.last() == "r 100";
        if (!lines.isEmpty() && lines.last() != "c") ++killedInside;
        if (inCommit && now == records + 100 * (commits + 1))
            records = now;
        else
            EXPECT_EQ(now, records += 100 * commits) << "round " << round;
        ASSERT_EQ(now % 100, 0);
    }
    EXPECT_GT(killedInside, 0);
    if (!OnServer()) {
        QSqlDatabase db = Raw();
        QSqlQuery check(db);
        ASSERT_TRUE(check.exec("PRAGMA integrity_check") && check.next());
        EXPECT_EQ(check.value(0).toString(), "ok");
    }
    // The value was stored with the records it was worked out from.
    auto again = Open();
    EXPECT_EQ(MethodText(CampaignOf(*again, campaign).Value),
              records ? "由 45Hz 与 55Hz 线性插值" : "没有可分析的记录");
    EXPECT_EQ(static_cast<int>(again->Records(campaign).size()), records);
}
