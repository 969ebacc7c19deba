#include "analysis/PlotScale.h"

#include <algorithm>
#include <cmath>

double NiceStep(double rough) {
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * power >= rough) return m * power;
    return 10 * power;
}

TPlotScale PlotScale(int powerFrequency, const std::vector<TPlotPoint>& points,
                     std::optional<double> valueZ) {
    int low = powerFrequency, high = powerFrequency;
    double top = valueZ.value_or(0);
    for (const TPlotPoint& pt : points) {
        low = std::min(low, pt.Frequency);
        high = std::max(high, pt.Frequency);
        top = std::max({top, pt.R, pt.X, pt.Z});
    }
    TPlotScale s;
    static_cast<TValueScale&>(s) = ValueScale(top);
    s.FrequencyLow = low - 2;
    s.FrequencyHigh = high + 2;
    s.FrequencyStep = std::max(1.0, NiceStep((s.FrequencyHigh - s.FrequencyLow) / 8));
    return s;
}

TValueScale ValueScale(double top) {
    TValueScale s;
    s.Factor = top >= 1000 ? 1e-3 : top < 1 ? 1e3 : 1;
    s.Unit = top >= 1000 ? "kΩ" : top < 1 ? "mΩ" : "Ω";
    const double reach = top > 0 ? top * s.Factor * 1.1 : 1;
    s.ValueStep = NiceStep(top > 0 ? reach / 5 : 0.2);
    s.ValueHigh = s.ValueStep * std::ceil(reach / s.ValueStep);
    return s;
}

std::vector<double> TPlotScale::FrequencyLines() const {
    std::vector<double> lines;
    for (double f = std::ceil(FrequencyLow / FrequencyStep) * FrequencyStep; f <= FrequencyHigh;
         f += FrequencyStep)
        lines.push_back(f);
    return lines;
}

std::vector<double> TValueScale::ValueLines() const {
    std::vector<double> lines;
    // The last line may fall a rounding error above ValueHigh.
    for (int k = 0; k * ValueStep <= ValueHigh + ValueStep / 1000; ++k)
        lines.push_back(k * ValueStep);
    return lines;
}

double TPlotScale::FrequencyAt(double frequency) const {
    return (frequency - FrequencyLow) / (FrequencyHigh - FrequencyLow);
}

double TValueScale::ValueAt(double ohms) const {
    return ohms * Factor / ValueHigh;
}
