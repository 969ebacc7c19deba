#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "protocol/Numbers.h"

namespace {

TEST(FormatValue, CutsDigitsByMagnitudeNeverRoundingUp) {
    EXPECT_EQ(FormatValue(1234.56), "1234");
    EXPECT_EQ(FormatValue(1000), "1000.0");
    EXPECT_EQ(FormatValue(999.99), "999.9");
    EXPECT_EQ(FormatValue(100), "100.00");
    EXPECT_EQ(FormatValue(12.3456), "12.34");
    EXPECT_EQ(FormatValue(12.349), "12.34");
    EXPECT_EQ(FormatValue(10), "10.000");
    EXPECT_EQ(FormatValue(9.9999), "9.999");
    EXPECT_EQ(FormatValue(0.0004), "0.000");
    EXPECT_EQ(FormatValue(-5.6789), "-5.678");
    EXPECT_EQ(FormatValue(-1500.7), "-1500");
}

TEST(FormatValue, HugeValuesPrintTheirIntegerPartAndNonNumbersThrow) {
    EXPECT_EQ(FormatValue(1e12), "1000000000000");
    EXPECT_THROW(FormatValue(std::nan("")), TNotANumber);
    EXPECT_THROW(FormatValue(std::numeric_limits<double>::infinity()), TNotANumber);
}

TEST(UnitTexts, VoltageCurrentAndPhase) {
    EXPECT_EQ(VoltageText(0.5), "500.0mV");
    EXPECT_EQ(VoltageText(1), "1.000V ");
    EXPECT_EQ(VoltageText(230.25), "230.2V ");
    EXPECT_EQ(VoltageText(999.95), "over   ");
    EXPECT_EQ(VoltageText(double(999.9f)), "over   ");  // the single nearest 999.9 is above it
    EXPECT_EQ(CurrentText(0), "0.000A");
    EXPECT_EQ(CurrentText(1.25), "1.250A");
    EXPECT_EQ(PhaseText(30), "30.00°");
    EXPECT_EQ(PhaseText(45.678), "45.68°");
    EXPECT_THROW(VoltageText(std::nan("")), TNotANumber);
}

TEST(UnitTexts, ImpedanceFromVoltageCurrentAndPhase) {
    TImpedanceTexts t = ImpedanceTexts(2.5, 1.25, 30);
    EXPECT_EQ(t.Z, "2.000Ω");
    EXPECT_EQ(t.R, "1.732Ω");
    EXPECT_EQ(t.X, "999.9mΩ");
    t = ImpedanceTexts(12, double(0.004f), 0);
    EXPECT_EQ(t.Z, "2.999kΩ");
    EXPECT_EQ(t.R, "2.999kΩ");
    EXPECT_EQ(t.X, "0.000mΩ");
    EXPECT_EQ(ImpedanceText(2000000), "over");
    t = ImpedanceTexts(2.5, 1.25, 90);
    EXPECT_EQ(t.Z, "2.000Ω");
    EXPECT_EQ(t.R, "0.000mΩ");
    EXPECT_EQ(t.X, "2.000Ω");
}

TEST(UnitTexts, ImpedanceFallsBackWhenTheQuotientIsNotFinite) {
    for (double i : {0.0, -0.0}) {
        TImpedanceTexts t = ImpedanceTexts(2.5, i, 30);
        EXPECT_EQ(t.Z, "0.000mΩ");
        EXPECT_EQ(t.R, "0.000mΩ");
        EXPECT_EQ(t.X, "0.000mΩ");
    }
    EXPECT_EQ(ImpedanceTexts(std::nan(""), 1, 0).Z, "0.000mΩ");
    EXPECT_EQ(ImpedanceTexts(1e308, 1e-308, 0).Z, "0.000mΩ");  // overflow
}

TEST(UnitTexts, AnInfiniteVoltageOverAFiniteCurrentIsOverRangeUnlessAFactorIsZero) {
    const double inf = std::numeric_limits<double>::infinity();
    TImpedanceTexts t = ImpedanceTexts(inf, 1, 30);
    EXPECT_EQ(t.Z, "over");
    EXPECT_EQ(t.R, "over");
    EXPECT_EQ(t.X, "over");
    // sin 0 is exactly 0 and 0·∞ is invalid; cos of the ten-decimal right angle is not 0.
    t = ImpedanceTexts(inf, 1, 0);
    EXPECT_EQ(t.Z, "0.000mΩ");
    EXPECT_EQ(t.X, "0.000mΩ");
    EXPECT_EQ(ImpedanceTexts(inf, 1, 90).R, "over");
    EXPECT_EQ(ImpedanceTexts(inf, inf, 30).Z, "0.000mΩ");
    t = ImpedanceTexts(2.5, inf, 30);
    EXPECT_EQ(t.Z, "0.000mΩ");
    EXPECT_EQ(t.R, "0.000mΩ");
}

TEST(BytesToSingle, ReadsLittleEndianSingles) {
    const std::uint8_t u[] = {0x00, 0x00, 0x20, 0x40};
    const std::uint8_t i[] = {0x00, 0x00, 0xA0, 0x3F};
    const std::uint8_t phi[] = {0x00, 0x00, 0xF0, 0x41};
    EXPECT_EQ(BytesToSingle(u), 2.5);
    EXPECT_EQ(BytesToSingle(i), 1.25);
    EXPECT_EQ(BytesToSingle(phi), 30.0);
    const std::uint8_t nan[] = {0x00, 0x00, 0xC0, 0x7F};
    EXPECT_TRUE(std::isnan(BytesToSingle(nan)));
}

}  // namespace
