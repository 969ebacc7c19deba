#pragma once
// The number rules every screen and file shares: reading a 4-byte single,
// cutting a value to three significant decimals, and the unit texts of
// voltage, current, phase and impedance. Texts are UTF-8.
//
//   FormatValue(12.349) = "12.34"   FormatValue(1000) = "1000.0"   FormatValue(10) = "10.000"
//   VoltageText(0.5) = "500.0mV"    VoltageText(1) = "1.000V "     VoltageText(1000) = "over   "
//   CurrentText(1.25) = "1.250A"    PhaseText(30) = "30.00°"
//   ImpedanceTexts(2.5, 1.25, 30) = {"2.000Ω", "1.732Ω", "999.9mΩ"}

#include <cstdint>
#include <optional>
#include <string>

// 4 bytes, least significant first, IEEE-754 single; NaN and infinities pass.
double BytesToSingle(const std::uint8_t* p);

// Three significant decimals by magnitude, digits cut toward zero, never
// rounded; the sign is kept. Above 1000 the integer part is printed, also when
// it does not fit an int. Throws TNotANumber for NaN and infinities.
std::string FormatValue(double x);

// The texts below take values >= 0 (callers pass absolute values). A NaN
// reaching their range comparison throws TNotANumber.
std::string VoltageText(double u);    // "over   " above 999.9, "V " from 1, "mV" below
std::string CurrentText(double i);    // "over   " above 999.9, else "A"
std::string PhaseText(double phi);    // "%.2f" rounded, then "°"; throws for NaN, inf
std::string ImpedanceText(double v);  // "over" above 999999, "kΩ" from 1000, "Ω" from 1, "mΩ"

// Z = U/I, R = |cos φ · U/I|, X = |sin φ · U/I| in ohms, φ = 3.1415926535 · Φ / 180,
// from U and I (absolute values) and Φ in degrees. None when the arithmetic
// fails: a division by zero (I = 0), an invalid operation (0/0, ∞/∞, 0·∞, a
// value that is not a number) or an overflow of finite values. An infinite U
// over a finite, non-zero I is none of these: Z is then infinite, and so are R
// and X unless their factor is exactly 0 (0·∞ fails).
struct TImpedance {
    double Z, R, X;
};
std::optional<TImpedance> ComputeImpedance(double u, double i, double phi);

// π as the program converts between degrees and radians everywhere.
constexpr double Pi = 3.1415926535;
// Φ in degrees of the complex value R + jX.
double PhaseOf(double r, double x);

struct TImpedanceTexts {
    std::string Z, R, X;
};
// The texts of ComputeImpedance ("over" for an infinite value); all three
// "0.000mΩ" when it fails.
TImpedanceTexts ImpedanceTexts(double u, double i, double phi);

// Thrown where a value that is not a number reaches a range comparison: the
// caller's step ends there, as the decoding rules say.
struct TNotANumber {};
// Throws TNotANumber for NaN.
double CheckedNumber(double x);
