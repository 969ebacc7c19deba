// The toolbar's "打印" (BitBtn5): the result shown on the Ctrl or the Comp page,
// in its print form, on one sheet of the default printer. No busy notice and
// no confirmation; nothing on the other pages.
#include <QLabel>
#include <QStringList>
#include <exception>
#include <string>

#include "app/GlobVar.h"
#include "app/KR3090frm.h"
#include "app/Platform.h"
#include "app/ShownComboBox.h"
#include "results/ReportBlock.h"
#include "results/Reportfrm.h"

namespace {
std::string Caption(const QLabel* label) {
    return label->text().toStdString();
}

// Three empty lines, then the block, every line filled to PrintLineWidth.
void AddPrintForm(QStringList& lines, const TReportLines& block) {
    for (int i = 0; i < 3; ++i)
        lines << QString::fromStdString(PadRight(std::string(), GlobVar.PrintLineWidth));
    for (const std::string& line : block)
        lines << QString::fromStdString(PadRight(line, GlobVar.PrintLineWidth));
}

// The live block as the Ctrl page shows it now, dated with the moment of printing.
TReportLines ShownLiveBlock(const TfrmKR3090& w) {
    const QDateTime now = Platform().Now();
    const TLocalDateTime when{now.date().year(), now.date().month(),  now.date().day(),
                              now.time().hour(), now.time().minute(), now.time().second()};
    const TLiveReadings readings{Caption(w.Lbl_Volt), Caption(w.Lbl_A),  Caption(w.Label4),
                                 Caption(w.Label5),   Caption(w.Label6), Caption(w.Label7)};
    return LiveBlock(readings, w.CBox_HZ->currentIndex(), w.CBox_Rm->currentIndex(), when);
}

// The record-view block: the Comp page's captions as they stand.
TReportLines ShownRecordBlock(const TfrmKR3090& w) {
    return RecordViewBlock({Caption(w.Lbl_Index), Caption(w.Label9), Caption(w.Label10),
                            Caption(w.Label11), Caption(w.Label12), Caption(w.Label13),
                            Caption(w.Label14), Caption(w.Label15), Caption(w.Label16),
                            Caption(w.Label17)});
}
}  // namespace

void TfrmKR3090::BitBtn5Click() {
    if (!CheckConnected()) return;
    // A local list: released on every way out of the command.
    QStringList lines;
    try {
        if (ActivePageName() == QLatin1String("Ctrl")) {
            AddPrintForm(lines, ShownLiveBlock(*this));
            PrintLines(lines);
        }
        if (ActivePageName() == QLatin1String("Comp")) {
            AddPrintForm(lines, ShownRecordBlock(*this));
            PrintLines(lines);
        }
    } catch (const std::exception& e) {
        Platform().ShowError(this, QString::fromUtf8(e.what()));
    }
}
