// The window's result-file commands: "保存" appends the result on the active
// page to a file, "打开文件" hands a file to the shell, and "上传历史数据"
// copies every stored record into one file, a block per 0xC6 record reply.
// A file whose name ends in ".csv" gets a spreadsheet row per result instead
// of a text block (results/ResultCsv.h).
// The upload's replies: protocol/Upload.h.
#include "app/main/ResultCommands.h"

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <algorithm>

#include "app/kit/GlobVar.h"
#include "app/kit/Messages.h"
#include "app/main/KR3090frm.h"
#include "app/kit/ShownComboBox.h"
#include "protocol/Upload.h"
#include "results/ReportBlock.h"
#include "results/ResultCsv.h"
#include "results/ResultFile.h"

namespace {

// Lines of the current upload that could not be written; the upload command
// starts it afresh.
bool UploadLinesLost = false;

// Texts and file names alike: AppendLine takes names in UTF-8 on every
// platform (QFile::encodeName would give the ANSI code page on Windows).
std::string Utf8(const QString& text) {
    return text.toStdString();
}

// Leading and trailing blanks and control characters do not make a path.
bool IsBlank(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0x20; });
}

void ReportLostLines(QWidget* owner, const QString& path) {
    ReportFileFault(owner, QStringLiteral("文件写入失败，数据未能完整保存！"), path);
}

TLocalDateTime LocalDateTime(const QDateTime& now) {
    const QDate d = now.date();
    const QTime t = now.time();
    return {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()};
}

}  // namespace

std::optional<TReportLines> ShownResultBlock(const TfrmKR3090& w) {
    const QString page = w.ActivePageName();
    if (page == QStringLiteral("Ctrl")) {
        const TLiveReadings readings{Utf8(w.Lbl_Volt->text()), Utf8(w.Lbl_A->text()),
                                     Utf8(w.Label4->text()),   Utf8(w.Label5->text()),
                                     Utf8(w.Label6->text()),   Utf8(w.Label7->text())};
        // The selected entries, the user's last choice, not what the boxes show.
        return LiveBlock(readings, w.CBox_HZ->currentIndex(), w.CBox_Rm->currentIndex(),
                         LocalDateTime(Platform().Now()));
    }
    if (page == QStringLiteral("Comp"))
        return RecordViewBlock({Utf8(w.Lbl_Index->text()), Utf8(w.Label9->text()),
                                Utf8(w.Label10->text()), Utf8(w.Label11->text()),
                                Utf8(w.Label12->text()), Utf8(w.Label13->text()),
                                Utf8(w.Label14->text()), Utf8(w.Label15->text()),
                                Utf8(w.Label16->text()), Utf8(w.Label17->text())});
    return std::nullopt;
}

std::optional<TResultRow> ShownResultRow(const TfrmKR3090& w) {
    const QString page = w.ActivePageName();
    if (page == QStringLiteral("Ctrl")) {
        TResultRow row;
        row.Kind = "实时";
        row.TestTime = Utf8(Platform().Now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        // The settings the instrument reported with its last reading, as the
        // selectors show them (the user's choice before the first one).
        row.Frequency = GlobVar.TestFrequency;
        row.Reading = w.LiveValues;
        row.RmOn = GlobVar.RmMode == 1;
        row.DataMode = GlobVar.DataMode;
        return row;
    }
    if (page == QStringLiteral("Comp")) {
        if (w.CompRecordValues) return RecordRow("记录", w.CompRecordNumber, *w.CompRecordValues);
        TResultRow row;  // asked for, not yet arrived: only what is known
        row.Kind = "记录";
        row.Number = w.CompRecordNumber;
        return row;
    }
    return std::nullopt;
}

void TfrmKR3090::BitBtn4Click() {
    if (!CheckConnected()) return;
    const QString path = Platform().SaveFileName(this, SaveDialog1);
    if (path.isEmpty()) return;
    SaveDialog1.FileName = path;
    GlobVar.ResultFileName = path;

    // Built after the dialog: live replies kept updating the labels meanwhile.
    if (IsCsvPath(Utf8(path))) {
        const std::optional<TResultRow> row = ShownResultRow(*this);
        if (row && !AppendCsvRow(CsvRow(*row), Utf8(path))) ReportLostLines(this, path);
        return;
    }
    const std::optional<TReportLines> lines = ShownResultBlock(*this);
    if (!lines) return;  // no result on this page: nothing is written
    if (AppendLines(*lines, Utf8(path)) > 0) ReportLostLines(this, path);
}

void TfrmKR3090::BitBtn3Click() {
    const QString path = Platform().OpenFileName(this, OpenDialog1);
    if (path.isEmpty()) return;
    OpenDialog1.FileName = path;
    Platform().ShellOpen(this, path);
}

void TfrmKR3090::BBtn_UpHisClick() {
    if (!CheckConnected()) return;
    GlobVar.ResultFileName.clear();
    const QString path = Platform().SaveFileName(this, SaveDialog1);
    if (path.isEmpty()) return;
    SaveDialog1.FileName = path;
    GlobVar.ResultFileName = path;
    // No frame is handled between the request and the reset below.
    RecordsUpload.reset();  // the replies go into the file again
    SendUploadHistory();
    GlobVar.UploadStarted = false;
    GlobVar.UploadTotal = 0;
    GlobVar.UploadCount = 0;
    GlobVar.OpenAfterUpload = false;
    UploadLinesLost = false;
    ShowNotice(QStringLiteral("正在上传数据，请稍候！"), true);
}

void TfrmKR3090::ParseUploadFrame(const std::uint8_t* frame, int length) {
    try {
        if (CollectRecordsFrame(frame, length)) return;
        if (IsBlank(GlobVar.ResultFileName)) return;
        const TUploadReply reply = TakeUploadReply(GlobVar, frame, length);
        // A header announcing no records makes the set whole at once.
        bool complete = UploadWhole(GlobVar);
        if (!reply.Header && IsCsvPath(Utf8(GlobVar.ResultFileName))) {
            const TResultRow row = RecordRow("上传", reply.Number, reply.Record);
            if (!AppendCsvRow(CsvRow(row), Utf8(GlobVar.ResultFileName))) UploadLinesLost = true;
        } else if (!reply.Header) {
            const TUploadBlock block = UploadBlock(reply.Frame.data(), reply.Number);
            if (AppendLines(block.Lines, Utf8(GlobVar.ResultFileName)) > 0) UploadLinesLost = true;
            // A value that is not a number ended the block: this reply makes no
            // completion, the count keeps its increase.
            complete = complete && block.Complete;
        }
        if (!complete) return;
        if (UploadLinesLost) {
            // Not a success: no "数据上传完毕！" and the partial file is not opened.
            ShowNotice(QString(), false);
            ReportLostLines(this, GlobVar.ResultFileName);
            return;
        }
        GlobVar.OpenAfterUpload = true;
        GlobVar.NoticeAutoHide = true;
        ShowNotice(QStringLiteral("数据上传完毕！"), true);
    } catch (...) {
        // Ends the handling of this reply; the lines already appended stay.
    }
}
