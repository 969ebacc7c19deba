#pragma once
// Decodes the live reading that the instrument sends with replies 0xAA and 0xDD
// into the texts of the Ctrl page. Pure: no widgets, no program state.
//
//   24 A1 DD 14 32 | 00 00 20 40 | 00 00 A0 3F | 00 00 F0 41 | 00 01 00 | 00 00 00 00 | 35 2A
//         type  f=50  U = 2.5       I = 1.25      Φ = 30        Rm off, running, average
//
// gives "50Hz", "U ：2.500V ", "I ：1.250A", "Φ：30.00°", "断开", running ("停  止  测  试"),
// "平均值", "Z ：2.000Ω", "R ：1.732Ω", "X ：999.9mΩ".
//
// The steps run in the order the screen is updated. A step that fails (Rm or
// data-mode byte not an item of its selector, a value that is not a number
// reaching a comparison) ends the decoding: the steps before it are kept, the
// ones from it on stay empty. A frequency outside 40..70 is only skipped.

#include <cstdint>
#include <optional>
#include <string>

#include "protocol/Numbers.h"
#include "protocol/RecordValues.h"

// The offsets read, up to the data-mode byte; a shorter frame holds no reading.
constexpr int LiveFrameMinLength = 22;

struct TLiveReading {
    std::optional<int> Frequency;        // hertz, only when 40..70
    std::optional<std::string> Volt;     // "U ：..." for Lbl_Volt
    std::optional<std::string> Current;  // "I ：..." for Lbl_A
    std::optional<std::string> Phase;    // "Φ：..." for Label4
    std::optional<int> RmMode;           // item of CBox_Rm
    std::optional<bool> Testing;         // byte 18 = 1
    std::optional<int> DataMode;         // item of CBox_Data
    std::optional<std::string> Z, R, X;  // "Z ：...", "R ：...", "X ：..."
    // U, I and Φ as decoded (absolute values; NaN and infinities pass),
    // whatever step the texts ended at. Absent in a frame too short to hold them.
    using TValues = TReadingValues;
    std::optional<TValues> Values;
};

TLiveReading DecodeLiveFrame(const std::uint8_t* frame, int length);

// Item texts of the Ctrl page selectors and the start button's captions.
std::string FrequencyItemText(int hertz);   // "50Hz"
extern const char* const RmItemTexts[2];    // "断开", "接通"
extern const char* const DataItemTexts[2];  // "平均值", "瞬时值"
extern const char* const StartCaption;      // "开  始  测  试"
extern const char* const StopCaption;       // "停  止  测  试"

// The progress line for a count already increased by the dispatcher: wraps the
// count to 0 at 25 and returns count + 1 characters '>'.
std::string ProgressLine(int& progressCount);
