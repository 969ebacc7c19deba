#include "results/ReportBlock.h"

#include <cstdio>

#include "protocol/Numbers.h"
#include "protocol/RecordValues.h"
#include "results/Gbk.h"

namespace {

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char text[128];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

void AddHead(TReportLines& lines) {
    lines.push_back(kReportTitle);
    lines.push_back(kReportSeparator);
    lines.push_back("");
}

void AddTail(TReportLines& lines) {
    lines.insert(lines.end(), 3, "");
}

}  // namespace

TReportLines LiveBlock(const TLiveReadings& readings, int frequencyIndex, int rmIndex,
                       const TLocalDateTime& now) {
    TReportLines lines;
    AddHead(lines);
    for (const std::string* caption : {&readings.Volt, &readings.Current, &readings.Phase,
                                       &readings.Z, &readings.R, &readings.X})
        lines.push_back(*caption);
    // The selected entries, the user's last choice, not what the selectors show.
    lines.push_back(Format("f ：%d.00Hz", frequencyIndex + 40));
    lines.push_back(rmIndex == 1 ? "Rm: ON" : "Rm: OFF");
    lines.push_back(Format("Date：%.4d-%.2d-%.2d", now.Year, now.Month, now.Day) +
                    Format(" %.2d:%.2d:%.2d", now.Hour, now.Minute, now.Second));
    AddTail(lines);
    return lines;
}

TReportLines RecordViewBlock(const TRecordViewCaptions& captions) {
    TReportLines lines{captions[0]};
    AddHead(lines);
    lines.insert(lines.end(), captions.begin() + 1, captions.end());
    AddTail(lines);
    return lines;
}

TUploadBlock UploadBlock(const std::uint8_t* frame, int sequence) {
    TUploadBlock block;
    TReportLines& lines = block.Lines;
    lines.push_back(Format("%-.3d", sequence));
    AddHead(lines);
    const TRecordValues r = DecodeRecordValues(frame);
    try {
        lines.push_back("U ：" + VoltageText(r.U));
        lines.push_back("I ：" + CurrentText(r.I));
        lines.push_back("Φ：" + PhaseText(r.Phi));
        const TImpedanceTexts impedance = ImpedanceTexts(r.U, r.I, r.Phi);
        lines.push_back("Z ：" + impedance.Z);
        lines.push_back("R ：" + impedance.R);
        lines.push_back("X ：" + impedance.X);
    } catch (const TNotANumber&) {
        return block;
    }
    lines.push_back(Format("f ：%d.00Hz", r.Frequency));
    lines.push_back(r.RmOn ? "Rm: ON" : "Rm: OFF");
    // The year byte is taken as it is: 5 gives 2005, 117 gives 20117.
    lines.push_back("Date：" + RecordTestTime(r));
    AddTail(lines);
    block.Complete = true;
    return block;
}

std::string PadRight(const std::string& text, int width) {
    const auto length = static_cast<long long>(GbkLength(text));
    if (length > width) return text;
    return text + std::string(static_cast<std::size_t>(width - length + 1), ' ');
}

TReportLines PrintForm(const TReportLines& block) {
    TReportLines lines(3, PadRight("", kPrintLineWidth));
    for (const std::string& line : block) lines.push_back(PadRight(line, kPrintLineWidth));
    return lines;
}
