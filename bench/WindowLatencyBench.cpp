// Delay from the last byte of a live reply on the line to the reading label
// showing it: the receive thread's 100 ms poll, the hand-over to the window
// thread, decoding and the label update. The window runs offscreen on a
// pseudo-terminal; each iteration writes one 0xDD reply with a new voltage and
// waits, processing events, until Lbl_Volt changes.
//
//   build/bench/WindowLatencyBench
// reports the mean per reply and the median and worst (ms) over 100 replies.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "app/kit/GlobVar.h"
#include "app/main/KR3090frm.h"
#include "bench/BenchWindow.h"
#include "settings/Config.h"
#include "link/Trace.h"
#include "protocol/Frame.h"

namespace {

std::vector<std::uint8_t> LiveReply(float u) {
    std::vector<std::uint8_t> f(26, 0);
    f[0] = 0x24;
    f[1] = 0xA1;
    f[2] = 0xDD;
    f[3] = 0x14;
    f[4] = 50;
    std::memcpy(&f[5], &u, 4);
    const float i = 1.25f, phi = 30;
    std::memcpy(&f[9], &i, 4);
    std::memcpy(&f[13], &phi, 4);
    f[18] = 1;
    f[24] = FrameChecksum(f.data(), 26);
    f[25] = 0x2A;
    return f;
}

void LiveReplyToLabels(benchmark::State& state) {
    EnsureApplication("WindowLatencyBench");
    SetTraceSink([](const std::string&) {});

    int master = -1, slave = -1;
    std::string path;
    if (!OpenRawPty(master, slave, path)) {
        state.SkipWithError("openpty failed");
        return;
    }

    std::vector<double> delays;
    {
        GlobVar = TGlobVar{};
        TfrmKR3090 window;
        window.Timer_Send->stop();
        CommSettings.ComName = path;
        window.show();
        QApplication::processEvents();
        int n = 0;
        for (auto _ : state) {
            ++n;
            // Start at varying phases of the receive thread's 100 ms poll.
            const auto pause =
                std::chrono::steady_clock::now() + std::chrono::milliseconds(n * 37 % 100);
            while (std::chrono::steady_clock::now() < pause) QApplication::processEvents();
            const QString before = window.Lbl_Volt->text();
            const std::vector<std::uint8_t> frame = LiveReply(1.0f + 0.01f * float(n));
            const auto t0 = std::chrono::steady_clock::now();
            if (::write(master, frame.data(), frame.size()) != ssize_t(frame.size())) break;
            while (window.Lbl_Volt->text() == before) QApplication::processEvents();
            const std::chrono::duration<double> d = std::chrono::steady_clock::now() - t0;
            state.SetIterationTime(d.count());
            delays.push_back(d.count() * 1000);
        }
    }
    close(master);
    close(slave);
    SetTraceSink(nullptr);
    std::sort(delays.begin(), delays.end());
    if (!delays.empty()) {
        state.counters["median_ms"] = delays[delays.size() / 2];
        state.counters["worst_ms"] = delays.back();
    }
}

}  // namespace

BENCHMARK(LiveReplyToLabels)->Iterations(100)->UseManualTime()->Unit(benchmark::kMillisecond);
