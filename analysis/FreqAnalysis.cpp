#include "analysis/FreqAnalysis.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "protocol/Numbers.h"

namespace {

struct TSums {
    int Count = 0, LeftOut = 0;
    double R = 0, X = 0, Z = 0;
    double MinZ = 0, MaxZ = 0;
};

TPowerValue PowerValue(double r, double x) {
    return {r, x, std::hypot(r, x), PhaseOf(r, x)};
}

double Interpolate(double f0, const TFrequencyMean& a, const TFrequencyMean& b,
                   double TFrequencyMean::*part) {
    return a.*part + (f0 - a.Frequency) * (b.*part - a.*part) / (b.Frequency - a.Frequency);
}

// Least squares through (f, mean) of each point; the largest |mean - line| too.
void FitLine(const std::vector<const TFrequencyMean*>& points, double TFrequencyMean::*part,
             double& slope, double& intercept, double& maxResidual) {
    double meanF = 0, meanV = 0;
    for (const TFrequencyMean* p : points) {
        meanF += double(p->Frequency) / points.size();
        meanV += p->*part / points.size();
    }
    double sxx = 0, sxy = 0;
    for (const TFrequencyMean* p : points) {
        sxx += (p->Frequency - meanF) * (p->Frequency - meanF);
        sxy += (p->Frequency - meanF) * (p->*part - meanV);
    }
    slope = sxy / sxx;
    intercept = meanV - slope * meanF;
    maxResidual = 0;
    for (const TFrequencyMean* p : points)
        maxResidual =
            std::max(maxResidual, std::fabs(p->*part - (intercept + slope * p->Frequency)));
}

}  // namespace

TRecordImpedance RecordImpedance(const TRecordValues& record) {
    TRecordImpedance out;
    if (!std::isfinite(record.U) || !std::isfinite(record.I) || !std::isfinite(record.Phi)) {
        out.LeftOut = TLeftOut::NotANumber;
        return out;
    }
    if (record.I == 0) {
        out.LeftOut = TLeftOut::ZeroCurrent;
        return out;
    }
    const std::optional<TImpedance> z = ComputeImpedance(record.U, record.I, record.Phi);
    if (!z || !std::isfinite(z->Z) || !std::isfinite(z->R) || !std::isfinite(z->X)) {
        out.LeftOut = TLeftOut::NotANumber;
        return out;
    }
    out.Z = z->Z;
    out.R = z->R;
    out.X = z->X;
    return out;
}

TValueMethod ValueMethodOf(const TFreqAnalysis& a, std::size_t records) {
    switch (a.NoValue) {
        case TNoValue::None:
            return TValueMethod::TwoPoint;
        case TNoValue::NoRecords:
            return records == 0     ? TValueMethod::NoRecords
                   : a.Checked == 0 ? TValueMethod::NoneChecked
                   : a.Used == 0    ? TValueMethod::NoneUsable
                                    : TValueMethod::OnlyPowerFrequency;
        case TNoValue::NothingBelow:
            return TValueMethod::NothingBelow;
        case TNoValue::NothingAbove:
            return TValueMethod::NothingAbove;
    }
    return TValueMethod::NoRecords;
}

TFreqAnalysis AnalyseFrequencies(const std::vector<TRecordValues>& records,
                                 const std::vector<bool>& checked, int powerFrequency,
                                 double tolerance) {
    TFreqAnalysis a;
    a.PowerFrequency = powerFrequency;
    std::map<int, TSums> sums;
    for (std::size_t k = 0; k < records.size(); ++k) {
        if (k < checked.size() && !checked[k]) continue;
        ++a.Checked;
        TSums& s = sums[records[k].Frequency];
        const TRecordImpedance z = RecordImpedance(records[k]);
        if (z.LeftOut != TLeftOut::No) {
            ++s.LeftOut;
            ++a.LeftOut;
            continue;
        }
        ++a.Used;
        s.MinZ = s.Count ? std::min(s.MinZ, z.Z) : z.Z;
        s.MaxZ = s.Count ? std::max(s.MaxZ, z.Z) : z.Z;
        ++s.Count;
        s.R += z.R;
        s.X += z.X;
        s.Z += z.Z;
    }

    for (const auto& [frequency, s] : sums) {
        TFrequencyMean m;
        m.Frequency = frequency;
        m.Count = s.Count;
        m.LeftOut = s.LeftOut;
        m.AtPowerFrequency = frequency == powerFrequency;
        if (s.Count > 0) {
            const TPowerValue v = PowerValue(s.R / s.Count, s.X / s.Count);
            m.R = v.R;
            m.X = v.X;
            m.Z = v.Z;
            m.Phi = v.Phi;
            const double meanZ = s.Z / s.Count;
            if (meanZ > 0) m.Spread = (s.MaxZ - s.MinZ) / meanZ * 100;
            m.OverTolerance = m.Spread && *m.Spread > tolerance;
        }
        a.Means.push_back(m);
    }

    const TFrequencyMean *below = nullptr, *above = nullptr;
    std::vector<const TFrequencyMean*> points;  // the frequencies a value may use
    for (const TFrequencyMean& m : a.Means) {
        if (m.Count == 0 || m.AtPowerFrequency) continue;
        points.push_back(&m);
        if (m.Frequency < powerFrequency) below = &m;
        if (m.Frequency > powerFrequency && !above) above = &m;
    }
    if (!below && !above) {
        a.NoValue = TNoValue::NoRecords;
        return a;
    }
    if (!above || !below) {
        a.NoValue = above ? TNoValue::NothingBelow : TNoValue::NothingAbove;
        return a;
    }
    a.NoValue = TNoValue::None;
    a.TwoPoint =
        TTwoPointValue{below->Frequency, above->Frequency,
                       PowerValue(Interpolate(powerFrequency, *below, *above, &TFrequencyMean::R),
                                  Interpolate(powerFrequency, *below, *above, &TFrequencyMean::X))};

    if (points.size() >= 3) {
        TLineFitValue fit;
        fit.Frequencies = int(points.size());
        fit.Lowest = points.front()->Frequency;
        fit.Highest = points.back()->Frequency;
        FitLine(points, &TFrequencyMean::R, fit.SlopeR, fit.InterceptR, fit.MaxResidualR);
        FitLine(points, &TFrequencyMean::X, fit.SlopeX, fit.InterceptX, fit.MaxResidualX);
        fit.Value = PowerValue(fit.InterceptR + fit.SlopeR * powerFrequency,
                               fit.InterceptX + fit.SlopeX * powerFrequency);
        a.LineFit = fit;
    }
    return a;
}
