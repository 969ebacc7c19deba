#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <vector>

#include "protocol/RecordValues.h"
#include "results/ReportBlock.h"
#include "results/ResultCsv.h"
#include "results/ResultFile.h"
#include "tests/results/TestBytes.h"

namespace {

// GBK lines of result files, from iconv.
const std::string kTitle = Hex("20 b4f3 b5d8 cdf8 bdd3 b5d8 b2ce cafd b2e2 cad4 cafd bedd");
const std::string kSeparator(24, '=');

class ReportFile : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = MakeTempFolder("kr3090-blocks");
        ASSERT_FALSE(dir_.empty());
        path_ = dir_ + "/result.txt";
    }
    void TearDown() override { std::filesystem::remove_all(Utf8Path(dir_)); }

    std::string dir_, path_;
};

}  // namespace

TEST_F(ReportFile, LiveBlockIsFifteenGbkLinesWithTheSelectorsAndTheClock) {
    const TLiveReadings readings{"U ：over   ", "I ：1.250A", "Φ：30.00°",
                                 "Z ：10.000Ω", "R ：8.660Ω", "X ：4.999Ω"};
    const TReportLines block = LiveBlock(readings, 5, 1, {2017, 2, 16, 12, 30, 30});
    ASSERT_EQ(block.size(), 15u);
    EXPECT_EQ(AppendLines(block, path_), 0);
    EXPECT_EQ(ReadBytes(path_), FileOf({
                                    kTitle,
                                    kSeparator,
                                    "",
                                    Hex("5520a3ba6f766572202020"),  // U ：over + 3 blanks
                                    Hex("4920a3ba312e32353041"),
                                    Hex("a6b5a3ba33302e3030a1e3"),
                                    Hex("5a20a3ba31302e303030a6b8"),
                                    Hex("5220a3ba382e363630a6b8"),
                                    Hex("5820a3ba342e393939a6b8"),
                                    Hex("6620a3ba34352e3030487a"),  // f ：45.00Hz
                                    "Rm: ON",
                                    Hex("44617465a3ba 323031372d30322d3136 2031323a33303a3330"),
                                    "",
                                    "",
                                    "",
                                }));
}

TEST(ReportBlock, LiveBlockTakesTheSelectedEntriesAndPadsTheClockFields) {
    const TLiveReadings readings{"U ：0.000mV", "I ：0.000A",  "Φ：0.00°",
                                 "Z ：0.000mΩ", "R ：0.000mΩ", "X ：0.000mΩ"};
    const TReportLines off = LiveBlock(readings, 30, 0, {2009, 1, 2, 3, 4, 5});
    EXPECT_EQ(off[9], "f ：70.00Hz");
    EXPECT_EQ(off[10], "Rm: OFF");
    EXPECT_EQ(off[11], "Date：2009-01-02 03:04:05");
    // Nothing selected in either box: the frequency follows the index rule, Rm reads off.
    const TReportLines none = LiveBlock(readings, -1, -1, {812, 12, 31, 23, 59, 59});
    EXPECT_EQ(none[9], "f ：39.00Hz");
    EXPECT_EQ(none[10], "Rm: OFF");
    EXPECT_EQ(none[11], "Date：0812-12-31 23:59:59");
}

TEST_F(ReportFile, TwoSavesOfTheLiveBlockAppendThirtyLines) {
    const TLiveReadings readings{"U ：12.50V ", "I ：1.250A", "Φ：30.00°",
                                 "Z ：10.000Ω", "R ：8.660Ω", "X ：4.999Ω"};
    const TReportLines first = LiveBlock(readings, 5, 0, {2017, 2, 16, 12, 30, 30});
    const TReportLines second = LiveBlock(readings, 5, 0, {2017, 2, 16, 12, 31, 0});
    EXPECT_EQ(AppendLines(first, path_), 0);
    EXPECT_EQ(AppendLines(second, path_), 0);
    const std::string bytes = ReadBytes(path_);
    std::size_t crlf = 0;
    for (std::size_t at = 0; (at = bytes.find("\r\n", at)) != std::string::npos; at += 2) ++crlf;
    EXPECT_EQ(crlf, 30u);
    const std::string one = Hex("44617465a3ba 323031372d30322d3136 2031323a33303a3330");
    const std::string two = Hex("44617465a3ba 323031372d30322d3136 2031323a33313a3030");
    EXPECT_EQ(bytes.substr(0, bytes.size() / 2).find(one) != std::string::npos, true);
    EXPECT_EQ(bytes.substr(bytes.size() / 2).find(two) != std::string::npos, true);
    EXPECT_EQ(bytes.substr(bytes.size() / 2, kTitle.size()), kTitle);
}

TEST_F(ReportFile, RecordViewBlockCopiesTheCompCaptionsUnderTheRecordLabel) {
    const TRecordViewCaptions captions{
        "第100条",     "U ：500.0mV", "I ：0.000A",  "Φ：0.000°", "Z ：0.000mΩ",
        "R ：0.000mΩ", "X ：0.000mΩ", "f ：70.00Hz", "Rm：ON",    "测试时间：2017.02.16 12:30:30"};
    const TReportLines block = RecordViewBlock(captions);
    ASSERT_EQ(block.size(), 16u);
    EXPECT_EQ(AppendLines(block, path_), 0);
    EXPECT_EQ(ReadBytes(path_),
              FileOf({
                  Hex("b5da313030ccf5"),  // 第100条
                  kTitle,
                  kSeparator,
                  "",
                  Hex("5520a3ba3530302e306d56"),
                  Hex("4920a3ba302e30303041"),
                  Hex("a6b5a3ba302e303030a1e3"),
                  Hex("5a20a3ba302e3030306da6b8"),
                  Hex("5220a3ba302e3030306da6b8"),
                  Hex("5820a3ba302e3030306da6b8"),
                  Hex("6620a3ba37302e3030487a"),
                  Hex("526da3ba4f4e"),  // Rm：ON, full-width colon, no blank
                  Hex("b2e2cad4cab1bce4a3ba 323031372e30322e3136 2031323a33303a3330"),
                  "",
                  "",
                  "",
              }));
}

TEST_F(ReportFile, UploadBlockIsDecodedFromTheRecordReply) {
    const auto frame = RecordFrame(45, k12_5, k1_25, k30, 0, {17, 2, 16, 12, 30, 30});
    const TUploadBlock block = UploadBlock(frame.data(), 1);
    EXPECT_TRUE(block.Complete);
    ASSERT_EQ(block.Lines.size(), 16u);
    EXPECT_EQ(AppendLines(block.Lines, path_), 0);
    EXPECT_EQ(ReadBytes(path_), FileOf({
                                    "001",
                                    kTitle,
                                    kSeparator,
                                    "",
                                    Hex("5520a3ba31322e35305620"),  // U ：12.50V + blank
                                    Hex("4920a3ba312e32353041"),
                                    Hex("a6b5a3ba33302e3030a1e3"),
                                    Hex("5a20a3ba31302e303030a6b8"),
                                    Hex("5220a3ba382e363630a6b8"),
                                    Hex("5820a3ba342e393939a6b8"),
                                    Hex("6620a3ba34352e3030487a"),
                                    "Rm: OFF",
                                    Hex("44617465a3ba 323031372d30322d3136 2031323a33303a3330"),
                                    "",
                                    "",
                                    "",
                                }));
}

TEST(ReportBlock, UploadBlockShowsAbsoluteValuesAndTheRmByte) {
    const auto frame = RecordFrame(40, k0_5, k1_25, kMinus30, 1, {9, 1, 2, 3, 4, 5});
    const TUploadBlock block = UploadBlock(frame.data(), 2);
    ASSERT_TRUE(block.Complete);
    EXPECT_EQ(block.Lines[0], "002");
    EXPECT_EQ(block.Lines[4], "U ：500.0mV");
    EXPECT_EQ(block.Lines[6], "Φ：30.00°");
    EXPECT_EQ(block.Lines[10], "f ：40.00Hz");
    EXPECT_EQ(block.Lines[11], "Rm: ON");
    EXPECT_EQ(block.Lines[12], "Date：2009-01-02 03:04:05");
    // Any Rm byte but 1 reads off.
    const auto two = RecordFrame(40, k0_5, k1_25, k30, 2, {9, 1, 2, 3, 4, 5});
    EXPECT_EQ(UploadBlock(two.data(), 1).Lines[11], "Rm: OFF");
}

TEST(ReportBlock, UploadBlockTakesYearAndFrequencyBytesWithoutRangeTest) {
    const auto early = RecordFrame(255, k12_5, k1_25, k30, 0, {5, 1, 2, 3, 4, 5});
    EXPECT_EQ(UploadBlock(early.data(), 1).Lines[12], "Date：2005-01-02 03:04:05");
    EXPECT_EQ(UploadBlock(early.data(), 1).Lines[10], "f ：255.00Hz");
    const auto late = RecordFrame(0, k12_5, k1_25, k30, 0, {117, 12, 31, 23, 59, 59});
    EXPECT_EQ(UploadBlock(late.data(), 1).Lines[12], "Date：20117-12-31 23:59:59");
    EXPECT_EQ(UploadBlock(late.data(), 1).Lines[10], "f ：0.00Hz");
}

TEST(ReportBlock, UploadBlockWithZeroCurrentShowsTheImpedanceFallback) {
    const auto frame = RecordFrame(50, k12_5, kZero, k30, 0, {17, 2, 16, 12, 30, 30});
    const TUploadBlock block = UploadBlock(frame.data(), 1);
    ASSERT_TRUE(block.Complete);
    EXPECT_EQ(block.Lines[5], "I ：0.000A");
    EXPECT_EQ(block.Lines[7], "Z ：0.000mΩ");
    EXPECT_EQ(block.Lines[8], "R ：0.000mΩ");
    EXPECT_EQ(block.Lines[9], "X ：0.000mΩ");
    EXPECT_EQ(block.Lines[10], "f ：50.00Hz");
    EXPECT_EQ(block.Lines.size(), 16u);
}

TEST(ReportBlock, UploadBlockEndsAtTheLineThatMeetsANaN) {
    const std::vector<std::uint8_t> time{17, 2, 16, 12, 30, 30};
    const TUploadBlock u = UploadBlock(RecordFrame(45, kNaN, k1_25, k30, 0, time).data(), 7);
    EXPECT_FALSE(u.Complete);
    EXPECT_EQ(u.Lines, (TReportLines{"007", kReportTitle, kReportSeparator, ""}));
    const TUploadBlock i = UploadBlock(RecordFrame(45, k12_5, kNaN, k30, 0, time).data(), 7);
    EXPECT_FALSE(i.Complete);
    EXPECT_EQ(i.Lines.size(), 5u);
    EXPECT_EQ(i.Lines.back(), "U ：12.50V ");
    const TUploadBlock phi = UploadBlock(RecordFrame(45, k12_5, k1_25, kNaN, 0, time).data(), 7);
    EXPECT_FALSE(phi.Complete);
    EXPECT_EQ(phi.Lines.size(), 6u);
    EXPECT_EQ(phi.Lines.back(), "I ：1.250A");
}

TEST(ReportBlock, UploadBlockShowsInfiniteReadingsAsOverRange) {
    const auto frame = RecordFrame(45, kInfinity, k1_25, k30, 0, {17, 2, 16, 12, 30, 30});
    const TUploadBlock block = UploadBlock(frame.data(), 1);
    ASSERT_TRUE(block.Complete);
    EXPECT_EQ(block.Lines[4], "U ：over   ");
    EXPECT_EQ(block.Lines[7], "Z ：over");
    EXPECT_EQ(block.Lines[9], "X ：over");
}

TEST_F(ReportFile, HundredthUploadBlockIsNumberedHundred) {
    const auto frame = RecordFrame(45, k12_5, k1_25, k30, 0, {17, 2, 16, 12, 30, 30});
    for (int n = 1; n <= 100; ++n)
        EXPECT_EQ(AppendLines(UploadBlock(frame.data(), n).Lines, path_), 0);
    const std::string bytes = ReadBytes(path_);
    const std::string blockBytes = bytes.substr(0, bytes.size() / 100);
    EXPECT_EQ(blockBytes.substr(0, 5), "001\r\n");
    EXPECT_EQ(bytes.substr(blockBytes.size() * 9, 5), "010\r\n");
    EXPECT_EQ(bytes.substr(blockBytes.size() * 99, 5), "100\r\n");
    EXPECT_EQ(bytes.size(), blockBytes.size() * 100);
    EXPECT_EQ(UploadBlock(frame.data(), 1000).Lines[0], "1000");
}

// ---- spreadsheet rows

namespace {

const std::string kCsvHeader = Hex(
    "c0e0d0cd2cb1e0bac52cb2e2cad4cab1bce42cc6b5c2ca28487a292cb5e7d1b9552856292cb5e7c1f7492841292c"
    "cfe0bdc7a6b528a1e3292cd7e8bfb95a28a6b8292cb5e7d7e8b7d6c1bf5228a6b8292cb5e7bfb9b7d6c1bf5828a6b8"
    "292c526d2ccafdbeddb7bdcabd");
const std::string kUpload = Hex("c9cfb4ab"), kLive = Hex("cab5cab1"), kRecord = Hex("bcc7c2bc");
const std::string kOff = Hex("b6cfbfaa"), kOn = Hex("bdd3cda8"), kAverage = Hex("c6bdbef9d6b5");

TResultRow LiveRow(double u, double i, double phi) {
    TResultRow row;
    row.Kind = "实时";
    row.TestTime = "2017-02-16 12:31:02";
    row.Frequency = 50;
    row.Reading = TResultRow::TReading{u, i, phi};
    row.DataMode = 0;
    return row;
}

}  // namespace

TEST_F(ReportFile, SpreadsheetRowsFollowOneHeaderInGbkWithDecodedValues) {
    // The rows of the format's own documentation.
    const auto frame = RecordFrame(45, k12_5, k1_25, k30, 0, {17, 2, 16, 12, 30, 30});
    const std::string csv = dir_ + "/result.csv";
    EXPECT_TRUE(AppendCsvRow(CsvRow(RecordRow("上传", 1, DecodeRecordValues(frame.data()))), csv));
    EXPECT_TRUE(AppendCsvRow(CsvRow(LiveRow(2.5, 1.25, 30)), csv));
    EXPECT_EQ(ReadBytes(csv),
              FileOf({kCsvHeader,
                      kUpload +
                          ",1,2017-02-16 12:30:30,45,12.5,1.25,30,10,8.660254037919213,"
                          "4.999999999870395," +
                          kOff + ",",
                      kLive +
                          ",,2017-02-16 12:31:02,50,2.5,1.25,30,2,1.732050807583843,"
                          "0.9999999999740791," +
                          kOff + "," + kAverage}));

    // A file that holds anything already gets no header: it is appended to as it is.
    const std::string other = dir_ + "/other.csv";
    std::ofstream(Utf8Path(other), std::ios::binary) << "a,b\r\n";
    TResultRow record = RecordRow("记录", 7, DecodeRecordValues(frame.data()));
    record.RmOn = true;
    EXPECT_TRUE(AppendCsvRow(CsvRow(record), other));
    EXPECT_EQ(ReadBytes(other), "a,b\r\n" + kRecord + ",7,2017-02-16 12:30:30,45,12.5,1.25,30,10," +
                                    "8.660254037919213,4.999999999870395," + kOn + ",\r\n");
    EXPECT_FALSE(AppendCsvRow(CsvRow(record), dir_ + "/missing/folder.csv"));
}

TEST(ResultRows, NumbersArePlainShortestDecimalsAndNonNumbersEmptyCells) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::string head = "实时,,2017-02-16 12:31:02,50,";
    const std::string tail = ",断开,平均值";
    // Singles keep the digits of the single, not those of the widened double.
    const std::string row = CsvRow(LiveRow(double(0.1f), double(999.9f), double(1e-7f)));
    EXPECT_EQ(row.substr(0, head.size() + 20), head + "0.1,999.9,0.0000001,");
    // Never an exponent, never cut: a huge quotient is written out whole.
    const std::string huge = CsvRow(LiveRow(double(3e38f), double(1e-30f), 0));
    EXPECT_EQ(huge.find('e'), std::string::npos);
    const std::string z = huge.substr(huge.find(",0,") + 3, 69);
    EXPECT_EQ(std::strtod(z.c_str(), nullptr), double(3e38f) / double(1e-30f));

    EXPECT_EQ(CsvRow(LiveRow(nan, 1.25, 30)), head + ",1.25,30,,," + tail);
    EXPECT_EQ(CsvRow(LiveRow(inf, 1.25, 30)), head + ",1.25,30,,," + tail);
    EXPECT_EQ(CsvRow(LiveRow(2.5, 0, 30)), head + "2.5,0,30,,," + tail);
    TResultRow none = LiveRow(0, 0, 0);
    none.Reading.reset();
    none.Frequency.reset();
    EXPECT_EQ(CsvRow(none), "实时,,2017-02-16 12:31:02,,,,,,," + tail);
}

TEST(ResultRows, FieldsAreQuotedOnlyWhereTheyNeedItAndCsvNamesAreKnownInAnyCase) {
    EXPECT_EQ(CsvLine({"a,b", "say \"hi\"", "x\r\ny", "plain", ""}),
              "\"a,b\",\"say \"\"hi\"\"\",\"x\r\ny\",plain,");
    EXPECT_TRUE(IsCsvPath("结果.csv"));
    EXPECT_TRUE(IsCsvPath("C:\\数据\\上传.CSV"));
    EXPECT_FALSE(IsCsvPath("a.csv.txt"));
    EXPECT_FALSE(IsCsvPath("csv"));
}
