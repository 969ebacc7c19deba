#include "app/kit/CsvExport.h"

#include <QFile>

#include "app/kit/ExportFiles.h"
#include "app/kit/Messages.h"
#include "results/ResultFile.h"

namespace {

enum class TCharset { Gbk, Utf8 };

// The set of a file that holds lines already, by its first bytes.
std::optional<TCharset> CharsetOfFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() == 0) return std::nullopt;
    return f.read(3) == "\xEF\xBB\xBF" ? TCharset::Utf8 : TCharset::Gbk;
}

}  // namespace

TFileDialogRequest CsvExportRequest() {
    TFileDialogRequest r;
    r.Filter = QStringLiteral(
        "*.csv(Excel表格)|*.csv|*.csv(UTF-8 表格，供 Linux 的 LibreOffice)|*.csv");
    r.DefaultExt = QStringLiteral("csv");
    return r;
}

void ExportCsv(QWidget* owner, TFileDialogRequest& dialog, const QString& name,
               const std::vector<std::string>& lines) {
    ProposeExportFile(dialog, name);
    const QString path = Platform().SaveFileName(owner, dialog);
    if (path.isEmpty()) return;
    const TCharset charset = CharsetOfFile(path).value_or(
        dialog.ChosenFilter == 1 ? TCharset::Utf8 : TCharset::Gbk);
    int lost = 0;
    for (const std::string& line : lines)
        if (!(charset == TCharset::Utf8 ? AppendUtf8Line(line, path.toStdString())
                                        : AppendLine(line, path.toStdString())))
            ++lost;
    if (lost) {
        ReportFileFault(owner, QStringLiteral("文件写入失败，数据未能完整保存！"), path);
        return;
    }
    ExportWritten(owner,
                  charset == TCharset::Utf8 ? QStringLiteral("表格（UTF-8）")
                                            : QStringLiteral("表格（GBK）"),
                  path);
}
