// The frequency plot's scales, without painting.
#include <gtest/gtest.h>

#include "analysis/PlotScale.h"

namespace {

std::vector<double> Lines(std::initializer_list<double> l) {
    return l;
}

}  // namespace

TEST(PlotScale, RecordsAroundThePowerFrequencyInOhms) {
    // 40 to 60 Hz, the largest value 2.1 Ω, a value of 2.0 Ω at 50 Hz.
    const TPlotScale s = PlotScale(50, {{40, 1.7, 0.8, 1.9}, {60, 1.7, 1.2, 2.1}}, 2.0);
    EXPECT_EQ(s.FrequencyLow, 38);
    EXPECT_EQ(s.FrequencyHigh, 62);
    EXPECT_EQ(s.FrequencyLines(), Lines({40, 45, 50, 55, 60}));
    EXPECT_EQ(s.Unit, "Ω");
    EXPECT_EQ(s.Factor, 1);
    EXPECT_EQ(s.ValueLines(), Lines({0, 0.5, 1, 1.5, 2, 2.5}));
    EXPECT_DOUBLE_EQ(s.FrequencyAt(38), 0);
    EXPECT_DOUBLE_EQ(s.FrequencyAt(50), 0.5);
    EXPECT_DOUBLE_EQ(s.ValueAt(2.5), 1);
}

TEST(PlotScale, ThePowerFrequencyAndItsValueWidenTheAxes) {
    // Records at 45 and 55 Hz only below 1 Ω; f0 = 60 Hz lies outside them and
    // a value of 1.2 Ω (drawn as well) above them.
    const TPlotScale s = PlotScale(60, {{45, 0.5, 0.3, 0.6}, {55, 0.6, 0.4, 0.7}}, 1.2);
    EXPECT_EQ(s.FrequencyLow, 43);
    EXPECT_EQ(s.FrequencyHigh, 62);
    EXPECT_EQ(s.FrequencyLines(), Lines({45, 50, 55, 60}));
    EXPECT_EQ(s.Unit, "Ω");
    EXPECT_EQ(s.ValueLines(), Lines({0, 0.5, 1, 1.5}));
}

TEST(PlotScale, SmallAndLargeValuesTakeMilliohmsAndKiloohms) {
    // 0.5 mΩ: a line every 0.2 mΩ; the last one, 3 × 0.2, is kept although it
    // comes out a rounding error above the axis' end.
    const TPlotScale milli = PlotScale(50, {{50, 0.0004, 0.0003, 0.0005}}, std::nullopt);
    EXPECT_EQ(milli.Unit, "mΩ");
    EXPECT_EQ(milli.Factor, 1e3);
    ASSERT_EQ(milli.ValueLines().size(), 4u);
    EXPECT_DOUBLE_EQ(milli.ValueLines().back(), 0.6);
    EXPECT_DOUBLE_EQ(milli.ValueAt(0.0006), 1);

    const TPlotScale kilo = PlotScale(50, {{47, 1500, 10, 1500}}, std::nullopt);
    EXPECT_EQ(kilo.Unit, "kΩ");
    EXPECT_EQ(kilo.Factor, 1e-3);
    EXPECT_EQ(kilo.ValueLines(), Lines({0, 0.5, 1, 1.5, 2}));
    // Two records and f0 within 8 Hz: a line every hertz.
    EXPECT_EQ(kilo.FrequencyLines(), Lines({45, 46, 47, 48, 49, 50, 51, 52}));
}

TEST(PlotScale, NiceStepsAreOneTwoOrFiveTimesAPowerOfTen) {
    EXPECT_EQ(NiceStep(3), 5);
    EXPECT_EQ(NiceStep(0.462), 0.5);
    EXPECT_EQ(NiceStep(55), 100);
    EXPECT_EQ(NiceStep(1), 1);
    EXPECT_EQ(NiceStep(1.5), 2);
    EXPECT_EQ(NiceStep(6), 10);
}
