// "频率分析" on the History page: the instrument's records, asked for with the
// upload request (0xC6), go into the frequency analysis window instead of a
// file. The replies are those of an upload (ResultCommands.cpp): a header
// announcing the count, then one record reply each. The busy notice stays
// until the announced count has arrived; a stream that stops short opens no
// window with part of the records, and pressing the button again starts over.
#include <algorithm>
#include <array>

#include "app/FreqAnalysisfrm.h"
#include "app/KR3090frm.h"

void TfrmKR3090::BBtn_FreqAnalysisClick() {
    if (!CheckConnected()) return;
    // No frame is handled between the request and the fresh state.
    SendUploadHistory();
    AnalysisUpload = TAnalysisUpload{};
    ShowNotice(QStringLiteral("正在读取数据，请稍候！"), true);
}

bool TfrmKR3090::CollectAnalysisFrame(const std::uint8_t* frame, int length) {
    if (!AnalysisUpload) return false;
    TAnalysisUpload& a = *AnalysisUpload;
    if (a.Complete) return true;  // late replies of an analysis already shown
    std::array<std::uint8_t, 26> f{};
    std::copy(frame, frame + std::clamp(length, 0, int(f.size())), f.begin());
    if (!a.Started) {
        a.Started = true;
        a.Total = f[4];
    } else {
        a.Records.push_back(DecodeRecordValues(f.data()));
    }
    if (int(a.Records.size()) < a.Total) return true;
    a.Complete = true;
    ShowNotice(QString(), false);
    ShowFreqAnalysis(this, a.Records);
    return true;
}
