#include "app/archive/ArchiveSyncfrm.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <set>

#include "app/archive/ArchiveAccess.h"
#include "app/kit/FormWidgets.h"
#include "app/kit/OpenWindow.h"
#include "app/kit/Platform.h"
#include "app/kit/TableView.h"
#include "app/kit/WindowRole.h"
#include "archive/ArchiveConnection.h"
#include "archive/ArchiveSql.h"
#include "qtext/QText.h"
#include "report/SongFont.h"

TfrmArchiveSync::TfrmArchiveSync(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("frmArchiveSync"));
    AnnounceAsWindow(this);
    setWindowTitle(QStringLiteral("同步"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(SongFont(14));
    resize(860, 960);

    // The laptop is the program's own file; the server the one "档案设置"
    // names, whichever of the two the archive window shows.
    const TArchiveSettings settings = ArchiveAccess().Settings();
    LaptopSettings = ServerSettings = settings;
    LaptopSettings.Driver = TArchiveDriver::SQLite;
    ServerSettings.Driver = TArchiveDriver::PostgreSQL;

    auto* layout = new QVBoxLayout(this);
    Lbl_Laptop = Named(new QLabel(this), "Lbl_Laptop", QStringLiteral("笔记本档案"));
    Lbl_Server = Named(new QLabel(this), "Lbl_Server", QStringLiteral("服务器档案"));
    for (QLabel* l : {Lbl_Laptop, Lbl_Server}) {
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(l);
    }

    auto* direction = Named(new QGroupBox(QStringLiteral("同步方向"), this), "GBox_Direction",
                            QStringLiteral("同步方向"));
    auto* directions = new QHBoxLayout(direction);
    RBtn_Both = Named(new QRadioButton(QStringLiteral("上传和下载"), direction), "RBtn_Both",
                      QStringLiteral("上传和下载"));
    RBtn_UploadOnly = Named(new QRadioButton(QStringLiteral("只上传"), direction),
                            "RBtn_UploadOnly", QStringLiteral("只上传"));
    RBtn_DownloadOnly = Named(new QRadioButton(QStringLiteral("只下载"), direction),
                              "RBtn_DownloadOnly", QStringLiteral("只下载"));
    for (QRadioButton* b : {RBtn_Both, RBtn_UploadOnly, RBtn_DownloadOnly})
        directions->addWidget(b);
    directions->addStretch();
    RBtn_Both->setChecked(true);
    layout->addWidget(direction);

    auto* sites = Named(new QGroupBox(QStringLiteral("服务器上的场地"), this), "GBox_ServerSites",
                        QStringLiteral("服务器上的场地"));
    auto* siteLayout = new QVBoxLayout(sites);
    LView_ServerSites = TextTable(sites, "LView_ServerSites", {"场地名称", "电压等级", "笔记本上"},
                                  QStringLiteral("服务器上的场地（勾选要取回的场地）"));
    siteLayout->addWidget(LView_ServerSites, 1);
    auto* siteButtons = new QHBoxLayout;
    BBtn_Fetch = RowButton(sites, siteButtons, "BBtn_Fetch", QStringLiteral("取回场地"));
    BBtn_Refresh = RowButton(sites, siteButtons, "BBtn_Refresh", QStringLiteral("刷新"));
    siteButtons->addStretch();
    siteLayout->addLayout(siteButtons);
    layout->addWidget(sites, 2);

    auto* merge = Named(new QGroupBox(QStringLiteral("待合并的场地"), this), "GBox_Merge",
                        QStringLiteral("待合并的场地"));
    auto* mergeLayout = new QVBoxLayout(merge);
    LView_Merge = TextTable(merge, "LView_Merge", {"笔记本上的场地", "服务器上的场地", "电压等级"},
                            QStringLiteral("两边各自建立、看来是同一个的场地（勾选要合并的）"));
    mergeLayout->addWidget(LView_Merge, 1);
    auto* mergeButtons = new QHBoxLayout;
    BBtn_Merge = RowButton(merge, mergeButtons, "BBtn_Merge", QStringLiteral("合并"));
    mergeButtons->addStretch();
    mergeLayout->addLayout(mergeButtons);
    LView_Merge->setMaximumHeight(140);  // seldom more than a few
    layout->addWidget(merge);

    auto* conflicts = Named(new QGroupBox(QStringLiteral("两边都改过的测试信息"), this),
                            "GBox_Conflicts", QStringLiteral("两边都改过的测试信息"));
    auto* conflictLayout = new QVBoxLayout(conflicts);
    LView_Conflicts = TextTable(conflicts, "LView_Conflicts",
                                {"场地", "笔记本上的测试信息", "服务器上的测试信息"},
                                QStringLiteral("两边都改过的测试信息（选择要保留的一边）"));
    conflictLayout->addWidget(LView_Conflicts, 1);
    auto* conflictButtons = new QHBoxLayout;
    BBtn_KeepLaptop =
        RowButton(conflicts, conflictButtons, "BBtn_KeepLaptop", QStringLiteral("用笔记本的"));
    BBtn_KeepServer =
        RowButton(conflicts, conflictButtons, "BBtn_KeepServer", QStringLiteral("用服务器的"));
    conflictButtons->addStretch();
    conflictLayout->addLayout(conflictButtons);
    LView_Conflicts->setMaximumHeight(140);
    layout->addWidget(conflicts);

    auto* progress = new QHBoxLayout;
    PBar_Sync = Named(new QProgressBar(this), "PBar_Sync", QStringLiteral("同步进度"));
    PBar_Sync->setFormat(QStringLiteral("%v / %m 次测试"));
    PBar_Sync->setRange(0, 1);
    PBar_Sync->setValue(0);
    progress->addWidget(PBar_Sync, 1);
    BBtn_Cancel = RowButton(this, progress, "BBtn_Cancel", QStringLiteral("取消"));
    layout->addLayout(progress);

    Memo_Account = Named(new QPlainTextEdit(this), "Memo_Account", QStringLiteral("同步结果"));
    Memo_Account->setReadOnly(true);
    layout->addWidget(Memo_Account, 1);

    auto* bottom = new QHBoxLayout;
    BBtn_Sync = RowButton(this, bottom, "BBtn_Sync", QStringLiteral("开始同步"));
    bottom->addStretch();
    BBtn_Close = RowButton(this, bottom, "BBtn_Close", QStringLiteral("关闭"));
    layout->addLayout(bottom);

    connect(BBtn_Sync, &QPushButton::clicked, this, &TfrmArchiveSync::BBtn_SyncClick);
    connect(BBtn_Fetch, &QPushButton::clicked, this, &TfrmArchiveSync::BBtn_FetchClick);
    connect(BBtn_Refresh, &QPushButton::clicked, this, [this] { ReadArchives(); });
    connect(BBtn_Cancel, &QPushButton::clicked, this, &TfrmArchiveSync::BBtn_CancelClick);
    connect(BBtn_Merge, &QPushButton::clicked, this, &TfrmArchiveSync::BBtn_MergeClick);
    connect(BBtn_KeepLaptop, &QPushButton::clicked, this, [this] { KeepVersion(true); });
    connect(BBtn_KeepServer, &QPushButton::clicked, this, [this] { KeepVersion(false); });
    connect(BBtn_Close, &QPushButton::clicked, this, &QWidget::close);
    Follow();
}

TfrmArchiveSync::~TfrmArchiveSync() = default;

bool TfrmArchiveSync::ReadArchives() {
    Lbl_Laptop->setText(QStringLiteral("笔记本档案：") + Q(LaptopSettings.File));
    const bool named =
        ServerSettings.Driver == TArchiveDriver::SQLite || !ServerSettings.Host.empty();
    Lbl_Server->setText(QStringLiteral("服务器档案：") +
                        (!named ? QStringLiteral("（未设置）")
                         : ServerSettings.Driver == TArchiveDriver::SQLite
                             ? Q(ServerSettings.File)
                             : Q(ServerName(ServerSettings) + "/" + ServerSettings.Database)));
    laptop_.reset();
    server_.reset();
    serverSites_.clear();
    QString failure;
    try {
        // The laptop first: a file that is damaged or newer than this
        // program sends nothing.
        laptop_ = OpenArchive(LaptopSettings);
        if (!named)
            throw TArchiveError(TArchiveProblem::Other,
                                "“档案设置”里没有填写档案服务器：请先在“档案设置”里填写服务器，"
                                "再同步。");
        for (;;) {
            try {
                server_ = OpenArchive(ServerSettings, password_);
                break;
            } catch (const TArchiveError& e) {
                if (e.Problem() != TArchiveProblem::PasswordRefused) throw;
                password_ =
                    Platform()
                        .Password(this, Q(e.what()) + QStringLiteral("\n请输入数据库密码："))
                        .toStdString();
                if (password_.empty()) throw;
            }
        }
        serverSites_ = server_->Sites();
    } catch (const TArchiveError& e) {
        failure = Q(e.what());
        server_.reset();
        laptop_.reset();
    }
    ShowServerSites();
    ShowMatches();
    if (!failure.isEmpty())
        Memo_Account->setPlainText(QStringLiteral("无法同步，没有发送任何内容：\n") + failure);
    Follow();
    return failure.isEmpty();
}

void TfrmArchiveSync::ShowServerSites() {
    std::set<std::string> onLaptop;
    if (laptop_) {
        try {
            for (const TSite& site : laptop_->Sites()) onLaptop.insert(site.Uuid);
            for (const auto& [uuid, siteId] : laptop_->SiteAliases()) onLaptop.insert(uuid);
        } catch (const TArchiveError&) {
        }
    }
    LView_ServerSites->setRowCount(int(serverSites_.size()));
    for (int row = 0; row < int(serverSites_.size()); ++row) {
        const TSite& site = serverSites_[row];
        SetTableRow(LView_ServerSites, row,
                    {site.Name, site.VoltageLevel, onLaptop.count(site.Uuid) ? "已有" : "没有"},
                    true, false);
    }
    FitColumns(LView_ServerSites);
}

void TfrmArchiveSync::ShowMatches() {
    matches_.clear();
    if (laptop_ && server_) {
        try {
            matches_ = SiteMatches(*laptop_, *server_);
        } catch (const TArchiveError&) {
        }
    }
    LView_Merge->setRowCount(int(matches_.size()));
    for (int row = 0; row < int(matches_.size()); ++row) {
        const TSiteMatch& m = matches_[row];
        SetTableRow(LView_Merge, row, {m.Laptop.Name, m.Server.Name, m.Server.VoltageLevel}, true,
                    false);
    }
    FitColumns(LView_Merge);
}

void TfrmArchiveSync::BBtn_MergeClick() {
    std::vector<TSiteMatch> chosen;
    for (int row = 0; row < LView_Merge->rowCount(); ++row)
        if (LView_Merge->item(row, 0)->checkState() == Qt::Checked) chosen.push_back(matches_[row]);
    if (chosen.empty()) {
        Platform().MessageBox(this, QStringLiteral("请先勾选要合并的场地。"),
                              QStringLiteral("提示"), TMessageIcon::Information);
        return;
    }
    QString pairs;
    for (const TSiteMatch& m : chosen)
        pairs += QStringLiteral("\n  笔记本上的“%1”与服务器上的“%2”")
                     .arg(Q(m.Laptop.Name), Q(m.Server.Name));
    if (!Platform().Confirm(this,
                            QStringLiteral("确定把下列场地各自合并为同一个场地吗？") + pairs +
                                QStringLiteral("\n合并后，同步时两边的测试互相补齐。"),
                            QStringLiteral("提示")))
        return;
    try {
        for (const TSiteMatch& m : chosen) MergeSites(*laptop_, *server_, m);
        Memo_Account->setPlainText(QStringLiteral("已合并：") + pairs +
                                   QStringLiteral("\n请按“开始同步”补齐两边的测试。"));
    } catch (const TArchiveError& e) {
        Memo_Account->setPlainText(QStringLiteral("合并没有完成：") + Q(e.what()));
    }
    ShowServerSites();
    ShowMatches();
}

void TfrmArchiveSync::ShowConflicts() {
    LView_Conflicts->setRowCount(int(conflicts_.size()));
    for (int row = 0; row < int(conflicts_.size()); ++row) {
        const TCampaignConflict& c = conflicts_[row];
        SetTableRow(LView_Conflicts, row,
                    {c.Site, CampaignDetailsText(c.Laptop), CampaignDetailsText(c.Server)});
    }
    FitColumns(LView_Conflicts);
    Follow();
}

void TfrmArchiveSync::KeepVersion(bool laptop) {
    const int row = LView_Conflicts->currentRow();
    if (row < 0 || row >= int(conflicts_.size()) || !laptop_ || !server_) return;
    try {
        ResolveConflict(*laptop_, *server_, conflicts_[row], laptop);
        Memo_Account->setPlainText(
            QStringLiteral("%1 %2 的测试信息已按%3的保存在两边。")
                .arg(Q(conflicts_[row].Site), Q(conflicts_[row].Laptop.Date),
                     laptop ? QStringLiteral("笔记本") : QStringLiteral("服务器")));
        conflicts_.erase(conflicts_.begin() + row);
    } catch (const TArchiveError& e) {
        Memo_Account->setPlainText(QStringLiteral("测试信息没有保存：") + Q(e.what()));
    }
    ShowConflicts();
    emit ArchiveAccess().Changed(0, 0);
}

void TfrmArchiveSync::Follow() {
    const bool open = laptop_ && server_, running = Running();
    for (QWidget* w : std::initializer_list<QWidget*>{BBtn_Sync, BBtn_Fetch, BBtn_Merge, RBtn_Both,
                                                      RBtn_UploadOnly, RBtn_DownloadOnly})
        w->setEnabled(open && !running);
    BBtn_Refresh->setEnabled(!running);
    for (QPushButton* b : {BBtn_KeepLaptop, BBtn_KeepServer})
        b->setEnabled(open && !running && !conflicts_.empty());
    BBtn_Cancel->setEnabled(running);
}

void TfrmArchiveSync::BBtn_SyncClick() {
    Start(RBtn_UploadOnly->isChecked()     ? TSyncDirection::UploadOnly
          : RBtn_DownloadOnly->isChecked() ? TSyncDirection::DownloadOnly
                                           : TSyncDirection::Both,
          {});
}

void TfrmArchiveSync::BBtn_FetchClick() {
    std::vector<std::string> chosen;
    for (int row = 0; row < LView_ServerSites->rowCount(); ++row)
        if (LView_ServerSites->item(row, 0)->checkState() == Qt::Checked)
            chosen.push_back(serverSites_[row].Uuid);
    if (chosen.empty()) {
        Platform().MessageBox(this, QStringLiteral("请先勾选要取回的场地。"),
                              QStringLiteral("提示"), TMessageIcon::Information);
        return;
    }
    Start(TSyncDirection::DownloadOnly, chosen);
}

void TfrmArchiveSync::BBtn_CancelClick() {
    cancel_ = true;
}

void TfrmArchiveSync::Start(TSyncDirection direction, const std::vector<std::string>& sites) {
    if (Running() || !laptop_ || !server_) return;
    conflicts_.clear();
    ShowConflicts();
    direction_ = direction;
    cancel_ = false;
    Memo_Account->setPlainText(QStringLiteral("正在读取两个档案的内容..."));
    try {
        run_ = std::make_unique<TSyncRun>(*laptop_, *server_, direction, sites);
    } catch (const TArchiveError& e) {
        Memo_Account->setPlainText(QStringLiteral("同步没有完成，没有复制任何内容：\n") +
                                   Q(e.what()));
        return;
    }
    PBar_Sync->setRange(0, std::max(1, run_->Total()));
    PBar_Sync->setValue(0);
    Follow();
    QTimer::singleShot(0, this, &TfrmArchiveSync::NextStep);
}

void TfrmArchiveSync::NextStep() {
    if (!run_) return;
    if (cancel_ && !run_->Finished()) {
        Finish(QStringLiteral("同步已取消：完成了 %1 / %2 次测试，其余的下次同步时补齐。")
                   .arg(run_->Done())
                   .arg(run_->Total()));
        return;
    }
    if (run_->Finished()) {
        Finish(QStringLiteral("同步完成：%1 次测试。").arg(run_->Total()));
        return;
    }
    try {
        run_->Step();
    } catch (const TArchiveError& e) {
        Finish(QStringLiteral("同步没有完成：%1\n完成了 %2 / %3 次测试，其余的下次同步时补齐。")
                   .arg(Q(e.what()))
                   .arg(run_->Done())
                   .arg(run_->Total()));
        return;
    }
    PBar_Sync->setValue(run_->Done());
    QTimer::singleShot(0, this, &TfrmArchiveSync::NextStep);
}

void TfrmArchiveSync::Finish(const QString& ending) {
    const TSyncResult result = run_->Result();
    run_.reset();
    conflicts_ = result.Conflicts;
    ShowConflicts();
    QString account = ending + QStringLiteral("\n");
    if (direction_ != TSyncDirection::DownloadOnly)
        account += Q(SyncCountsText("上传到服务器", result.Up));
    if (direction_ != TSyncDirection::UploadOnly)
        account += Q(SyncCountsText("下载到笔记本", result.Down));
    account += Q(ConflictsText(result.Conflicts));
    Memo_Account->setPlainText(account);
    try {
        if (server_) serverSites_ = server_->Sites();
    } catch (const TArchiveError&) {
    }
    ShowServerSites();
    ShowMatches();
    Follow();
    // The archive window shows what came in.
    emit ArchiveAccess().Changed(0, 0);
}

void TfrmArchiveSync::closeEvent(QCloseEvent* event) {
    // The campaign being copied finishes first; the window stays to say so.
    if (Running()) {
        cancel_ = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void ShowArchiveSync(QWidget* owner) {
    if (TfrmArchiveSync* open = OpenWindow<TfrmArchiveSync>()) {
        open->raise();
        open->activateWindow();
        return;
    }
    auto* sync = new TfrmArchiveSync(owner);
    sync->show();
    sync->ReadArchives();
}
