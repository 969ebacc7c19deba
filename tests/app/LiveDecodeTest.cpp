#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "protocol/LiveDecode.h"

namespace {

using TFrame = std::array<std::uint8_t, 26>;

// The 0xDD reply of the decoder's own documentation: 50 Hz, U = 2.5, I = 1.25,
// Φ = 30, Rm off, running, average values.
const TFrame documentedFrame = {0x24, 0xA1, 0xDD, 0x14, 0x32, 0x00, 0x00, 0x20, 0x40,
                                0x00, 0x00, 0xA0, 0x3F, 0x00, 0x00, 0xF0, 0x41, 0x00,
                                0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x35, 0x2A};

void PutSingle(TFrame& f, int offset, float value) {
    std::memcpy(&f[offset], &value, 4);
}

// The documented frame with other values put in.
TFrame Live(float u, float i, float phi, std::uint8_t freq = 50, std::uint8_t rm = 0,
            std::uint8_t test = 1, std::uint8_t mode = 0) {
    TFrame f = documentedFrame;
    f[4] = freq;
    PutSingle(f, 5, u);
    PutSingle(f, 9, i);
    PutSingle(f, 13, phi);
    f[17] = rm;
    f[18] = test;
    f[19] = mode;
    return f;
}

TLiveReading Decode(const TFrame& f) {
    return DecodeLiveFrame(f.data(), int(f.size()));
}

const float nan = std::numeric_limits<float>::quiet_NaN();
const float inf = std::numeric_limits<float>::infinity();

TEST(LiveDecode, DocumentedFrameGivesEveryText) {
    const TLiveReading r = Decode(documentedFrame);
    EXPECT_EQ(r.Frequency, 50);
    EXPECT_EQ(FrequencyItemText(*r.Frequency), "50Hz");
    EXPECT_EQ(r.Volt, "U ：2.500V ");
    EXPECT_EQ(r.Current, "I ：1.250A");
    EXPECT_EQ(r.Phase, "Φ：30.00°");
    EXPECT_EQ(r.RmMode, 0);
    EXPECT_STREQ(RmItemTexts[*r.RmMode], "断开");
    EXPECT_EQ(r.Testing, true);
    EXPECT_STREQ(StopCaption, "停  止  测  试");
    EXPECT_EQ(r.DataMode, 0);
    EXPECT_STREQ(DataItemTexts[*r.DataMode], "平均值");
    EXPECT_EQ(r.Z, "Z ：2.000Ω");
    EXPECT_EQ(r.R, "R ：1.732Ω");
    EXPECT_EQ(r.X, "X ：999.9mΩ");
}

TEST(LiveDecode, VoltageRangesAndSignsFollowTheShownTexts) {
    EXPECT_EQ(Decode(Live(0.5f, 1, 0)).Volt, "U ：500.0mV");
    EXPECT_EQ(Decode(Live(1, 1, 0)).Volt, "U ：1.000V ");
    EXPECT_EQ(Decode(Live(230.25f, 1, 0)).Volt, "U ：230.2V ");
    EXPECT_EQ(Decode(Live(999.95f, 1, 0)).Volt, "U ：over   ");
    EXPECT_EQ(Decode(Live(999.9f, 1, 0)).Volt, "U ：over   ");
    EXPECT_EQ(Decode(Live(-12.5f, 1, 0)).Volt, "U ：12.50V ");
    EXPECT_EQ(Decode(Live(1, 1, -45.678f)).Phase, "Φ：45.68°");
}

TEST(LiveDecode, ZeroCurrentFallsBackForTheImpedanceOnly) {
    const TLiveReading r = Decode(Live(2.5f, 0, 30));
    EXPECT_EQ(r.Current, "I ：0.000A");
    EXPECT_EQ(r.Z, "Z ：0.000mΩ");
    EXPECT_EQ(r.R, "R ：0.000mΩ");
    EXPECT_EQ(r.X, "X ：0.000mΩ");
    EXPECT_EQ(r.DataMode, 0);
}

TEST(LiveDecode, ImpedanceDigitsAreCutAndOverRangeShown) {
    TLiveReading r = Decode(Live(12, 0.004f, 0));
    EXPECT_EQ(r.Z, "Z ：2.999kΩ");
    EXPECT_EQ(r.R, "R ：2.999kΩ");
    EXPECT_EQ(r.X, "X ：0.000mΩ");
    r = Decode(Live(200, 0.0001f, 0));
    EXPECT_EQ(r.Z, "Z ：over");
}

TEST(LiveDecode, FrequencyOutsideFortyToSeventyIsSkippedAndTheRestDecoded) {
    for (std::uint8_t f : {39, 71, 0, 255}) {
        const TLiveReading r = Decode(Live(2.5f, 1.25f, 30, f));
        EXPECT_FALSE(r.Frequency) << int(f);
        EXPECT_EQ(r.X, "X ：999.9mΩ");
    }
    EXPECT_EQ(Decode(Live(1, 1, 0, 40)).Frequency, 40);
    EXPECT_EQ(Decode(Live(1, 1, 0, 70)).Frequency, 70);
}

TEST(LiveDecode, RmByteOfTwoOrMoreEndsTheDecodingAfterThePhase) {
    for (std::uint8_t rm : {2, 5, 255}) {
        const TLiveReading r = Decode(Live(2.5f, 1.25f, 30, 55, rm));
        EXPECT_EQ(r.Frequency, 55);
        EXPECT_EQ(r.Volt, "U ：2.500V ");
        EXPECT_EQ(r.Current, "I ：1.250A");
        EXPECT_EQ(r.Phase, "Φ：30.00°");
        EXPECT_FALSE(r.RmMode);
        EXPECT_FALSE(r.Testing);
        EXPECT_FALSE(r.DataMode);
        EXPECT_FALSE(r.Z);
    }
}

TEST(LiveDecode, DataModeByteOfTwoOrMoreKeepsRmAndTestStateButNoImpedance) {
    const TLiveReading r = Decode(Live(2.5f, 1.25f, 30, 50, 1, 1, 2));
    EXPECT_EQ(r.RmMode, 1);
    EXPECT_EQ(r.Testing, true);
    EXPECT_FALSE(r.DataMode);
    EXPECT_FALSE(r.Z);
    EXPECT_FALSE(r.R);
    EXPECT_FALSE(r.X);
}

TEST(LiveDecode, TestStateIsRunningOnlyForOne) {
    EXPECT_EQ(Decode(Live(1, 1, 0, 50, 0, 2)).Testing, false);
    EXPECT_EQ(Decode(Live(1, 1, 0, 50, 0, 0)).Testing, false);
    EXPECT_EQ(Decode(Live(1, 1, 0, 50, 0, 1)).Testing, true);
    EXPECT_STREQ(StartCaption, "开  始  测  试");
}

TEST(LiveDecode, NotANumberEndsTheDecodingAtItsStep) {
    TLiveReading r = Decode(Live(nan, 1, 0, 60));
    EXPECT_EQ(r.Frequency, 60);
    EXPECT_FALSE(r.Volt);
    EXPECT_FALSE(r.Current);
    EXPECT_FALSE(r.RmMode);

    r = Decode(Live(3, nan, 0));
    EXPECT_EQ(r.Volt, "U ：3.000V ");
    EXPECT_FALSE(r.Current);
    EXPECT_FALSE(r.Phase);

    r = Decode(Live(3, 1, nan));
    EXPECT_EQ(r.Current, "I ：1.000A");
    EXPECT_FALSE(r.Phase);
    EXPECT_FALSE(r.Testing);
    EXPECT_FALSE(r.Z);
}

TEST(LiveDecode, InfinitiesShowOverRangeOrEndTheStep) {
    TLiveReading r = Decode(Live(inf, 1, 30));
    EXPECT_EQ(r.Volt, "U ：over   ");
    EXPECT_EQ(r.Z, "Z ：over");
    EXPECT_EQ(r.R, "R ：over");
    EXPECT_EQ(r.X, "X ：over");
    r = Decode(Live(inf, 1, 0));
    EXPECT_EQ(r.Z, "Z ：0.000mΩ");  // X would be 0·∞
    r = Decode(Live(-inf, inf, 0));
    EXPECT_EQ(r.Volt, "U ：over   ");
    EXPECT_EQ(r.Current, "I ：over   ");
    EXPECT_EQ(r.X, "X ：0.000mΩ");
    r = Decode(Live(1, 1, inf));
    EXPECT_FALSE(r.Phase);  // an infinite angle has no phase text
    EXPECT_FALSE(r.RmMode);
}

TEST(LiveDecode, DenormalsNegativeZeroAndHugeValuesStayDefined) {
    const float denormal = std::numeric_limits<float>::denorm_min();
    TLiveReading r = Decode(Live(denormal, denormal, denormal));
    EXPECT_EQ(r.Volt, "U ：0.000mV");
    EXPECT_EQ(r.Current, "I ：0.000A");
    EXPECT_EQ(r.Phase, "Φ：0.00°");
    EXPECT_EQ(r.Z, "Z ：1.000Ω");

    r = Decode(Live(-0.0f, -0.0f, -0.0f));
    EXPECT_EQ(r.Volt, "U ：0.000mV");
    EXPECT_EQ(r.Current, "I ：0.000A");
    EXPECT_EQ(r.Phase, "Φ：0.00°");
    EXPECT_EQ(r.Z, "Z ：0.000mΩ");

    const float huge = std::numeric_limits<float>::max();
    r = Decode(Live(huge, denormal, 1e30f));
    EXPECT_EQ(r.Volt, "U ：over   ");
    EXPECT_EQ(r.Current, "I ：0.000A");
    EXPECT_EQ(r.Phase.value().substr(0, 9), "Φ：1000");
    EXPECT_EQ(r.Z, "Z ：over");  // 3.4e38 / 1.4e-45 is still finite in double

    r = Decode(Live(1e30f, 1e-30f, 0));
    EXPECT_EQ(r.Z, "Z ：over");
}

TEST(LiveDecode, FrameTooShortForAReadingDecodesNothing) {
    const TFrame f = documentedFrame;
    const TLiveReading r = DecodeLiveFrame(f.data(), 6);
    EXPECT_FALSE(r.Frequency);
    EXPECT_FALSE(r.Volt);
    EXPECT_FALSE(r.Testing);
}

TEST(ProgressLine, GrowsToTwentyFiveAndStartsAgainAtOne) {
    int count = 1;
    EXPECT_EQ(ProgressLine(count), ">>");
    count = 24;
    EXPECT_EQ(ProgressLine(count), std::string(25, '>'));
    count = 25;
    EXPECT_EQ(ProgressLine(count), ">");
    EXPECT_EQ(count, 0);
}

}  // namespace
