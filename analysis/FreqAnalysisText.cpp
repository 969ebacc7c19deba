#include "analysis/FreqAnalysisText.h"

#include <algorithm>
#include <cstdio>

#include "protocol/Numbers.h"
#include "results/ResultCsv.h"

namespace {

// A text whose value is not a number: never "nan" or "inf" on screen.
template <class F>
std::string Shown(F text) {
    try {
        return text();
    } catch (const TNotANumber&) {
        return "无效";
    }
}

std::string Printf(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Hz(int f) {
    return std::to_string(f) + "Hz";
}

std::string Joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& p : parts) text += (text.empty() ? "" : "；") + p;
    return text;
}

std::string ValueText(const TPowerValue& v) {
    return "Z0 ：" + Shown([&] { return ImpedanceText(v.Z); }) + "   R0 ：" +
           Shown([&] { return SignedImpedanceText(v.R); }) + "   X0 ：" +
           Shown([&] { return SignedImpedanceText(v.X); }) + "   Φ0：" +
           Shown([&] { return PhaseText(v.Phi); });
}

std::vector<std::string> ValueCells(const char* method, int f1, int f2, const TPowerValue& v) {
    return {method,         std::to_string(f1), std::to_string(f2), CsvNumber(v.Z),
            CsvNumber(v.R), CsvNumber(v.X),     CsvNumber(v.Phi)};
}

}  // namespace

std::string AnalysisRecordNote(const TRecordValues& r, int powerFrequency) {
    switch (RecordImpedance(r).LeftOut) {
        case TLeftOut::ZeroCurrent:
            return "I为0，无法计算阻抗，未计入";
        case TLeftOut::NotANumber:
            return "数值无效，未计入";
        case TLeftOut::No:
            break;
    }
    return r.Frequency == powerFrequency ? "工频点，不参与计算" : "";
}

std::string AnalysisMeanNote(const TFrequencyMean& m, const TFreqAnalysis& a) {
    std::vector<std::string> notes;
    if (m.OverTolerance) notes.push_back("超出容差");
    if (m.LeftOut) notes.push_back("另有" + std::to_string(m.LeftOut) + "条未计入");
    if (m.AtPowerFrequency) notes.push_back("工频点，不参与计算");
    if (a.TwoPoint && (m.Frequency == a.TwoPoint->Below || m.Frequency == a.TwoPoint->Above))
        notes.push_back("用于插值");
    return Joined(notes);
}

std::string SignedImpedanceText(double v) {
    return v < 0 ? std::string("-").append(ImpedanceText(-v)) : ImpedanceText(v);
}

const std::vector<std::string>& AnalysisRecordHeaders() {
    static const std::vector<std::string> headers{"编号", "测试时间", "频率", "U", "I",
                                                  "Φ",    "Z",        "R",    "X", "说明"};
    return headers;
}

const std::vector<std::string>& AnalysisMeanHeaders() {
    static const std::vector<std::string> headers{"频率", "记录数", "R均值",     "X均值",
                                                  "|Z|",  "Φ",      "|Z|离散度", "说明"};
    return headers;
}

std::vector<std::string> AnalysisRecordCells(int number, const TRecordValues& r,
                                             int powerFrequency) {
    char numberText[16];
    std::snprintf(numberText, sizeof numberText, "%.3d", number);
    const TImpedanceTexts z = ImpedanceTexts(r.U, r.I, r.Phi);
    return {numberText,
            RecordTestTime(r),
            Hz(r.Frequency),
            Shown([&] { return VoltageText(r.U); }),
            Shown([&] { return CurrentText(r.I); }),
            Shown([&] { return PhaseText(r.Phi); }),
            z.Z,
            z.R,
            z.X,
            AnalysisRecordNote(r, powerFrequency)};
}

std::vector<std::string> AnalysisMeanCells(const TFrequencyMean& m, const TFreqAnalysis& a) {
    if (m.Count == 0) return {Hz(m.Frequency), "0", "", "", "", "", "", AnalysisMeanNote(m, a)};
    return {Hz(m.Frequency),
            std::to_string(m.Count),
            Shown([&] { return ImpedanceText(m.R); }),
            Shown([&] { return ImpedanceText(m.X); }),
            Shown([&] { return ImpedanceText(m.Z); }),
            Shown([&] { return PhaseText(m.Phi); }),
            m.Spread ? Printf("%.2f%%", *m.Spread) : "",
            AnalysisMeanNote(m, a)};
}

std::string ValueMethodText(TValueMethod method, int powerFrequency,
                            const std::optional<TTwoPointValue>& twoPoint) {
    const std::string f0 = Hz(powerFrequency);
    switch (method) {
        case TValueMethod::TwoPoint:
            if (!twoPoint) break;
            return "由 " + Hz(twoPoint->Below) + " 与 " + Hz(twoPoint->Above) + " 线性插值";
        case TValueMethod::NoRecords:
            break;
        case TValueMethod::NoneChecked:
            return "没有勾选的记录，无工频值";
        case TValueMethod::NoneUsable:
            return "没有可用的记录，无工频值";
        case TValueMethod::OnlyPowerFrequency:
            return "除" + f0 + "外没有可用的记录，无工频值";
        case TValueMethod::NothingBelow:
            return "没有低于" + f0 + "的测试频率，无工频值（不外推）";
        case TValueMethod::NothingAbove:
            return "没有高于" + f0 + "的测试频率，无工频值（不外推）";
    }
    return "没有可分析的记录";
}

TAnalysisResultTexts AnalysisResultTexts(const TFreqAnalysis& a, std::size_t records) {
    TAnalysisResultTexts t;
    t.Count = "共" + std::to_string(records) + "条记录，已勾选" + std::to_string(a.Checked) +
              "条，计入" + std::to_string(a.Used) + "条";
    if (a.LeftOut) t.Count += "，未计入" + std::to_string(a.LeftOut) + "条（I为0或数值无效）";
    t.Method = ValueMethodText(ValueMethodOf(a, records), a.PowerFrequency, a.TwoPoint);
    if (!a.TwoPoint) return t;
    t.TwoPoint = ValueText(a.TwoPoint->Value);
    if (!a.LineFit) {
        t.LineFit = "测试频率不足3个，无最小二乘直线";
        return t;
    }
    const TLineFitValue& fit = *a.LineFit;
    t.LineFit = "最小二乘直线（" + Hz(fit.Lowest) + "至" + Hz(fit.Highest) + "，" +
                std::to_string(fit.Frequencies) + "个频率）：\n" + ValueText(fit.Value) +
                "\n最大残差 R：" + Shown([&] { return ImpedanceText(fit.MaxResidualR); }) +
                "   X：" + Shown([&] { return ImpedanceText(fit.MaxResidualX); });
    return t;
}

std::vector<std::string> AnalysisCsvLines(const std::vector<TRecordValues>& records,
                                          const std::vector<bool>& checked, const TFreqAnalysis& a,
                                          double tolerance) {
    std::vector<std::string> header{"编号", "测试时间", "频率(Hz)"};
    header.insert(header.end(), CsvReadingHeaders().begin(), CsvReadingHeaders().end());
    header.insert(header.end(), {"勾选", "说明"});
    std::vector<std::string> lines{
        CsvLine({"频率分析", "工频f0(Hz)", std::to_string(a.PowerFrequency), "|Z|离散度容差(%)",
                 CsvNumber(tolerance)}),
        "", CsvLine(header)};
    for (std::size_t k = 0; k < records.size(); ++k) {
        const TRecordValues& r = records[k];
        std::vector<std::string> cells{std::to_string(k + 1), RecordTestTime(r),
                                       std::to_string(r.Frequency)};
        std::vector<std::string> reading = CsvReadingCells(r.U, r.I, r.Phi);
        // A record left out of the means shows no impedance (an infinite I gives 0 Ω).
        if (RecordImpedance(r).LeftOut != TLeftOut::No)
            std::fill(reading.begin() + CsvZCell, reading.end(), std::string());
        cells.insert(cells.end(), reading.begin(), reading.end());
        cells.push_back(k < checked.size() && !checked[k] ? "否" : "是");
        cells.push_back(AnalysisRecordNote(r, a.PowerFrequency));
        lines.push_back(CsvLine(cells));
    }
    lines.push_back("");
    lines.push_back(CsvLine({"频率(Hz)", "记录数", "未计入", "R均值(Ω)", "X均值(Ω)", "|Z|(Ω)",
                             "Φ(°)", "|Z|离散度(%)", "说明"}));
    for (const TFrequencyMean& m : a.Means) {
        const bool mean = m.Count > 0;
        lines.push_back(CsvLine({std::to_string(m.Frequency), std::to_string(m.Count),
                                 std::to_string(m.LeftOut), mean ? CsvNumber(m.R) : "",
                                 mean ? CsvNumber(m.X) : "", mean ? CsvNumber(m.Z) : "",
                                 mean ? CsvNumber(m.Phi) : "", m.Spread ? CsvNumber(*m.Spread) : "",
                                 AnalysisMeanNote(m, a)}));
    }
    lines.push_back("");
    if (!a.TwoPoint) {
        lines.push_back(CsvLine({"工频值", AnalysisResultTexts(a, records.size()).Method}));
    } else {
        lines.push_back(CsvLine({"工频值", "频率1(Hz)", "频率2(Hz)", "Z0(Ω)", "R0(Ω)", "X0(Ω)",
                                 "Φ0(°)", "R最大残差(Ω)", "X最大残差(Ω)"}));
        lines.push_back(CsvLine(
            ValueCells("两点线性插值", a.TwoPoint->Below, a.TwoPoint->Above, a.TwoPoint->Value)));
        if (a.LineFit) {
            std::vector<std::string> cells =
                ValueCells("最小二乘直线", a.LineFit->Lowest, a.LineFit->Highest, a.LineFit->Value);
            cells.push_back(CsvNumber(a.LineFit->MaxResidualR));
            cells.push_back(CsvNumber(a.LineFit->MaxResidualX));
            lines.push_back(CsvLine(cells));
        }
    }
    lines.push_back("");
    return lines;
}
