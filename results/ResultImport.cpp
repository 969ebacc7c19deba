#include "results/ResultImport.h"

#include "results/ResultCsv.h"
#include "results/ResultImportParts.h"

std::string ImportNoteText(const TImportNote& note) {
    if (note.Line <= 0) return note.Reason;
    return "第" + std::to_string(note.Line) + "行：" + note.Reason;
}

TResultFileImport ReadResultFile(std::string_view bytes) {
    TResultFileImport out;
    try {
        TFileLines lines(bytes);
        const std::string* first = lines.Peek();
        if (!first) Refuse(0, "文件是空的，其中没有结果");
        if (*first == CsvHeader()) {
            ReadRows(lines, out);
        } else if (first->starts_with("频率分析,")) {
            // Its records lack Rm, and Rm changes what the instrument measured.
            Refuse(1, "这是频率分析导出的表格，其中没有Rm，不能导入；请导入保存或上传的结果文件");
        } else {
            ReadBlocks(lines, out);
        }
        if (out.Records.empty()) {
            if (out.Skipped.empty()) Refuse(0, "文件中没有结果");
            Refuse(out.Skipped.front().Line, out.Skipped.front().Reason);
        }
    } catch (const TImportRefusal& refusal) {
        out = TResultFileImport{};
        out.Refusal = TImportNote{refusal.Line, refusal.Reason};
    } catch (...) {
        // No GBK converter on this system, or no memory for the records.
        out = TResultFileImport{};
        out.Refusal = TImportNote{0, "文件无法读取"};
    }
    return out;
}
