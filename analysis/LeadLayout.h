#pragma once
// The lead layout of a campaign and what it does to the measured value.
//
// The grid G is taken as a hemisphere of radius D/2 in uniform soil, D the
// grid's largest diagonal. The current electrode C lies at d_CG from the
// grid's centre, the potential probe P at d_PG, the two leads at the angle θ:
//   d_PC = √(d_PG² + d_CG² − 2·d_PG·d_CG·cos θ),
//   Z/Z′ = 1 / (1 − (D/2)·(1/d_PG + 1/d_CG − 1/d_PC)),
// Z′ the measured value, Z the grid's own. The bracket vanishes on a straight
// line at d_PG/d_CG = 0.618 and with equal leads at θ = 28.96°: there the
// measured value is the grid's. D = 100 m, d_CG 500, d_PG 250, 0° gives 1.111.
//
// A layout the model cannot take (a distance missing, not above zero or not a
// number, an electrode inside the hemisphere, the bracket at or below zero)
// gives its reason and no factor. Texts are UTF-8.

#include <optional>
#include <string>
#include <vector>

#include "protocol/RecordValues.h"

// Stored as these numbers: keep them.
enum class TLayoutMethod {
    None = 0,          // no layout given (campaigns stored before the layout was kept)
    StraightLine = 1,  // 直线法
    Angle = 2,         // 夹角法
    Remote = 3,        // 远离法
    Other = 4,         // 其他
};
enum class TSoilKind {
    Unknown = 0,     // 未知
    Uniform = 1,     // 均匀
    NonUniform = 2,  // 不均匀
};

struct TLeadLayout {
    TLayoutMethod Method = TLayoutMethod::None;
    std::optional<double> Diagonal;               // D, m; when given it wins over length × width
    std::optional<double> GridLength, GridWidth;  // m
    std::optional<double> CurrentDistance;        // d_CG, m
    std::optional<double> ProbeDistance;          // d_PG, m
    std::optional<double> Angle;                  // θ, degrees; none on a straight line means 0
    TSoilKind Soil = TSoilKind::Unknown;
};

// "直线法", …; "未填写" for None. "均匀", "不均匀", "未知".
const std::vector<std::string>& LayoutMethodNames();  // by TLayoutMethod, None first
const std::vector<std::string>& SoilKindNames();      // by TSoilKind
std::string LayoutMethodName(TLayoutMethod method);
std::string SoilKindName(TSoilKind soil);

// D as given, or √(length² + width²); none without either or with a part
// that is not a number.
std::optional<double> GridDiagonal(const TLeadLayout& layout);

// The model's inputs and result. Factor is none exactly when Reason is set.
struct TLayoutFactor {
    std::optional<double> Factor;  // Z/Z′
    std::string Reason;            // why there is none
    double D = 0, CurrentDistance = 0, ProbeDistance = 0, Angle = 0, ProbeToCurrent = 0;
    double Bracket = 0;  // 1 − (D/2)(1/d_PG + 1/d_CG − 1/d_PC)
};
TLayoutFactor LayoutFactor(const TLeadLayout& layout);

// The grid's own value from the measured one; none without a factor or a
// finite measured value.
std::optional<double> CorrectedValue(double measured, const TLayoutFactor& factor);

// A rule the layout or the measurement breaks: what is wrong, with the
// numbers, and the rule it comes from.
struct TLayoutWarning {
    std::string Text;  // "夹角 18°，小于 25°"
    std::string Rule;  // "夹角法：……"
};

// The method's rules over the layout, and the test current (the smallest of
// the records used) when known. None for a layout the rules do not cover.
std::vector<TLayoutWarning> LayoutWarnings(const TLeadLayout& layout,
                                           std::optional<double> testCurrent);

// The test current for the current rule: the smallest |I| of the checked
// records that take part in the analysis (FreqAnalysis.h: RecordImpedance);
// none without such a record. Missing entries of checked count as checked.
std::optional<double> SmallestTestCurrent(const std::vector<TRecordValues>& records,
                                          const std::vector<bool>& checked);

// The value at one probe position.
struct TProbePosition {
    double ProbeDistance = 0;  // d_PG, m
    double Z = 0;              // ohms
};
struct TPlateau {
    std::optional<double> Spread;  // (max − min)/mean of the values, %; none without a mean above 0
    bool Agrees = false;           // three or more positions within 5 %
    std::vector<TLayoutWarning> Warnings;
};
// The probe moved along the lead by about 5 % of d_CG at least three times:
// the values should agree within 5 %.
TPlateau PlateauCheck(std::vector<TProbePosition> positions, double currentDistance);

// The value at each probe position of a campaign: the checked records
// grouped by where the probe stood (a record's own d_PG, else the layout's;
// records with neither are left out), each group's power-frequency value by
// the frequency analysis (a group without one is left out); by rising d_PG.
// Missing entries of probeDistances count as none, of checked as checked.
std::vector<TProbePosition> ProbePositionValues(
    const std::vector<TRecordValues>& records,
    const std::vector<std::optional<double>>& probeDistances, const std::vector<bool>& checked,
    std::optional<double> layoutProbe, int powerFrequency);

// "1.2", "720", "0.45": at most `decimals` decimals, trailing zeros cut, and
// more decimals (up to 6) while v would read the same as `edge`.
std::string LayoutNumber(double v, int decimals, std::optional<double> edge = std::nullopt);

// The texts shown beside the measured value (window, archive, report).
// "直线法，D = 216.33m（180m×120m），d_CG = 900m，d_PG = 560m，θ = 0°，土壤 未知";
// "无布线数据" for a campaign without a layout.
std::string LayoutInputsText(const TLeadLayout& layout);
// "1.017", or the reason there is none.
std::string FactorText(const TLayoutFactor& factor);
// The corrected value with the factor that made it: "2.035Ω（实测 2.001Ω × 1.017）";
// empty without a factor or a measured value.
std::string CorrectedText(std::optional<double> measured, const TLayoutFactor& factor);
// The formula's inputs as the factor took them: "D = 100m，d_CG = 500m，
// d_PG = 250m，θ = 0°，d_PC = 250m"; the layout's own inputs without a factor.
std::string FormulaInputsText(const TLeadLayout& layout, const TLayoutFactor& factor);
// The broken rules in one text: "布线检查：" and a line each; that nothing was
// found, or that there was no layout to check.
std::string WarningsText(const TLeadLayout& layout, const std::vector<TLayoutWarning>& warnings);
// "夹角 18°，小于 25°（依据：夹角法：两引线夹角约30°）"
std::string WarningLine(const TLayoutWarning& warning);
