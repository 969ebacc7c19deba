#include "history/StoredRecord.h"

#include <cstdio>

#include "history/HistoryReply.h"
#include "protocol/Numbers.h"
#include "protocol/RecordValues.h"

namespace {

std::string TestTimeText(const TRecordValues& r) {
    char date[48], time[48];
    std::snprintf(date, sizeof date, "20%.2d.%.2d.%.2d", r.Year, r.Month, r.Day);
    std::snprintf(time, sizeof time, " %.2d:%.2d:%.2d", r.Hour, r.Minute, r.Second);
    return std::string("测试时间：") + date + time;
}

}  // namespace

std::vector<TCompLabel> DecodeRecordFrame(const std::uint8_t* frame, int length) {
    const TRecordValues r = DecodeRecordValues(THistoryReply(frame, length).data());
    std::vector<TCompLabel> labels;
    try {
        labels.push_back({"Label9", "U ：" + VoltageText(r.U)});
        labels.push_back({"Label10", "I ：" + CurrentText(r.I)});
        labels.push_back({"Label11", "Φ：" + PhaseText(r.Phi)});
        labels.push_back({"Label16", r.RmOn ? "Rm：ON" : "Rm：OFF"});
        labels.push_back({"Label15", "f ：" + std::to_string(r.Frequency) + ".00Hz"});
        labels.push_back({"Label17", TestTimeText(r)});
        const TImpedanceTexts z = ImpedanceTexts(r.U, r.I, r.Phi);
        labels.push_back({"Label12", "Z ：" + z.Z});
        labels.push_back({"Label13", "R ：" + z.R});
        labels.push_back({"Label14", "X ：" + z.X});
    } catch (const TNotANumber&) {
        // The record's handling ends at this label.
    }
    return labels;
}
