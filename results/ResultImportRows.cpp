// Spreadsheet rows read back (ResultCsv.h). No field the program writes needs
// quotes, so a row is its cells between commas; each cell must be the very
// text the program would write for its value.
#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

#include "protocol/Numbers.h"
#include "results/ResultCsv.h"
#include "results/ResultImportParts.h"

namespace {

enum TColumn {
    KindColumn,
    NumberColumn,
    TimeColumn,
    FrequencyColumn,
    UColumn,
    RmColumn = 10,
    DataModeColumn
};
constexpr std::size_t kColumns = 12;

std::vector<std::string_view> Cells(std::string_view line) {
    std::vector<std::string_view> cells;
    for (std::size_t at = 0;;) {
        const std::size_t comma = line.find(',', at);
        cells.push_back(line.substr(at, comma == line.npos ? comma : comma - at));
        if (comma == line.npos) return cells;
        at = comma + 1;
    }
}

template <class T>
std::optional<T> Decimal(std::string_view text) {
    T value{};
    const char* last = text.data() + text.size();
    if (text.empty() || text[0] < '0' || text[0] > '9') return std::nullopt;  // no sign
    const auto [end, error] = std::from_chars(text.data(), last, value, std::chars_format::fixed);
    return error == std::errc() && end == last ? std::optional<T>(value) : std::nullopt;
}

class TRowReader {
  public:
    TRowReader(int line, std::string_view text) : line_(line), cells_(Cells(text)) {}

    void Read(TResultFileImport& out) {
        if (cells_.size() != kColumns)
            Refuse(line_, "应有" + std::to_string(kColumns) + "列，这一行有" +
                              std::to_string(cells_.size()) + "列");
        TImportedRecord r{Kind(), std::nullopt, {}, true, line_};
        if (!cells_[NumberColumn].empty()) {
            r.Number = WholeNumber(cells_[NumberColumn]);
            if (!r.Number || *r.Number < 1) Fault(NumberColumn);
        }
        // A live result has no number, an upload's record always has one.
        if (r.Kind == TResultKind::Live ? r.Number.has_value()
                                        : r.Kind == TResultKind::Upload && !r.Number)
            Fault(NumberColumn);
        const bool reading = Reading(r);
        if (!cells_[TimeColumn].empty() || reading)
            if (!ReadTestTime(cells_[TimeColumn], '-', r.Values)) Fault(TimeColumn);
        if (!cells_[FrequencyColumn].empty() || reading) {
            const std::optional<int> f = WholeNumber(cells_[FrequencyColumn]);
            if (!f || *f > 255) Fault(FrequencyColumn);
            r.Values.Frequency = *f;
        }
        r.Values.RmOn = cells_[RmColumn] == "接通";
        if (!r.Values.RmOn && cells_[RmColumn] != "断开") Fault(RmColumn);
        const std::string_view mode = cells_[DataModeColumn];
        if (r.Kind == TResultKind::Live ? mode != "平均值" && mode != "瞬时值" : !mode.empty())
            Fault(DataModeColumn);
        if (reading)
            out.Records.push_back(r);
        else
            out.Skipped.push_back({line_, "这一行没有读数（保存时还没有读到），没有导入"});
    }

  private:
    [[noreturn]] void Fault(int column) {
        static const std::vector<std::string_view> headers = Cells(HeaderText());
        Refuse(line_, "读不出" + std::string(headers[static_cast<std::size_t>(column)]));
    }
    static const std::string& HeaderText() {
        static const std::string header = CsvHeader();
        return header;
    }

    TResultKind Kind() {
        const std::string_view kind = cells_[KindColumn];
        if (kind == "实时") return TResultKind::Live;
        if (kind == "记录") return TResultKind::Record;
        if (kind == "上传") return TResultKind::Upload;
        Fault(KindColumn);
    }

    // U, I and Φ as their singles; false when the row has no reading at all.
    // Z, R and X are only checked: the archive works them out again.
    bool Reading(TImportedRecord& r) {
        double* const values[] = {&r.Values.U, &r.Values.I, &r.Values.Phi};
        bool any = false;
        for (int k = 0; k < 6; ++k) any = any || !cells_[UColumn + k].empty();
        if (!any) return false;
        for (int k = 0; k < 3; ++k) {
            const std::string_view cell = cells_[UColumn + k];
            // An empty cell: NaN or infinite, which the row does not tell apart.
            *values[k] = std::numeric_limits<double>::quiet_NaN();
            if (cell.empty()) {
                r.Exact = false;
                continue;
            }
            const std::optional<float> single = Decimal<float>(cell);
            if (!single || CsvSingle(*single) != cell) Fault(UColumn + k);
            *values[k] = *single;
        }
        CheckImpedance(r.Values);
        return true;
    }

    // The cells as the row would have them from these U, I and Φ; the last
    // digits may differ where another system's cos and sin wrote the file.
    void CheckImpedance(const TRecordValues& v) {
        const std::optional<TImpedance> z = ComputeImpedance(v.U, v.I, v.Phi);
        const double parts[] = {z ? z->Z : 0, z ? z->R : 0, z ? z->X : 0};
        for (int k = 0; k < 3; ++k) {
            const int column = UColumn + 3 + k;
            const std::string_view cell = cells_[column];
            if (!z || !std::isfinite(parts[k])) {
                if (!cell.empty()) Fault(column);
                continue;
            }
            const std::optional<double> value = Decimal<double>(cell);
            if (!value || std::fabs(*value - parts[k]) > 1e-9 * z->Z) Fault(column);
        }
    }

    int line_;
    std::vector<std::string_view> cells_;
};

}  // namespace

void ReadRows(TFileLines& lines, TResultFileImport& out) {
    lines.Take();  // the header
    while (const std::string* line = lines.Peek()) {
        TRowReader(lines.Line(), *line).Read(out);
        lines.Take();
    }
}
