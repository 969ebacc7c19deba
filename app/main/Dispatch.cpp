// The window's side of the frame hand-over: each reply goes, by its type, to
// the connection state, a confirmation notice or the handler of its page.
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <array>

#include "app/kit/GlobVar.h"
#include "app/main/KR3090frm.h"
#include "protocol/Frame.h"
#include "protocol/Receive.h"

void TfrmKR3090::WMCommFrame() {
    // Handlers may run a nested event loop (a box): work on a copy of the frame.
    std::array<std::uint8_t, RxBufferSize> copy;
    copy = std::array<std::uint8_t, RxBufferSize>{};
    const int length = FrameLength < 0 || FrameLength > RxBufferSize ? 0 : FrameLength;
    std::copy(FrameBuffer, FrameBuffer + length, copy.begin());
    DispatchReply(copy.data(), length);
}

bool TfrmKR3090::DispatchReply(const std::uint8_t* frame, int length) {
    try {
        switch (frame[2]) {
            case CmdConnect:
                GlobVar.Connected = true;
                SetCaption(LblStatus, QStringLiteral("通讯已连接"));
                BitBtn1->setText(QStringLiteral("断开"));
                ParseLiveFrame(frame, length);
                break;
            case CmdDisconnect:
                GlobVar.Connected = false;
                SetCaption(LblStatus, QStringLiteral("通讯已断开"));
                BitBtn1->setText(QStringLiteral("连接设备"));
                break;
            case CmdPrint:
                ShowNotice(QStringLiteral("数据已打印！"), true);
                GlobVar.NoticeAutoHide = true;
                GlobVar.NoticeTime = Platform().Now();
                GlobVar.ResumePollAfterNotice = true;
                break;
            case CmdStore:
                ShowNotice(QStringLiteral("数据已保存！"), true);
                GlobVar.ResumePollAfterNotice = true;
                GlobVar.NoticeAutoHide = true;
                GlobVar.NoticeTime = Platform().Now();
                break;
            case CmdDirectory:
                ParseDirectoryFrame(frame, length);
                break;
            case CmdErase:
                ShowNotice(QStringLiteral("历史数据已清空！"), true);
                GlobVar.NoticeAutoHide = true;
                GlobVar.NoticeTime = Platform().Now();
                LView_History->setRowCount(0);
                Lbl_Num->setText(QStringLiteral("可存数据100条，已用0条"));
                break;
            case CmdReadRecord:
                ShowNotice(QString(), false);
                ParseRecordFrame(frame, length);
                break;
            case CmdUpload:
                ParseUploadFrame(frame, length);
                break;
            case CmdDelete:
                SetActivePage(QStringLiteral("History"));
                LView_History->setRowCount(0);
                SendReadDirectory();
                break;
            case CmdControl:
                ParseLiveFrame(frame, length);
                ++GlobVar.ProgressCount;
                UpdateProgressLine();
                break;
            default:
                break;
        }
        ArrangeLabels();
    } catch (...) {
        // Ends the handling of this frame; what was changed stays.
    }
    return true;
}
