#pragma once
// The scales of the frequency plot, apart from any painting: the frequency
// axis runs from the lowest to the highest frequency shown (f0 among them)
// with two hertz to spare; the value axis starts at 0 and reaches a tenth
// above the largest value, in the unit that suits it (mΩ below 1 Ω, kΩ from
// 1000 Ω), with grid lines 1, 2 or 5 times a power of ten apart, about five
// of them. 40 to 60 Hz and values up to 2.1 Ω give 38 to 62 Hz with a line
// every 5 Hz, and 0 to 2.5 Ω with a line every 0.5 Ω.

#include <optional>
#include <string>
#include <vector>

// One record, or one frequency's mean, on the plot (ohms).
struct TPlotPoint {
    int Frequency;
    double R, X, Z;
};

// An axis of impedances from 0 (the trend of a site's campaigns has one too).
struct TValueScale {
    // A value in ohms times Factor is the number in Unit.
    double Factor = 1;
    std::string Unit;                       // "mΩ", "Ω" or "kΩ"
    double ValueHigh = 1, ValueStep = 0.2;  // in Unit, from 0

    std::vector<double> ValueLines() const;  // 0 to ValueHigh
    // Where a value (ohms) lies along the axis, 0 to 1.
    double ValueAt(double ohms) const;
};
// The axis for values up to top ohms (0 when there are none).
TValueScale ValueScale(double top);

struct TPlotScale : TValueScale {
    double FrequencyLow = 0, FrequencyHigh = 0;  // hertz
    double FrequencyStep = 1;                    // between grid lines

    std::vector<double> FrequencyLines() const;
    // Where a frequency lies along its axis, 0 to 1.
    double FrequencyAt(double frequency) const;
};

// 1, 2 or 5 times a power of ten, the smallest that is at least rough (> 0).
double NiceStep(double rough);

// The scales for the points, the power frequency and the power-frequency
// value |Z0| when there is one (it is drawn too).
TPlotScale PlotScale(int powerFrequency, const std::vector<TPlotPoint>& points,
                     std::optional<double> valueZ);
