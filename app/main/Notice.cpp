// The main window's side of the busy notice: showing and hiding it, and the
// 300 ms tick that hides a confirmation and runs the steps waiting for it.
#include <QFileInfo>

#include "app/kit/GlobVar.h"
#include "app/kit/HintFrm.h"
#include "app/main/KR3090frm.h"

void TfrmKR3090::ShowNotice(const QString& text, bool show) {
    if (show)
        ShowHintForm(text, this);
    else
        HideHintForm();
}

void TfrmKR3090::Timer_NowTimer() {
    if (!GlobVar.NoticeAutoHide) return;
    // Whole seconds, without sign: a clock moved back also ends the wait.
    const qint64 seconds = qAbs(GlobVar.NoticeTime.msecsTo(Platform().Now())) / 1000;
    if (seconds <= 2) return;
    ShowNotice(QString(), false);
    GlobVar.NoticeAutoHide = false;
    if (GlobVar.ResumePollAfterNotice) {
        if (ActivePageName() == QStringLiteral("Ctrl")) GlobVar.PollEnabled = true;
        GlobVar.ResumePollAfterNotice = false;
    }
    if (GlobVar.OpenAfterUpload) {
        GlobVar.OpenAfterUpload = false;
        if (QFileInfo::exists(GlobVar.ResultFileName))
            Platform().ShellOpen(this, GlobVar.ResultFileName);
    }
}
