// The History page's buttons that read every record of the instrument with
// the upload request (0xC6) into a window instead of a file: "频率分析" into
// the frequency analysis, "存入档案" into the archive's store window. The
// replies are those of an upload (protocol/Upload.h). The busy notice stays
// until the announced count has arrived; a stream that stops short opens no
// window with part of the records, and pressing the button again starts over.
// The top bar's "档案" opens the archive window.
#include <QMetaObject>

#include "app/archive/ArchiveWindows.h"
#include "app/analysis/FreqAnalysisfrm.h"
#include "app/main/KR3090frm.h"

void TfrmKR3090::BBtn_FreqAnalysisClick() {
    if (!CheckConnected()) return;
    // No frame is handled between the request and the fresh state.
    SendUploadHistory();
    RecordsUpload = TUploadSet{};
    RecordsFor = TRecordsFor::Analysis;
    ShowNotice(QStringLiteral("正在读取数据，请稍候！"), true);
}

void TfrmKR3090::BBtn_StoreClick() {
    if (!CheckConnected()) return;
    // The archive is opened before the records are asked for: what it may
    // ask of the operator is asked now, not while a reply is handled.
    if (!ArchiveAccess().Get(this)) return;
    SendUploadHistory();
    RecordsUpload = TUploadSet{};
    RecordsFor = TRecordsFor::Archive;
    ShowNotice(QStringLiteral("正在读取数据，请稍候！"), true);
}

void TfrmKR3090::BBtn_ArchiveClick() {
    ShowArchive(this);
}

bool TfrmKR3090::CollectRecordsFrame(const std::uint8_t* frame, int length) {
    if (!RecordsUpload) return false;
    // Late replies of a set already shown are not its own, nor the file's.
    if (!RecordsUpload->Take(frame, length)) return true;
    RecordsUpload->Taken = true;
    ShowNotice(QString(), false);
    if (RecordsFor == TRecordsFor::Analysis) {
        ShowFreqAnalysis(this, RecordsUpload->Records);
        return true;
    }
    std::vector<TStoreRecord> records;
    for (std::size_t k = 0; k < RecordsUpload->Records.size(); ++k)
        records.push_back({int(k) + 1, RecordsUpload->Records[k], !RecordsUpload->Broken});
    // Opened once this reply has been handled: the window reads the archive,
    // which may have to tell the operator something.
    QMetaObject::invokeMethod(
        this,
        [this, records = std::move(records)]() mutable {
            const TArchiveSelection selected = ArchiveSelection();
            ShowArchiveStore(this, std::move(records), QStringLiteral("仪器中的记录"),
                             selected.SiteId, selected.CampaignId);
        },
        Qt::QueuedConnection);
    return true;
}
