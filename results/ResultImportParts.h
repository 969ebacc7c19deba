#pragma once
// What the readers of blocks and of rows share: the file's lines in UTF-8,
// the refusal that ends a reading, and the fields both formats write the same
// way. Not part of the interface (ResultImport.h).

#include <optional>
#include <string>
#include <string_view>

#include "results/ResultImport.h"

// Ends the reading of a file: the whole file is refused.
struct TImportRefusal {
    int Line;
    std::string Reason;
};

// The lines of a result file, each ending in CR LF, decoded from GBK one at a
// time as they are reached, so a refusal names the first bad line.
class TFileLines {
  public:
    explicit TFileLines(std::string_view bytes) : bytes_(bytes) {}

    // The line at Line() in UTF-8, without taking it; null at the end of the
    // file. Throws TImportRefusal for a line without CR LF, with control
    // characters, or whose bytes are not GBK.
    const std::string* Peek();
    void Take();
    // The number of the line Peek gives; at the end, one past the last line.
    int Line() const { return line_; }

  private:
    std::string_view bytes_;
    std::size_t next_ = 0;  // offset of the line Peek gives
    int line_ = 1;
    bool peeked_ = false;
    std::size_t after_ = 0;  // offset past its CR LF
    std::string text_;
};

[[noreturn]] void Refuse(int line, std::string reason);

// A whole number written with "%d" (no sign, no leading zero), below 10^9.
std::optional<int> WholeNumber(std::string_view text);

// "2017-02-16 12:30:30" as RecordTestTime writes it, with separator between
// the parts of the date ('.' on the Comp page): "20", then the year byte
// ("117" for 20117), the other bytes with at least two digits. Fills the six
// date fields of r; false for any other text.
bool ReadTestTime(std::string_view text, char separator, TRecordValues& r);

// The readers of the two formats; the first line is the block's or the header.
void ReadBlocks(TFileLines& lines, TResultFileImport& out);
void ReadRows(TFileLines& lines, TResultFileImport& out);
