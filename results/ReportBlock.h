#pragma once
// The report block: the text lines of one measurement result, as the save
// command and the history upload append them to a result file and the print
// command fills them for the page. Lines are UTF-8 here; they become GBK when
// written (AppendLine) and are measured in GBK bytes (PadRight).
//
// A live block (page "Ctrl"), 15 lines (the readings one per line, shown
// three to a row here):
//    大地网接地参数测试数据
//   ========================
//   (empty)
//   U ：12.50V          I ：1.250A          Φ：30.00°
//   Z ：10.000Ω         R ：8.660Ω          X ：4.999Ω
//   f ：45.00Hz         Rm: OFF             Date：2017-02-16 12:30:30
//   (empty) x3
// A record-view block (page "Comp") starts with the record label "第001条" and
// copies the page's captions ("Rm：ON", "测试时间：2017.02.16 12:30:30"): 16
// lines. An upload block starts with the running number of the upload ("001")
// and is decoded from the record frame: 16 lines.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

using TReportLines = std::vector<std::string>;

inline constexpr char kReportTitle[] = " 大地网接地参数测试数据";       // 23 GBK bytes
inline constexpr char kReportSeparator[] = "========================";  // 24 bytes

// The width printed lines are filled to.
inline constexpr int kPrintLineWidth = 24;

// Captions of the Ctrl page's six reading labels, as shown: Lbl_Volt, Lbl_A,
// Label4 (Φ), Label5 (Z), Label6 (R), Label7 (X).
struct TLiveReadings {
    std::string Volt, Current, Phase, Z, R, X;
};

// The PC's local clock at the moment of saving or printing.
struct TLocalDateTime {
    int Year, Month, Day, Hour, Minute, Second;
};

// frequencyIndex and rmIndex are the selected entries of CBox_HZ (40 Hz is
// entry 0) and CBox_Rm (entry 1 is "接通").
TReportLines LiveBlock(const TLiveReadings& readings, int frequencyIndex, int rmIndex,
                       const TLocalDateTime& now);

// Captions of the Comp page: Lbl_Index, then Label9 to Label17.
using TRecordViewCaptions = std::array<std::string, 10>;
TReportLines RecordViewBlock(const TRecordViewCaptions& captions);

// The upload block of one record reply (a frame of at least 24 bytes; values
// are read at offsets 4..23) with its running number in the upload.
// Lines are built in file order; a value that is not a number ends the block at
// the line that needed it, so Lines then holds only the lines before it and
// Complete is false (the caller writes what there is and goes on with the
// next reply).
struct TUploadBlock {
    TReportLines Lines;
    bool Complete = false;
};
TUploadBlock UploadBlock(const std::uint8_t* frame, int sequence);

// Fills text with blanks to width + 1 GBK bytes when it is at most width bytes
// long; a longer text comes back unchanged.
std::string PadRight(const std::string& text, int width);

// The print form of a block: three empty lines, then every line of the block,
// each filled with PadRight to kPrintLineWidth.
TReportLines PrintForm(const TReportLines& block);
