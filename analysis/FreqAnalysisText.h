#pragma once
// The texts of the frequency analysis window and of its spreadsheet export,
// built from the analysis (FreqAnalysis.h). Values are shown with the
// program's own texts (Numbers.h: cut, never rounded, with their units); a
// value that is not a number reads "无效". Texts are UTF-8.
//
//   record:  001 | 2025-03-03 20:33:40 | 45Hz | 2.411V  | 1.232A | 27.46° | 1.955Ω | 1.735Ω |
//   901.9mΩ | mean:    45Hz | 2 | 1.735Ω | 902.0mΩ | 1.956Ω | 27.46° | 0.03% | 用于插值 method:  由
//   45Hz 与 55Hz 线性插值 value:   Z0 ：2.001Ω   R0 ：1.733Ω   X0 ：999.8mΩ   Φ0：29.98°

#include <string>
#include <vector>

#include "analysis/FreqAnalysis.h"

// The columns of the records table and of the table of means.
enum TRecordColumn {
    RecordNumberColumn,  // carries the check box
    RecordTimeColumn,
    RecordFrequencyColumn,
    RecordUColumn,
    RecordIColumn,
    RecordPhiColumn,
    RecordZColumn,
    RecordRColumn,
    RecordXColumn,
    RecordNoteColumn,
};
enum TMeanColumn {
    MeanFrequencyColumn,
    MeanCountColumn,
    MeanRColumn,
    MeanXColumn,
    MeanZColumn,
    MeanPhiColumn,
    MeanSpreadColumn,
    MeanNoteColumn,
};

// Column headers of the records table and of the table of means.
const std::vector<std::string>& AnalysisRecordHeaders();
const std::vector<std::string>& AnalysisMeanHeaders();

// One record's cells: number ("%.3d"), test time, frequency, U, I, Φ, Z, R,
// X, note (why it is left out, or that it is at f0).
std::vector<std::string> AnalysisRecordCells(int number, const TRecordValues& record,
                                             int powerFrequency);
// Why a record has no part in the value (left out, or at f0); empty otherwise.
std::string AnalysisRecordNote(const TRecordValues& record, int powerFrequency);
// One frequency's notes: over the tolerance, records left out, at f0, used for the value.
std::string AnalysisMeanNote(const TFrequencyMean& mean, const TFreqAnalysis& a);

// One frequency's cells: frequency, count, mean R, mean X, |Z|, Φ, spread,
// note (over the tolerance, records left out, at f0, used for the value).
std::vector<std::string> AnalysisMeanCells(const TFrequencyMean& mean, const TFreqAnalysis& a);

struct TAnalysisResultTexts {
    std::string Count;     // how many records are checked, used and left out
    std::string Method;    // how the value was found, or why there is none
    std::string TwoPoint;  // Z0, R0, X0, Φ0; empty without a value
    std::string LineFit;   // the least-squares lines' value and largest residuals (3 lines)
};
TAnalysisResultTexts AnalysisResultTexts(const TFreqAnalysis& a, std::size_t records);
// The sentence of a method: "由 45Hz 与 55Hz 线性插值" with twoPoint's
// frequencies, or why there is no value at powerFrequency.
std::string ValueMethodText(TValueMethod method, int powerFrequency,
                            const std::optional<TTwoPointValue>& twoPoint);

// Signed, for values of a fitted line: "-" and the impedance text of |v|.
std::string SignedImpedanceText(double v);

// The export: the settings, the records, the means and the value as
// spreadsheet lines (ResultCsv.h: CsvLine), with an empty line between parts.
std::vector<std::string> AnalysisCsvLines(const std::vector<TRecordValues>& records,
                                          const std::vector<bool>& checked, const TFreqAnalysis& a,
                                          double tolerance);
