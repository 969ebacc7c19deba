#include "app/main/KR3090frm.h"
#include "app/kit/WindowRole.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMetaObject>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTimer>
#include <array>

#include "app/archive/ArchiveWindows.h"
#include "app/kit/GlobVar.h"
#include "app/kit/Panels.h"
#include "app/main/Manual.h"
#include "app/main/SetCommfrm.h"
#include "app/kit/ShownComboBox.h"
#include "settings/Config.h"
#include "link/PortList.h"
#include "link/SerialComm.h"
#include "settings/SettingsLocation.h"
#include "protocol/Receive.h"
#include "protocol/Requests.h"
#include "report/SongFont.h"

namespace {

QPushButton* Button(QWidget* parent, const char* name, const QString& caption, int left, int top,
                    int width, int height) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(left, top, width, height);
    return b;
}

QLabel* Label(QWidget* parent, const char* name, const QString& text, int pixelHeight, int left,
              int top) {
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setFont(SongFont(pixelHeight));
    l->move(left, top);
    TfrmKR3090::SetCaption(l, text);
    return l;
}

TShownComboBox* Selector(QWidget* parent, const char* name, int top, const QStringList& items) {
    auto* c = new TShownComboBox(parent);
    c->setObjectName(QString::fromLatin1(name));
    c->setGeometry(105, top, 97, 21);
    c->addItems(items);
    return c;
}

QWidget* Page(QStackedWidget* book, const char* caption) {
    auto* page = new QWidget(book);
    page->setObjectName(QString::fromLatin1(caption));
    SetAlign(page, TAlign::Client);
    book->addWidget(page);
    return page;
}

// A bottom strip with one centred note across its full width.
QLabel* Note(QWidget* panel, const char* name, const QString& text) {
    auto* l = new QLabel(text, panel);
    l->setObjectName(QString::fromLatin1(name));
    l->setAlignment(Qt::AlignCenter);
    l->setGeometry(0, 17, panel->width(), 16);
    return l;
}

}  // namespace

TfrmKR3090::TfrmKR3090(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("frmKR3090"));
    AnnounceAsWindow(this);
    setWindowTitle(QStringLiteral("大地网接地参数综合测试仪1.0版"));
    setFont(SongFont(13));
    setGeometry(202, 142, 979, 689);

    Panel1 = new TPanel(this, "Panel1", TAlign::Client);
    Panel2 = new TPanel(Panel1, "Panel2", TAlign::Top, 45, TPanel::SingleBorder);
    Panel3 = new TPanel(Panel1, "Panel3", TAlign::Client);
    Nbk_Control = new QStackedWidget(Panel3);
    Nbk_Control->setObjectName(QStringLiteral("Nbk_Control"));
    SetAlign(Nbk_Control, TAlign::Client);
    PageDefault = Page(Nbk_Control, "Default");
    PageCtrl = Page(Nbk_Control, "Ctrl");
    PageHistory = Page(Nbk_Control, "History");
    PageComp = Page(Nbk_Control, "Comp");

    BuildToolbar();
    BuildCtrlPage();
    BuildHistoryPage();
    BuildCompPage();

    Timer_Now = new QTimer(this);
    Timer_Now->setObjectName(QStringLiteral("Timer_Now"));
    Timer_Now->setInterval(300);
    connect(Timer_Now, &QTimer::timeout, this, &TfrmKR3090::Timer_NowTimer);
    Timer_Send = new QTimer(this);
    Timer_Send->setObjectName(QStringLiteral("Timer_Send"));
    Timer_Send->setInterval(500);
    connect(Timer_Send, &QTimer::timeout, this, &TfrmKR3090::Timer_SendTimer);
    Timer_Send->start();

    // Text blocks, or spreadsheet rows for a name ending in ".csv".
    SaveDialog1.Filter = QStringLiteral("*.txt|*.txt|*.csv(Excel表格)|*.csv");
    SaveDialog1.DefaultExt = QStringLiteral("txt");
    OpenDialog1.Title = QStringLiteral("请选择历史文件");
    OpenDialog1.Filter = QStringLiteral("*.txt(txt文档)|*.txt");

    InstallFrameTarget();
    AlignTree(this);
    FormCreate();
}

TfrmKR3090::~TfrmKR3090() {
    // No frame may reach a half-destroyed window; a hand-over waiting now returns.
    ClearFrameTarget();
    FormDestroy();
    // Its database connection must not outlive the application object.
    ArchiveAccess().Close();
}

void TfrmKR3090::BuildToolbar() {
    BitBtn1 = Button(Panel2, "BitBtn1", QStringLiteral("连接设备"), 16, 8, 75, 25);
    BitBtn2 = Button(Panel2, "BitBtn2", QStringLiteral("通讯设置"), 98, 8, 75, 25);
    BitBtn3 = Button(Panel2, "BitBtn3", QStringLiteral("打开文件"), 181, 8, 75, 25);
    BitBtn4 = Button(Panel2, "BitBtn4", QStringLiteral("保存"), 264, 8, 75, 25);
    BitBtn5 = Button(Panel2, "BitBtn5", QStringLiteral("打印"), 346, 8, 75, 25);
    BitBtn6 = Button(Panel2, "BitBtn6", QStringLiteral("帮助"), 429, 8, 75, 25);
    BitBtn7 = Button(Panel2, "BitBtn7", QStringLiteral("退出"), 512, 8, 75, 25);
    BBtn_Archive = Button(Panel2, "BBtn_Archive", QStringLiteral("档案"), 595, 8, 75, 25);
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmKR3090::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TfrmKR3090::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TfrmKR3090::BitBtn3Click);
    connect(BitBtn4, &QPushButton::clicked, this, &TfrmKR3090::BitBtn4Click);
    connect(BitBtn5, &QPushButton::clicked, this, &TfrmKR3090::BitBtn5Click);
    connect(BitBtn6, &QPushButton::clicked, this, &TfrmKR3090::BitBtn6Click);
    connect(BitBtn7, &QPushButton::clicked, this, &TfrmKR3090::BitBtn7Click);
    connect(BBtn_Archive, &QPushButton::clicked, this, &TfrmKR3090::BBtn_ArchiveClick);
}

void TfrmKR3090::BuildCtrlPage() {
    Panel5 = new TPanel(PageCtrl, "Panel5", TAlign::Bottom, 51);
    Panel6 = new TPanel(PageCtrl, "Panel6", TAlign::Left, 264);
    Panel12 = new TPanel(PageCtrl, "Panel12", TAlign::Client);
    Panel11 = new TPanel(Panel12, "Panel11", TAlign::Bottom, 129);
    Panel8 = new TPanel(Panel12, "Panel8", TAlign::Client);

    BBtn_CPrint = Button(Panel6, "BBtn_CPrint", QStringLiteral("仪  器  打  印"), 72, 32, 129, 25);
    BBtn_CSave = Button(Panel6, "BBtn_CSave", QStringLiteral("仪  器  保  存"), 72, 80, 129, 25);
    BBtn_His = Button(Panel6, "BBtn_His", QStringLiteral("历  史  数  据"), 72, 128, 129, 25);
    Label2 = Label(Panel6, "Label2", QStringLiteral("Rm"), 13, 73, 181);
    Label3 = Label(Panel6, "Label3", QStringLiteral("频率"), 13, 73, 221);
    Label18 = Label(Panel6, "Label18", QStringLiteral("数据"), 13, 73, 254);
    CBox_Rm = Selector(Panel6, "CBox_Rm", 177, {QStringLiteral("断开"), QStringLiteral("接通")});
    CBox_HZ = Selector(Panel6, "CBox_HZ", 217, {});
    CBox_Data =
        Selector(Panel6, "CBox_Data", 250, {QStringLiteral("平均值"), QStringLiteral("瞬时值")});
    // The captions name their selectors for accessibility tools.
    Label2->setBuddy(CBox_Rm);
    Label3->setBuddy(CBox_HZ);
    Label18->setBuddy(CBox_Data);
    BBtn_Start = Button(Panel6, "BBtn_Start", QStringLiteral("开  始  测  试"), 72, 300, 129, 25);
    BBtn_Reset = Button(Panel6, "BBtn_Reset", QStringLiteral("复      位"), 72, 348, 129, 25);

    Label1 = Note(Panel5, "Label1",
                  QStringLiteral("注：Rm为内部1500Ω人体模拟电阻，输入电压大于20V时禁止接通Rm"));

    Lbl_Volt = Label(Panel8, "Lbl_Volt", QStringLiteral("U ：0.000mV"), 67, 0, 0);
    Lbl_A = Label(Panel8, "Lbl_A", QStringLiteral("I ：0.000A"), 67, 0, 0);
    Lbl_Speed = Label(Panel8, "Lbl_Speed", QString(25, u'>'), 35, 0, 0);
    Lbl_Speed->setAttribute(Qt::WA_TranslucentBackground);
    LblStatus = Label(Panel8, "LblStatus", QStringLiteral("通讯已断开"), 13, 0, 16);
    Label4 = Label(Panel11, "Label4", QStringLiteral("Φ：0.00°"), 33, 0, 32);
    Label5 = Label(Panel11, "Label5", QStringLiteral("Z ：0.000mΩ"), 33, 0, 32);
    Label6 = Label(Panel11, "Label6", QStringLiteral("R ：0.000mΩ"), 33, 0, 77);
    Label7 = Label(Panel11, "Label7", QStringLiteral("X ：0.000mΩ"), 33, 0, 77);

    connect(BBtn_CPrint, &QPushButton::clicked, this, &TfrmKR3090::BBtn_CPrintClick);
    connect(BBtn_CSave, &QPushButton::clicked, this, &TfrmKR3090::BBtn_CSaveClick);
    connect(BBtn_His, &QPushButton::clicked, this, &TfrmKR3090::BBtn_HisClick);
    connect(BBtn_Start, &QPushButton::clicked, this, &TfrmKR3090::BBtn_StartClick);
    connect(BBtn_Reset, &QPushButton::clicked, this, &TfrmKR3090::BBtn_ResetClick);
    // A user's choice only: texts shown by a reply run no handler.
    connect(CBox_Rm, &QComboBox::activated, this, &TfrmKR3090::CBox_RmChange);
    connect(CBox_HZ, &QComboBox::activated, this, &TfrmKR3090::CBox_HZChange);
    connect(CBox_Data, &QComboBox::activated, this, &TfrmKR3090::CBox_DataChange);
}

void TfrmKR3090::BuildHistoryPage() {
    Panel9 = new TPanel(PageHistory, "Panel9", TAlign::Bottom, 51);
    Panel13 = new TPanel(PageHistory, "Panel13", TAlign::Left, 264);
    Panel14 = new TPanel(PageHistory, "Panel14", TAlign::Client);

    Label8 = Note(Panel9, "Label8", QString());

    BBtn_Clear = Button(Panel13, "BBtn_Clear", QStringLiteral("清       空"), 72, 32, 129, 25);
    BBtn_Open = Button(Panel13, "BBtn_Open", QStringLiteral("打       开"), 72, 80, 129, 25);
    BBtn_UpHis = Button(Panel13, "BBtn_UpHis", QStringLiteral("上传历史数据"), 72, 128, 129, 25);
    BBtn_FreqAnalysis =
        Button(Panel13, "BBtn_FreqAnalysis", QStringLiteral("频率分析"), 72, 176, 129, 25);
    BBtn_Store = Button(Panel13, "BBtn_Store", QStringLiteral("存入档案"), 72, 224, 129, 25);
    BBtn_Ret = Button(Panel13, "BBtn_Ret", QStringLiteral("返       回"), 72, 272, 129, 25);

    Lbl_Num = new QLabel(QStringLiteral("可用数据100条，已用0条"), Panel14);
    Lbl_Num->setObjectName(QStringLiteral("Lbl_Num"));
    Lbl_Num->setFont(SongFont(27));
    Lbl_Num->setAlignment(Qt::AlignCenter);
    SetAlign(Lbl_Num, TAlign::Top, 50);

    LView_History = new QTableWidget(0, 4, Panel14);
    LView_History->setObjectName(QStringLiteral("LView_History"));
    SetAlign(LView_History, TAlign::Client);
    LView_History->setFont(SongFont(24));
    LView_History->setHorizontalHeaderLabels(
        {QString(), QStringLiteral("编号"), QStringLiteral("频率"), QStringLiteral("测试时间")});
    LView_History->horizontalHeader()->setMinimumSectionSize(0);
    const int widths[] = {2, 130, 80, 400};
    for (int c = 0; c < 4; ++c) LView_History->setColumnWidth(c, widths[c]);
    LView_History->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    LView_History->verticalHeader()->hide();
    LView_History->setShowGrid(true);
    LView_History->setSelectionBehavior(QAbstractItemView::SelectRows);
    LView_History->setSelectionMode(QAbstractItemView::SingleSelection);
    LView_History->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LView_History->setWordWrap(false);

    connect(BBtn_Clear, &QPushButton::clicked, this, &TfrmKR3090::BBtn_ClearClick);
    connect(BBtn_Open, &QPushButton::clicked, this, &TfrmKR3090::BBtn_OpenClick);
    connect(BBtn_UpHis, &QPushButton::clicked, this, &TfrmKR3090::BBtn_UpHisClick);
    connect(BBtn_FreqAnalysis, &QPushButton::clicked, this, &TfrmKR3090::BBtn_FreqAnalysisClick);
    connect(BBtn_Store, &QPushButton::clicked, this, &TfrmKR3090::BBtn_StoreClick);
    connect(BBtn_Ret, &QPushButton::clicked, this, &TfrmKR3090::BBtn_RetClick);
    connect(LView_History, &QTableWidget::cellDoubleClicked, this, &TfrmKR3090::BBtn_OpenClick);
}

void TfrmKR3090::BuildCompPage() {
    Panel15 = new TPanel(PageComp, "Panel15", TAlign::Left, 264);
    Panel16 = new TPanel(PageComp, "Panel16", TAlign::Client);
    Panel17 = new TPanel(Panel16, "Panel17", TAlign::Bottom, 249);
    Panel18 = new TPanel(Panel16, "Panel18", TAlign::Client);

    BitBtn8 = Button(Panel15, "BitBtn8", QStringLiteral("仪 器 打 印"), 72, 32, 129, 25);
    BitBtn9 = Button(Panel15, "BitBtn9", QStringLiteral("仪 器 删 除"), 72, 80, 129, 25);
    BitBtn10 = Button(Panel15, "BitBtn10", QStringLiteral("返       回"), 72, 128, 129, 25);

    Lbl_Index = Label(Panel18, "Lbl_Index", QStringLiteral("第001条"), 29, 24, 16);
    Label9 = Label(Panel18, "Label9", QStringLiteral("U ：0.000mV"), 67, 0, 0);
    Label10 = Label(Panel18, "Label10", QStringLiteral("I ：0.000A"), 67, 0, 0);
    Label11 = Label(Panel17, "Label11", QStringLiteral("Φ：0.000°"), 33, 0, 16);
    Label12 = Label(Panel17, "Label12", QStringLiteral("Z ：0.000mΩ"), 33, 0, 16);
    Label13 = Label(Panel17, "Label13", QStringLiteral("R ：0.000mΩ"), 33, 0, 61);
    Label14 = Label(Panel17, "Label14", QStringLiteral("X ：0.000mΩ"), 33, 0, 61);
    Label15 = Label(Panel17, "Label15", QStringLiteral("f ：45.00Hz"), 33, 0, 106);
    Label16 = Label(Panel17, "Label16", QStringLiteral("Rm：OFF"), 33, 0, 106);
    Label17 =
        Label(Panel17, "Label17", QStringLiteral("测试时间：2017.02.16 12:30:30"), 33, 0, 151);

    connect(BitBtn8, &QPushButton::clicked, this, &TfrmKR3090::BitBtn8Click);
    connect(BitBtn9, &QPushButton::clicked, this, &TfrmKR3090::BitBtn9Click);
    connect(BitBtn10, &QPushButton::clicked, this, &TfrmKR3090::BitBtn10Click);
}

void TfrmKR3090::InstallFrameTarget() {
    SetFrameTarget(
        [this](std::function<void()> fn) {
            {
                std::lock_guard<std::mutex> lock(postedMutex_);
                posted_.push_back(std::move(fn));
            }
            QMetaObject::invokeMethod(this, "RunPosted", Qt::QueuedConnection);
        },
        [this] { WMCommFrame(); });
}

void TfrmKR3090::RunPosted() {
    std::function<void()> fn;
    {
        std::lock_guard<std::mutex> lock(postedMutex_);
        if (posted_.empty()) return;
        fn = std::move(posted_.front());
        posted_.pop_front();
    }
    fn();
}

// ---- life cycle

void TfrmKR3090::FormCreate() {
    SetCaption(Lbl_Speed, QString());
    GlobVar.ResumePollAfterNotice = false;
    GlobVar.OpenAfterUpload = false;
    GlobVar.UploadStarted = false;
    GlobVar.UploadTotal = 0;
    GlobVar.UploadCount = 0;
    GlobVar.ResultFileName.clear();
    GlobVar.PrintLineWidth = 24;
    GlobVar.ProgressCount = 0;
    GlobVar.PortOpen = false;
    GlobVar.Connected = false;
    GlobVar.Testing = false;
    GlobVar.NoticeAutoHide = false;
    RxLength = 0;
    GlobVar.NoticeTime = Platform().Now();
    // In the platform's own separators: messages show C:\...\Config.ini on Windows.
    GlobVar.AppPath =
        QDir::toNativeSeparators(QCoreApplication::applicationDirPath()) + QDir::separator();
    const TSettingsLocation location = SettingsLocationFor(GlobVar.AppPath.toStdString());
    GlobVar.ConfigFileName = QString::fromStdString(location.ConfigFileName);
    GlobVar.FilesBesideExecutable = location.BesideExecutable;
    GlobVar.DataFolder = QString::fromStdString(location.DataFolder);
    TCommSettings defaults;
    defaults.ComName = DefaultPortName();
    CommSettings = defaults;
    LoadConfig(GlobVar.ConfigFileName.toStdString(), CommSettings, defaults);
    Timer_Now->start();
}

void TfrmKR3090::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_) return;
    shown_ = true;
    FormShow();
}

void TfrmKR3090::FormShow() {
    SetActivePage(QStringLiteral("Ctrl"));
    OpenPort();
    FillFrequencyList();
    AlignTree(this);
    ArrangeLabels();
}

void TfrmKR3090::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FormResize();
}

void TfrmKR3090::FormResize() {
    AlignTree(this);  // the panels first: the labels are placed by their sizes
    ArrangeLabels();
}

void TfrmKR3090::closeEvent(QCloseEvent* event) {
    // FormCloseQuery: tell the instrument, whatever the state; never refused.
    SendDisconnect();
    event->accept();
}

void TfrmKR3090::FormDestroy() {
    if (GlobVar.PortOpen && Comm) Comm->Close();
    GlobVar.PortOpen = false;
    Comm.reset();
}

void TfrmKR3090::OpenPort() {
    OpenCommPort(Comm, GlobVar.PortOpen, CommSettings, CommReceive, CancelFrameHandOver,
                 [this](const std::string& message) {
                     Platform().MessageBox(this, QString::fromStdString(message),
                                           QStringLiteral("提示"), TMessageIcon::Information);
                 });
    // Closing the old port may have cancelled the hand-over: frames of the
    // reopened port go to this window again.
    InstallFrameTarget();
}

// ---- pages

QString TfrmKR3090::ActivePageName() const {
    const QWidget* page = Nbk_Control->currentWidget();
    return page ? page->objectName() : QString();
}

void TfrmKR3090::SetActivePage(const QString& name) {
    for (int i = 0; i < Nbk_Control->count(); ++i)
        if (Nbk_Control->widget(i)->objectName() == name) Nbk_Control->setCurrentIndex(i);
}

void TfrmKR3090::SetCaption(QLabel* label, const QString& text) {
    label->setText(text);
    label->adjustSize();
}

void TfrmKR3090::ArrangeLabels() {
    const int w8 = Panel8->width();
    Label1->setGeometry(0, Label1->y(), Panel5->width(), Label1->height());
    LblStatus->move(w8 - LblStatus->width() - 30, LblStatus->y());
    const int voltLeft = (w8 - Lbl_Volt->width()) / 2;
    const int voltTop = (Panel8->height() - Lbl_Volt->height() - Lbl_A->height() - 50) / 2;
    Lbl_Volt->move(voltLeft, voltTop);
    Lbl_A->move(voltLeft, voltTop + Lbl_Volt->height() + 50);
    Lbl_Speed->move(Lbl_A->x() - 31, Lbl_A->y() + Lbl_A->height() + 50);
    // Panel8's width although the small labels sit on Panel11: both span the same width.
    const int left4 = (w8 - Label4->width() - Label5->width() - 100) / 2;
    Label4->move(left4, Label4->y());
    Label6->move(left4, Label6->y());
    const int left5 = left4 + Label4->width() + 100;
    Label5->move(left5, Label5->y());
    Label7->move(left5, Label7->y());

    Label8->setGeometry(0, Label8->y(), Panel9->width(), Label8->height());

    const int left9 = (Panel18->width() - Label9->width()) / 2;
    const int top9 = (Panel18->height() - Label9->height() - Label10->height() - 50) / 2;
    Label9->move(left9, top9);
    Label10->move(left9, top9 + Label9->height() + 50);
    const int left11 = (Panel17->width() - Label11->width() - Label12->width() - 100) / 2;
    const int left12 = left11 + Label11->width() + 100;
    Label11->move(left11, Label11->y());
    Label12->move(left12, Label12->y());
    for (QLabel* l : {Label13, Label15, Label17}) l->move(left11, l->y());
    for (QLabel* l : {Label14, Label16}) l->move(left12, l->y());
}

// ---- toolbar

void TfrmKR3090::BitBtn2Click() {
    ShowCommSettings(this);
    // Whatever happened in the dialog, the port follows the settings now held.
    OpenPort();
}

void TfrmKR3090::BitBtn6Click() {
    const QString help = QString::fromStdString(CommSettings.HelpFileName);
    // A help file of the user's own is theirs to keep right; without one, ours.
    if (help.isEmpty())
        OpenManual(this);
    else if (QFileInfo::exists(help))
        Platform().ShellOpen(this, help);
}

void TfrmKR3090::BitBtn7Click() {
    close();
}
