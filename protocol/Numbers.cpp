#include "protocol/Numbers.h"

#include <cmath>
#include <cstdio>
#include <cstring>

double BytesToSingle(const std::uint8_t* p) {
    const std::uint32_t bits = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 |
                               std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

double CheckedNumber(double x) {
    if (std::isnan(x)) throw TNotANumber{};
    return x;
}

namespace {

// x cut (not rounded) to `decimals` places; the product is formed in extended
// precision so that 12.349 gives 12.34 and not 12.35 or 12.33.
std::string Cut(double x, int decimals) {
    static const long double scale[] = {1.0L, 10.0L, 100.0L, 1000.0L};
    const long double cut =
        std::truncl(static_cast<long double>(x) * scale[decimals]) / scale[decimals];
    char text[64];
    std::snprintf(text, sizeof text, "%.*Lf", decimals, cut);
    return text;
}

}  // namespace

std::string FormatValue(double x) {
    if (!std::isfinite(x)) throw TNotANumber{};
    const double a = std::fabs(x);
    if (a > 1000) return Cut(x, 0);
    if (a > 100) return Cut(x, 1);
    if (a > 10) return Cut(x, 2);
    return Cut(x, 3);
}

std::string VoltageText(double u) {
    if (CheckedNumber(u) > 999.9) return "over   ";
    if (u >= 1) return FormatValue(u) + "V ";
    return FormatValue(u * 1000) + "mV";
}

std::string CurrentText(double i) {
    if (CheckedNumber(i) > 999.9) return "over   ";
    return FormatValue(i) + "A";
}

std::string PhaseText(double phi) {
    if (!std::isfinite(phi)) throw TNotANumber{};
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", phi);
    return std::string(text) + "°";
}

std::string ImpedanceText(double v) {
    if (CheckedNumber(v) > 999999) return "over";
    if (v >= 1000) return FormatValue(v / 1000) + "kΩ";
    if (v >= 1) return FormatValue(v) + "Ω";
    return FormatValue(v * 1000) + "mΩ";
}

std::optional<TImpedance> ComputeImpedance(double u, double i, double phi) {
    if (i == 0) return std::nullopt;
    const double angle = Pi * phi / 180;
    const TImpedance z{u / i, std::fabs(std::cos(angle) * u / i),
                       std::fabs(std::sin(angle) * u / i)};
    for (double v : {z.Z, z.R, z.X}) {
        if (std::isnan(v)) return std::nullopt;
        if (std::isinf(v) && std::isfinite(u) && std::isfinite(i)) return std::nullopt;  // overflow
    }
    return z;
}

double PhaseOf(double r, double x) {
    return std::atan2(x, r) * 180 / Pi;
}

TImpedanceTexts ImpedanceTexts(double u, double i, double phi) {
    const std::optional<TImpedance> z = ComputeImpedance(u, i, phi);
    if (!z) return {"0.000mΩ", "0.000mΩ", "0.000mΩ"};
    return {ImpedanceText(z->Z), ImpedanceText(z->R), ImpedanceText(z->X)};
}
