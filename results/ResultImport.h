#pragma once
// Reading the program's own result files back, so that results kept on a
// laptop can go into the test archive. The file's bytes decide what it is: a
// first line that is the spreadsheet header gives rows (ResultCsv.h), one that
// begins a report block gives blocks (ReportBlock.h); the name plays no part,
// so a renamed copy reads the same. Only what the program writes is taken:
// any other line, a block cut off at the end, a damaged number or bytes that
// are not GBK refuse the whole file, with the line and the reason.
//
// Text blocks, GBK with CR LF, blocks of the three kinds in any order with
// empty lines between them; the values come back as shown (cut to the shown
// digits, mV as volts):
//   001                          upload block: the running number of the upload
//    大地网接地参数测试数据
//   ========================
//   (empty)
//   U ：2.411V                   a blank after V; "over   " above 999.9 is +∞
//   I ：1.232A
//   Φ：27.46°
//   Z ：1.955Ω                   Z, R and X are checked for their form only:
//   R ：1.735Ω                   the archive works them out from U, I and Φ
//   X ：901.9mΩ
//   f ：45.00Hz
//   Rm: OFF
//   Date：2025-03-03 20:33:40    year byte 117 reads "20117"
// The record block of the Comp page starts "第005条" and has "Rm：ON" and
// "测试时间：2017.02.16 12:30:30"; the live block has no first line, its
// "f ：" is the frequency chosen on the PC, not the one measured, and its
// "Date：" the PC's clock when it was saved. A value that is not a number
// ends an upload block after its "U ：" or "I ：" line, or before the first:
// such a block has no record to give and is listed in Skipped.
//
// Spreadsheet rows, with the singles exactly as the instrument sent them:
//   类型,编号,测试时间,频率(Hz),电压U(V),电流I(A),相角Φ(°),阻抗Z(Ω),电阻分量R(Ω),电抗分量X(Ω),Rm,数据方式
//   上传,1,2017-02-16 12:30:30,45,12.5,1.25,30,10,8.660254037919213,4.999999999870395,断开,
//   实时,,2025-03-03 20:31:02,50,2.5,1.25,30,2,1.732050807583843,0.9999999999740791,断开,平均值
// An empty U, I or Φ cell (not a finite number) is given as NaN; a row with no
// reading at all (saved before the first one) is listed in Skipped. The
// frequency analysis's own export is refused: it has no Rm.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/RecordValues.h"

// Who wrote the result: the Ctrl page (实时), the Comp page (记录) or an upload (上传).
enum class TResultKind { Live, Record, Upload };

struct TImportedRecord {
    TResultKind Kind = TResultKind::Upload;
    // The instrument's record number (Comp page), the upload's running number;
    // none for a live result, which the instrument never numbered.
    std::optional<int> Number;
    // The date bytes as the instrument keeps them (year 17 is 2017); for a
    // live result the PC's clock at saving, year 2000 to 2099.
    TRecordValues Values;
    bool Exact = false;  // a row's singles; false for shown values, over-range and NaN
    int Line = 0;        // the first line of its block or row
};

// A line of the file and what is wrong with it, or what was left out there.
struct TImportNote {
    int Line = 0;  // 1-based; 0 for the file as a whole (an empty file)
    std::string Reason;
};
// "第12行：不是本程序写的结果文件"; without the line part for line 0.
std::string ImportNoteText(const TImportNote& note);

struct TResultFileImport {
    // Set: the file is refused whole, and Records and Skipped are empty.
    std::optional<TImportNote> Refusal;
    std::vector<TImportedRecord> Records;  // in file order
    // Results the program wrote without values (see above); the rest imports.
    std::vector<TImportNote> Skipped;
};

// Reads a whole result file. A file with no result in it, an empty one too,
// is refused: there is nothing to import. Never throws.
TResultFileImport ReadResultFile(std::string_view bytes);
