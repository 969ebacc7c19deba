// "频率分析" on the History page: the instrument's records, asked for with the
// upload request (0xC6), go into the frequency analysis window instead of a
// file. The replies are those of an upload (protocol/Upload.h): a header
// announcing the count, then one record reply each. The busy notice stays
// until the announced count has arrived; a stream that stops short opens no
// window with part of the records, and pressing the button again starts over.
#include "app/FreqAnalysisfrm.h"
#include "app/KR3090frm.h"

void TfrmKR3090::BBtn_FreqAnalysisClick() {
    if (!CheckConnected()) return;
    // No frame is handled between the request and the fresh state.
    SendUploadHistory();
    AnalysisUpload = TUploadSet{};
    ShowNotice(QStringLiteral("正在读取数据，请稍候！"), true);
}

bool TfrmKR3090::CollectAnalysisFrame(const std::uint8_t* frame, int length) {
    if (!AnalysisUpload) return false;
    // Late replies of an analysis already shown are not its own, nor the file's.
    if (!AnalysisUpload->Take(frame, length)) return true;
    AnalysisUpload->Taken = true;
    ShowNotice(QString(), false);
    ShowFreqAnalysis(this, AnalysisUpload->Records);
    return true;
}
