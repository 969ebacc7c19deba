// What verified TLS costs the operator on a team's server: opening the
// archive (connect, the server's view of the link, the schema check) with
// verify-full against without encryption, and "存入档案" of 100 records over
// verified TLS against into a SQLite file. Needs a server of
// scripts/team-server-test.sh in its bench mode, which takes both kinds of
// link on 127.0.0.1:
//   scripts/team-server-test.sh start /tmp/kr3090-bench bench
//   KR3090_TEAM_SERVER=/tmp/kr3090-bench build/bench/TeamServerBench
//   scripts/team-server-test.sh remove /tmp/kr3090-bench
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <filesystem>

#include "archive/ArchiveSql.h"

namespace {

std::string ServerFolder() {
    return qEnvironmentVariable("KR3090_TEAM_SERVER").toStdString();
}

TArchiveSettings ServerSettings(const char* sslMode) {
    const std::string dir = ServerFolder();
    TArchiveSettings s;
    s.Driver = TArchiveDriver::PostgreSQL;
    QFile tcp(QString::fromStdString(dir + "/tcp"));
    if (tcp.open(QIODevice::ReadOnly)) {
        const QStringList hostPort = QString::fromUtf8(tcp.readAll()).simplified().split(' ');
        s.Host = hostPort.value(0).toStdString();
        s.Port = hostPort.value(1).toInt();
    }
    s.User = "kr3090";
    s.SslMode = sslMode;
    s.RootCert = dir + "/ca.crt";
    qputenv("PGPASSFILE", QByteArray::fromStdString(dir + "/pgpass"));
    return s;
}

std::vector<TArchivedRecord> Upload(int first) {
    std::vector<TArchivedRecord> list(100);
    for (int k = 0; k < 100; ++k) {
        TArchivedRecord& r = list[static_cast<std::size_t>(k)];
        const int n = first + k;
        r.Number = k + 1;
        r.Values = {n % 2 ? 45 : 55,  2.0 + n * 1e-4, 1.25,   30.0 + n % 7, n % 3 == 0,   117,
                    1 + n / 100 % 12, 1 + n % 28,     n % 24, n % 60,       n / 1200 % 60};
    }
    return list;
}

bool NeedServer(benchmark::State& state) {
    if (!ServerFolder().empty()) return true;
    state.SkipWithError("KR3090_TEAM_SERVER names no server (scripts/team-server-test.sh)");
    return false;
}

void BM_OpenArchive(benchmark::State& state, const char* sslMode) {
    if (!NeedServer(state)) return;
    const TArchiveSettings s = ServerSettings(sslMode);
    OpenArchive(s);  // the tables, once
    for (auto _ : state) benchmark::DoNotOptimize(OpenArchive(s));
}
BENCHMARK_CAPTURE(BM_OpenArchive, verify_full, "verify-full")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OpenArchive, no_tls, "disable")->Unit(benchmark::kMillisecond);

// One upload of 100 records into a new campaign, as "存入档案" stores it.
void Store100(benchmark::State& state, const TArchiveSettings& s) {
    auto archive = OpenArchive(s);
    TSite site;
    site.Name = "基准站" + std::to_string(QCoreApplication::applicationPid());
    for (const TSite& existing : archive->Sites())
        if (existing.Name == site.Name) site.Id = existing.Id;
    const std::int64_t siteId = archive->SaveSite(site);
    int first = 0;
    for (auto _ : state) {
        TCampaign c;
        c.SiteId = siteId;
        c.Date = "2025-03-03";
        const std::int64_t campaign = archive->SaveCampaign(c);
        benchmark::DoNotOptimize(archive->Import(campaign, Upload(first += 100)));
    }
    archive->DeleteSite(siteId);
}

void BM_Store100_VerifiedTls(benchmark::State& state) {
    if (NeedServer(state)) Store100(state, ServerSettings("verify-full"));
}
BENCHMARK(BM_Store100_VerifiedTls)->Unit(benchmark::kMillisecond);

void BM_Store100_SQLite(benchmark::State& state) {
    const auto folder = std::filesystem::temp_directory_path() /
                        ("kr3090-team-bench-" + std::to_string(QCoreApplication::applicationPid()));
    std::filesystem::create_directories(folder);
    TArchiveSettings s;
    s.File = (folder / DefaultArchiveFileName).string();
    Store100(state, s);
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_Store100_SQLite)->Unit(benchmark::kMillisecond);

}  // namespace
