#include "analysis/LeadLayout.h"

#include <algorithm>
#include <map>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "analysis/FreqAnalysis.h"
#include "protocol/Numbers.h"

namespace {

// Two distances typed to the metre that meet a limit exactly (250 of 500 is
// 0.5) must pass it: the divisions' last bit does not decide.
constexpr double Slack = 1e-9;

const char* const StraightCurrentRule =
    "直线法：电流极距离取地网对角线的4～5倍；布置不下时，均匀土壤不小于2倍，"
    "不均匀土壤不小于3倍，并注明土壤";
const char* const StraightProbeRule = "直线法：电压极位于电流极距离的0.5～0.6处，或0.618点";
const char* const AngleLeadsRule = "夹角法：电流极、电压极距离均约为地网对角线的2倍";
const char* const AngleRule = "夹角法：两引线夹角约30°";
const char* const PlateauRule =
    "平台检验：电压极沿引线移动三次，每次约为电流极距离的5%，三个测值相差不超过5%";
const char* const CurrentRule = "变频测量：测试电流不小于3A";

// The probe's window around the 0.618 point, beside the 0.5 to 0.6 band.
constexpr double GoldenPoint = 0.618, GoldenWindow = 0.01;
constexpr double AngleLow = 25, AngleHigh = 35;
constexpr double PlateauLimit = 5;  // %
constexpr double PlateauStep = 5;   // % of d_CG
constexpr double MinimumCurrent = 3;

bool Usable(const std::optional<double>& v) {
    return v && std::isfinite(*v) && *v > 0;
}

std::string Metres(double v, std::optional<double> edge = std::nullopt) {
    return LayoutNumber(v, 2, edge) + "m";
}

// Why a distance cannot be used; empty when it can.
std::string DistanceProblem(const std::optional<double>& v, const std::string& name) {
    if (!v) return "缺少" + name + "，无修正系数";
    if (!Usable(v)) return name + "应为大于 0 的数值，无修正系数";
    return {};
}

}  // namespace

std::string LayoutNumber(double v, int decimals, std::optional<double> edge) {
    if (!std::isfinite(v)) return "无效";
    const auto text = [](double x, int d) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.*f", d, x);
        std::string s = buffer;
        if (s.find('.') != std::string::npos) {
            s.erase(s.find_last_not_of('0') + 1);
            if (s.back() == '.') s.pop_back();
        }
        return s == "-0" ? std::string("0") : s;
    };
    std::string s = text(v, decimals);
    while (edge && v != *edge && decimals < 6 && s == text(*edge, decimals))
        s = text(v, ++decimals);
    return s;
}

const std::vector<std::string>& LayoutMethodNames() {
    static const std::vector<std::string> names{"未填写", "直线法", "夹角法", "远离法", "其他"};
    return names;
}

const std::vector<std::string>& SoilKindNames() {
    static const std::vector<std::string> names{"未知", "均匀", "不均匀"};
    return names;
}

std::string LayoutMethodName(TLayoutMethod method) {
    const std::size_t k = std::size_t(method);
    return k < LayoutMethodNames().size() ? LayoutMethodNames()[k] : LayoutMethodNames()[0];
}

std::string SoilKindName(TSoilKind soil) {
    const std::size_t k = std::size_t(soil);
    return k < SoilKindNames().size() ? SoilKindNames()[k] : SoilKindNames()[0];
}

std::optional<double> GridDiagonal(const TLeadLayout& l) {
    if (l.Diagonal) return std::isfinite(*l.Diagonal) ? l.Diagonal : std::nullopt;
    if (!l.GridLength || !l.GridWidth) return std::nullopt;
    const double d = std::hypot(*l.GridLength, *l.GridWidth);
    if (!std::isfinite(d) || *l.GridLength <= 0 || *l.GridWidth <= 0) return std::nullopt;
    return d;
}

TLayoutFactor LayoutFactor(const TLeadLayout& l) {
    TLayoutFactor f;
    if (l.Method == TLayoutMethod::None) {
        f.Reason = "无布线数据，无修正系数";
        return f;
    }
    const std::optional<double> d = GridDiagonal(l);
    const bool sizeGiven = l.Diagonal || (l.GridLength && l.GridWidth);
    if (!sizeGiven) {
        f.Reason = "缺少地网对角线 D（或长、宽），无修正系数";
        return f;
    }
    for (const std::string& problem :
         {Usable(d) ? std::string() : "地网对角线 D 应为大于 0 的数值，无修正系数",
          DistanceProblem(l.CurrentDistance, "电流极距离 d_CG"),
          DistanceProblem(l.ProbeDistance, "电压极距离 d_PG")})
        if (!problem.empty()) {
            f.Reason = problem;
            return f;
        }
    // On a straight line the leads go the same way unless told otherwise.
    const std::optional<double> angle =
        l.Angle
            ? l.Angle
            : (l.Method == TLayoutMethod::StraightLine ? std::optional<double>(0.0) : std::nullopt);
    if (!angle) {
        f.Reason = "缺少两引线夹角 θ，无修正系数";
        return f;
    }
    if (!std::isfinite(*angle) || *angle < 0 || *angle > 180) {
        f.Reason = "夹角 θ 应在 0°～180° 之间，无修正系数";
        return f;
    }
    f.D = *d;
    f.CurrentDistance = *l.CurrentDistance;
    f.ProbeDistance = *l.ProbeDistance;
    f.Angle = *angle;
    const double radius = f.D / 2;
    if (f.CurrentDistance <= radius || f.ProbeDistance <= radius) {
        const bool current = f.CurrentDistance <= radius;
        f.Reason = std::string(current ? "电流极" : "电压极") + "距离 " +
                   Metres(current ? f.CurrentDistance : f.ProbeDistance) + " 不大于地网半径 D/2（" +
                   Metres(radius) + "），模型不适用，无修正系数";
        return f;
    }
    const double theta = f.Angle * std::numbers::pi / 180;
    const double pc2 = f.ProbeDistance * f.ProbeDistance + f.CurrentDistance * f.CurrentDistance -
                       2 * f.ProbeDistance * f.CurrentDistance * std::cos(theta);
    f.ProbeToCurrent = std::sqrt(std::max(pc2, 0.0));
    if (!(f.ProbeToCurrent > Slack * f.CurrentDistance)) {
        f.Reason = "电压极与电流极重合（d_PC = 0），无修正系数";
        return f;
    }
    f.Bracket = 1 - radius * (1 / f.ProbeDistance + 1 / f.CurrentDistance - 1 / f.ProbeToCurrent);
    if (!(f.Bracket > Slack)) {
        f.Reason = "1 - (D/2)(1/d_PG + 1/d_CG - 1/d_PC) = " + LayoutNumber(f.Bracket, 3) +
                   "，不大于 0：电压极离地网太近，模型不适用，无修正系数";
        return f;
    }
    f.Factor = 1 / f.Bracket;
    return f;
}

std::optional<double> CorrectedValue(double measured, const TLayoutFactor& f) {
    if (!f.Factor || !std::isfinite(measured)) return std::nullopt;
    return measured * *f.Factor;
}

std::vector<TLayoutWarning> LayoutWarnings(const TLeadLayout& l,
                                           std::optional<double> testCurrent) {
    std::vector<TLayoutWarning> out;
    const std::optional<double> d = GridDiagonal(l);
    const bool haveD = Usable(d), haveC = Usable(l.CurrentDistance),
               haveP = Usable(l.ProbeDistance);
    // "电流极距离 300m，小于地网对角线的4倍（720m）"
    const auto shortLead = [&](const char* lead, double distance, int times, const char* rule) {
        const double least = times * *d;
        if (distance + Slack * least < least)
            out.push_back({std::string(lead) + "距离 " + Metres(distance, least) +
                               "，小于地网对角线的" + std::to_string(times) + "倍（" +
                               Metres(least) + "）",
                           rule});
    };
    if (l.Method == TLayoutMethod::StraightLine) {
        if (haveD && haveC) {
            // 4 D, or what the stated soil allows where 4 D cannot be laid out.
            const int times = l.Soil == TSoilKind::Uniform      ? 2
                              : l.Soil == TSoilKind::NonUniform ? 3
                                                                : 4;
            shortLead("电流极", *l.CurrentDistance, times, StraightCurrentRule);
        }
        if (haveC && haveP) {
            const double ratio = *l.ProbeDistance / *l.CurrentDistance;
            const bool inBand = ratio >= 0.5 - Slack && ratio <= 0.6 + Slack;
            const bool atGolden = std::abs(ratio - GoldenPoint) <= GoldenWindow + Slack;
            if (!inBand && !atGolden) {
                const double edge = ratio < 0.5 ? 0.5 : GoldenPoint + GoldenWindow;
                out.push_back({"电压极位于电流极距离的 " + LayoutNumber(ratio, 2, edge) +
                                   " 处，偏离 0.618 点",
                               StraightProbeRule});
            }
        }
    }
    if (l.Method == TLayoutMethod::Angle) {
        if (haveD && haveC) shortLead("电流极", *l.CurrentDistance, 2, AngleLeadsRule);
        if (haveD && haveP) shortLead("电压极", *l.ProbeDistance, 2, AngleLeadsRule);
        if (l.Angle && std::isfinite(*l.Angle)) {
            const double a = *l.Angle;
            if (a < AngleLow - Slack)
                out.push_back({"夹角 " + LayoutNumber(a, 1, AngleLow) + "°，小于 25°", AngleRule});
            else if (a > AngleHigh + Slack)
                out.push_back({"夹角 " + LayoutNumber(a, 1, AngleHigh) + "°，大于 35°", AngleRule});
        }
    }
    if (testCurrent && std::isfinite(*testCurrent) && *testCurrent < MinimumCurrent)
        out.push_back({"测试电流 " + LayoutNumber(*testCurrent, 2, MinimumCurrent) + "A，小于 3A",
                       CurrentRule});
    return out;
}

std::optional<double> SmallestTestCurrent(const std::vector<TRecordValues>& records,
                                          const std::vector<bool>& checked) {
    std::optional<double> least;
    for (std::size_t k = 0; k < records.size(); ++k) {
        if (k < checked.size() && !checked[k]) continue;
        if (RecordImpedance(records[k]).LeftOut != TLeftOut::No) continue;
        const double i = std::abs(records[k].I);
        if (!least || i < *least) least = i;
    }
    return least;
}

TPlateau PlateauCheck(std::vector<TProbePosition> positions, double currentDistance) {
    TPlateau p;
    std::erase_if(positions, [](const TProbePosition& q) {
        return !std::isfinite(q.ProbeDistance) || !std::isfinite(q.Z);
    });
    std::sort(positions.begin(), positions.end(),
              [](const auto& a, const auto& b) { return a.ProbeDistance < b.ProbeDistance; });
    const int n = int(positions.size());
    if (n < 3) {
        p.Warnings.push_back(
            {"只有 " + std::to_string(n) + " 个测点，不足三个，无法检验平台", PlateauRule});
        return p;
    }
    double low = positions[0].Z, high = low, sum = 0;
    for (const TProbePosition& q : positions) {
        low = std::min(low, q.Z);
        high = std::max(high, q.Z);
        sum += q.Z;
    }
    const double mean = sum / n;
    if (mean > 0) p.Spread = (high - low) / mean * 100;
    p.Agrees = p.Spread && *p.Spread <= PlateauLimit + Slack;
    if (!p.Spread)
        p.Warnings.push_back({"测点的阻抗平均值不大于 0，无法检验平台", PlateauRule});
    else if (!p.Agrees)
        p.Warnings.push_back({std::string(n == 3 ? "三" : std::to_string(n).c_str()) +
                                  "个测点相差 " + LayoutNumber(*p.Spread, 1, PlateauLimit) +
                                  "%，未形成平台",
                              PlateauRule});
    // About 5 % of d_CG between neighbours: half or twice that is no longer "about".
    if (std::isfinite(currentDistance) && currentDistance > 0)
        for (int k = 1; k < n; ++k) {
            const double step = (positions[k].ProbeDistance - positions[k - 1].ProbeDistance) /
                                currentDistance * 100;
            if (step < PlateauStep / 2 - Slack || step > PlateauStep * 2 + Slack) {
                p.Warnings.push_back(
                    {"测点间距为电流极距离的 " + LayoutNumber(step, 1) + "%，应约为 5%",
                     PlateauRule});
                break;
            }
        }
    return p;
}

std::string LayoutInputsText(const TLeadLayout& l) {
    if (l.Method == TLayoutMethod::None) return "无布线数据";
    const auto part = [](const char* name, const std::optional<double>& v, const char* unit) {
        return std::string(name) + " = " + (v ? LayoutNumber(*v, 2) + unit : "未填写");
    };
    std::string d = part("D", GridDiagonal(l), "m");
    if (!l.Diagonal && l.GridLength && l.GridWidth)
        d += "（" + Metres(*l.GridLength) + "×" + Metres(*l.GridWidth) + "）";
    const std::optional<double> angle =
        l.Angle || l.Method != TLayoutMethod::StraightLine ? l.Angle : std::optional<double>(0.0);
    return LayoutMethodName(l.Method) + "，" + d + "，" + part("d_CG", l.CurrentDistance, "m") +
           "，" + part("d_PG", l.ProbeDistance, "m") + "，" + part("θ", angle, "°") + "，土壤 " +
           SoilKindName(l.Soil);
}

std::string FactorText(const TLayoutFactor& f) {
    return f.Factor ? LayoutNumber(*f.Factor, 3) : f.Reason;
}

std::string CorrectedText(std::optional<double> measured, const TLayoutFactor& f) {
    if (!measured) return {};
    const std::optional<double> z = CorrectedValue(*measured, f);
    if (!z) return {};
    char factor[32];
    std::snprintf(factor, sizeof factor, "%.3f", *f.Factor);
    return ImpedanceText(*z) + "（实测 " + ImpedanceText(*measured) + " × " + factor + "）";
}

std::string WarningLine(const TLayoutWarning& w) {
    return w.Text + "（依据：" + w.Rule + "）";
}

std::string FormulaInputsText(const TLeadLayout& l, const TLayoutFactor& f) {
    if (!f.Factor) return LayoutInputsText(l);
    return "D = " + Metres(f.D) + "，d_CG = " + Metres(f.CurrentDistance) +
           "，d_PG = " + Metres(f.ProbeDistance) + "，θ = " + LayoutNumber(f.Angle, 2) +
           "°，d_PC = " + Metres(f.ProbeToCurrent);
}

std::string WarningsText(const TLeadLayout& l, const std::vector<TLayoutWarning>& warnings) {
    if (warnings.empty())
        return l.Method == TLayoutMethod::None ? "布线检查：无布线数据，未检查"
                                               : "布线检查：未发现与布线规则不符之处";
    std::string text = "布线检查：";
    for (const TLayoutWarning& w : warnings) text += "\n" + WarningLine(w);
    return text;
}

std::vector<TProbePosition> ProbePositionValues(
    const std::vector<TRecordValues>& records,
    const std::vector<std::optional<double>>& probeDistances, const std::vector<bool>& checked,
    std::optional<double> layoutProbe, int powerFrequency) {
    std::map<double, std::vector<TRecordValues>> groups;
    for (std::size_t k = 0; k < records.size(); ++k) {
        if (k < checked.size() && !checked[k]) continue;
        const std::optional<double> own = k < probeDistances.size() ? probeDistances[k] : std::nullopt;
        const std::optional<double> at = Usable(own) ? own : layoutProbe;
        if (Usable(at)) groups[*at].push_back(records[k]);
    }
    std::vector<TProbePosition> positions;
    for (const auto& [distance, group] : groups) {
        const TFreqAnalysis a = AnalyseFrequencies(group, {}, powerFrequency, DefaultTolerance);
        if (a.TwoPoint) positions.push_back({distance, a.TwoPoint->Value.Z});
    }
    return positions;
}
