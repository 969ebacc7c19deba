#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "history/Directory.h"
#include "tests/history/HistoryFrames.h"

namespace {

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();
constexpr float Inf = std::numeric_limits<float>::infinity();

TDirectoryUpdate Decode(const TReply& f) {
    return DecodeDirectoryFrame(f.data(), int(f.size()));
}

// An average frame N = 2, k = 3 with the given singles.
TReply Average(float f, float u, float i, float phi) {
    TReply r = Reply(0xC3, {2, 3});
    PutSingle(r, 6, f);
    PutSingle(r, 10, u);
    PutSingle(r, 14, i);
    PutSingle(r, 18, phi);
    return r;
}

TEST(DirectoryEntryFrame, AddsItsRowAndSetsTheCountLine) {
    const TReply f = {0x24, 0xA1, 0xC3, 0x14, 0x07, 0x05, 0x11, 0x02, 0x10, 0x09, 0x05, 0x03, 0x37,
                      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xEF, 0x2A};
    const TDirectoryUpdate u = Decode(f);
    EXPECT_EQ(u.Kind, TDirectoryFrameKind::Entry);
    EXPECT_EQ(u.Count, 7);
    EXPECT_EQ(u.Index, 5);
    EXPECT_FALSE(u.EmptiesList);
    EXPECT_EQ(u.CountLine, "可存数据100条，已用7条");
    ASSERT_TRUE(u.Row);
    EXPECT_EQ(u.Row->Number, "005");
    EXPECT_EQ(u.Row->Frequency, "55Hz");
    EXPECT_EQ(u.Row->TestTime, "2017-02-16 09:05:03");
    EXPECT_EQ(u.AverageLine, std::optional<std::string>(""));  // emptied while entries arrive
    EXPECT_FALSE(u.HidesNotice);
}

TEST(DirectoryEntryFrame, OnlyTheFirstRecordEmptiesTheList) {
    EXPECT_TRUE(Decode(Reply(0xC3, {3, 1, 17, 2, 16, 12, 30, 30, 50})).EmptiesList);
    EXPECT_EQ(Decode(Reply(0xC3, {3, 1, 17, 2, 16, 12, 30, 30, 50})).Row->Number, "001");
    EXPECT_FALSE(Decode(Reply(0xC3, {3, 2, 17, 2, 16, 12, 30, 30, 50})).EmptiesList);
    EXPECT_FALSE(Decode(Reply(0xC3, {3, 3, 17, 2, 16, 12, 30, 30, 50})).EmptiesList);
}

TEST(DirectoryEntryFrame, NumbersAndTimesArePaddedAndNeverCut) {
    TDirectoryUpdate u = Decode(Reply(0xC3, {100, 100, 9, 1, 2, 3, 4, 5, 40}));
    EXPECT_EQ(u.Row->Number, "100");
    EXPECT_EQ(u.Row->TestTime, "2009-01-02 03:04:05");
    EXPECT_EQ(u.CountLine, "可存数据100条，已用100条");
    // Bytes out of a calendar's range are printed as the numbers they hold.
    u = Decode(Reply(0xC3, {3, 2, 255, 13, 32, 24, 60, 99, 0}));
    EXPECT_EQ(u.Row->TestTime, "20255-13-32 24:60:99");
    EXPECT_EQ(u.Row->Frequency, "0Hz");
    u = Decode(Reply(0xC3, {3, 2, 255, 255, 255, 255, 255, 255, 255}));
    EXPECT_EQ(u.Row->TestTime, "20255-255-255 255:255:255");
    EXPECT_EQ(u.Row->Frequency, "255Hz");
    u = Decode(Reply(0xC3, {3, 2, 0, 0, 0, 0, 0, 0, 70}));
    EXPECT_EQ(u.Row->TestTime, "2000-00-00 00:00:00");
    EXPECT_EQ(u.Row->Frequency, "70Hz");
}

TEST(DirectoryEntryFrame, CountsBeyondTheCapacityAndIndexesBeyondTheCountStillAddRows) {
    TDirectoryUpdate u = Decode(Reply(0xC3, {150, 1, 17, 2, 16, 12, 30, 30, 50}));
    EXPECT_EQ(u.Kind, TDirectoryFrameKind::Entry);
    EXPECT_EQ(u.CountLine, "可存数据100条，已用150条");
    u = Decode(Reply(0xC3, {3, 7, 17, 2, 16, 12, 30, 30, 50}));
    EXPECT_EQ(u.Kind, TDirectoryFrameKind::Entry);
    EXPECT_EQ(u.Row->Number, "007");
    u = Decode(Reply(0xC3, {3, 0, 17, 2, 16, 12, 30, 30, 50}));
    EXPECT_EQ(u.Kind, TDirectoryFrameKind::Entry);
    EXPECT_EQ(u.Row->Number, "000");
    EXPECT_FALSE(u.EmptiesList);
}

TEST(DirectoryEntryFrame, TheAverageIndexIsCountedWithoutByteWrapAround) {
    // N = 255 has no average frame a byte can number: k = 0 is an entry.
    TDirectoryUpdate u = Decode(Reply(0xC3, {255, 0, 17, 2, 16, 12, 30, 30, 50}));
    EXPECT_EQ(u.Kind, TDirectoryFrameKind::Entry);
    EXPECT_EQ(u.CountLine, "可存数据100条，已用255条");
    u = Decode(Reply(0xC3, {254, 255}));
    EXPECT_EQ(u.Kind, TDirectoryFrameKind::Average);
}

TEST(DirectoryClosingFrame, NoRecordsEmptyTheAverageLineAndHideTheNotice) {
    const TReply f = {0x24, 0xA1, 0xC3, 0x14, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x79, 0x2A};
    TDirectoryUpdate u = Decode(f);
    EXPECT_EQ(u.Kind, TDirectoryFrameKind::Closing);
    EXPECT_EQ(u.CountLine, "可存数据100条，已用0条");
    EXPECT_EQ(u.AverageLine, std::optional<std::string>(""));
    EXPECT_TRUE(u.HidesNotice);
    EXPECT_FALSE(u.Row);
    EXPECT_TRUE(u.EmptiesList);
    // It empties the list only when its k is 1.
    for (std::uint8_t k : {0, 2, 200}) {
        u = Decode(Reply(0xC3, {0, k, 17, 2, 16, 12, 30, 30, 50}));
        EXPECT_EQ(u.Kind, TDirectoryFrameKind::Closing);
        EXPECT_FALSE(u.EmptiesList);
        EXPECT_FALSE(u.Row);
        EXPECT_TRUE(u.HidesNotice);
    }
}

TEST(DirectoryAverageFrame, BuildsTheAverageLine) {
    const TReply f = {0x24, 0xA1, 0xC3, 0x14, 0x02, 0x03, 0x00, 0x00, 0x48, 0x42, 0x00, 0x00, 0x20,
                      0x40, 0x00, 0x00, 0xA0, 0x3F, 0x00, 0x00, 0xF0, 0x41, 0x00, 0x00, 0x77, 0x2A};
    const TDirectoryUpdate u = Decode(f);
    EXPECT_EQ(u.Kind, TDirectoryFrameKind::Average);
    EXPECT_EQ(u.CountLine, "可存数据100条，已用2条");
    EXPECT_EQ(u.AverageLine,
              std::optional<std::string>("平均值f：50.00Hz U：2.500V  I：1.250A "
                                         "Φ：30.00° Z ：2.000Ω R ：1.732Ω X ：999.9mΩ"));
    EXPECT_TRUE(u.HidesNotice);
    EXPECT_FALSE(u.Row);
    EXPECT_FALSE(u.EmptiesList);
}

TEST(DirectoryAverageFrame, TheOnlyRecordsAverageEmptiesNothing) {
    // N = 1: the average frame has k = 2.
    TReply f = Average(50, 2.5f, 1.25f, 30);
    f[4] = 1;
    f[5] = 2;
    EXPECT_EQ(Decode(f).Kind, TDirectoryFrameKind::Average);
    EXPECT_FALSE(Decode(f).EmptiesList);
}

TEST(DirectoryAverageFrame, ZeroCurrentGivesZeroImpedances) {
    EXPECT_EQ(
        *Decode(Average(50, 2.5f, 0, 30)).AverageLine,
        "平均值f：50.00Hz U：2.500V  I：0.000A Φ：30.00° Z ：0.000mΩ R ：0.000mΩ X ：0.000mΩ");
    EXPECT_EQ(*Decode(Average(50, 0, 0, 0)).AverageLine,
              "平均值f：50.00Hz U：0.000mV I：0.000A Φ：0.00° Z ：0.000mΩ R ：0.000mΩ X ：0.000mΩ");
}

TEST(DirectoryAverageFrame, UsesTheLiveUnitRulesWithoutSigns) {
    EXPECT_EQ(*Decode(Average(50, 1200, 1.25f, 0)).AverageLine,
              "平均值f：50.00Hz U：over    I：1.250A Φ：0.00° Z ：960.0Ω R ：960.0Ω X ：0.000mΩ");
    EXPECT_EQ(*Decode(Average(50, 0.5f, 1, 0)).AverageLine,
              "平均值f：50.00Hz U：500.0mV I：1.000A Φ：0.00° Z ：500.0mΩ R ：500.0mΩ X ：0.000mΩ");
    EXPECT_EQ(*Decode(Average(50, -2.5f, -1.25f, -30)).AverageLine,
              "平均值f：50.00Hz U：2.500V  I：1.250A Φ：30.00° Z ：2.000Ω R ：1.732Ω X ：999.9mΩ");
    EXPECT_EQ(*Decode(Average(50, 12, 0.004f, 0)).AverageLine,
              "平均值f：50.00Hz U：12.00V  I：0.004A Φ：0.00° Z ：2.999kΩ R ：2.999kΩ X ：0.000mΩ");
    EXPECT_EQ(*Decode(Average(50, 2000, 0.001f, 0)).AverageLine,
              "平均值f：50.00Hz U：over    I：0.001A Φ：0.00° Z ：over R ：over X ：0.000mΩ");
}

TEST(DirectoryAverageFrame, TheFrequencyIsRoundedToTwoDecimalsWithItsSign) {
    EXPECT_EQ(*Decode(Average(49.996f, 1, 1, 0)).AverageLine,
              "平均值f：50.00Hz U：1.000V  I：1.000A Φ：0.00° Z ：1.000Ω R ：1.000Ω X ：0.000mΩ");
    EXPECT_EQ(*Decode(Average(45.5f, 1, 1, 0)).AverageLine,
              "平均值f：45.50Hz U：1.000V  I：1.000A Φ：0.00° Z ：1.000Ω R ：1.000Ω X ：0.000mΩ");
    EXPECT_EQ(*Decode(Average(-50, 1, 1, 0)).AverageLine,
              "平均值f：-50.00Hz U：1.000V  I：1.000A Φ：0.00° Z ：1.000Ω R ：1.000Ω X ：0.000mΩ");
    // The largest single is printed whole, not cut short.
    EXPECT_EQ(*Decode(Average(std::numeric_limits<float>::max(), 1, 1, 0)).AverageLine,
              "平均值f：340282346638528859811704183484516925440.00Hz U：1.000V  I：1.000A Φ：0.00° "
              "Z ：1.000Ω R ：1.000Ω X ：0.000mΩ");
}

TEST(DirectoryAverageFrame, ValuesThatAreNotNumbersLeaveTheLineAndTheNoticeAsTheyWere) {
    const TReply bad[] = {Average(NaN, 2.5f, 1.25f, 30), Average(Inf, 2.5f, 1.25f, 30),
                          Average(50, NaN, 1.25f, 30),   Average(50, 2.5f, NaN, 30),
                          Average(50, 2.5f, 1.25f, NaN), Average(50, 2.5f, 1.25f, Inf)};
    for (const TReply& f : bad) {
        const TDirectoryUpdate u = Decode(f);
        EXPECT_EQ(u.Kind, TDirectoryFrameKind::Average);
        EXPECT_EQ(u.CountLine, "可存数据100条，已用2条");  // set before the line is built
        EXPECT_FALSE(u.AverageLine);
        EXPECT_FALSE(u.HidesNotice);
        EXPECT_FALSE(u.Row);
    }
}

TEST(DirectoryAverageFrame, InfiniteVoltageOrCurrentIsOverRangeNotAnError) {
    EXPECT_EQ(
        *Decode(Average(50, Inf, 1.25f, 30)).AverageLine,
        "平均值f：50.00Hz U：over    I：1.250A Φ：30.00° Z ：over R ：over X ：over");
    EXPECT_EQ(
        *Decode(Average(50, 2.5f, Inf, 30)).AverageLine,
        "平均值f：50.00Hz U：2.500V  I：over    Φ：30.00° Z ：0.000mΩ R ：0.000mΩ X ：0.000mΩ");
}

TEST(DirectoryShortReply, BytesPastTheFrameReadAsZero) {
    // A reply with no payload, in a buffer still holding an earlier entry.
    TReply f = Reply(0xC3, {7, 5, 17, 2, 16, 9, 5, 3, 55});
    f[3] = 0x00;
    f[4] = 0xC4;  // checksum of A1 C3 00
    f[5] = 0x2A;
    const TDirectoryUpdate u = DecodeDirectoryFrame(f.data(), 6);
    EXPECT_EQ(u.Kind, TDirectoryFrameKind::Entry);
    EXPECT_EQ(u.CountLine, "可存数据100条，已用196条");
    EXPECT_EQ(u.Row->Number, "042");
    EXPECT_EQ(u.Row->Frequency, "0Hz");
    EXPECT_EQ(u.Row->TestTime, "2000-00-00 00:00:00");

    const TDirectoryUpdate none = DecodeDirectoryFrame(nullptr, 26);
    EXPECT_EQ(none.Kind, TDirectoryFrameKind::Closing);
    EXPECT_EQ(none.CountLine, "可存数据100条，已用0条");
    EXPECT_EQ(DecodeDirectoryFrame(f.data(), -3).Kind, TDirectoryFrameKind::Closing);
}

TEST(RecordNumberFromText, ReadsTheNumberColumnBack) {
    EXPECT_EQ(RecordNumberFromText("005"), 5);
    EXPECT_EQ(RecordNumberFromText("001"), 1);
    EXPECT_EQ(RecordNumberFromText("100"), 100);
    EXPECT_EQ(RecordNumberFromText("000"), 0);
    EXPECT_EQ(RecordNumberFromText("255"), 255);
    EXPECT_EQ(RecordNumberFromText("7"), 7);
}

TEST(RecordNumberFromText, TextsThatNameNoRecordGiveNone) {
    for (const char* text :
         {"", "abc", "5a", " 5", "5 ", "-5", "+5", "256", "1000", "99999999999999999999", "０５"})
        EXPECT_EQ(RecordNumberFromText(text), std::nullopt) << text;
}

}  // namespace
