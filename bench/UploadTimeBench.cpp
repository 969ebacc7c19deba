// An upload of 100 stored records through the whole program: the window sends
// the request on a pseudo-terminal, a paced writer plays the instrument and
// lets the reply bytes out no faster than a real line at the given baud rate
// (10 bits a byte), and the clock runs from the button press until the window
// has written the 100th block and shows "数据上传完毕！". The same replies
// asked for by "频率分析" run until the analysis window is up with its tables
// and plot filled, and by "存入档案" until the 100 records are stored in a new
// campaign of the archive (the store window's "存入" pressed as soon as it is
// up), so the times come from the same run. The archive is a SQLite file, or
// the test server named by KR3090_ARCHIVE_SERVER (scripts/archive-server-test.sh).
//
//   QT_QPA_PLATFORM=offscreen build/bench/UploadTimeBench
//
// Counters: wire_ms, the time the 26-byte request and the 101 replies need on
// the line; program_ms, the rest (the receive thread's 100 ms poll, the
// hand-over to the window, decoding and the per-line appends); tail_ms, from
// the last reply byte to completion; store_ms, "存入" alone.
//
// BM_ArchiveSiteOfFiftyCampaigns opens the archive window on a site of 50
// campaigns of 100 records each: from the call until the window has painted
// its tables and the trend.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "app/analysis/FreqAnalysisfrm.h"
#include "app/archive/ArchiveAccess.h"
#include "app/archive/ArchiveStorefrm.h"
#include "app/archive/Archivefrm.h"
#include "app/archive/CampaignForm.h"
#include "app/kit/GlobVar.h"
#include "app/kit/OpenWindow.h"
#include "app/kit/Platform.h"
#include "app/main/KR3090frm.h"
#include "settings/Config.h"
#include "link/Trace.h"

namespace {

using TClock = std::chrono::steady_clock;

class TBenchPlatform : public TQtPlatform {
  public:
    void MessageBox(QWidget*, const QString&, const QString&, TMessageIcon) override {}
    QString SaveFileName(QWidget*, const TFileDialogRequest&) override { return Path; }
    void ShellOpen(QWidget*, const QString&) override {}
    QString Path;
};

// The archive of the benchmarks: a SQLite file in folder, or the test server.
void UseBenchArchive(const QTemporaryDir& folder) {
    TArchiveSettings config;
    const QString server = qEnvironmentVariable("KR3090_ARCHIVE_SERVER");
    if (server.isEmpty()) {
        config.File = folder.filePath(QStringLiteral("archive.sqlite")).toStdString();
    } else {
        config.Driver = TArchiveDriver::PostgreSQL;
        config.Host = server.toStdString();
        config.Port = 5432;
    }
    SaveArchiveSettings(GlobVar.ConfigFileName.toStdString(), config,
                        GlobVar.DataFolder.toStdString());
    ArchiveAccess().Close();
}

std::vector<std::uint8_t> Frame(const std::array<std::uint8_t, 20>& payload) {
    std::vector<std::uint8_t> f(26, 0);
    f[0] = 0x24;
    f[1] = 0xA1;
    f[2] = 0xC6;
    f[3] = 0x14;
    unsigned sum = 0xA1 + 0xC6 + 0x14;
    for (std::size_t k = 0; k < payload.size(); ++k) sum += f[4 + k] = payload[k];
    f[24] = std::uint8_t(sum);
    f[25] = 0x2A;
    return f;
}

// Header announcing 100, then 100 records (45 and 55 Hz in turn, 12.5 V, 1.25 A, 30°).
std::vector<std::uint8_t> UploadReplies() {
    std::array<std::uint8_t, 20> header{};
    header[0] = 100;
    std::vector<std::uint8_t> bytes = Frame(header);
    const float u = 12.5f, i = 1.25f, phi = 30.0f;
    for (int k = 0; k < 100; ++k) {
        std::array<std::uint8_t, 20> p{};
        p[0] = k % 2 ? 55 : 45;
        std::memcpy(&p[1], &u, 4);
        std::memcpy(&p[5], &i, 4);
        std::memcpy(&p[9], &phi, 4);
        const std::uint8_t time[] = {17, 2, 16, 12, 30, std::uint8_t(k % 60)};
        std::memcpy(&p[14], time, 6);
        const auto f = Frame(p);
        bytes.insert(bytes.end(), f.begin(), f.end());
    }
    return bytes;
}

// Waits for the 26-byte request, then writes replies at the line's pace.
void PlayInstrument(int master, int baud, const std::vector<std::uint8_t>& replies,
                    TClock::time_point& lastByte) {
    std::uint8_t request[26];
    std::size_t got = 0;
    while (got < sizeof request) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 5000) <= 0) return;
        const ssize_t n = read(master, request + got, sizeof request - got);
        if (n <= 0) return;
        got += std::size_t(n);
    }
    // The reply starts once the request has gone over the line.
    const auto start = TClock::now() + std::chrono::microseconds(26LL * 10 * 1000000 / baud);
    std::size_t sent = 0;
    while (sent < replies.size()) {
        std::this_thread::sleep_until(
            start + std::chrono::microseconds((long long)(sent + 1) * 10 * 1000000 / baud));
        const double elapsed = std::chrono::duration<double>(TClock::now() - start).count();
        std::size_t due = std::min(replies.size(), std::size_t(elapsed * baud / 10));
        if (due <= sent) due = sent + 1;
        const ssize_t n = write(master, replies.data() + sent, due - sent);
        if (n <= 0) return;
        sent += std::size_t(n);
    }
    lastByte = TClock::now();
}

// One press of a History page button per iteration, timed until done() holds.
template <class Press, class Done>
void TimePress(benchmark::State& state, const char* name, Press press, Done done) {
    const int baud = int(state.range(0));
    const std::vector<std::uint8_t> replies = UploadReplies();
    const double wireMs = (26.0 + double(replies.size())) * 10 * 1000 / baud;
    QTemporaryDir folder;
    TBenchPlatform platform;
    SetPlatform(&platform);
    SetTraceSink([](const std::string&) {});
    double totalMs = 0, tailMs = 0;
    int runs = 0;
    for (auto _ : state) {
        int master = -1, slave = -1;
        char device[256] = {};
        openpty(&master, &slave, device, nullptr, nullptr);
        termios t{};
        tcgetattr(master, &t);
        cfmakeraw(&t);
        tcsetattr(master, TCSANOW, &t);

        GlobVar = TGlobVar{};
        auto window = std::make_unique<TfrmKR3090>();
        CommSettings.ComName = device;  // after creation, which loads the settings
        window->Timer_Send->stop();
        window->Timer_Now->stop();
        GlobVar.ConfigFileName = folder.filePath(QStringLiteral("Config.ini"));
        UseBenchArchive(folder);
        window->show();
        GlobVar.Connected = true;
        platform.Path = folder.filePath(QStringLiteral("%1-%2.txt").arg(name).arg(runs));

        TClock::time_point lastByte{};
        std::thread instrument(PlayInstrument, master, baud, std::cref(replies),
                               std::ref(lastByte));
        const auto t0 = TClock::now();
        press(*window);
        while (!done() && TClock::now() - t0 < std::chrono::seconds(20)) {
            QApplication::processEvents(QEventLoop::AllEvents, 1);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        const auto t1 = TClock::now();
        instrument.join();
        const double ms = std::chrono::duration<double, std::milli>(t1 - t0).count();
        state.SetIterationTime(ms / 1000);
        totalMs += ms;
        tailMs += std::chrono::duration<double, std::milli>(t1 - lastByte).count();
        ++runs;
        window.reset();
        close(master);
        close(slave);
    }
    state.counters["wire_ms"] = wireMs;
    state.counters["total_ms"] = totalMs / runs;
    state.counters["program_ms"] = totalMs / runs - wireMs;
    state.counters["tail_ms"] = tailMs / runs;
    SetTraceSink(nullptr);
    SetPlatform(nullptr);
}

void BM_UploadOfHundredRecords(benchmark::State& state) {
    TimePress(
        state, "upload", [](TfrmKR3090& w) { w.BBtn_UpHisClick(); },
        [] { return GlobVar.UploadCount >= 100; });
}
BENCHMARK(BM_UploadOfHundredRecords)
    ->Arg(115200)
    ->Arg(9600)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// From the press of "频率分析" until its window shows the 100 records.
void BM_FreqAnalysisOfHundredRecords(benchmark::State& state) {
    TimePress(
        state, "analysis", [](TfrmKR3090& w) { w.BBtn_FreqAnalysisClick(); },
        [] {
            return frmFreqAnalysis && frmFreqAnalysis->isVisible() &&
                   frmFreqAnalysis->Records().size() == 100;
        });
}
BENCHMARK(BM_FreqAnalysisOfHundredRecords)
    ->Arg(115200)
    ->Arg(9600)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// From the press of "存入档案" until the records are stored: the store window
// comes up when the upload is whole, "存入" is pressed at once for a new site.
void BM_StoreOfHundredRecords(benchmark::State& state) {
    double storeMs = 0;
    int stores = 0;
    TimePress(
        state, "store", [](TfrmKR3090& w) { w.BBtn_StoreClick(); },
        [&] {
            if (!OpenWindow<TfrmArchiveStore>() || !OpenWindow<TfrmArchiveStore>()->isVisible())
                return false;
            OpenWindow<TfrmArchiveStore>()->Form->Edt_SiteName->setText(
                QStringLiteral("站%1").arg(stores));
            const auto t0 = TClock::now();
            OpenWindow<TfrmArchiveStore>()->BBtn_StoreClick();
            storeMs += std::chrono::duration<double, std::milli>(TClock::now() - t0).count();
            ++stores;
            return true;
        });
    state.counters["store_ms"] = storeMs / std::max(stores, 1);
}
BENCHMARK(BM_StoreOfHundredRecords)
    ->Arg(115200)
    ->Arg(9600)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_ArchiveSiteOfFiftyCampaigns(benchmark::State& state) {
    QTemporaryDir folder;
    TBenchPlatform platform;
    SetPlatform(&platform);
    GlobVar = TGlobVar{};
    auto window = std::make_unique<TfrmKR3090>();
    GlobVar.ConfigFileName = folder.filePath(QStringLiteral("Config.ini"));
    UseBenchArchive(folder);
    std::int64_t siteId = 0;
    ArchiveAccess().Call(window.get(), [&](TArchive& a) {
        TSite site;
        site.Name = "五十次测试的场地" + std::to_string(TClock::now().time_since_epoch().count());
        siteId = a.SaveSite(site);
        for (int c = 0; c < 50; ++c) {
            TCampaign campaign;
            campaign.SiteId = siteId;
            campaign.Date = std::to_string(1980 + c) + "-05-12";
            campaign.Limit = 2.5;
            std::vector<TArchivedRecord> records;
            for (int k = 0; k < 100; ++k) {
                TArchivedRecord r;
                r.Number = k + 1;
                r.Values = {k % 2 ? 55 : 45,
                            2.0 + 0.01 * c + 0.001 * k,
                            1.0,
                            30.0,
                            false,
                            c % 100,
                            5,
                            12,
                            9,
                            k / 60,
                            k % 60};
                records.push_back(r);
            }
            a.Import(a.SaveCampaign(campaign), records);
        }
    });
    ShowArchive(window.get());
    for (auto _ : state) {
        const auto t0 = TClock::now();
        OpenWindow<TfrmArchive>()->Refresh(siteId);
        OpenWindow<TfrmArchive>()->repaint();
        state.SetIterationTime(std::chrono::duration<double>(TClock::now() - t0).count());
        if (OpenWindow<TfrmArchive>()->LView_Campaigns->rowCount() != 50)
            state.SkipWithError("not 50 campaigns");
    }
    window.reset();
    SetPlatform(nullptr);
}
BENCHMARK(BM_ArchiveSiteOfFiftyCampaigns)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
