// kr3090_stress: the window, for real, on a device served by kr3090-sim, for a
// long run: it connects, starts a test, keeps polling and goes to the History
// page and back in a loop, while the instrument sends readings unasked and
// the line is faulty. It prints what scripts/stress.sh checks:
//
//   rss <seconds> <kB>            resident memory, every --sample seconds
//   handled <total> live <0xDD> directory <0xC3> other <n>
//   received-chunks <n> received-bytes <n>
//   rss-start <kB> rss-end <kB>
//   boxes <n>                     message boxes shown (each also printed)
//
// Usage: kr3090_stress --device PATH [--seconds 600] [--history-ms 1500]
//                      [--sample 10]
// Exit status 0 after a clean run, 1 when it could not connect, 2 on bad use.
#include <sys/resource.h>

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "FaultPoster.h"
#include "app/kit/GlobVar.h"
#include "app/main/KR3090frm.h"
#include "app/kit/Platform.h"
#include "settings/Config.h"
#include "link/Trace.h"
#include "protocol/Receive.h"

namespace {

// Boxes are counted and printed instead of waiting for a person.
class TStressPlatform : public TQtPlatform {
  public:
    void MessageBox(QWidget*, const QString& text, const QString&, TMessageIcon) override {
        ++Boxes;
        std::printf("box %s\n", text.toUtf8().constData());
        std::fflush(stdout);
    }
    bool Confirm(QWidget*, const QString&, const QString&) override { return false; }
    QString SaveFileName(QWidget*, const TFileDialogRequest&) override { return {}; }
    QString OpenFileName(QWidget*, const TFileDialogRequest&) override { return {}; }
    void ShellOpen(QWidget*, const QString&) override {}
    void ShowError(QWidget*, const QString& text) override { MessageBox(nullptr, text, {}, {}); }
    int Boxes = 0;
};

long ResidentKb() {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

std::atomic<long> receivedChunks{0};
std::atomic<long> receivedBytes{0};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    std::string device;
    int seconds = 600, historyMs = 1500, sample = 10;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const char* value = argv[i + 1];
        if (name == "--device")
            device = value;
        else if (name == "--seconds")
            seconds = std::atoi(value);
        else if (name == "--history-ms")
            historyMs = std::atoi(value);
        else if (name == "--sample")
            sample = std::atoi(value);
        else
            device.clear(), seconds = -1;
    }
    if (device.empty() || seconds <= 0 || historyMs <= 0 || sample <= 0) {
        std::fprintf(stderr,
                     "usage: kr3090_stress --device PATH [--seconds N] "
                     "[--history-ms N] [--sample N]\n");
        return 2;
    }

    TStressPlatform platform;
    SetPlatform(&platform);
    // "收到" + a space + three characters a byte, less the last space.
    SetTraceSink([](const std::string& line) {
        if (line.rfind("收到 ", 0) != 0) return;
        ++receivedChunks;
        receivedBytes += long(line.size() - std::strlen("收到 ") + 1) / 3;
    });
    QTemporaryDir folder;
    TfrmKR3090 window;
    GlobVar.ConfigFileName = folder.filePath(QStringLiteral("Config.ini"));
    CommSettings.ComName = device;
    window.show();
    if (!GlobVar.PortOpen) {
        std::fprintf(stderr, "kr3090_stress: cannot open %s\n", device.c_str());
        return 1;
    }

    // Every frame handed to the window, by type, on the window's own hand-over.
    std::array<long, 256> handled{};
    TFramePoster poster;
    SetFrameTarget([&poster](std::function<void()> fn) { poster.Post(std::move(fn)); },
                   [&] {
                       ++handled[FrameBuffer[2]];
                       window.WMCommFrame();
                   });

    // Connect (a dropped reply means pressing again), then start a test.
    for (int i = 0; i < 20 && !GlobVar.Connected; ++i) {
        window.BitBtn1->click();
        QTimer wait;
        wait.setSingleShot(true);
        wait.start(2000);
        while (wait.isActive() && !GlobVar.Connected)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    if (!GlobVar.Connected) {
        std::fprintf(stderr, "kr3090_stress: the instrument does not answer\n");
        return 1;
    }
    window.BBtn_Start->click();

    long rssStart = -1, rssEnd = -1;
    int elapsed = 0;
    QTimer sampler;
    sampler.setInterval(sample * 1000);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        elapsed += sample;
        rssEnd = ResidentKb();
        // The first minute settles caches and fonts; growth counts from there.
        if (rssStart < 0 && elapsed >= std::min(60, seconds / 2)) rssStart = rssEnd;
        std::printf("rss %d %ld\n", elapsed, rssEnd);
        std::fflush(stdout);
    });
    std::printf("rss 0 %ld\n", ResidentKb());

    // The History page and back, again and again.
    QTimer history;
    history.setInterval(historyMs);
    QObject::connect(&history, &QTimer::timeout, [&] {
        if (window.ActivePageName() == QStringLiteral("History"))
            window.BBtn_RetClick();
        else
            window.BBtn_HisClick();
    });

    QTimer end;
    end.setSingleShot(true);
    QObject::connect(&end, &QTimer::timeout, [&] {
        history.stop();
        sampler.stop();
        if (window.ActivePageName() != QStringLiteral("Ctrl")) window.BBtn_RetClick();
        // Leaving remote mode stops the unasked readings; the line goes quiet.
        if (GlobVar.Connected) window.BitBtn1Click();
        window.Timer_Send->stop();
        // exit, not quit: quit would close the window, whose goodbye to the
        // instrument gets a reply after the count below.
        QTimer::singleShot(3000, &app, [] { QApplication::exit(0); });
    });
    sampler.start();
    history.start();
    end.start(seconds * 1000);
    app.exec();

    long total = 0;
    for (long n : handled) total += n;
    const long known = handled[0xAA] + handled[0xBB] + handled[0xC1] + handled[0xC2] +
                       handled[0xC3] + handled[0xC4] + handled[0xC5] + handled[0xC6] +
                       handled[0xC7] + handled[0xDD];
    std::printf("handled %ld live %ld directory %ld other %ld\n", total, handled[0xDD],
                handled[0xC3], total - known);
    std::printf("received-chunks %ld received-bytes %ld\n", receivedChunks.load(),
                receivedBytes.load());
    std::printf("rss-start %ld rss-end %ld\n", rssStart, ResidentKb());
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("cpu-seconds %.1f\n",
                double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                    double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6);
    std::printf("boxes %d\n", platform.Boxes);
    std::fflush(stdout);
    SetTraceSink(nullptr);
    return 0;
}
