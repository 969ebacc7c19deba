#include "protocol/LiveDecode.h"

#include <cmath>

const char* const RmItemTexts[2] = {"断开", "接通"};
const char* const DataItemTexts[2] = {"平均值", "瞬时值"};
const char* const StartCaption = "开  始  测  试";
const char* const StopCaption = "停  止  测  试";

std::string FrequencyItemText(int hertz) {
    return std::to_string(hertz) + "Hz";
}

TLiveReading DecodeLiveFrame(const std::uint8_t* frame, int length) {
    TLiveReading r;
    if (length < LiveFrameMinLength) return r;
    const TReadingValues values = DecodeReadingValues(frame);
    const double u = values.U, i = values.I, phi = values.Phi;
    r.Values = values;
    try {
        const int f = frame[4];
        if (f >= 40 && f <= 70) r.Frequency = f;

        r.Volt = "U ：" + VoltageText(u);
        r.Current = "I ：" + CurrentText(i);
        r.Phase = "Φ：" + PhaseText(phi);

        if (frame[17] > 1) return r;  // not an item of CBox_Rm
        r.RmMode = frame[17];
        r.Testing = frame[18] == 1;
        if (frame[19] > 1) return r;  // not an item of CBox_Data
        r.DataMode = frame[19];

        const TImpedanceTexts t = ImpedanceTexts(u, i, phi);
        r.Z = "Z ：" + t.Z;
        r.R = "R ：" + t.R;
        r.X = "X ：" + t.X;
    } catch (const TNotANumber&) {
        // the step that met it ends the decoding; the earlier ones stand
    }
    return r;
}

std::string ProgressLine(int& progressCount) {
    if (progressCount >= 25) progressCount = 0;
    if (progressCount < 0) progressCount = 0;
    return std::string(static_cast<std::size_t>(progressCount) + 1, '>');
}
