#include "results/ResultFile.h"

#include "results/Gbk.h"
#include "results/ResultCsv.h"

namespace {

bool Append(const std::string& text, const std::string& path, const std::string& header) {
    try {
        // A NUL would cut the path short and name another file.
        if (path.empty() || path.find('\0') != std::string::npos) return false;
        return AppendToFile(ToGbk(text) + "\r\n", path,
                            header.empty() ? std::string() : ToGbk(header) + "\r\n");
    } catch (...) {
        return false;
    }
}

}  // namespace

bool AppendLine(const std::string& text, const std::string& path) {
    return Append(text, path, {});
}

bool AppendUtf8Line(const std::string& text, const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) return false;
    try {
        return AppendToFile(text + "\r\n", path, "\xEF\xBB\xBF");
    } catch (...) {
        return false;
    }
}

bool AppendCsvRow(const std::string& row, const std::string& path) {
    return Append(row, path, CsvHeader());
}

int AppendLines(const TReportLines& lines, const std::string& path) {
    int failed = 0;
    for (const std::string& line : lines)
        if (!AppendLine(line, path)) ++failed;
    return failed;
}
