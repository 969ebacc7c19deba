// What a sync costs at a utility's scale: a laptop of 20 campaigns (2 sites
// of 10 campaigns of 100 records) syncing up into a server holding many
// sites of 10 campaigns of 100 records each, the same laptop syncing again
// when everything is there, the server's site list, and one site opened as
// the archive calls open it (its campaigns, then the last one's records), and
// the same two in the archive window itself; and twenty laptops syncing up
// at once through the program's command line.
// Each against a server of two sites (/1: the full server, /0: two sites) for
// the ratio. Needs a test server (the sites are stored once and kept for
// later runs; KR3090_SYNC_BENCH_SITES sets how many, 500 by default):
//   scripts/archive-server-test.sh start /tmp/kr3090-sync-bench
//   KR3090_ARCHIVE_SERVER=/tmp/kr3090-sync-bench build/bench/SyncBench
//   scripts/archive-server-test.sh remove /tmp/kr3090-sync-bench
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QUuid>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>

#include "app/archive/ArchiveWindows.h"
#include "app/archive/Archivefrm.h"
#include "app/kit/GlobVar.h"
#include "app/kit/Platform.h"
#include "archive/ArchiveSql.h"
#include "archive/ArchiveSync.h"
#include "bench/BenchWindow.h"

namespace {

std::string ServerFolder() {
    return qEnvironmentVariable("KR3090_ARCHIVE_SERVER").toStdString();
}

int SitesWanted() {
    const int n = qEnvironmentVariableIntValue("KR3090_SYNC_BENCH_SITES");
    return n > 0 ? n : 500;
}

TArchiveSettings Server(const char* database) {
    TArchiveSettings s;
    s.Driver = TArchiveDriver::PostgreSQL;
    s.Host = ServerFolder();
    s.User = "kr3090";
    s.Database = database;
    qputenv("PGPASSFILE", QByteArray::fromStdString(ServerFolder() + "/pgpass"));
    return s;
}

int next = 0;  // every record of a run is new

std::vector<TArchivedRecord> Upload() {
    std::vector<TArchivedRecord> list(100);
    for (auto& r : list) {
        const int k = next++;
        r.Number = k % 100 + 1;
        r.Values = {k % 2 ? 45 : 55,  2.0 + k * 1e-4, 1.25,   30.0 + k % 7, k % 3 == 0,   117,
                    1 + k / 100 % 12, 1 + k % 28,     k % 24, k % 60,       k / 1200 % 60};
    }
    return list;
}

// Sites named prefix0 ... of 10 campaigns of 100 records, each campaign
// stored as "存入档案" stores it.
void AddSites(TArchive& archive, const std::string& prefix, int first, int count) {
    for (int s = first; s < first + count; ++s) {
        TSite site;
        site.Name = prefix + std::to_string(s);
        site.VoltageLevel = "110kV";
        for (int k = 0; k < 10; ++k) {
            TCampaign c;
            c.Date = "20" + std::to_string(16 + k) + "-05-01";
            site.Id = archive.Store(site, c, Upload()).SiteId;
        }
    }
}

// The full server (database kr3090) and one of two sites (kr3090_small),
// made on first use.
TArchive& Archive(bool full) {
    // Kept to the end of the process: closed after main, Qt's driver would
    // be gone before them.
    static TArchive* archives[2] = {};
    TArchive*& a = archives[full];
    if (a) return *a;
    if (!full) {
        Server("postgres");  // its password file
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "sync-bench-admin");
        db.setHostName(QString::fromStdString(ServerFolder()));
        db.setUserName("kr3090");
        db.setDatabaseName("postgres");
        if (db.open()) QSqlQuery(db).exec("CREATE DATABASE kr3090_small");
    }
    a = OpenArchive(Server(full ? "kr3090" : "kr3090_small")).release();
    const int wanted = full ? SitesWanted() : 2;
    const int there = static_cast<int>(a->Sites().size());
    if (there < wanted) {
        const auto started = std::chrono::steady_clock::now();
        AddSites(*a, "场地", there, wanted - there);
        std::fprintf(
            stderr, "stored %d sites of 10 campaigns of 100 records in %.0f s\n", wanted - there,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    }
    return *a;
}

bool NeedServer(benchmark::State& state) {
    if (!ServerFolder().empty()) return true;
    state.SkipWithError("KR3090_ARCHIVE_SERVER names no server (scripts/archive-server-test.sh)");
    return false;
}

struct TLaptop {
    std::filesystem::path Folder =
        std::filesystem::temp_directory_path() /
        ("kr3090-sync-bench-" + QUuid::createUuid().toString(QUuid::Id128).toStdString());
    TArchiveSettings Settings;
    // filled: 2 sites of 10 campaigns; else no file yet (for a copy).
    explicit TLaptop(bool filled = true) {
        std::filesystem::create_directories(Folder);
        Settings.File = (Folder / DefaultArchiveFileName).string();
        if (filled)
            AddSites(*OpenArchive(Settings), "现场" + Folder.filename().string() + "-", 0, 2);
    }
    ~TLaptop() { std::filesystem::remove_all(Folder); }
    void Sync(TArchive& server) {
        auto laptop = OpenArchive(Settings);
        TSyncResult result;
        SyncArchives(*laptop, server, TSyncDirection::UploadOnly, result);
        benchmark::DoNotOptimize(result);
    }
    // Its sites off the server again.
    void Remove(TArchive& server) {
        auto laptop = OpenArchive(Settings);
        for (const TSite& mine : laptop->Sites())
            for (const TSite& there : server.Sites())
                if (there.Uuid == mine.Uuid) server.DeleteSite(there.Id);
    }
};

void BM_SyncLaptop20Up(benchmark::State& state) {
    if (!NeedServer(state)) return;
    TArchive& server = Archive(state.range(0) != 0);
    for (auto _ : state) {
        state.PauseTiming();
        TLaptop laptop;
        state.ResumeTiming();
        laptop.Sync(server);
        state.PauseTiming();
        laptop.Remove(server);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SyncLaptop20Up)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);

// Everything is there already: each record is offered and counted as there.
void BM_SyncLaptop20Again(benchmark::State& state) {
    if (!NeedServer(state)) return;
    TArchive& server = Archive(state.range(0) != 0);
    TLaptop laptop;
    laptop.Sync(server);
    for (auto _ : state) laptop.Sync(server);
    laptop.Remove(server);
}
BENCHMARK(BM_SyncLaptop20Again)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_SiteList(benchmark::State& state) {
    if (!NeedServer(state)) return;
    TArchive& server = Archive(state.range(0) != 0);
    for (auto _ : state) benchmark::DoNotOptimize(server.Sites());
}
BENCHMARK(BM_SiteList)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_OpenSite(benchmark::State& state) {
    if (!NeedServer(state)) return;
    TArchive& server = Archive(state.range(0) != 0);
    const std::vector<TSite> sites = server.Sites();
    const std::int64_t site = sites[sites.size() / 2].Id;
    for (auto _ : state) {
        const std::vector<TCampaignSummary> campaigns = server.Campaigns(site);
        benchmark::DoNotOptimize(server.Records(campaigns.back().Campaign.Id));
    }
}
BENCHMARK(BM_OpenSite)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

#ifdef KR3090_PROGRAM_FILE
// Twenty laptops syncing up at once, each through "kr3090 --sync" as an
// office's script runs it; each laptop's file has a twin (a copy taken on a
// trip), so every site, campaign and record reaches the server twice at
// once. Counted: the processes that failed, and the records the server holds
// of theirs beyond the 20 000 the ten pairs bring (negative: lost).
void BM_TwentyLaptopsAtOnce(benchmark::State& state) {
    if (!NeedServer(state)) return;
    EnsureApplication("SyncBench");
    TArchive& server = Archive(state.range(0) != 0);
    int failed = 0, extra = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<std::unique_ptr<TLaptop>> laptops;
        for (int k = 0; k < 20; k += 2) {
            laptops.push_back(std::make_unique<TLaptop>());
            auto twin = std::make_unique<TLaptop>(false);
            std::filesystem::copy_file(laptops.back()->Settings.File, twin->Settings.File);
            laptops.push_back(std::move(twin));
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("PGUSER", "kr3090");
        environment.insert("PGPASSFILE", QString::fromStdString(ServerFolder() + "/pgpass"));
        const QString url = QString::fromStdString(
            "postgresql:///" + std::string(state.range(0) ? "kr3090" : "kr3090_small") +
            "?host=" + ServerFolder());
        std::vector<std::unique_ptr<QProcess>> syncs;
        state.ResumeTiming();
        for (const auto& laptop : laptops) {
            syncs.push_back(std::make_unique<QProcess>());
            syncs.back()->setProcessEnvironment(environment);
            syncs.back()->start(
                KR3090_PROGRAM_FILE,
                {"--sync", "--upload-only", QString::fromStdString(laptop->Settings.File), url});
        }
        for (const auto& sync : syncs) {
            sync->waitForFinished(120000);
            failed += sync->exitStatus() != QProcess::NormalExit || sync->exitCode() != 0;
        }
        state.PauseTiming();
        std::set<std::string> theirs;
        for (const auto& laptop : laptops)
            for (const TSite& site : OpenArchive(laptop->Settings)->Sites())
                theirs.insert(site.Uuid);
        int records = 0;
        for (const TSite& site : server.Sites())
            if (theirs.count(site.Uuid)) {
                for (const TCampaignSummary& c : server.Campaigns(site.Id)) records += c.Records;
                server.DeleteSite(site.Id);
            }
        extra += records - 20000;
        state.ResumeTiming();
    }
    state.counters["failed"] = failed;
    state.counters["extra_records"] = extra;
}
BENCHMARK(BM_TwentyLaptopsAtOnce)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);
#endif

// The archive window itself on the server: "档案" read afresh (the site
// list, the selected site's campaigns and its last campaign's records), and
// another site selected in it, each with the window's events handled.
class TQuietPlatform : public TPlatform {
  public:
    void MessageBox(QWidget*, const QString& text, const QString&, TMessageIcon) override {
        std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    }
    bool Confirm(QWidget*, const QString&, const QString&) override { return false; }
    QString SaveFileName(QWidget*, const TFileDialogRequest&) override { return {}; }
    QString OpenFileName(QWidget*, const TFileDialogRequest&) override { return {}; }
    void ShellOpen(QWidget*, const QString&) override {}
    QDateTime Now() override { return QDateTime::currentDateTime(); }
    void ShowError(QWidget* owner, const QString& text) override {
        MessageBox(owner, text, {}, TMessageIcon::Critical);
    }
};

TfrmArchive& WindowOn(bool full) {
    EnsureApplication("SyncBench");
    static TQuietPlatform platform;
    SetPlatform(&platform);
    Archive(full);  // stored
    static QTemporaryDir folder;
    GlobVar.ConfigFileName = folder.filePath("Config.ini");
    GlobVar.DataFolder = folder.path();
    SaveArchiveSettings(GlobVar.ConfigFileName.toStdString(),
                        Server(full ? "kr3090" : "kr3090_small"), GlobVar.DataFolder.toStdString());
    ArchiveAccess().Close();
    static TfrmArchive* window = new TfrmArchive(nullptr);  // kept, as the archives are
    window->show();
    window->Refresh();
    QApplication::processEvents();
    return *window;
}

void BM_WindowRefresh(benchmark::State& state) {
    if (!NeedServer(state)) return;
    TfrmArchive& window = WindowOn(state.range(0) != 0);
    for (auto _ : state) {
        window.Refresh();
        QApplication::processEvents();
    }
    state.counters["sites"] = window.LView_Sites->rowCount();
}
BENCHMARK(BM_WindowRefresh)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_WindowOpenSite(benchmark::State& state) {
    if (!NeedServer(state)) return;
    TfrmArchive& window = WindowOn(state.range(0) != 0);
    const int rows = window.LView_Sites->rowCount();
    int k = 0;
    for (auto _ : state) {
        // Two sites in turn.
        window.LView_Sites->selectRow(rows / 2 - (k++ % 2));
        QApplication::processEvents();
    }
    state.counters["records"] = window.LView_CampRecords->rowCount();
}
BENCHMARK(BM_WindowOpenSite)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
