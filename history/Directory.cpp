#include "history/Directory.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "history/HistoryReply.h"
#include "protocol/Numbers.h"

namespace {

// printf into a string; every format here prints a bounded number of
// characters, the largest being a single's integer part with two decimals.
template <class... Args>
std::string Print(const char* format, Args... args) {
    char text[96];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

TDirectoryRow EntryRow(const THistoryReply& r) {
    return {
        Print("%.3d", r[5]), Print("%dHz", r[12]),
        Print("20%.2d-%.2d-%.2d", r[6], r[7], r[8]) + Print(" %.2d:%.2d:%.2d", r[9], r[10], r[11])};
}

}  // namespace

std::string DirectoryCountLine(int count) {
    return "可存数据100条，已用" + std::to_string(count) + "条";
}

std::string DirectoryAverageLine(const std::uint8_t* frame) {
    const double f = BytesToSingle(frame + 6);
    const double u = std::fabs(BytesToSingle(frame + 10));
    const double i = std::fabs(BytesToSingle(frame + 14));
    const double phi = std::fabs(BytesToSingle(frame + 18));
    // Like the phase, the frequency is printed with "%.2f"; a value that is no
    // finite number ends the line rather than showing "nan".
    if (!std::isfinite(f)) throw TNotANumber{};
    std::string line = Print("平均值f：%.2fHz", f);
    line += " U：" + VoltageText(u);
    line += " I：" + CurrentText(i);
    line += " Φ：" + PhaseText(phi);
    const TImpedanceTexts z = ImpedanceTexts(u, i, phi);
    line += " Z ：" + z.Z + " R ：" + z.R + " X ：" + z.X;
    return line;
}

TDirectoryUpdate DecodeDirectoryFrame(const std::uint8_t* frame, int length) {
    const THistoryReply r(frame, length);
    TDirectoryUpdate u;
    u.Count = r[4];
    u.Index = r[5];
    u.EmptiesList = u.Index == 1;
    u.CountLine = DirectoryCountLine(u.Count);
    if (u.Count == 0) {
        u.Kind = TDirectoryFrameKind::Closing;
        u.AverageLine = std::string();
        u.HidesNotice = true;
    } else if (u.Index == u.Count + 1) {
        u.Kind = TDirectoryFrameKind::Average;
        try {
            u.AverageLine = DirectoryAverageLine(r.data());
            u.HidesNotice = true;
        } catch (const TNotANumber&) {
            // The frame's handling ends here; what came before stays.
        }
    } else {
        u.Kind = TDirectoryFrameKind::Entry;
        u.AverageLine = std::string();
        u.Row = EntryRow(r);
    }
    return u;
}

std::optional<int> RecordNumberFromText(std::string_view number) {
    if (number.empty()) return std::nullopt;
    for (char c : number)
        if (c < '0' || c > '9') return std::nullopt;
    int value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc() || end != number.data() + number.size()) return std::nullopt;
    if (value > 255) return std::nullopt;
    return value;
}
