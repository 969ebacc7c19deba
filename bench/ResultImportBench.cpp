// What reading result files back for the archive costs: 10 000 records,
// written first with the program's own writers as an upload would write them
// (text blocks, and spreadsheet rows), then read from the file's bytes. The
// file read itself is timed on its own, for the share the parsing adds.
// Run: build/bench/ResultImportBench (the files go to /tmp).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "protocol/RecordValues.h"
#include "results/ReportBlock.h"
#include "results/ResultCsv.h"
#include "results/ResultFile.h"
#include "results/ResultImport.h"

namespace {

constexpr int kRecords = 10000;

// Record reply k: frequencies 40 to 70 Hz, readings that change from record to record.
std::array<std::uint8_t, 26> RecordReply(int k) {
    std::array<std::uint8_t, 26> f{0x24, 0xA1, 0xC6, 0x14};
    f[4] = static_cast<std::uint8_t>(40 + k % 31);
    const float values[] = {0.5f + 0.37f * static_cast<float>(k % 97), 1.25f + 0.01f * (k % 13),
                            27.46f + 0.1f * (k % 7)};
    std::memcpy(&f[5], values, sizeof values);  // little-endian, as the instrument sends them
    const std::uint8_t time[] = {25, 3, 3, 20, 33, 40};
    f[17] = k % 2;
    std::memcpy(&f[18], time, sizeof time);
    f[25] = 0x2A;
    return f;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Written once per run: the text file takes 160 000 single-line appends.
const std::string& FileOf(bool csv) {
    static const auto make = [](bool rows) {
        const std::string path =
            "/tmp/kr3090-import-bench-" + std::to_string(getpid()) + (rows ? ".csv" : ".txt");
        for (int k = 1; k <= kRecords; ++k) {
            const auto frame = RecordReply(k);
            if (rows)
                AppendCsvRow(CsvRow(RecordRow("上传", k, DecodeRecordValues(frame.data()))), path);
            else
                AppendLines(UploadBlock(frame.data(), k).Lines, path);
        }
        std::string bytes = ReadFile(path);
        unlink(path.c_str());
        return bytes;
    };
    static const std::string rows = make(true), blocks = make(false);
    return csv ? rows : blocks;
}

void ReadBack(benchmark::State& state, bool csv) {
    const std::string& bytes = FileOf(csv);
    for (auto _ : state) {
        const TResultFileImport file = ReadResultFile(bytes);
        if (file.Records.size() != kRecords) state.SkipWithError("records lost");
        benchmark::DoNotOptimize(file);
    }
    state.counters["bytes"] = static_cast<double>(bytes.size());
    state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_ImportTenThousandRows(benchmark::State& state) {
    ReadBack(state, true);
}
BENCHMARK(BM_ImportTenThousandRows)->Unit(benchmark::kMillisecond);

void BM_ImportTenThousandTextBlocks(benchmark::State& state) {
    ReadBack(state, false);
}
BENCHMARK(BM_ImportTenThousandTextBlocks)->Unit(benchmark::kMillisecond);

// Reading the text file from disk (page cache), without parsing.
void BM_ReadTextFileBytes(benchmark::State& state) {
    const std::string path = "/tmp/kr3090-import-bench-read-" + std::to_string(getpid());
    std::ofstream(path, std::ios::binary) << FileOf(false);
    for (auto _ : state) benchmark::DoNotOptimize(ReadFile(path));
    unlink(path.c_str());
}
BENCHMARK(BM_ReadTextFileBytes)->Unit(benchmark::kMillisecond);

}  // namespace
