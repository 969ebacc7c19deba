#pragma once
// Result files: GBK text, every line ending in CR LF, only ever appended to.
// Each line is appended on its own (open, append, close), so another program
// can read the file between lines and nothing is held open between commands.

#include <string>

#include "results/ReportBlock.h"

// Appends text in GBK and CR LF to the file at path (UTF-8), creating the file
// when it does not exist. When the line cannot be written (empty path, missing
// folder, a directory, no permission, full disk) it is dropped, the file is
// left as it was before the call (no piece of the line stays behind), and the
// result is false. Never throws.
bool AppendLine(const std::string& text, const std::string& path);

// The platform body behind AppendLine: appends bytes as they are to the file
// at path (UTF-8, no NUL), creating it when missing; only a file on disk
// takes them. A file that is new or empty gets firstBytes in front of them.
// All or nothing: a part that a full disk took is taken back unless someone
// else has appended behind it. Returns false on any failure.
bool AppendToFile(const std::string& bytes, const std::string& path,
                  const std::string& firstBytes = {});

// Appends text like AppendLine but in UTF-8, with the byte-order mark in
// front when the file is new or empty (for a spreadsheet to know it by).
bool AppendUtf8Line(const std::string& text, const std::string& path);

// Appends one spreadsheet row (ResultCsv.h) like AppendLine, with the header
// row in front of it when the file is new or empty; the program never reads
// the file, so one with other columns is appended to as it is.
bool AppendCsvRow(const std::string& row, const std::string& path);

// Appends every line in order, each attempted afresh after a failure; returns
// the number of lines that could not be written.
int AppendLines(const TReportLines& lines, const std::string& path);
