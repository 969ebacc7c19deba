#pragma once
// The frequency analysis of the instrument's records: the impedance at the
// power frequency f0 (50 or 60 Hz) from records taken at test frequencies on
// both sides of it, where the grid's own currents do not disturb the reading.
//
// Each record gives R and X (Numbers.h: ComputeImpedance). Per test frequency
// R and X are averaged (the complex mean; averaging |Z| would read high). Between
// the nearest frequencies f1 < f0 < f2 that hold usable records, R and X are
// interpolated linearly:
//   R0 = R1 + (f0 - f1)(R2 - R1)/(f2 - f1), the same for X,
//   Z0 = sqrt(R0² + X0²), Φ0 = atan2(X0, R0).
// 45 Hz R 2 X 0 and 55 Hz R 0 X 2 give R0 = X0 = 1, Z0 = 1.414, Φ0 = 45°.
// Without a frequency on each side of f0 there is no value: nothing is
// extrapolated. Records at f0 itself are listed and averaged but not used.
// With three or more frequencies the least-squares lines of R(f) and X(f)
// through the frequencies' means are given beside the two-point value.

#include <optional>
#include <vector>

#include "protocol/Numbers.h"  // PhaseOf
#include "protocol/RecordValues.h"

// Why a record has no part in any mean.
enum class TLeftOut {
    No,
    ZeroCurrent,  // I = 0: no impedance
    NotANumber,   // U, I or Φ not a finite number, or Z not finite
};

struct TRecordImpedance {
    double Z = 0, R = 0, X = 0;  // ohms; valid when LeftOut is No
    TLeftOut LeftOut = TLeftOut::No;
};
TRecordImpedance RecordImpedance(const TRecordValues& record);

// The checked records of one test frequency.
struct TFrequencyMean {
    int Frequency = 0;
    int Count = 0;          // records in the mean
    int LeftOut = 0;        // checked records of this frequency that had no part in it
    double R = 0, X = 0;    // means, when Count > 0
    double Z = 0, Phi = 0;  // |Z| and Φ (degrees) of the complex mean R + jX
    // (max - min) / mean of the records' |Z|, in %; none without a mean above 0.
    std::optional<double> Spread;
    bool OverTolerance = false;
    bool AtPowerFrequency = false;
};

struct TPowerValue {
    double R = 0, X = 0, Z = 0, Phi = 0;  // ohms, degrees
};

struct TTwoPointValue {
    int Below = 0, Above = 0;  // f1 and f2, hertz
    TPowerValue Value;
};

// R(f) = InterceptR + SlopeR·f over the frequencies' means, the same for X.
struct TLineFitValue {
    int Frequencies = 0;
    int Lowest = 0, Highest = 0;
    double SlopeR = 0, InterceptR = 0, SlopeX = 0, InterceptX = 0;
    TPowerValue Value;
    double MaxResidualR = 0, MaxResidualX = 0;  // largest |mean - line|, ohms
};

enum class TNoValue {
    None,          // there is a value
    NoRecords,     // no usable record away from f0
    NothingBelow,  // no usable frequency below f0
    NothingAbove,  // no usable frequency above f0
};

struct TFreqAnalysis {
    int PowerFrequency = 50;
    int Checked = 0, Used = 0, LeftOut = 0;  // records: checked, in the means, left out
    std::vector<TFrequencyMean> Means;       // by rising frequency, checked records only
    std::optional<TTwoPointValue> TwoPoint;
    std::optional<TLineFitValue> LineFit;  // three or more frequencies, and a two-point value
    TNoValue NoValue = TNoValue::NoRecords;
};

// How the value was found, or why there is none, as data: the archive keeps
// it with the campaign (the numbers are stored), and the sentence is made
// where it is shown (FreqAnalysisText.h: ValueMethodText).
enum class TValueMethod {
    TwoPoint = 0,            // interpolated between TwoPoint's Below and Above
    NoRecords = 1,           // no records at all
    NoneChecked = 2,         // none of them checked
    NoneUsable = 3,          // none of the checked ones usable
    OnlyPowerFrequency = 4,  // usable records at f0 only
    NothingBelow = 5,        // no usable frequency below f0
    NothingAbove = 6,        // no usable frequency above f0
};
// The method of an analysis of `records` records.
TValueMethod ValueMethodOf(const TFreqAnalysis& a, std::size_t records);

// The |Z| spread in % above which a frequency is flagged, until the operator
// chooses another: the analysis window's, the report's and the archive's.
inline constexpr double DefaultTolerance = 5;

// checked[k] says whether records[k] takes part (missing entries count as
// checked). tolerance: the spread in % above which a frequency is flagged.
TFreqAnalysis AnalyseFrequencies(const std::vector<TRecordValues>& records,
                                 const std::vector<bool>& checked, int powerFrequency,
                                 double tolerance);
