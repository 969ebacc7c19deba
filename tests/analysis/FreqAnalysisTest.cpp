// The frequency analysis against values worked out by hand. Records are made
// from the R and X they should give: U = |Z|, I = 1, Φ = atan2(X, R).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "analysis/FreqAnalysis.h"
#include "analysis/FreqAnalysisText.h"

namespace {

constexpr double kNear = 1e-9;
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

TRecordValues At(int f, double r, double x) {
    TRecordValues v;
    v.Frequency = f;
    v.U = std::hypot(r, x);
    v.I = 1;
    v.Phi = PhaseOf(r, x);
    return v;
}

TRecordValues Raw(int f, double u, double i, double phi) {
    TRecordValues v;
    v.Frequency = f;
    v.U = u;
    v.I = i;
    v.Phi = phi;
    return v;
}

void ExpectValue(const TPowerValue& v, double r, double x, double z, double phi) {
    EXPECT_NEAR(v.R, r, kNear);
    EXPECT_NEAR(v.X, x, kNear);
    EXPECT_NEAR(v.Z, z, kNear);
    EXPECT_NEAR(v.Phi, phi, 1e-7);
}

TEST(FreqAnalysis, SymmetricPairGivesTheComplexMeanNotTheMeanOfZ) {
    // 45 Hz: 2 + j0 and 0 + j2 average to 1 + j1 (|Z| 1.414, not 2); 55 Hz: 3 + j1.
    const std::vector<TRecordValues> records{At(45, 2, 0), At(45, 0, 2), At(55, 3, 1),
                                             At(55, 30, 10)};
    const TFreqAnalysis a = AnalyseFrequencies(records, {true, true, true, false}, 50, 5);
    EXPECT_EQ(a.Checked, 3);
    EXPECT_EQ(a.Used, 3);
    ASSERT_EQ(a.Means.size(), 2u);
    EXPECT_EQ(a.Means[0].Frequency, 45);
    EXPECT_EQ(a.Means[0].Count, 2);
    EXPECT_NEAR(a.Means[0].Z, std::sqrt(2.0), kNear);
    EXPECT_NEAR(a.Means[0].Phi, 45, 1e-7);
    EXPECT_NEAR(*a.Means[0].Spread, 0, kNear);
    ASSERT_TRUE(a.TwoPoint);
    EXPECT_EQ(a.TwoPoint->Below, 45);
    EXPECT_EQ(a.TwoPoint->Above, 55);
    // (1 + j1 + 3 + j1) / 2 = 2 + j1: |Z| = √5 = 2.2360680, Φ = atan 0.5 = 26.565051°.
    ExpectValue(a.TwoPoint->Value, 2, 1, 2.2360679775, 26.5650511771);
    EXPECT_FALSE(a.LineFit);
    EXPECT_EQ(AnalysisResultTexts(a, 4).Method, "由 45Hz 与 55Hz 线性插值");
    EXPECT_EQ(AnalysisResultTexts(a, 4).TwoPoint,
              "Z0 ：2.236Ω   R0 ：2.000Ω   X0 ：1.000Ω   Φ0：26.57°");

    // The spread is (max - min) / mean of |Z|: 2.0 and 2.1 give 4.878 %.
    const std::vector<TRecordValues> spread{At(45, 2, 0), At(45, 2.1, 0), At(55, 2, 0)};
    EXPECT_NEAR(*AnalyseFrequencies(spread, {}, 50, 5).Means[0].Spread, 4.8780487805, 1e-8);
    EXPECT_FALSE(AnalyseFrequencies(spread, {}, 50, 5).Means[0].OverTolerance);
    const TFreqAnalysis tight = AnalyseFrequencies(spread, {}, 50, 4.8);
    EXPECT_TRUE(tight.Means[0].OverTolerance);
    EXPECT_EQ(AnalysisMeanCells(tight.Means[0], tight),
              (std::vector<std::string>{"45Hz", "2", "2.049Ω", "0.000mΩ", "2.049Ω", "0.00°",
                                        "4.88%", "超出容差；用于插值"}));
}

TEST(FreqAnalysis, AsymmetricPairWeighsTheNearerFrequency) {
    // f1 = 47, f2 = 57: R0 = 2 + 0.3·(3 - 2) = 2.3, X0 = 1 + 0.3·(2 - 1) = 1.3;
    // the farther 40 Hz plays no part.
    const std::vector<TRecordValues> records{At(40, 10, 10), At(47, 2, 1), At(57, 3, 2)};
    const TFreqAnalysis a = AnalyseFrequencies(records, {}, 50, 5);
    ASSERT_TRUE(a.TwoPoint);
    EXPECT_EQ(a.TwoPoint->Below, 47);
    EXPECT_EQ(a.TwoPoint->Above, 57);
    ExpectValue(a.TwoPoint->Value, 2.3, 1.3, 2.6419689627, 29.4758890032);
    // At 60 Hz nothing lies above.
    const TFreqAnalysis at60 = AnalyseFrequencies(records, {}, 60, 5);
    EXPECT_EQ(at60.NoValue, TNoValue::NothingAbove);
    EXPECT_FALSE(at60.TwoPoint);
}

TEST(FreqAnalysis, ThreeFrequenciesGiveTheLeastSquaresLinesBesideTheTwoPointValue) {
    // The lines R = 2 + 0.01(f - 50) and X = 1 + 0.02(f - 50), each point off
    // them by (+1, -2, +1)·0.01, which moves neither line; 50 Hz is not used.
    const std::vector<TRecordValues> records{At(45, 1.96, 0.91), At(50, 100, 100),
                                             At(55, 2.03, 1.08), At(65, 2.16, 1.31)};
    const TFreqAnalysis a = AnalyseFrequencies(records, {}, 50, 5);
    ASSERT_EQ(a.Means.size(), 4u);
    EXPECT_TRUE(a.Means[1].AtPowerFrequency);
    EXPECT_EQ(a.Means[1].Count, 1);
    ASSERT_TRUE(a.TwoPoint);
    ExpectValue(a.TwoPoint->Value, 1.995, 0.995, std::hypot(1.995, 0.995), 26.5075830123);
    ASSERT_TRUE(a.LineFit);
    const TLineFitValue& fit = *a.LineFit;
    EXPECT_EQ(fit.Frequencies, 3);
    EXPECT_EQ(fit.Lowest, 45);
    EXPECT_EQ(fit.Highest, 65);
    EXPECT_NEAR(fit.SlopeR, 0.01, kNear);
    EXPECT_NEAR(fit.SlopeX, 0.02, kNear);
    ExpectValue(fit.Value, 2, 1, 2.2360679775, 26.5650511771);
    EXPECT_NEAR(fit.MaxResidualR, 0.02, kNear);
    EXPECT_NEAR(fit.MaxResidualX, 0.02, kNear);
    EXPECT_EQ(AnalysisResultTexts(a, 4).LineFit,
              "最小二乘直线（45Hz至65Hz，3个频率）：\nZ0 ：2.236Ω   R0 ：2.000Ω   X0 ：1.000Ω"
              "   Φ0：26.57°\n最大残差 R：20.00mΩ   X：20.00mΩ");
    EXPECT_EQ(AnalysisMeanCells(a.Means[1], a).back(), "工频点，不参与计算");
    EXPECT_EQ(AnalysisRecordCells(2, records[1], 50).back(), "工频点，不参与计算");
}

TEST(FreqAnalysis, WithoutAFrequencyOnEachSideThereIsNoValueAndTheWindowSaysWhy) {
    const auto why = [](const std::vector<TRecordValues>& records, std::vector<bool> checked = {}) {
        const TFreqAnalysis a = AnalyseFrequencies(records, checked, 50, 5);
        EXPECT_FALSE(a.TwoPoint);
        EXPECT_FALSE(a.LineFit);
        EXPECT_EQ(AnalysisResultTexts(a, records.size()).TwoPoint, "");
        return AnalysisResultTexts(a, records.size()).Method;
    };
    EXPECT_EQ(why({At(40, 2, 1), At(45, 2, 1)}), "没有高于50Hz的测试频率，无工频值（不外推）");
    EXPECT_EQ(why({At(55, 2, 1), At(60, 2, 1)}), "没有低于50Hz的测试频率，无工频值（不外推）");
    EXPECT_EQ(why({At(50, 2, 1)}), "除50Hz外没有可用的记录，无工频值");
    EXPECT_EQ(why({}), "没有可分析的记录");
    EXPECT_EQ(why({At(45, 2, 1), At(55, 2, 1)}, {false, false}), "没有勾选的记录，无工频值");
    EXPECT_EQ(why({Raw(45, 1, 0, 0)}), "没有可用的记录，无工频值");
}

TEST(FreqAnalysis, ZeroCurrentAndNonNumbersAreLeftOutShownAndCounted) {
    const std::vector<TRecordValues> records{
        At(45, 2, 0),        Raw(45, 1, 0, 0),    Raw(55, kNaN, 1, 0), At(55, 0, 2),
        Raw(55, 1, 1, kInf), Raw(45, kInf, 1, 0), Raw(60, 2, 0, 0),    Raw(60, 2, kNaN, 0)};
    const TFreqAnalysis a =
        AnalyseFrequencies(records, {true, true, true, true, true, true, true, false}, 50, 5);
    EXPECT_EQ(a.Checked, 7);
    EXPECT_EQ(a.Used, 2);
    EXPECT_EQ(a.LeftOut, 5);
    ASSERT_EQ(a.Means.size(), 3u);
    EXPECT_EQ(a.Means[0].Count, 1);
    EXPECT_EQ(a.Means[0].LeftOut, 2);
    EXPECT_EQ(a.Means[1].LeftOut, 2);
    // 60 Hz holds only a record whose current is 0: no side above 55 Hz then.
    EXPECT_EQ(a.Means[2].Count, 0);
    ASSERT_TRUE(a.TwoPoint);
    ExpectValue(a.TwoPoint->Value, 1, 1, std::sqrt(2.0), 45);
    EXPECT_EQ(AnalysisResultTexts(a, records.size()).Count,
              "共8条记录，已勾选7条，计入2条，未计入5条（I为0或数值无效）");
    EXPECT_EQ(AnalysisMeanCells(a.Means[0], a).back(), "另有2条未计入；用于插值");
    EXPECT_EQ(AnalysisMeanCells(a.Means[2], a),
              (std::vector<std::string>{"60Hz", "0", "", "", "", "", "", "另有1条未计入"}));

    const char* const notes[] = {"",
                                 "I为0，无法计算阻抗，未计入",
                                 "数值无效，未计入",
                                 "",
                                 "数值无效，未计入",
                                 "数值无效，未计入",
                                 "I为0，无法计算阻抗，未计入",
                                 "数值无效，未计入"};
    for (std::size_t k = 0; k < records.size(); ++k) {
        const std::vector<std::string> cells = AnalysisRecordCells(int(k + 1), records[k], 50);
        EXPECT_EQ(cells.back(), notes[k]) << k;
        for (const std::string& cell : cells) {
            EXPECT_EQ(cell.find("nan"), std::string::npos) << k;
            EXPECT_EQ(cell.find("inf"), std::string::npos) << k;
        }
    }
    EXPECT_EQ(AnalysisRecordCells(3, records[2], 50)[3], "无效");
    EXPECT_EQ(AnalysisRecordCells(2, records[1], 50)[6], "0.000mΩ");
    for (const std::string& line : AnalysisCsvLines(records, {}, a, 5)) {
        EXPECT_EQ(line.find("nan"), std::string::npos) << line;
        EXPECT_EQ(line.find("inf"), std::string::npos) << line;
    }
}

}  // namespace
