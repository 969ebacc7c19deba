// The hemispherical-electrode correction and the layout rules, by value.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "analysis/LeadLayout.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

TLeadLayout Layout(TLayoutMethod method, double d, double dCG, double dPG,
                   std::optional<double> angle = std::nullopt,
                   TSoilKind soil = TSoilKind::Unknown) {
    TLeadLayout l;
    l.Method = method;
    l.Diagonal = d;
    l.CurrentDistance = dCG;
    l.ProbeDistance = dPG;
    l.Angle = angle;
    l.Soil = soil;
    return l;
}

std::vector<std::string> Texts(const std::vector<TLayoutWarning>& warnings) {
    std::vector<std::string> out;
    for (const TLayoutWarning& w : warnings) out.push_back(w.Text);
    return out;
}

using Strings = std::vector<std::string>;

TEST(LeadLayout, FactorsOfTheTableForAHundredMetreGrid) {
    struct Row {
        double dCG, dPG, angle, factor;
    };
    const Row table[] = {{500, 309, 0, 1.000},  {500, 250, 0, 1.111},  {500, 300, 0, 1.017},
                         {500, 350, 0, 0.917},  {200, 200, 29, 1.001}, {200, 200, 30, 1.017},
                         {200, 200, 20, 0.820}, {200, 200, 45, 1.210}, {200, 200, 60, 1.333},
                         {400, 200, 30, 1.210}};
    for (const Row& r : table) {
        const TLayoutFactor f =
            LayoutFactor(Layout(TLayoutMethod::Angle, 100, r.dCG, r.dPG, r.angle));
        ASSERT_TRUE(f.Factor) << r.dCG << " " << r.dPG << " " << r.angle << ": " << f.Reason;
        EXPECT_NEAR(*f.Factor, r.factor, 0.0005) << r.dCG << " " << r.dPG << " " << r.angle;
        EXPECT_TRUE(f.Reason.empty());
    }
    // A straight line without an angle is 0°, and the value follows the factor.
    const TLayoutFactor line = LayoutFactor(Layout(TLayoutMethod::StraightLine, 100, 500, 250));
    EXPECT_NEAR(*line.Factor, 1.111, 0.0005);
    EXPECT_NEAR(*CorrectedValue(2.0, line), 2.0 / 0.9, 1e-12);
    EXPECT_EQ(CorrectedText(2.0, line), "2.222Ω（实测 2.000Ω × 1.111）");
    EXPECT_FALSE(CorrectedValue(kNaN, line));
    EXPECT_EQ(CorrectedText(std::nullopt, line), "");
}

TEST(LeadLayout, CorrectionVanishesAtTheGoldenPointAndAtTheThirtyDegreeAngle) {
    const double golden = (std::sqrt(5.0) - 1) / 2;
    EXPECT_NEAR(golden, 0.618, 0.0005);
    const TLayoutFactor line =
        LayoutFactor(Layout(TLayoutMethod::StraightLine, 100, 1000, 1000 * golden, 0.0));
    EXPECT_NEAR(line.Bracket, 1, 1e-12);  // the model's 1 − 0: Z = Z′
    const double zero = 2 * std::asin(0.25) * 180 / std::acos(-1.0);
    EXPECT_NEAR(zero, 28.96, 0.005);
    EXPECT_NEAR(*LayoutFactor(Layout(TLayoutMethod::Angle, 100, 300, 300, zero)).Factor, 1, 1e-12);
}

TEST(LeadLayout, LayoutsTheModelCannotTakeGiveTheirReasonAndNoFactor) {
    struct Row {
        TLeadLayout layout;
        std::string reason;
    };
    TLeadLayout sized = Layout(TLayoutMethod::StraightLine, 0, 500, 300);
    sized.Diagonal.reset();
    sized.GridLength = 180;
    sized.GridWidth = -120;
    TLeadLayout noSize = sized;
    noSize.GridWidth.reset();
    TLeadLayout noProbe = Layout(TLayoutMethod::StraightLine, 100, 500, 300);
    noProbe.ProbeDistance.reset();
    const Row rows[] = {
        {TLeadLayout{}, "无布线数据，无修正系数"},
        {noSize, "缺少地网对角线 D（或长、宽），无修正系数"},
        {sized, "地网对角线 D 应为大于 0 的数值，无修正系数"},
        {Layout(TLayoutMethod::StraightLine, 100, 0, 300),
         "电流极距离 d_CG应为大于 0 的数值，无修正系数"},
        {Layout(TLayoutMethod::StraightLine, 100, 500, -1),
         "电压极距离 d_PG应为大于 0 的数值，无修正系数"},
        {Layout(TLayoutMethod::StraightLine, 100, kInf, 300),
         "电流极距离 d_CG应为大于 0 的数值，无修正系数"},
        {Layout(TLayoutMethod::StraightLine, kNaN, 500, 300),
         "地网对角线 D 应为大于 0 的数值，无修正系数"},
        {noProbe, "缺少电压极距离 d_PG，无修正系数"},
        {Layout(TLayoutMethod::Angle, 100, 500, 300), "缺少两引线夹角 θ，无修正系数"},
        {Layout(TLayoutMethod::Angle, 100, 500, 300, kNaN),
         "夹角 θ 应在 0°～180° 之间，无修正系数"},
        {Layout(TLayoutMethod::Angle, 100, 500, 300, 181), "夹角 θ 应在 0°～180° 之间，无修正系数"},
        {Layout(TLayoutMethod::StraightLine, 100, 500, 40),
         "电压极距离 40m 不大于地网半径 D/2（50m），模型不适用，无修正系数"},
        {Layout(TLayoutMethod::StraightLine, 100, 500, 500),
         "电压极与电流极重合（d_PC = 0），无修正系数"},
        // Both electrodes just outside the grid, on opposite sides: d_PC = 111,
        // 1 − 50·(1/51 + 1/60 − 1/111) = −0.363.
        {Layout(TLayoutMethod::Other, 100, 60, 51, 180),
         "1 - (D/2)(1/d_PG + 1/d_CG - 1/d_PC) = -0.363，不大于 0：电压极离地网太近，模型不适用，"
         "无修正系数"},
    };
    for (const Row& r : rows) {
        const TLayoutFactor f = LayoutFactor(r.layout);
        EXPECT_FALSE(f.Factor) << r.reason;
        EXPECT_EQ(f.Reason, r.reason);
        EXPECT_EQ(FactorText(f), r.reason);
        EXPECT_EQ(CorrectedText(1.0, f), "");
    }
    // D from length × width when D is not given: 180 × 120 → 216.33 m.
    sized.GridWidth = 120;
    EXPECT_NEAR(*GridDiagonal(sized), std::hypot(180.0, 120.0), 1e-12);
    EXPECT_EQ(LayoutInputsText(sized),
              "直线法，D = 216.33m（180m×120m），d_CG = 500m，d_PG = 300m，θ = 0°，土壤 未知");
    EXPECT_EQ(LayoutInputsText(TLeadLayout{}), "无布线数据");
}

TEST(LeadLayout, EachRuleWarnsJustPastItsEdgeAndNotAtIt) {
    using M = TLayoutMethod;
    struct Row {
        TLeadLayout layout;
        std::optional<double> current;
        Strings warnings;
    };
    const Row rows[] = {
        // Straight line, D = 180: 4 D = 720, 2 D (uniform) = 360, 3 D (non-uniform) = 540.
        {Layout(M::StraightLine, 180, 300, 165),
         {},
         {"电流极距离 300m，小于地网对角线的4倍（720m）"}},
        {Layout(M::StraightLine, 180, 720, 396), {}, {}},
        {Layout(M::StraightLine, 180, 719.9, 396),
         {},
         {"电流极距离 719.9m，小于地网对角线的4倍（720m）"}},
        {Layout(M::StraightLine, 180, 360, 198, {}, TSoilKind::Uniform), {}, {}},
        {Layout(M::StraightLine, 180, 359, 198, {}, TSoilKind::Uniform),
         {},
         {"电流极距离 359m，小于地网对角线的2倍（360m）"}},
        {Layout(M::StraightLine, 180, 540, 297, {}, TSoilKind::NonUniform), {}, {}},
        {Layout(M::StraightLine, 180, 539, 297, {}, TSoilKind::NonUniform),
         {},
         {"电流极距离 539m，小于地网对角线的3倍（540m）"}},
        // The probe: 0.5 to 0.6 of d_CG, or 0.618 ± 0.01.
        {Layout(M::StraightLine, 100, 1000, 450),
         {},
         {"电压极位于电流极距离的 0.45 处，偏离 0.618 点"}},
        {Layout(M::StraightLine, 100, 1000, 500), {}, {}},
        {Layout(M::StraightLine, 100, 1000, 499),
         {},
         {"电压极位于电流极距离的 0.499 处，偏离 0.618 点"}},
        {Layout(M::StraightLine, 100, 1000, 628), {}, {}},
        {Layout(M::StraightLine, 100, 1000, 629),
         {},
         {"电压极位于电流极距离的 0.629 处，偏离 0.618 点"}},
        // Angle method, D = 100: both leads 2 D = 200, the angle 25° to 35°.
        {Layout(M::Angle, 100, 200, 200, 18), {}, {"夹角 18°，小于 25°"}},
        {Layout(M::Angle, 100, 200, 200, 25), {}, {}},
        {Layout(M::Angle, 100, 200, 200, 24.9), {}, {"夹角 24.9°，小于 25°"}},
        {Layout(M::Angle, 100, 200, 200, 35), {}, {}},
        {Layout(M::Angle, 100, 200, 200, 35.1), {}, {"夹角 35.1°，大于 35°"}},
        {Layout(M::Angle, 100, 199, 150, 30),
         {},
         {"电流极距离 199m，小于地网对角线的2倍（200m）",
          "电压极距离 150m，小于地网对角线的2倍（200m）"}},
        // The test current, on any method.
        {Layout(M::Remote, 100, 200, 200, 180), 1.2, {"测试电流 1.2A，小于 3A"}},
        {Layout(M::Remote, 100, 200, 200, 180), 3.0, {}},
        {Layout(M::Remote, 100, 200, 200, 180), 2.999, {"测试电流 2.999A，小于 3A"}},
        {Layout(M::Remote, 100, 200, 200, 180), kNaN, {}},
        // A layout with nothing usable breaks no rule it cannot be checked against.
        {Layout(M::StraightLine, kNaN, 0, -5), {}, {}},
        {TLeadLayout{}, 1.0, {"测试电流 1A，小于 3A"}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(Texts(LayoutWarnings(r.layout, r.current)), r.warnings)
            << LayoutInputsText(r.layout);
    // Each warning names its rule.
    const auto w = LayoutWarnings(Layout(M::Angle, 100, 200, 200, 18), 1.2);
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(WarningLine(w[0]), "夹角 18°，小于 25°（依据：夹角法：两引线夹角约30°）");
    EXPECT_EQ(w[1].Rule, "变频测量：测试电流不小于3A");
}

TEST(LeadLayout, PlateauNeedsThreePositionsWithinFivePercent) {
    // d_CG 1000: positions 50 m apart, 5 % of it.
    struct Row {
        std::vector<TProbePosition> positions;
        bool agrees;
        Strings warnings;
    };
    const Row rows[] = {
        {{{568, 2.0}, {618, 2.05}, {668, 2.1}}, true, {}},
        // 2.0, 2.1, 2.15: (2.15 − 2.0) / 2.0833 = 7.2 %.
        {{{568, 2.0}, {618, 2.1}, {668, 2.15}}, false, {"三个测点相差 7.2%，未形成平台"}},
        {{{568, 2.0}, {618, 2.0}}, false, {"只有 2 个测点，不足三个，无法检验平台"}},
        {{{568, 2.0}, {618, kNaN}, {668, 2.0}}, false, {"只有 2 个测点，不足三个，无法检验平台"}},
        {{{500, 2.0}, {618, 2.0}, {668, 2.0}}, true, {"测点间距为电流极距离的 11.8%，应约为 5%"}},
    };
    for (const Row& r : rows) {
        const TPlateau p = PlateauCheck(r.positions, 1000);
        EXPECT_EQ(p.Agrees, r.agrees);
        EXPECT_EQ(Texts(p.Warnings), r.warnings);
    }
    // At the 5 % edge (0.1 / 2.0) and just past it (0.1003 / 2.0001 = 5.015 %).
    EXPECT_TRUE(PlateauCheck({{568, 1.95}, {618, 2.0}, {668, 2.05}}, 1000).Agrees);  // 5.000 %
    EXPECT_EQ(Texts(PlateauCheck({{568, 1.95}, {618, 2.0}, {668, 2.0503}}, 1000).Warnings),
              Strings{"三个测点相差 5.01%，未形成平台"});
}

}  // namespace
