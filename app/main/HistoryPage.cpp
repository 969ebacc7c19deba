// The History and Comp pages, and the Ctrl page's instrument print and store.
// Each action checks the connection, sends one request and shows a busy
// notice; the instrument's reply ends it (DispatchReply). The directory and
// record frames are turned into texts by history/Directory.h and
// history/StoredRecord.h; these methods only put them on the page.
#include <QLabel>
#include <QTableWidget>

#include "app/kit/GlobVar.h"
#include "app/main/KR3090frm.h"
#include "history/Directory.h"
#include "history/HistoryReply.h"
#include "history/StoredRecord.h"
#include "qtext/QText.h"

namespace {

QTableWidgetItem* Cell(const std::string& text, Qt::Alignment alignment) {
    auto* item = new QTableWidgetItem(Q(text));
    item->setTextAlignment(alignment);
    return item;
}

}  // namespace

// ---- History page

void TfrmKR3090::BBtn_HisClick() {
    if (!CheckConnected()) return;
    GlobVar.PollEnabled = false;  // no control frames while on the History and Comp pages
    SetActivePage(QStringLiteral("History"));
    LView_History->setRowCount(0);
    SendReadDirectory();
    ShowNotice(QStringLiteral("正在读取数据，请稍候！"), true);
}

void TfrmKR3090::BBtn_OpenClick() {
    if (!CheckConnected()) return;
    // A row whose "编号" names no record is no record to open: nothing is
    // sent, so no notice waits for a reply that cannot come.
    if (!SelectedRecordNumber()) return;
    const int row = LView_History->selectedRanges().first().topRow();
    SetActivePage(QStringLiteral("Comp"));
    CompRecordNumber = SelectedRecordNumber();
    SetCaption(Lbl_Index,
               QStringLiteral("第") + LView_History->item(row, 1)->text() + QStringLiteral("条"));
    SendReadRecord();
    ShowNotice(QStringLiteral("正在读取数据，请稍候！"), true);
}

void TfrmKR3090::BBtn_ClearClick() {
    if (!CheckConnected()) return;
    if (!Platform().Confirm(this, QStringLiteral("确认清空所有历史记录？"), QStringLiteral("提示")))
        return;
    SendClearHistory();
    ShowNotice(QStringLiteral("正在清空历史数据，请稍候！"), true);
}

void TfrmKR3090::BBtn_RetClick() {
    SetActivePage(QStringLiteral("Ctrl"));
    GlobVar.PollEnabled = true;
}

void TfrmKR3090::ParseDirectoryFrame(const std::uint8_t* frame, int length) {
    try {
        const TDirectoryUpdate update = DecodeDirectoryFrame(frame, length);
        if (update.EmptiesList) LView_History->setRowCount(0);
        Lbl_Num->setText(Q(update.CountLine));
        if (update.AverageLine) Label8->setText(Q(*update.AverageLine));
        if (update.Row) {
            const int row = LView_History->rowCount();
            LView_History->insertRow(row);
            LView_History->setItem(row, 0, Cell({}, Qt::AlignLeft | Qt::AlignVCenter));
            LView_History->setItem(row, 1, Cell(update.Row->Number, Qt::AlignCenter));
            LView_History->setItem(row, 2, Cell(update.Row->Frequency, Qt::AlignCenter));
            LView_History->setItem(row, 3, Cell(update.Row->TestTime, Qt::AlignCenter));
            // After a whole sequence the first record is the one "打开" opens.
            LView_History->selectRow(0);
        }
        if (update.HidesNotice) ShowNotice(QString(), false);
    } catch (...) {
        // Ends this frame's handling; what was already set stays.
    }
}

std::optional<int> TfrmKR3090::SelectedRecordNumber() const {
    const QList<QTableWidgetSelectionRange> ranges = LView_History->selectedRanges();
    if (ranges.isEmpty()) return std::nullopt;
    const QTableWidgetItem* item = LView_History->item(ranges.first().topRow(), 1);
    if (!item) return std::nullopt;
    return RecordNumberFromText(item->text().toStdString());
}

// ---- Comp page

void TfrmKR3090::ParseRecordFrame(const std::uint8_t* frame, int length) {
    try {
        CompRecordValues = DecodeRecordValues(THistoryReply(frame, length).data());
        for (const TCompLabel& label : DecodeRecordFrame(frame, length))
            if (auto* target = PageComp->findChild<QLabel*>(Q(label.Name)))
                SetCaption(target, Q(label.Text));
    } catch (...) {
        // Ends this frame's handling; the labels already set keep their texts.
    }
}

void TfrmKR3090::BitBtn8Click() {
    if (!CheckConnected()) return;
    SendPrintRecord(1);  // the record shown, which is the one last read
    ShowNotice(QStringLiteral("正在打印，请稍候！"), true);
}

void TfrmKR3090::BitBtn9Click() {
    if (!CheckConnected()) return;
    // Only an unrequested erase or directory can have taken the row away:
    // with no record number there is nothing to delete and nothing to wait for.
    if (!SelectedRecordNumber()) return;
    SendDeleteRecord();
    ShowNotice(QStringLiteral("正在删除数据，请稍候！"), true);
}

void TfrmKR3090::BitBtn10Click() {
    SetActivePage(QStringLiteral("History"));
}

// ---- Ctrl page: the instrument prints or stores the current result

void TfrmKR3090::BBtn_CPrintClick() {
    if (!CheckConnected(TMessageIcon::None)) return;
    GlobVar.PollEnabled = false;  // resumed when the confirmation's notice goes
    SendPrintRecord(0);
    ShowNotice(QStringLiteral("正在打印，请稍候！"), true);
}

void TfrmKR3090::BBtn_CSaveClick() {
    if (!CheckConnected()) return;
    GlobVar.PollEnabled = false;
    SendSaveResult();
    ShowNotice(QStringLiteral("正在保存，请稍候！"), true);
}
