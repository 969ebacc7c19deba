#pragma once
// The main window: toolbar, the four pages of Nbk_Control, the two timers and
// the serial connection. Its methods are grouped by page and role, each group
// in its own source file of this folder:
//   KR3090frm.cpp            construction, life cycle, toolbar, ArrangeLabels
//   Notice.cpp               ShowNotice, Timer_NowTimer
//   Dispatch.cpp             WMCommFrame, DispatchReply
//   LiveDisplay.cpp          ParseLiveFrame, UpdateProgressLine
//   TestControl.cpp          connect, start, reset, selectors, Timer_SendTimer, Send…
//   HistoryPage.cpp          History and Comp pages, instrument print and store
//   ResultCommands.cpp       save, open, history upload
//   RecordsCommand.cpp       the instrument's records into the analysis or the archive
//   PrintCommand.cpp         print
// Frames reach the window one at a time on its own thread (protocol/Receive.h).

#include <QString>
#include <QWidget>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "app/kit/Platform.h"
#include "protocol/LiveDecode.h"
#include "protocol/RecordValues.h"
#include "protocol/Upload.h"

class QLabel;
class QPushButton;
class QStackedWidget;
class QTableWidget;
class QTimer;
class TPanel;
class TSerialComm;
class TShownComboBox;

class TfrmKR3090 : public QWidget {
    Q_OBJECT
  public:
    explicit TfrmKR3090(QWidget* parent = nullptr);
    ~TfrmKR3090() override;

    // ---- life cycle
    void FormCreate();
    void FormShow();
    void FormResize();
    void FormDestroy();

    // ---- pages ("Default", "Ctrl", "History", "Comp")
    QString ActivePageName() const;
    void SetActivePage(const QString& name);
    void ArrangeLabels();

    // ---- busy notice
    void ShowNotice(const QString& text, bool show);
    void Timer_NowTimer();

    // ---- replies
    void WMCommFrame();
    bool DispatchReply(const std::uint8_t* frame, int length);
    void ParseLiveFrame(const std::uint8_t* frame, int length);
    void UpdateProgressLine();
    void ParseDirectoryFrame(const std::uint8_t* frame, int length);
    void ParseRecordFrame(const std::uint8_t* frame, int length);
    void ParseUploadFrame(const std::uint8_t* frame, int length);
    // Takes a 0xC6 reply into the frequency analysis or the archive while
    // one of them owns the upload replies; false when neither does.
    bool CollectRecordsFrame(const std::uint8_t* frame, int length);

    // ---- test control
    void FillFrequencyList();
    void Timer_SendTimer();
    void BitBtn1Click();  // connect / disconnect
    void BBtn_StartClick();
    void BBtn_ResetClick();
    void CBox_RmChange();
    void CBox_HZChange();
    void CBox_DataChange();

    // ---- toolbar
    void BitBtn2Click();  // settings, then reopen the port
    void BitBtn3Click();  // open a result file
    void BitBtn4Click();  // save the shown result
    void BitBtn5Click();  // print the shown result
    void BitBtn6Click();  // help
    void BitBtn7Click();  // exit
    void BBtn_ArchiveClick();  // the archive window

    // ---- Ctrl page instrument actions, History and Comp pages
    void BBtn_CPrintClick();
    void BBtn_CSaveClick();
    void BBtn_HisClick();
    void BBtn_OpenClick();
    void BBtn_ClearClick();
    void BBtn_UpHisClick();
    void BBtn_FreqAnalysisClick();
    void BBtn_StoreClick();  // the instrument's records into the archive
    void BBtn_RetClick();
    void BitBtn8Click();   // Comp: instrument print
    void BitBtn9Click();   // Comp: instrument delete
    void BitBtn10Click();  // Comp: back to History

    // ---- requests, on this window's connection
    void SendConnect();
    void SendDisconnect();
    void SendControl(bool reset);
    void SendPrintRecord(std::uint8_t source);
    void SendSaveResult();
    void SendReadDirectory();
    void SendClearHistory();
    void SendReadRecord();  // the selected record
    void SendUploadHistory();
    void SendDeleteRecord();  // the selected record
    // The "编号" of LView_History's selected row ("005" gives 5); none without a
    // selected row or with a text that is not a number.
    std::optional<int> SelectedRecordNumber() const;

    // Shows "请先连接设备！" when not connected; true when connected.
    bool CheckConnected(TMessageIcon icon = TMessageIcon::Information);
    // Sets a label's text and lets the label take the size of its text.
    static void SetCaption(QLabel* label, const QString& text);
    // (Re)opens the configured port and keeps frames flowing to this window.
    void OpenPort();

    TSerialComm* Connection() const { return Comm.get(); }

    // The values behind the shown results, for the spreadsheet rows: the last
    // live reading, and the record on the Comp page with the number it was
    // asked for by.
    std::optional<TLiveReading::TValues> LiveValues;
    std::optional<int> CompRecordNumber;
    std::optional<TRecordValues> CompRecordValues;

    // The upload replies belong to the frequency analysis or the archive from
    // their button until the next upload into a file; the file upload's state
    // is left alone meanwhile.
    enum class TRecordsFor { Analysis, Archive };
    std::optional<TUploadSet> RecordsUpload;
    TRecordsFor RecordsFor = TRecordsFor::Analysis;

    // ---- components (objectName = the name)
    TPanel* Panel1;
    TPanel* Panel2;
    TPanel* Panel3;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
    QPushButton* BitBtn3;
    QPushButton* BitBtn4;
    QPushButton* BitBtn5;
    QPushButton* BitBtn6;
    QPushButton* BitBtn7;
    QPushButton* BBtn_Archive;
    QStackedWidget* Nbk_Control;
    QWidget* PageDefault;
    QWidget* PageCtrl;
    QWidget* PageHistory;
    QWidget* PageComp;

    // Ctrl
    TPanel* Panel6;
    QPushButton* BBtn_CPrint;
    QPushButton* BBtn_CSave;
    QPushButton* BBtn_His;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label18;
    TShownComboBox* CBox_Rm;
    TShownComboBox* CBox_HZ;
    TShownComboBox* CBox_Data;
    QPushButton* BBtn_Start;
    QPushButton* BBtn_Reset;
    TPanel* Panel5;
    QLabel* Label1;
    TPanel* Panel12;
    TPanel* Panel8;
    QLabel* Lbl_Volt;
    QLabel* Lbl_A;
    QLabel* Lbl_Speed;
    QLabel* LblStatus;
    TPanel* Panel11;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    QLabel* Label7;

    // History
    TPanel* Panel13;
    TPanel* Panel9;
    QLabel* Label8;
    TPanel* Panel14;
    QLabel* Lbl_Num;
    QTableWidget* LView_History;
    QPushButton* BBtn_Clear;
    QPushButton* BBtn_Open;
    QPushButton* BBtn_UpHis;
    QPushButton* BBtn_FreqAnalysis;
    QPushButton* BBtn_Store;
    QPushButton* BBtn_Ret;

    // Comp
    TPanel* Panel15;
    TPanel* Panel16;
    TPanel* Panel18;
    TPanel* Panel17;
    QLabel* Lbl_Index;
    QLabel* Label9;
    QLabel* Label10;
    QLabel* Label11;
    QLabel* Label12;
    QLabel* Label13;
    QLabel* Label14;
    QLabel* Label15;
    QLabel* Label16;
    QLabel* Label17;
    QPushButton* BitBtn8;
    QPushButton* BitBtn9;
    QPushButton* BitBtn10;

    QTimer* Timer_Now;
    QTimer* Timer_Send;
    // The save and open dialogs remember the path last chosen in them.
    TFileDialogRequest SaveDialog1;
    TFileDialogRequest OpenDialog1;

  protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    // Runs the oldest function the receive thread queued for this thread.
    Q_INVOKABLE void RunPosted();
    void BuildToolbar();
    void BuildCtrlPage();
    void BuildHistoryPage();
    void BuildCompPage();
    void InstallFrameTarget();

    std::unique_ptr<TSerialComm> Comm;
    bool shown_ = false;
    // Functions queued by the receive thread; the queued call that runs them
    // carries nothing of ours, so the hand-over is ordered by this lock alone.
    std::mutex postedMutex_;
    std::deque<std::function<void()>> posted_;
};
