#pragma once
// The instrument's record directory, one reply frame at a time (type 0xC3).
// One directory request is answered with an entry frame per stored record,
// k = 1 .. N, and a closing average frame with k = N + 1; with no record
// stored a single frame with N = 0 closes the sequence.
//
//   entry:   24 A1 C3 14 07 05 11 02 10 09 05 03 37 00 .. 00 EF 2A
//            N = 7, k = 5, 2017-02-16 09:05:03, 55 Hz
//            -> row "005" "55Hz" "2017-02-16 09:05:03", count "可存数据100条，已用7条"
//   average: 24 A1 C3 14 02 03 [00 00 48 42] [00 00 20 40] [00 00 A0 3F] [00 00 F0 41] 00 00 77 2A
//            N = 2, k = 3, singles f = 50, U = 2.5, I = 1.25, Φ = 30 ->
//            "平均值f：50.00Hz U：2.500V  I：1.250A Φ：30.00° Z ：2.000Ω R ：1.732Ω X ：999.9mΩ"
//   empty:   24 A1 C3 14 00 01 00 .. 00 79 2A     N = 0: no row, empty average line
//
// The program keeps no directory of its own: the list on the History page is
// the only copy, so these functions only turn a frame into the texts the page
// shows. Texts are UTF-8.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Offsets of a reply frame that the history pages read; a reply shorter than
// this reads as zeros past its end.
constexpr int HistoryReplyLength = 26;

enum class TDirectoryFrameKind {
    Closing,  // N = 0: nothing stored, the sequence ends here
    Average,  // k = N + 1: the closing frame with the averages
    Entry,    // one stored record
};

// The row of one stored record: the three sub-items "编号", "频率", "测试时间".
struct TDirectoryRow {
    std::string Number;     // "%.3d" of k: "005"
    std::string Frequency;  // "%dHz" of byte 12: "55Hz"
    std::string TestTime;   // "2017-02-16 09:05:03"
};

// What one directory frame does to the History page, in the order the page
// applies it: empty the list, set the count line, set the average line, add
// the row and select the first row, hide the busy notice.
struct TDirectoryUpdate {
    int Count = 0;  // N, byte 4
    int Index = 0;  // k, byte 5
    TDirectoryFrameKind Kind = TDirectoryFrameKind::Closing;
    bool EmptiesList = false;  // k = 1, whatever the kind of frame
    std::string CountLine;     // "可存数据100条，已用" N "条", set by every frame
    // The new text of the average line: empty for entry and N = 0 frames, the
    // averages for the average frame. Absent when an average value is not a
    // number: the frame's handling ends there, the line keeps its text and the
    // busy notice stays up.
    std::optional<std::string> AverageLine;
    std::optional<TDirectoryRow> Row;  // entry frames only; the first row is then selected
    bool HidesNotice = false;          // a closing frame whose handling went through
};

TDirectoryUpdate DecodeDirectoryFrame(const std::uint8_t* frame, int length);

// "可存数据100条，已用7条"
std::string DirectoryCountLine(int count);

// The average line of an average frame (bytes 6..21). Throws TNotANumber when
// the frequency, U, I or Φ is not a number (or the frequency or Φ infinite).
std::string DirectoryAverageLine(const std::uint8_t* frame);

// The record number behind a row's "编号" text: "005" gives 5. Only the digits
// of a number that fits the request's record byte (0..255) give a number; an
// empty or other text gives none, and then no request is sent.
std::optional<int> RecordNumberFromText(std::string_view number);
