// Report blocks read back (ReportBlock.h): each line as the block writes it,
// the values as the labels show them (Numbers.h: cut to three significant
// decimals, with their units).
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "results/ReportBlock.h"
#include "results/ResultImportParts.h"

namespace {

constexpr double kOver = std::numeric_limits<double>::infinity();

struct TBlockStart {
    TResultKind Kind;
    std::optional<int> Number;
};

std::string Printed(const char* format, int number) {
    char text[32];
    std::snprintf(text, sizeof text, format, number);
    return text;
}

// The first line of a block: the upload's running number ("%-.3d"), the Comp
// page's record label ("第%.3d条"), or the title of a live block, which has
// no line before it.
std::optional<TBlockStart> BlockStart(const std::string& line) {
    if (line == kReportTitle) return TBlockStart{TResultKind::Live, std::nullopt};
    std::string_view digits = line;
    TResultKind kind = TResultKind::Upload;
    const char* format = "%-.3d";
    if (digits.starts_with("第") && digits.ends_with("条")) {
        digits = digits.substr(3, digits.size() - 6);
        kind = TResultKind::Record;
        format = "第%.3d条";
    }
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != digits.npos)
        return std::nullopt;
    int number = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (number < 1 || Printed(format, number) != line) return std::nullopt;
    return TBlockStart{kind, number};
}

// A number as FormatValue writes it: three significant decimals by size
// (10.000 or less, 10.00 to 100.00, 100.0 to 1000.0, whole from 1000).
std::optional<double> ShownNumber(std::string_view text) {
    const std::size_t point = text.find('.');
    const std::size_t decimals = point == text.npos ? 0 : text.size() - point - 1;
    if (text.empty() || text[0] < '0' || text[0] > '9' || decimals > 3 ||
        (point != text.npos && decimals == 0) || (text[0] == '0' && point != 1 && text.size() > 1))
        return std::nullopt;
    double value = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    const bool fits = decimals == 3   ? value <= 10
                      : decimals == 2 ? value >= 10 && value <= 100
                      : decimals == 1 ? value >= 100 && value <= 1000
                                      : value >= 1000;
    return fits ? std::optional<double>(value) : std::nullopt;
}

// The text before unit, or none when text does not end with it.
std::optional<std::string_view> Before(std::string_view text, std::string_view unit) {
    if (!text.ends_with(unit)) return std::nullopt;
    return text.substr(0, text.size() - unit.size());
}

// The text after prefix, or none when text does not start with it.
std::optional<std::string_view> After(std::string_view text, std::string_view prefix) {
    if (!text.starts_with(prefix)) return std::nullopt;
    return text.substr(prefix.size());
}

std::optional<double> Voltage(std::string_view text) {
    if (text == "over   ") return kOver;
    if (auto volts = Before(text, "V ")) return ShownNumber(*volts);
    if (auto millivolts = Before(text, "mV")) {
        const std::optional<double> mv = ShownNumber(*millivolts);
        return mv ? std::optional<double>(*mv / 1000) : std::nullopt;
    }
    return std::nullopt;
}

std::optional<double> Current(std::string_view text) {
    if (text == "over   ") return kOver;
    const auto amperes = Before(text, "A");
    return amperes ? ShownNumber(*amperes) : std::nullopt;
}

// "%.2f" and "°"; the Comp page's first caption has "0.000°".
std::optional<double> Phase(std::string_view text) {
    const auto degrees = Before(text, "°");
    if (!degrees) return std::nullopt;
    if (*degrees == "0.000") return 0.0;
    const std::size_t point = degrees->find('.');
    if (degrees->empty() || (*degrees)[0] < '0' || (*degrees)[0] > '9' || point == degrees->npos ||
        degrees->size() - point != 3)
        return std::nullopt;
    double value = 0;
    const char* last = degrees->data() + degrees->size();
    const auto [end, error] =
        std::from_chars(degrees->data(), last, value, std::chars_format::fixed);
    return error == std::errc() && end == last ? std::optional<double>(value) : std::nullopt;
}

bool IsImpedance(std::string_view text) {
    if (text == "over") return true;
    for (std::string_view unit : {"kΩ", "mΩ", "Ω"})
        if (auto number = Before(text, unit)) return ShownNumber(*number).has_value();
    return false;
}

class TBlockReader {
  public:
    TBlockReader(TFileLines& lines, TResultFileImport& out) : lines_(lines), out_(out) {}

    void Read() {
        const int first = lines_.Line();
        const std::optional<TBlockStart> start = BlockStart(*lines_.Peek());
        if (!start) Refuse(first, "不是本程序写的结果文件");
        if (start->Kind != TResultKind::Live) lines_.Take();
        TImportedRecord r{start->Kind, start->Number, {}, false, first};
        Line("标题", [](std::string_view t) { return t == kReportTitle; });
        Line("分隔线", [](std::string_view t) { return t == kReportSeparator; });
        Line("空行", [](std::string_view t) { return t.empty(); });
        if (Cut(r)) return;
        r.Values.U = Value("U ：", "电压U", Voltage);
        if (Cut(r)) return;
        r.Values.I = Value("I ：", "电流I", Current);
        if (Cut(r)) return;
        r.Values.Phi = Value("Φ：", "相角Φ", Phase);
        // Worked out again from U, I and Φ wherever they are needed.
        for (const auto& part :
             {std::pair{"Z ：", "阻抗Z"}, {"R ：", "电阻分量R"}, {"X ：", "电抗分量X"}})
            Line(part.second, [&](std::string_view t) {
                const auto ohms = After(t, part.first);
                return ohms && IsImpedance(*ohms);
            });
        Line("频率", [&](std::string_view t) {
            const auto hz = Before(t, ".00Hz");
            const auto f = hz ? After(*hz, "f ：") : std::nullopt;
            const auto number = f ? WholeNumber(*f) : std::nullopt;
            if (!number || *number > 255) return false;
            r.Values.Frequency = *number;
            return true;
        });
        const bool comp = r.Kind == TResultKind::Record;
        Line("Rm", [&](std::string_view t) {
            r.Values.RmOn = t == (comp ? "Rm：ON" : "Rm: ON");
            return r.Values.RmOn || t == (comp ? "Rm：OFF" : "Rm: OFF");
        });
        Line("测试时间", [&](std::string_view t) {
            const auto time = After(t, comp ? "测试时间：" : "Date：");
            return time && ReadTestTime(*time, comp ? '.' : '-', r.Values);
        });
        out_.Records.push_back(r);
    }

  private:
    // Takes the next line, refusing the file when it is missing or check fails.
    template <class Check>
    void Line(const char* name, Check check) {
        const std::string* text = lines_.Peek();
        if (!text) Refuse(lines_.Line(), std::string("文件在结果块中间结束，缺少") + name + "一行");
        if (!check(std::string_view(*text))) Refuse(lines_.Line(), std::string("读不出") + name);
        lines_.Take();
    }

    template <class Parse>
    double Value(std::string_view prefix, const char* name, Parse parse) {
        double value = 0;
        Line(name, [&](std::string_view t) {
            const auto body = After(t, prefix);
            const std::optional<double> v = body ? parse(*body) : std::nullopt;
            if (v) value = *v;
            return v.has_value();
        });
        return value;
    }

    // A value that is not a number ends an upload block before the line that
    // needed it: the next block, empty lines or the end of the file follow.
    bool Cut(const TImportedRecord& r) {
        if (r.Kind != TResultKind::Upload) return false;
        const std::string* next = lines_.Peek();
        if (next && !next->empty() && !BlockStart(*next)) return false;
        out_.Skipped.push_back({r.Line, "上传结果" + Printed("%-.3d", r.Number.value_or(0)) +
                                            "在此中断：仪器送来的数值不是数，这条结果没有导入"});
        return true;
    }

    TFileLines& lines_;
    TResultFileImport& out_;
};

}  // namespace

void ReadBlocks(TFileLines& lines, TResultFileImport& out) {
    for (;;) {
        while (lines.Peek() && lines.Peek()->empty()) lines.Take();
        if (!lines.Peek()) return;
        TBlockReader(lines, out).Read();
    }
}
