#include "history/StoredRecord.h"

#include <cmath>
#include <cstdio>

#include "history/HistoryReply.h"
#include "protocol/Numbers.h"

namespace {

std::string TestTimeText(const THistoryReply& r) {
    char date[48], time[48];
    std::snprintf(date, sizeof date, "20%.2d.%.2d.%.2d", r[18], r[19], r[20]);
    std::snprintf(time, sizeof time, " %.2d:%.2d:%.2d", r[21], r[22], r[23]);
    return std::string("测试时间：") + date + time;
}

}  // namespace

std::vector<TCompLabel> DecodeRecordFrame(const std::uint8_t* frame, int length) {
    const THistoryReply r(frame, length);
    const double u = std::fabs(BytesToSingle(r.data() + 5));
    const double i = std::fabs(BytesToSingle(r.data() + 9));
    const double phi = std::fabs(BytesToSingle(r.data() + 13));
    std::vector<TCompLabel> labels;
    try {
        labels.push_back({"Label9", "U ：" + VoltageText(u)});
        labels.push_back({"Label10", "I ：" + CurrentText(i)});
        labels.push_back({"Label11", "Φ：" + PhaseText(phi)});
        labels.push_back({"Label16", r[17] == 1 ? "Rm：ON" : "Rm：OFF"});
        labels.push_back({"Label15", "f ：" + std::to_string(r[4]) + ".00Hz"});
        labels.push_back({"Label17", TestTimeText(r)});
        const TImpedanceTexts z = ImpedanceTexts(u, i, phi);
        labels.push_back({"Label12", "Z ：" + z.Z});
        labels.push_back({"Label13", "R ：" + z.R});
        labels.push_back({"Label14", "X ：" + z.X});
    } catch (const TNotANumber&) {
        // The record's handling ends at this label.
    }
    return labels;
}
