// The window polling a device that has stopped reading. The window runs
// offscreen on a pseudo-terminal, connects (this program answers the connect
// request), and then nothing reads the line any more: the window's own polls,
// two a second, fill the queue toward the device. Measured from the moment the
// device stops reading: how long until the queue had no room, how long the poll
// that met the full queue held up the window thread, how long later polls did,
// and the longest gaps between two ticks of the window's 300 ms timer and of a
// 50 ms timer of this program; then 20 s more of the hung device.
//
//   build/bench/WriteStallBench                    both rates, about 11 minutes
//   build/bench/WriteStallBench --benchmark_filter=/9600
//
// Counters: fill_s and fill_polls (until the poll that met the full queue),
// gave_up_ms (how long that poll held up the window thread), later_polls with
// later_poll_median_ms and later_poll_max_ms (the polls after it), the longest
// gaps tick50_gap_ms, timer_now_gap_ms, timer_send_gap_ms over the whole hang,
// and queued_bytes (what the queue had taken).
#include <benchmark/benchmark.h>
#include <poll.h>
#include <unistd.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <map>
#include <thread>
#include <vector>

#include "app/kit/GlobVar.h"
#include "app/main/KR3090frm.h"
#include "bench/BenchWindow.h"
#include "settings/Config.h"
#include "link/Trace.h"
#include "protocol/Frame.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

bool HasRoom(int slave) {
    pollfd p{slave, POLLOUT, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & POLLOUT);
}

std::size_t DrainMaster(int master, int quietMs) {
    std::size_t n = 0;
    std::uint8_t buffer[4096];
    for (;;) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, quietMs) <= 0) return n;
        const ssize_t got = read(master, buffer, sizeof buffer);
        if (got <= 0) return n;
        n += static_cast<std::size_t>(got);
    }
}

void PumpFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct TPoll {
    Clock::time_point At;
    double BlockMs;
    bool RoomAfter;
};

void HungDevice(benchmark::State& state) {
    EnsureApplication("WriteStallBench");
    const int baud = static_cast<int>(state.range(0));

    int master = -1, slave = -1;
    std::string path;
    if (!OpenRawPty(master, slave, path)) {
        state.SkipWithError("openpty failed");
        return;
    }

    Clock::time_point sendStarted{};
    bool sent = false;
    SetTraceSink([&](const std::string& line) {
        if (line.rfind("发送", 0) == 0) {  // traced just before the write
            sendStarted = Clock::now();
            sent = true;
        }
    });

    for (auto _ : state) {
        GlobVar = TGlobVar{};
        TfrmKR3090 window;
        CommSettings.ComName = path;
        CommSettings.Baud = baud;
        window.show();
        QApplication::processEvents();
        if (!GlobVar.PortOpen) {
            state.SkipWithError("the port did not open");
            break;
        }
        // Play the instrument for the connect request only.
        window.BitBtn1->click();
        PumpFor(200);
        DrainMaster(master, 50);
        const TRequestFrame reply = BuildRequestFrame(CmdConnect);
        if (write(master, reply.data(), reply.size()) != ssize_t(reply.size())) break;
        for (int i = 0; i < 100 && !GlobVar.Connected; ++i) PumpFor(20);
        if (!GlobVar.Connected) {
            state.SkipWithError("no connection");
            break;
        }
        PumpFor(300);
        DrainMaster(master, 50);

        // From here nothing reads the line.
        const Clock::time_point hung = Clock::now();
        std::vector<TPoll> polls;
        std::map<QTimer*, std::pair<Clock::time_point, double>> gaps;  // last tick, longest gap
        QTimer tick50;
        tick50.setInterval(50);
        std::vector<QMetaObject::Connection> links;
        for (QTimer* timer : {&tick50, window.Timer_Now, window.Timer_Send}) {
            gaps[timer] = {hung, 0.0};
            links.push_back(QObject::connect(timer, &QTimer::timeout, [&gaps, timer] {
                auto& [last, longest] = gaps[timer];
                const auto now = Clock::now();
                longest = std::max(longest, MsBetween(last, now));
                last = now;
            }));
        }
        // Connected after the window's own handler: runs once the poll returned.
        links.push_back(QObject::connect(window.Timer_Send, &QTimer::timeout, [&] {
            if (!sent) return;
            sent = false;
            polls.push_back({sendStarted, MsBetween(sendStarted, Clock::now()), HasRoom(slave)});
        }));
        // The queue is full at the first poll that had to wait for room and
        // gave up. A pseudo-terminal may report no room for a while and then
        // take part of a frame again, so a poll after which it had no room
        // counts only when no poll gives up within 20 s after it.
        auto gaveUp = [&]() -> std::size_t {
            for (std::size_t i = 0; i < polls.size(); ++i)
                if (polls[i].BlockMs > 100) return i;
            return polls.size();
        };
        auto noRoom = [&]() -> std::size_t {
            for (std::size_t i = 0; i < polls.size(); ++i)
                if (!polls[i].RoomAfter) return i;
            return polls.size();
        };
        auto fullAt = [&]() -> std::size_t {
            const std::size_t g = gaveUp(), n = noRoom();
            if (g < polls.size()) return g;
            return n + 40 < polls.size() ? n : polls.size();
        };
        tick50.start();
        const auto limit = hung + std::chrono::minutes(10);
        while (fullAt() == polls.size() && Clock::now() < limit) PumpFor(500);
        const std::size_t full = fullAt();
        const bool filled = full < polls.size();
        if (filled) PumpFor(20000);
        for (const auto& link : links) QObject::disconnect(link);
        tick50.stop();
        if (!filled) {
            state.SkipWithError("the queue did not fill within 10 minutes");
            break;
        }
        std::vector<double> later;
        for (std::size_t i = full + 1; i < polls.size(); ++i) later.push_back(polls[i].BlockMs);
        std::sort(later.begin(), later.end());
        const double fillSeconds = MsBetween(hung, polls[full].At) / 1000;
        state.SetIterationTime(fillSeconds);
        state.counters["fill_s"] = fillSeconds;
        state.counters["fill_polls"] = static_cast<double>(full + 1);
        state.counters["gave_up_ms"] = polls[full].BlockMs;
        state.counters["later_polls"] = static_cast<double>(later.size());
        state.counters["later_poll_median_ms"] = later.empty() ? 0 : later[later.size() / 2];
        state.counters["later_poll_max_ms"] = later.empty() ? 0 : later.back();
        state.counters["tick50_gap_ms"] = gaps[&tick50].second;
        state.counters["timer_now_gap_ms"] = gaps[window.Timer_Now].second;
        state.counters["timer_send_gap_ms"] = gaps[window.Timer_Send].second;
        state.counters["queued_bytes"] = static_cast<double>(DrainMaster(master, 300));
    }
    SetTraceSink(nullptr);
    close(master);
    close(slave);
}

}  // namespace

BENCHMARK(HungDevice)
    ->Arg(9600)
    ->Arg(115200)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
