#include <gtest/gtest.h>

#include <limits>

#include "history/StoredRecord.h"
#include "tests/history/HistoryFrames.h"

namespace {

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();
constexpr float Inf = std::numeric_limits<float>::infinity();

using TLabels = std::vector<std::pair<std::string, std::string>>;

TLabels Decode(const std::uint8_t* frame, int length) {
    TLabels out;
    for (const TCompLabel& l : DecodeRecordFrame(frame, length)) out.emplace_back(l.Name, l.Text);
    return out;
}
TLabels Decode(const TReply& f) {
    return Decode(f.data(), int(f.size()));
}

// A record of 2017-02-16 12:30:30, 55 Hz, Rm on, with the given singles.
TReply Record(float u, float i, float phi) {
    TReply f = Reply(0xC5, {55});
    PutSingle(f, 5, u);
    PutSingle(f, 9, i);
    PutSingle(f, 13, phi);
    const std::uint8_t tail[] = {1, 17, 2, 16, 12, 30, 30};
    for (int n = 0; n < 7; ++n) f[17 + n] = tail[n];
    return f;
}

// The text a decoded label got, or "-" when it was not set.
std::string Text(const TLabels& labels, const std::string& name) {
    for (const auto& [n, t] : labels)
        if (n == name) return t;
    return "-";
}

TEST(StoredRecordFrame, SetsTheCompLabelsInTheirOrder) {
    const TReply f = {0x24, 0xA1, 0xC5, 0x14, 0x37, 0x00, 0x00, 0x20, 0x40, 0x00, 0x00, 0xA0, 0x3F,
                      0x00, 0x00, 0xF0, 0x41, 0x01, 0x11, 0x02, 0x10, 0x0C, 0x1E, 0x1E, 0x8D, 0x2A};
    const TLabels expected = {
        {"Label9", "U ：2.500V "},  {"Label10", "I ：1.250A"},
        {"Label11", "Φ：30.00°"},   {"Label16", "Rm：ON"},
        {"Label15", "f ：55.00Hz"}, {"Label17", "测试时间：2017.02.16 12:30:30"},
        {"Label12", "Z ：2.000Ω"},  {"Label13", "R ：1.732Ω"},
        {"Label14", "X ：999.9mΩ"},
    };
    EXPECT_EQ(Decode(f), expected);
}

TEST(StoredRecordFrame, RmIsOnOnlyForOne) {
    TReply f = Record(2.5f, 1.25f, 30);
    for (std::uint8_t rm : {0, 2, 255}) {
        f[17] = rm;
        EXPECT_EQ(Text(Decode(f), "Label16"), "Rm：OFF");
    }
}

TEST(StoredRecordFrame, UsesTheLiveUnitRulesWithoutSigns) {
    EXPECT_EQ(Text(Decode(Record(0.25f, 1, 0)), "Label9"), "U ：250.0mV");
    EXPECT_EQ(Text(Decode(Record(1000, 1, 0)), "Label9"), "U ：over   ");
    EXPECT_EQ(Text(Decode(Record(1, 0.5f, 0)), "Label10"), "I ：0.500A");
    TLabels l = Decode(Record(2.5f, 1.25f, 90));
    EXPECT_EQ(Text(l, "Label12"), "Z ：2.000Ω");
    EXPECT_EQ(Text(l, "Label13"), "R ：0.000mΩ");
    EXPECT_EQ(Text(l, "Label14"), "X ：2.000Ω");
    l = Decode(Record(-2.5f, -1.25f, -30));
    EXPECT_EQ(Text(l, "Label9"), "U ：2.500V ");
    EXPECT_EQ(Text(l, "Label10"), "I ：1.250A");
    EXPECT_EQ(Text(l, "Label11"), "Φ：30.00°");
    EXPECT_EQ(Text(l, "Label13"), "R ：1.732Ω");
    l = Decode(Record(2000, 0.001f, 0));
    EXPECT_EQ(Text(l, "Label12"), "Z ：over");
    EXPECT_EQ(Text(l, "Label13"), "R ：over");
    EXPECT_EQ(Text(l, "Label14"), "X ：0.000mΩ");
}

TEST(StoredRecordFrame, ZeroCurrentShowsZeroImpedancesAndEverythingElse) {
    const TLabels expected = {
        {"Label9", "U ：2.500V "},  {"Label10", "I ：0.000A"},
        {"Label11", "Φ：30.00°"},   {"Label16", "Rm：ON"},
        {"Label15", "f ：55.00Hz"}, {"Label17", "测试时间：2017.02.16 12:30:30"},
        {"Label12", "Z ：0.000mΩ"}, {"Label13", "R ：0.000mΩ"},
        {"Label14", "X ：0.000mΩ"},
    };
    EXPECT_EQ(Decode(Record(2.5f, 0, 30)), expected);
}

TEST(StoredRecordFrame, DateAndFrequencyBytesArePrintedAsTheyAre) {
    TReply f = Record(2.5f, 1.25f, 30);
    f[4] = 255;
    f[18] = 255;
    f[19] = 13;
    f[20] = 1;
    f[21] = 0;
    f[22] = 5;
    f[23] = 99;
    const TLabels l = Decode(f);
    EXPECT_EQ(Text(l, "Label15"), "f ：255.00Hz");
    EXPECT_EQ(Text(l, "Label17"), "测试时间：20255.13.01 00:05:99");
    f[4] = 0;
    EXPECT_EQ(Text(Decode(f), "Label15"), "f ：0.00Hz");
}

TEST(StoredRecordFrame, AValueThatIsNotANumberEndsTheLabelsAtItsOwn) {
    EXPECT_EQ(Decode(Record(NaN, 1.25f, 30)), TLabels{});
    EXPECT_EQ(Decode(Record(2.5f, NaN, 30)), (TLabels{{"Label9", "U ：2.500V "}}));
    const TLabels twoSet = {{"Label9", "U ：2.500V "}, {"Label10", "I ：1.250A"}};
    EXPECT_EQ(Decode(Record(2.5f, 1.25f, NaN)), twoSet);
    EXPECT_EQ(Decode(Record(2.5f, 1.25f, Inf)), twoSet);
}

TEST(StoredRecordFrame, InfiniteVoltageOrCurrentIsOverRangeNotAnError) {
    TLabels l = Decode(Record(Inf, 1.25f, 30));
    ASSERT_EQ(l.size(), 9u);
    EXPECT_EQ(Text(l, "Label9"), "U ：over   ");
    EXPECT_EQ(Text(l, "Label12"), "Z ：over");
    EXPECT_EQ(Text(l, "Label13"), "R ：over");
    l = Decode(Record(2.5f, Inf, 30));
    ASSERT_EQ(l.size(), 9u);
    EXPECT_EQ(Text(l, "Label10"), "I ：over   ");
    EXPECT_EQ(Text(l, "Label14"), "X ：0.000mΩ");
}

TEST(StoredRecordFrame, AShortReplyReadsZerosPastItsEnd) {
    const TReply stale = Record(2.5f, 1.25f, 30);
    const TLabels expected = {
        {"Label9", "U ：0.000mV"},  {"Label10", "I ：0.000A"},
        {"Label11", "Φ：0.00°"},    {"Label16", "Rm：OFF"},
        {"Label15", "f ：55.00Hz"}, {"Label17", "测试时间：2000.00.00 00:00:00"},
        {"Label12", "Z ：0.000mΩ"}, {"Label13", "R ：0.000mΩ"},
        {"Label14", "X ：0.000mΩ"},
    };
    EXPECT_EQ(Decode(stale.data(), 5), expected);
    EXPECT_EQ(Text(Decode(nullptr, 26), "Label15"), "f ：0.00Hz");
}

}  // namespace
