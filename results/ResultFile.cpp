#include "results/ResultFile.h"

#include "results/Gbk.h"

bool AppendLine(const std::string& text, const std::string& path) {
    try {
        // A NUL would cut the path short and name another file.
        if (path.empty() || path.find('\0') != std::string::npos) return false;
        return AppendToFile(ToGbk(text) + "\r\n", path);
    } catch (...) {
        return false;
    }
}

int AppendLines(const TReportLines& lines, const std::string& path) {
    int failed = 0;
    for (const std::string& line : lines)
        if (!AppendLine(line, path)) ++failed;
    return failed;
}
