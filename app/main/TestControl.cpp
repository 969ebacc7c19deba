// Test control from the Ctrl page and the toolbar: connect and disconnect,
// start/stop, reset, the three selectors and the 500 ms poll. Every change
// travels in one control frame that carries the whole current setting.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <chrono>
#include <thread>

#include "app/kit/GlobVar.h"
#include "app/main/KR3090frm.h"
#include "app/kit/ShownComboBox.h"
#include "protocol/LiveDecode.h"
#include "protocol/Requests.h"

void TfrmKR3090::FillFrequencyList() {
    CBox_HZ->clear();
    for (int f = 40; f <= 70; ++f) CBox_HZ->addItem(QString::fromStdString(FrequencyItemText(f)));
    CBox_HZ->setCurrentIndex(0);
    GlobVar.TestFrequency = 40;
}

void TfrmKR3090::Timer_SendTimer() {
    if (GlobVar.Connected && GlobVar.PollEnabled) SendControl(false);
}

void TfrmKR3090::BitBtn1Click() {
    if (GlobVar.Connected) {
        if (GlobVar.Testing) {
            GlobVar.Testing = false;
            SendControl(false);
            // Blocks the window thread on purpose: no poll and no reply handling
            // between the stop frame and the disconnect frame.
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        SendDisconnect();
        GlobVar.Connected = false;
        SetCaption(LblStatus, QStringLiteral("通讯已断开"));
        BitBtn1->setText(QStringLiteral("连接设备"));
        ArrangeLabels();
    } else {
        GlobVar.NoticeTime = Platform().Now();
        SendConnect();
    }
}

void TfrmKR3090::BBtn_StartClick() {
    if (!CheckConnected()) return;
    GlobVar.ProgressCount = 0;
    GlobVar.Testing = !GlobVar.Testing;
    SendControl(false);
}

void TfrmKR3090::BBtn_ResetClick() {
    if (!CheckConnected()) return;
    SendControl(true);
}

void TfrmKR3090::CBox_RmChange() {
    GlobVar.RmMode = CBox_Rm->currentIndex();
    SendControl(false);
}

void TfrmKR3090::CBox_HZChange() {
    GlobVar.TestFrequency = CBox_HZ->currentIndex() + 40;
    SendControl(false);
}

void TfrmKR3090::CBox_DataChange() {
    GlobVar.DataMode = CBox_Data->currentIndex();
    SendControl(false);
}

bool TfrmKR3090::CheckConnected(TMessageIcon icon) {
    if (GlobVar.Connected) return true;
    Platform().MessageBox(this, QStringLiteral("请先连接设备！"), QStringLiteral("提示"), icon);
    return false;
}

// ---- requests on this window's connection

void TfrmKR3090::SendConnect() {
    ::SendConnect(Comm.get());
}
void TfrmKR3090::SendDisconnect() {
    ::SendDisconnect(Comm.get());
}

void TfrmKR3090::SendControl(bool reset) {
    ::SendControl(
        Comm.get(),
        TControlState{GlobVar.RmMode, GlobVar.TestFrequency, GlobVar.Testing, GlobVar.DataMode},
        reset);
}

void TfrmKR3090::SendPrintRecord(std::uint8_t source) {
    ::SendPrintRecord(Comm.get(), source);
}
void TfrmKR3090::SendSaveResult() {
    ::SendSaveResult(Comm.get());
}
void TfrmKR3090::SendReadDirectory() {
    ::SendReadDirectory(Comm.get());
}
void TfrmKR3090::SendClearHistory() {
    ::SendClearHistory(Comm.get());
}
void TfrmKR3090::SendReadRecord() {
    ::SendReadRecord(Comm.get(), SelectedRecordNumber());
}
void TfrmKR3090::SendUploadHistory() {
    ::SendUploadHistory(Comm.get());
}
void TfrmKR3090::SendDeleteRecord() {
    ::SendDeleteRecord(Comm.get(), SelectedRecordNumber());
}
