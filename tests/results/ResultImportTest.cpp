#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>

#include "protocol/RecordValues.h"
#include "results/Gbk.h"
#include "results/ReportBlock.h"
#include "results/ResultCsv.h"
#include "results/ResultFile.h"
#include "results/ResultImport.h"
#include "tests/results/TestBytes.h"

namespace {

class ResultImport : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = MakeTempFolder("kr3090-import");
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override { std::filesystem::remove_all(Utf8Path(dir_)); }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    // The file's bytes put on disk under name, then read back as the archive would.
    TResultFileImport Import(const std::string& name, const std::string& bytes) {
        std::ofstream(Utf8Path(Path(name)), std::ios::binary) << bytes;
        return ReadResultFile(ReadBytes(Path(name)));
    }

    std::string dir_;
};

TRecordValues Values(int hz, double u, double i, double phi, bool rm, std::array<int, 6> t) {
    return {hz, u, i, phi, rm, t[0], t[1], t[2], t[3], t[4], t[5]};
}

// Every field, values with all their digits, so one compare shows any difference.
std::vector<std::string> Describe(const std::vector<TImportedRecord>& records) {
    std::vector<std::string> texts;
    for (const TImportedRecord& r : records) {
        const TRecordValues& v = r.Values;
        char text[256];
        std::snprintf(
            text, sizeof text, "line %d kind %d no %d  %d Hz U %.17g I %.17g Φ %.17g %s %s %s",
            r.Line, int(r.Kind), r.Number.value_or(-1), v.Frequency, v.U, v.I, v.Phi,
            v.RmOn ? "on" : "off", RecordTestTime(v).c_str(), r.Exact ? "exact" : "shown");
        texts.push_back(text);
    }
    return texts;
}

std::vector<std::string> Describe(const std::vector<TImportNote>& notes) {
    std::vector<std::string> texts;
    for (const TImportNote& note : notes) texts.push_back(ImportNoteText(note));
    return texts;
}

void AppendUpload(const std::vector<std::uint8_t>& frame, int n, const std::string& path) {
    AppendLines(UploadBlock(frame.data(), n).Lines, path);
}

const TLiveReadings kLive{"U ：12.50V ", "I ：1.250A", "Φ：30.00°",
                          "Z ：10.000Ω", "R ：8.660Ω", "X ：4.999Ω"};

}  // namespace

TEST_F(ResultImport, TextBlocksOfEveryKindReadBackAsShown) {
    const std::string path = Path("mixed.txt");
    const double inf = std::numeric_limits<double>::infinity();
    // Lines 1-15: a live block whose voltage was over range.
    TLiveReadings over = kLive;
    over.Volt = "U ：over   ";
    AppendLines(LiveBlock(over, 5, 1, {2025, 3, 3, 20, 33, 40}), path);
    // Lines 16-31: the Comp page's record.
    AppendLines(RecordViewBlock({"第005条", "U ：2.411V ", "I ：1.232A", "Φ：27.46°", "Z ：1.955Ω",
                                 "R ：1.735Ω", "X ：901.9mΩ", "f ：45.00Hz", "Rm：ON",
                                 "测试时间：2017.02.16 12:30:30"}),
                path);
    // An upload: I = 0, millivolts, year byte 117, a NaN that cuts block 003
    // (lines 64-68), an infinite U, and a NaN cutting the last block at the end.
    const std::vector<std::uint8_t> time{17, 2, 16, 12, 30, 30};
    AppendUpload(RecordFrame(45, k12_5, k1_25, k30, 0, time), 1, path);
    AppendUpload(RecordFrame(50, k0_5, kZero, kMinus30, 1, {117, 12, 31, 23, 59, 59}), 2, path);
    AppendUpload(RecordFrame(55, k12_5, kNaN, k30, 0, time), 3, path);
    AppendUpload(RecordFrame(255, kInfinity, k1_25, k30, 0, {5, 1, 2, 3, 4, 5}), 4, path);
    AppendUpload(RecordFrame(45, kNaN, k1_25, k30, 0, time), 5, path);

    const TResultFileImport file = ReadResultFile(ReadBytes(path));
    ASSERT_FALSE(file.Refusal) << ImportNoteText(*file.Refusal);
    const std::array<int, 6> t{17, 2, 16, 12, 30, 30};
    EXPECT_EQ(
        Describe(file.Records),
        Describe({
            TImportedRecord{TResultKind::Live, std::nullopt,
                            Values(45, inf, 1.25, 30, true, {25, 3, 3, 20, 33, 40}), false, 1},
            TImportedRecord{TResultKind::Record, 5, Values(45, 2.411, 1.232, 27.46, true, t), false,
                            16},
            TImportedRecord{TResultKind::Upload, 1, Values(45, 12.5, 1.25, 30, false, t), false,
                            32},
            TImportedRecord{TResultKind::Upload, 2,
                            Values(50, 0.5, 0, 30, true, {117, 12, 31, 23, 59, 59}), false, 48},
            TImportedRecord{TResultKind::Upload, 4,
                            Values(255, inf, 1.25, 30, false, {5, 1, 2, 3, 4, 5}), false, 69},
        }));
    EXPECT_EQ(Describe(file.Skipped),
              (std::vector<std::string>{
                  "第64行：上传结果003在此中断：仪器送来的数值不是数，这条结果没有导入",
                  "第85行：上传结果005在此中断：仪器送来的数值不是数，这条结果没有导入"}));
}

TEST_F(ResultImport, RowsReadBackToTheSinglesTheyWereWrittenFrom) {
    const std::string path = Path("rows.csv");
    const auto row = [&](const char* kind, int n, const std::vector<std::uint8_t>& frame) {
        TResultRow r = RecordRow(kind, n, DecodeRecordValues(frame.data()));
        r.RmOn = kind == std::string("记录");
        AppendCsvRow(CsvRow(r), path);
        return DecodeRecordValues(frame.data());
    };
    const std::vector<std::uint8_t> time{17, 2, 16, 12, 30, 30};
    const TRecordValues plain = row("上传", 1, RecordFrame(45, k12_5, k1_25, k30, 0, time));
    // 0.1, 999.9 and 1e-7 as singles, year byte 117.
    const TRecordValues odd = row(
        "上传", 2,
        RecordFrame(50, "cd cc cc 3d", "9a f9 79 44", "95 bf d6 33", 0, {117, 12, 31, 23, 59, 59}));
    const TRecordValues noCurrent = row("上传", 3, RecordFrame(55, k12_5, kZero, k30, 0, time));
    const TRecordValues nan = row("上传", 4, RecordFrame(60, kNaN, k1_25, k30, 0, time));
    TRecordValues comp = row("记录", 7, RecordFrame(70, k0_5, k1_25, kMinus30, 1, time));
    comp.RmOn = true;
    TResultRow live;
    live.Kind = "实时";
    live.TestTime = "2025-03-03 20:31:02";
    live.Frequency = 50;
    live.Reading = TResultRow::TReading{2.5, 1.25, 30};
    live.DataMode = 1;
    AppendCsvRow(CsvRow(live), path);
    live.Reading.reset();  // saved before the first reading
    AppendCsvRow(CsvRow(live), path);

    const TResultFileImport file = ReadResultFile(ReadBytes(path));
    ASSERT_FALSE(file.Refusal) << ImportNoteText(*file.Refusal);
    EXPECT_EQ(Describe(file.Records),
              Describe({
                  TImportedRecord{TResultKind::Upload, 1, plain, true, 2},
                  TImportedRecord{TResultKind::Upload, 2, odd, true, 3},
                  TImportedRecord{TResultKind::Upload, 3, noCurrent, true, 4},
                  TImportedRecord{TResultKind::Upload, 4, nan, false, 5},
                  TImportedRecord{TResultKind::Record, 7, comp, true, 6},
                  TImportedRecord{TResultKind::Live,
                                  {},
                                  Values(50, 2.5, 1.25, 30, false, {25, 3, 3, 20, 31, 2}),
                                  true,
                                  7},
              }));
    EXPECT_EQ(Describe(file.Skipped),
              (std::vector<std::string>{"第8行：这一行没有读数（保存时还没有读到），没有导入"}));
}

TEST_F(ResultImport, FilesTheProgramDidNotWriteOrThatAreDamagedAreRefusedWhole) {
    const std::string path = Path("good.txt");
    AppendUpload(RecordFrame(45, k12_5, k1_25, k30, 0, {17, 2, 16, 12, 30, 30}), 1, path);
    AppendLines(LiveBlock(kLive, 5, 0, {2025, 3, 3, 20, 33, 40}), path);
    const std::string good = ReadBytes(path);  // upload block lines 1-16, live block 17-31
    const auto lineAt = [&](int line) {
        std::size_t at = 0;
        for (int k = 1; k < line; ++k) at = good.find("\r\n", at) + 2;
        return at;
    };
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string bytes = good;
        return bytes.replace(bytes.find(from), from.size(), to);
    };
    std::string lf;
    for (char c : good)
        if (c != '\r') lf += c;
    AppendCsvRow(
        CsvRow(RecordRow("上传", 1, Values(45, 12.5, 1.25, 30, false, {17, 2, 16, 12, 30, 30}))),
        Path("good.csv"));
    const std::string csv = ReadBytes(Path("good.csv"));
    std::string damagedCsv = csv;
    damagedCsv.replace(damagedCsv.find(",12.5,"), 6, ",12.50,");
    std::string notGbk = good;
    notGbk[lineAt(17) + 1] = '\xff';  // the title's first character

    const std::vector<std::pair<std::string, std::string>> cases{
        {ToGbk("测试报告\r\n"), "第1行：不是本程序写的结果文件"},
        {ToGbk("编号,电压\r\n1,2.5\r\n"), "第1行：不是本程序写的结果文件"},
        {std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "第1行：不是本程序写的结果文件"},
        {"", "文件是空的，其中没有结果"},
        {"\r\n\r\n", "文件中没有结果"},
        {ToGbk("频率分析,工频f0(Hz),50,|Z|离散度容差(%),5\r\n"),
         "第1行：这是频率分析导出的表格，其中没有Rm，不能导入；请导入保存或上传的结果文件"},
        {lf, "第1行：行尾不是回车换行（CR LF）"},
        {good.substr(0, lineAt(24)), "第24行：文件在结果块中间结束，缺少电阻分量R一行"},
        {good.substr(0, lineAt(20) + 3), "第20行：文件在这一行中间结束（没有行尾）"},
        {replaced("12.50V ", "12.5OV "), "第5行：读不出电压U"},
        {good.substr(0, lineAt(24)) + good.substr(lineAt(25)), "第24行：读不出电阻分量R"},
        {notGbk, "第17行：不是GBK编码的文字（本程序的结果文件都是GBK）"},
        {good + ToGbk("U ：12.50V \r\n"), "第32行：不是本程序写的结果文件"},
        // A lone cut upload block: nothing to import.
        {good.substr(0, lineAt(5)),
         "第1行：上传结果001在此中断：仪器送来的数值不是数，这条结果没有导入"},
        {damagedCsv, "第2行：读不出电压U(V)"},
        {csv + ToGbk("上传,2,2017-02-16 12:30:30,45\r\n"), "第3行：应有12列，这一行有4列"},
        {csv + ToGbk("实时,3,2025-03-03 "
                     "20:31:02,50,2.5,1.25,30,2,1.7320508075688772,1,断开,平均值\r\n"),
         "第3行：读不出编号"},
        {csv + ToGbk("上传,2,2017-02-16 12:30:30,45,12.5,1.25,30,10,8.66,5,断开,\r\n"),
         "第3行：读不出电阻分量R(Ω)"},
    };
    int n = 0;
    for (const auto& [bytes, reason] : cases) {
        SCOPED_TRACE(reason);
        const TResultFileImport file = Import("case" + std::to_string(++n), bytes);
        ASSERT_TRUE(file.Refusal);
        EXPECT_EQ(ImportNoteText(*file.Refusal), reason);
        EXPECT_TRUE(file.Records.empty());
        EXPECT_TRUE(file.Skipped.empty());
    }
    // The good files themselves go through.
    EXPECT_EQ(Import("good.txt", good).Records.size(), 2u);
    EXPECT_EQ(Import("good.csv", csv).Records.size(), 1u);
}
