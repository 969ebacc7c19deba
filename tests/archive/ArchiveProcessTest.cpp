// Other programs at the same archive: two importing overlapping uploads at
// once, and one killed in the middle of its imports.
#include <QCoreApplication>
#include <QProcess>
#include <QSqlQuery>
#include <QThread>
#include <set>

#include "ArchiveFixture.h"

namespace {

// The import driver (ImportDriver.cpp) on this test's archive.
std::unique_ptr<QProcess> StartDriver(const std::string& target, std::int64_t campaign, int first,
                                      int count, int batch) {
    auto p = std::make_unique<QProcess>();
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Built beside the tests (archive_import_driver, or .exe on Windows).
    p->start(QCoreApplication::applicationDirPath() + "/archive_import_driver",
             {QString::fromStdString(target), QString::number(campaign), QString::number(first),
              QString::number(count), QString::number(batch)});
    EXPECT_TRUE(p->waitForStarted());
    return p;
}

QStringList Lines(QProcess& p) {
    QStringList lines;
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n'))
        if (!line.trimmed().isEmpty()) lines << line.trimmed();  // CR LF on Windows
    return lines;
}

}  // namespace

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
        // The server may still be carrying out a COMMIT the killed program
        // had sent: wait until its server process is gone (ours stays).
        for (int k = 0; OnServer() && k < 100; ++k) {
            QSqlDatabase db = Raw();
            QSqlQuery q(db);
            q.exec("SELECT count(*) FROM pg_stat_activity WHERE application_name = 'kr3090'");
            if (q.next() && q.value(0).toInt() <= 1) break;
            QThread::msleep(100);
        }
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
