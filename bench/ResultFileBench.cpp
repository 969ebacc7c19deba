// What writing an upload costs the program: 100 record replies turned into
// upload blocks and appended line by line (open, append, close per line).
// Run: build/bench/ResultFileBench (the file goes to /tmp).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <string>

#include "results/ReportBlock.h"
#include "results/ResultFile.h"

namespace {

std::array<std::uint8_t, 26> RecordReply() {
    // 45 Hz, U 12.5 V, I 1.25 A, Φ 30°, Rm off, 2017-02-16 12:30:30.
    return {0x24, 0xA1, 0xC6, 0x14, 45,   0x00, 0x00, 0x48, 0x41, 0x00, 0x00, 0xA0, 0x3F,
            0x00, 0x00, 0xF0, 0x41, 0x00, 17,   2,    16,   12,   30,   30,   0x00, 0x2A};
}

std::string BenchFile() {
    return "/tmp/kr3090-bench-" + std::to_string(getpid()) + ".txt";
}

void BM_UploadBlockText(benchmark::State& state) {
    const auto frame = RecordReply();
    for (auto _ : state) benchmark::DoNotOptimize(UploadBlock(frame.data(), 1));
}
BENCHMARK(BM_UploadBlockText);

void BM_AppendLine(benchmark::State& state) {
    const std::string path = BenchFile();
    for (auto _ : state) benchmark::DoNotOptimize(AppendLine("U ：12.50V ", path));
    unlink(path.c_str());
}
BENCHMARK(BM_AppendLine);

void BM_UploadOfHundredRecordsToFile(benchmark::State& state) {
    const auto frame = RecordReply();
    const std::string path = BenchFile();
    for (auto _ : state) {
        for (int n = 1; n <= 100; ++n) AppendLines(UploadBlock(frame.data(), n).Lines, path);
        state.PauseTiming();
        unlink(path.c_str());
        state.ResumeTiming();
    }
}
BENCHMARK(BM_UploadOfHundredRecordsToFile)->Unit(benchmark::kMillisecond);

}  // namespace
