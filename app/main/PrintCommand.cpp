// The toolbar's "打印" (BitBtn5): the result shown on the Ctrl or the Comp page,
// in its print form, on one sheet of the default printer. No busy notice and
// no confirmation; nothing on the other pages.
#include <QStringList>
#include <exception>
#include <optional>
#include <string>

#include "app/kit/GlobVar.h"
#include "app/main/KR3090frm.h"
#include "app/kit/Platform.h"
#include "app/main/ResultCommands.h"
#include "report/Reportfrm.h"
#include "results/ReportBlock.h"

namespace {
// Three empty lines, then the block, every line filled to PrintLineWidth.
QStringList PrintFormOf(const TReportLines& block) {
    QStringList lines;
    for (int i = 0; i < 3; ++i)
        lines << QString::fromStdString(PadRight(std::string(), GlobVar.PrintLineWidth));
    for (const std::string& line : block)
        lines << QString::fromStdString(PadRight(line, GlobVar.PrintLineWidth));
    return lines;
}
}  // namespace

void TfrmKR3090::BitBtn5Click() {
    if (!CheckConnected()) return;
    try {
        // The same block the save command writes; none on the other pages.
        // The line list is local: released on every way out of the command.
        if (const std::optional<TReportLines> block = ShownResultBlock(*this))
            PrintLines(PrintFormOf(*block));
    } catch (const std::exception& e) {
        Platform().ShowError(this, QString::fromUtf8(e.what()));
    }
}
