// Throughput of the receive path on a stream of frames mixed with noise, cut
// into chunks of random size, and the heap allocations it makes per frame.
// "xLineRate" compares the bytes per second with the 11 520 bytes/s that a
// 115200-baud line can deliver at most.
//
//   build/bench/CommReceiveBench

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <random>
#include <vector>

#include "link/Trace.h"
#include "protocol/Frame.h"
#include "protocol/Receive.h"

// Every heap allocation of the process is counted.
static std::atomic<long long> allocations{0};

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

constexpr double LineRate115200 = 11520.0;  // bytes per second

struct TStream {
    std::vector<std::uint8_t> Bytes;
    std::vector<std::size_t> Chunks;  // sizes, summing to Bytes.size()
    long long Frames = 0;
};

// Mostly 26-byte replies like the live reading, some longer ones; up to 20
// bytes of noise (never a start byte) between frames; chunks of 1..1200 bytes,
// about what 100 ms at 115200 baud can bring.
const TStream& Stream() {
    static const TStream stream = [] {
        TStream s;
        std::mt19937 random(3090);
        auto draw = [&](int lo, int hi) {
            return std::uniform_int_distribution<int>(lo, hi)(random);
        };
        while (s.Bytes.size() < (1u << 20)) {
            for (int n = draw(0, 20); n > 0; --n) {
                std::uint8_t b;
                do b = static_cast<std::uint8_t>(draw(0, 255));
                while (b == FrameStartByte);
                s.Bytes.push_back(b);
            }
            const int length = draw(0, 9) == 0 ? draw(0, 255) : 20;
            const std::size_t start = s.Bytes.size();
            s.Bytes.insert(s.Bytes.end(), {FrameStartByte, DeviceByte, CmdControl,
                                           static_cast<std::uint8_t>(length)});
            for (int j = 0; j < length; ++j)
                s.Bytes.push_back(static_cast<std::uint8_t>(draw(0, 255)));
            s.Bytes.push_back(FrameChecksum(s.Bytes.data() + start, length + 6));
            s.Bytes.push_back(FrameEndByte);
            ++s.Frames;
        }
        for (std::size_t at = 0; at < s.Bytes.size();) {
            const std::size_t size = std::min<std::size_t>(s.Bytes.size() - at, draw(1, 1200));
            s.Chunks.push_back(size);
            at += size;
        }
        return s;
    }();
    return stream;
}

void Report(benchmark::State& state, long long frames, long long allocs) {
    const TStream& s = Stream();
    const double bytes = static_cast<double>(state.iterations()) * s.Bytes.size();
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
    state.counters["xLineRate"] =
        benchmark::Counter(bytes / LineRate115200, benchmark::Counter::kIsRate);
    state.counters["allocs/frame"] = frames ? static_cast<double>(allocs) / frames : 0.0;
}

void BM_FrameAssembler(benchmark::State& state) {
    const TStream& s = Stream();
    static TFrameAssembler assembler;
    long long frames = 0;
    const long long before = allocations.load();
    for (auto _ : state) {
        const std::uint8_t* at = s.Bytes.data();
        for (std::size_t size : s.Chunks) {
            assembler.Receive(at, static_cast<std::uint32_t>(size),
                              [&](const std::uint8_t* f, std::int32_t) {
                                  benchmark::DoNotOptimize(f);
                                  ++frames;
                              });
            at += size;
        }
    }
    Report(state, frames, allocations.load() - before);
}
BENCHMARK(BM_FrameAssembler)->Unit(benchmark::kMillisecond);

// The whole receive callback: trace line, assembly and the hand-over, with a
// trace sink that drops the line and a window that runs each frame at once.
void BM_CommReceive(benchmark::State& state) {
    const TStream& s = Stream();
    SetTraceSink([](const std::string& line) { benchmark::DoNotOptimize(line.data()); });
    long long frames = 0;
    SetFrameTarget([](std::function<void()> call) { call(); }, [&frames] { ++frames; });
    RxLength = 0;
    // One pass first: the thread's trace buffer grows to its final size.
    const std::uint8_t* warm = s.Bytes.data();
    for (std::size_t size : s.Chunks) {
        CommReceive(warm, static_cast<std::uint32_t>(size));
        warm += size;
    }
    frames = 0;
    const long long before = allocations.load();
    for (auto _ : state) {
        const std::uint8_t* at = s.Bytes.data();
        for (std::size_t size : s.Chunks) {
            CommReceive(at, static_cast<std::uint32_t>(size));
            at += size;
        }
    }
    Report(state, frames, allocations.load() - before);
    ClearFrameTarget();
    SetTraceSink(nullptr);
}
BENCHMARK(BM_CommReceive)->Unit(benchmark::kMillisecond);

}  // namespace
