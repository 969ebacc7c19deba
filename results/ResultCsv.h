#pragma once
// Results as spreadsheet rows: the second format of the result files, chosen
// by a name ending in ".csv". One row per result, in the columns of
// CsvHeader(); numbers are the decoded values in base units (volts, amperes,
// degrees, ohms), written with the fewest digits that read back to the same
// value, never scaled or cut; a value that is not a finite number, and Z, R
// and X when they cannot be computed, leave their cell empty.
//
//   类型,编号,测试时间,频率(Hz),电压U(V),电流I(A),相角Φ(°),阻抗Z(Ω),电阻分量R(Ω),电抗分量X(Ω),Rm,数据方式
//   上传,1,2017-02-16 12:30:30,45,12.5,1.25,30,10,8.660254037919213,4.999999999870395,断开,
//   实时,,2017-02-16 12:31:02,50,2.5,1.25,30,2,1.732050807583843,0.9999999999740791,断开,平均值
//
// Texts are UTF-8 here; the file gets GBK and CR LF like the text files
// (AppendCsvRow in ResultFile.h).

#include <optional>
#include <string>
#include <vector>

#include "protocol/RecordValues.h"

// One result: the live reading ("实时"), the record on the Comp page ("记录")
// or a record of an upload ("上传").
struct TResultRow {
    std::string Kind;
    std::optional<int> Number;        // the record's number; the upload's running number
    std::string TestTime;             // "yyyy-MM-dd HH:mm:ss"
    std::optional<int> Frequency;     // hertz
    using TReading = TReadingValues;  // absolute values, singles widened
    std::optional<TReading> Reading;  // none before the first live reading
    bool RmOn = false;
    std::optional<int> DataMode;  // live only: 0 "平均值", 1 "瞬时值"
};

std::string CsvHeader();
// The header cells of the measured values: U, I, Φ, Z, R, X with their units.
const std::vector<std::string>& CsvReadingHeaders();
// A reading's cells in those columns: the singles U, I, Φ, then Z, R and X,
// empty where a value is not a finite number or cannot be computed.
enum TCsvReadingCell { CsvUCell, CsvICell, CsvPhiCell, CsvZCell, CsvRCell, CsvXCell };
std::vector<std::string> CsvReadingCells(double u, double i, double phi);
std::string CsvRow(const TResultRow& row);

// A stored record as a row of the given kind.
TResultRow RecordRow(const std::string& kind, std::optional<int> number, const TRecordValues& r);

// One line of fields, each quoted where it needs it (a comma, a quote, CR or
// LF), quotes doubled.
std::string CsvLine(const std::vector<std::string>& fields);
// The shortest plain decimal that reads back to the same double, or to the
// same single; empty for NaN and infinities.
std::string CsvNumber(double value);
std::string CsvSingle(double value);

// A result file of rows rather than text blocks: a name ending in ".csv", in
// any case.
bool IsCsvPath(const std::string& path);
