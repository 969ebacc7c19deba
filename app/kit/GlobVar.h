#pragma once
// Program-wide state, touched on the window thread only (frames reach the
// window one at a time through the hand-over, so no lock is needed).

#include <QDateTime>
#include <QString>

#include "protocol/Upload.h"

// The upload's UploadStarted, UploadTotal and UploadCount come with TUploadState.
struct TGlobVar : TUploadState {
    bool Connected = false;  // the instrument acknowledged the connect request
    bool PortOpen = false;
    bool Testing = false;
    bool PollEnabled = true;  // static initial value: window creation leaves it alone
    int RmMode = 0;           // 0 off, 1 on
    int TestFrequency = 0;    // 40 once the frequency list is filled
    int DataMode = 0;         // 0 average, 1 instantaneous
    int ProgressCount = 0;
    bool NoticeAutoHide = false;
    QDateTime NoticeTime;
    bool ResumePollAfterNotice = false;
    bool OpenAfterUpload = false;
    QString ResultFileName;
    int PrintLineWidth = 24;
    QString AppPath;  // with trailing separator
    QString ConfigFileName;
    // Where SettingsLocationFor put Config.ini: beside the executable, or in
    // the user's folder (made by the first save). DataFolder, with trailing
    // separator, is where the program's other files for the user belong.
    bool FilesBesideExecutable = true;
    QString DataFolder;
};

extern TGlobVar GlobVar;
