#include "results/ResultCsv.h"

#include <charconv>
#include <cmath>

#include "protocol/Numbers.h"
#include "protocol/RecordValues.h"

namespace {

template <class T>
std::string Shortest(T value) {
    if (!std::isfinite(value)) return {};
    // A float's widest fixed form (its smallest subnormal) has 46 digits, a
    // double's largest 309: the buffer holds either.
    char text[400];
    const auto [end, error] =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    return error == std::errc() ? std::string(text, end) : std::string();
}

std::string Field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

}  // namespace

std::string CsvNumber(double value) {
    return Shortest(value);
}

std::string CsvSingle(double value) {
    return Shortest(static_cast<float>(value));
}

std::string CsvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t k = 0; k < fields.size(); ++k) {
        if (k) line += ',';
        line += Field(fields[k]);
    }
    return line;
}

const std::vector<std::string>& CsvReadingHeaders() {
    static const std::vector<std::string> headers{"电压U(V)", "电流I(A)",     "相角Φ(°)",
                                                  "阻抗Z(Ω)", "电阻分量R(Ω)", "电抗分量X(Ω)"};
    return headers;
}

std::vector<std::string> CsvReadingCells(double u, double i, double phi) {
    std::vector<std::string> cells{CsvSingle(u), CsvSingle(i), CsvSingle(phi)};
    const std::optional<TImpedance> z = ComputeImpedance(u, i, phi);
    for (double TImpedance::*part : {&TImpedance::Z, &TImpedance::R, &TImpedance::X})
        cells.push_back(z ? CsvNumber((*z).*part) : std::string());
    return cells;
}

std::string CsvHeader() {
    std::vector<std::string> f{"类型", "编号", "测试时间", "频率(Hz)"};
    f.insert(f.end(), CsvReadingHeaders().begin(), CsvReadingHeaders().end());
    f.insert(f.end(), {"Rm", "数据方式"});
    return CsvLine(f);
}

std::string CsvRow(const TResultRow& row) {
    std::vector<std::string> f{row.Kind, row.Number ? std::to_string(*row.Number) : std::string(),
                               row.TestTime,
                               row.Frequency ? std::to_string(*row.Frequency) : std::string()};
    const std::vector<std::string> reading =
        row.Reading ? CsvReadingCells(row.Reading->U, row.Reading->I, row.Reading->Phi)
                    : std::vector<std::string>(CsvReadingHeaders().size());
    f.insert(f.end(), reading.begin(), reading.end());
    f.push_back(row.RmOn ? "接通" : "断开");
    f.push_back(!row.DataMode ? "" : *row.DataMode == 1 ? "瞬时值" : "平均值");
    return CsvLine(f);
}

TResultRow RecordRow(const std::string& kind, std::optional<int> number, const TRecordValues& r) {
    TResultRow row;
    row.Kind = kind;
    row.Number = number;
    row.TestTime = RecordTestTime(r);
    row.Frequency = r.Frequency;
    row.Reading = TResultRow::TReading{r.U, r.I, r.Phi};
    row.RmOn = r.RmOn;
    return row;
}

bool IsCsvPath(const std::string& path) {
    if (path.size() < 4) return false;
    std::string suffix = path.substr(path.size() - 4);
    for (char& c : suffix)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return suffix == ".csv";
}
