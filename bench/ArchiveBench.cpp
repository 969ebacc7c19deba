// What the archive costs the operator: an upload of 100 records imported into
// a campaign, an import of 10 000 records, and a site of 50 campaigns of 100
// records opened (its campaigns with their record counts and values), on
// SQLite and, when KR3090_ARCHIVE_SERVER names a test server's folder
// (scripts/archive-server-test.sh start DIR), on PostgreSQL. The counter
// bytes_per_1000_records is the archive's size over its records: the SQLite
// file after the archive is closed (WAL checkpointed, not vacuumed), or the
// PostgreSQL tables with their indexes.
// Run: build/bench/ArchiveBench (SQLite files go to /tmp).
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <filesystem>

#include "archive/ArchiveSql.h"

namespace {

int next = 0;  // every record of a run is new

std::vector<TArchivedRecord> Upload(int count) {
    std::vector<TArchivedRecord> list(static_cast<std::size_t>(count));
    for (auto& r : list) {
        const int k = next++;
        r.Number = k % 100 + 1;
        r.Values = {k % 2 ? 45 : 55,  2.0 + k * 1e-4, 1.25,   30.0 + k % 7, k % 3 == 0,   117,
                    1 + k / 100 % 12, 1 + k % 28,     k % 24, k % 60,       k / 1200 % 60};
    }
    return list;
}

struct TBenchArchive {
    TArchiveSettings Settings;
    std::filesystem::path Folder;

    explicit TBenchArchive(const std::string& server) {
        if (!server.empty()) {
            Settings.Driver = TArchiveDriver::PostgreSQL;
            Settings.Host = server;
            Settings.User = "kr3090";
            qputenv("PGPASSFILE", QByteArray::fromStdString(server + "/pgpass"));
            Empty();
            return;
        }
        Folder = std::filesystem::temp_directory_path() /
                 ("kr3090-archive-bench-" + std::to_string(QCoreApplication::applicationPid()));
        std::filesystem::remove_all(Folder);
        std::filesystem::create_directories(Folder);
        Settings.File = (Folder / DefaultArchiveFileName).string();
    }
    ~TBenchArchive() {
        if (!Folder.empty()) std::filesystem::remove_all(Folder);
    }
    void Empty() {
        Sql("DROP TABLE IF EXISTS sync_marks, site_aliases, records, campaigns, sites,"
            " schema_version",
            [](QSqlQuery&) {});
    }
    std::int64_t NewCampaign(TArchive& archive) {
        TCampaign c;
        c.SiteId = archive.SaveSite({0, "站" + std::to_string(next++), "110kV", "", ""});
        c.Date = "2025-03-03";
        return archive.SaveCampaign(c);
    }
    // The archive's size in bytes, with the archive closed.
    double Size() {
        if (!Folder.empty()) return static_cast<double>(std::filesystem::file_size(Settings.File));
        double size = 0;
        Sql("SELECT pg_total_relation_size('records') + pg_total_relation_size('campaigns')"
            " + pg_total_relation_size('sites')",
            [&](QSqlQuery& q) { size = q.next() ? q.value(0).toDouble() : 0; });
        return size;
    }
    template <class F>
    void Sql(const char* sql, F&& read) {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "bench");
            db.setHostName(QString::fromStdString(Settings.Host));
            db.setUserName("kr3090");
            db.setDatabaseName("kr3090");
            db.setConnectOptions("options='-c client_min_messages=warning'");
            db.open();
            QSqlQuery q(db);
            q.exec(sql);
            read(q);
        }
        QSqlDatabase::removeDatabase("bench");
    }
};

// Each upload into a campaign of its own, in an archive that holds 5 000
// records already.
void BM_ImportOf100Records(benchmark::State& state, const std::string& server) {
    TBenchArchive where(server);
    auto archive = OpenArchive(where.Settings);
    for (int k = 0; k < 50; ++k) archive->Import(where.NewCampaign(*archive), Upload(100));
    for (auto _ : state) {
        state.PauseTiming();
        const std::int64_t campaign = where.NewCampaign(*archive);
        const auto upload = Upload(100);
        state.ResumeTiming();
        archive->Import(campaign, upload);
    }
}

void BM_ImportOf10000Records(benchmark::State& state, const std::string& server) {
    TBenchArchive where(server);
    auto archive = OpenArchive(where.Settings);
    int records = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::int64_t campaign = where.NewCampaign(*archive);
        const auto upload = Upload(10000);
        state.ResumeTiming();
        records += archive->Import(campaign, upload).Stored;
    }
    archive.reset();
    state.counters["bytes_per_1000_records"] = where.Size() * 1000 / records;
}

void BM_OpenASiteOf50CampaignsOf100Records(benchmark::State& state, const std::string& server) {
    TBenchArchive where(server);
    auto archive = OpenArchive(where.Settings);
    TCampaign c;
    c.SiteId = archive->SaveSite({0, "二十年的站", "220kV", "D=144m", ""});
    for (int year = 0; year < 50; ++year) {
        c.Id = 0;
        c.Date = std::to_string(1976 + year) + "-05-01";
        archive->Import(archive->SaveCampaign(c), Upload(100));
    }
    for (auto _ : state) {
        const auto campaigns = archive->Campaigns(c.SiteId);
        if (campaigns.size() != 50 || campaigns.back().Records != 100)
            state.SkipWithError("the site is not as made");
    }
}

// Registered at start-up: the server's benchmarks only with a server.
const bool registered = [] {
    std::vector<std::pair<std::string, std::string>> targets{{"sqlite", ""}};
    const QString server = qEnvironmentVariable("KR3090_ARCHIVE_SERVER");
    if (!server.isEmpty()) targets.push_back({"postgresql", server.toStdString()});
    for (const auto& [name, where] : targets) {
        benchmark::RegisterBenchmark(("BM_ImportOf100Records/" + name).c_str(),
                                     BM_ImportOf100Records, where)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("BM_ImportOf10000Records/" + name).c_str(),
                                     BM_ImportOf10000Records, where)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3);
        benchmark::RegisterBenchmark(("BM_OpenASiteOf50CampaignsOf100Records/" + name).c_str(),
                                     BM_OpenASiteOf50CampaignsOf100Records, where)
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

}  // namespace
