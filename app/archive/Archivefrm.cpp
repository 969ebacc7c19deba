#include "app/archive/Archivefrm.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "analysis/FreqAnalysisText.h"
#include "app/archive/ArchiveAccess.h"
#include "app/archive/ArchiveBinfrm.h"
#include "app/archive/ArchiveSettingsfrm.h"
#include "app/archive/ArchiveSyncfrm.h"
#include "app/archive/ArchiveWindows.h"
#include "app/archive/ReportCommands.h"
#include "app/archive/RetestDuefrm.h"
#include "app/archive/TrendPlot.h"
#include "app/kit/CsvExport.h"
#include "app/kit/Messages.h"
#include "app/kit/OpenWindow.h"
#include "app/kit/TableView.h"
#include "app/kit/WindowRole.h"
#include "archive/ArchiveTeam.h"
#include "campaignreport/SiteTable.h"
#include "qtext/QText.h"
#include "report/SongFont.h"
#include "results/ResultFile.h"
#include "results/ResultImport.h"

namespace {

QPushButton* Button(QWidget* parent, QBoxLayout* row, const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setMinimumSize(100, 25);
    row->addWidget(b);
    return b;
}

QGroupBox* Group(QWidget* parent, const char* name, const QString& title, QWidget* inside) {
    auto* box = new QGroupBox(title, parent);
    box->setObjectName(QString::fromLatin1(name));
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(inside);
    inside->setParent(box);
    return box;
}

std::int64_t RowId(const QTableWidget* table) {
    const int row = table->currentRow();
    const QTableWidgetItem* item = row >= 0 ? table->item(row, 0) : nullptr;
    return item ? item->data(Qt::UserRole).toLongLong() : 0;
}

void SelectRowWithId(QTableWidget* table, std::int64_t id) {
    for (int row = 0; row < table->rowCount(); ++row)
        if (table->item(row, 0)->data(Qt::UserRole).toLongLong() == id) {
            table->selectRow(row);
            return;
        }
    if (table->rowCount()) table->selectRow(table->rowCount() - 1);
}

}  // namespace

TfrmArchive::TfrmArchive(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("frmArchive"));
    AnnounceAsWindow(this);
    setWindowTitle(QStringLiteral("档案"));
    setFont(SongFont(14));
    resize(1200, 900);

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    Lbl_Archive = new QLabel(this);
    Lbl_Archive->setObjectName(QStringLiteral("Lbl_Archive"));
    Lbl_Archive->setTextInteractionFlags(Qt::TextSelectableByMouse);
    top->addWidget(Lbl_Archive, 1);
    BBtn_Sync = Button(this, top, "BBtn_Sync", QStringLiteral("同步"));
    Lbl_User = new QLabel(this);
    Lbl_User->setObjectName(QStringLiteral("Lbl_User"));
    top->addWidget(Lbl_User);
    BBtn_RecycleBin = Button(this, top, "BBtn_RecycleBin", QStringLiteral("回收站"));
    BBtn_Settings = Button(this, top, "BBtn_Settings", QStringLiteral("档案设置"));
    layout->addLayout(top);

    auto* columns = new QSplitter(Qt::Horizontal, this);
    columns->setObjectName(QStringLiteral("Split_SitesCampaigns"));
    QWidget* left = BuildSites(columns);
    BuildCampaigns(columns);
    left->setMinimumWidth(320);
    columns->setStretchFactor(0, 1);
    columns->setStretchFactor(1, 3);
    layout->addWidget(columns, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    BBtn_Close = Button(this, bottom, "BBtn_Close", QStringLiteral("关闭"));
    layout->addLayout(bottom);

    ImportDialog.Title = QStringLiteral("请选择结果文件");
    ImportDialog.Filter = QStringLiteral("结果文件(*.txt *.csv)|*.txt *.csv");
    CsvDialog = CsvExportRequest();
    PdfDialog = ReportPdfRequest();
    OdtDialog = ReportOdtRequest();

    Connect();
}

// The sites with their two buttons, the left column.
QWidget* TfrmArchive::BuildSites(QSplitter* columns) {
    auto* left = new QWidget(columns);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    LView_Sites = TextTable(left, "LView_Sites", SiteTableHeaders(), QStringLiteral("场地"));
    leftLayout->addWidget(Group(left, "GBox_Sites", QStringLiteral("场地"), LView_Sites), 1);
    // Two rows: four buttons are wider than the sites' side needs to be.
    auto* siteButtons = new QHBoxLayout;
    auto* moreSiteButtons = new QHBoxLayout;
    BBtn_ExportCsv = Button(left, siteButtons, "BBtn_ExportCsv", QStringLiteral("导出表格"));
    BBtn_DeleteSite = Button(left, siteButtons, "BBtn_DeleteSite", QStringLiteral("删除场地"));
    BBtn_RetestDue = Button(left, moreSiteButtons, "BBtn_RetestDue", QStringLiteral("到期复测"));
    BBtn_Changes = Button(left, moreSiteButtons, "BBtn_Changes", QStringLiteral("变更记录"));
    leftLayout->addLayout(siteButtons);
    leftLayout->addLayout(moreSiteButtons);
    return left;
}

// The site's campaigns with their buttons, the trend, the campaign's records.
void TfrmArchive::BuildCampaigns(QSplitter* columns) {
    auto* rows = new QSplitter(Qt::Vertical, columns);
    rows->setObjectName(QStringLiteral("Split_CampaignRows"));
    auto* campaigns = new QWidget(rows);
    auto* campaignLayout = new QVBoxLayout(campaigns);
    campaignLayout->setContentsMargins(0, 0, 0, 0);
    LView_Campaigns = TextTable(campaigns, "LView_Campaigns", CampaignTableHeaders(),
                                QStringLiteral("本场地的历次测试"));
    campaignLayout->addWidget(
        Group(campaigns, "GBox_Campaigns", QStringLiteral("历次测试"), LView_Campaigns), 1);
    auto* campaignButtons = new QHBoxLayout;
    BBtn_ImportFile =
        Button(campaigns, campaignButtons, "BBtn_ImportFile", QStringLiteral("导入文件"));
    BBtn_Pdf = Button(campaigns, campaignButtons, "BBtn_Pdf", QStringLiteral("导出PDF"));
    BBtn_Odt = Button(campaigns, campaignButtons, "BBtn_Odt", QStringLiteral("导出文档"));
    BBtn_Print = Button(campaigns, campaignButtons, "BBtn_Print", QStringLiteral("打印"));
    BBtn_DeleteCampaign =
        Button(campaigns, campaignButtons, "BBtn_DeleteCampaign", QStringLiteral("删除测试"));
    campaignButtons->addStretch();
    campaignLayout->addLayout(campaignButtons);
    // The review on a row of its own, beside what it says of the campaign,
    // so that the buttons above leave the sites their width.
    auto* review = new QHBoxLayout;
    Lbl_CampaignState = new QLabel(campaigns);
    Lbl_CampaignState->setObjectName(QStringLiteral("Lbl_CampaignState"));
    Lbl_CampaignState->setWordWrap(true);
    review->addWidget(Lbl_CampaignState, 1);
    BBtn_Review = Button(campaigns, review, "BBtn_Review", QStringLiteral("审核"));
    BBtn_Correct = Button(campaigns, review, "BBtn_Correct", QStringLiteral("更正"));
    campaignLayout->addLayout(review);

    PBox_Trend = new TTrendPlot(rows);
    PBox_Trend->setObjectName(QStringLiteral("PBox_Trend"));
    AnnounceAsPicture(PBox_Trend);
    rows->addWidget(Group(rows, "GBox_Trend", QStringLiteral("工频值历次变化"), PBox_Trend));
    LView_CampRecords = TextTable(rows, "LView_CampRecords", AnalysisRecordHeaders(),
                                  QStringLiteral("所选测试的记录"));
    rows->addWidget(
        Group(rows, "GBox_CampRecords", QStringLiteral("所选测试的记录"), LView_CampRecords));
}

void TfrmArchive::Connect() {
    connect(LView_Sites, &QTableWidget::itemSelectionChanged, this, [this] {
        if (!filling_) ShowSite();
    });
    connect(LView_Campaigns, &QTableWidget::itemSelectionChanged, this, [this] {
        if (!filling_) ShowCampaign();
    });
    connect(BBtn_ImportFile, &QPushButton::clicked, this, &TfrmArchive::BBtn_ImportFileClick);
    connect(BBtn_ExportCsv, &QPushButton::clicked, this, &TfrmArchive::BBtn_ExportCsvClick);
    connect(BBtn_Pdf, &QPushButton::clicked, this, &TfrmArchive::BBtn_PdfClick);
    connect(BBtn_Odt, &QPushButton::clicked, this, &TfrmArchive::BBtn_OdtClick);
    connect(BBtn_Print, &QPushButton::clicked, this, &TfrmArchive::BBtn_PrintClick);
    // The selected campaign's report on the printer, as everywhere.
    auto* print = new QShortcut(QKeySequence::Print, this);
    connect(print, &QShortcut::activated, this, &TfrmArchive::BBtn_PrintClick);
    connect(BBtn_DeleteSite, &QPushButton::clicked, this, &TfrmArchive::BBtn_DeleteSiteClick);
    connect(BBtn_DeleteCampaign, &QPushButton::clicked, this,
            &TfrmArchive::BBtn_DeleteCampaignClick);
    connect(BBtn_Settings, &QPushButton::clicked, this, &TfrmArchive::BBtn_SettingsClick);
    connect(BBtn_RetestDue, &QPushButton::clicked, this, &TfrmArchive::BBtn_RetestDueClick);
    connect(BBtn_Sync, &QPushButton::clicked, this, [this] { ShowArchiveSync(this); });
    connect(BBtn_Review, &QPushButton::clicked, this, &TfrmArchive::BBtn_ReviewClick);
    connect(BBtn_Correct, &QPushButton::clicked, this, &TfrmArchive::BBtn_CorrectClick);
    connect(BBtn_RecycleBin, &QPushButton::clicked, this, &TfrmArchive::BBtn_RecycleBinClick);
    connect(BBtn_Changes, &QPushButton::clicked, this, &TfrmArchive::BBtn_ChangesClick);
    connect(BBtn_Close, &QPushButton::clicked, this, &QWidget::close);
    connect(&ArchiveAccess(), &TArchiveAccess::Changed, this,
            [this](std::int64_t siteId, std::int64_t campaignId) {
                if (isVisible()) Refresh(siteId, campaignId);
            });
}

const TSite* TfrmArchive::Site() const {
    const std::int64_t id = SelectedSiteId();
    for (const TSite& s : sites_)
        if (s.Id == id) return &s;
    return nullptr;
}

const TCampaignSummary* TfrmArchive::Campaign() const {
    const std::int64_t id = SelectedCampaignId();
    for (const TCampaignSummary& c : campaigns_)
        if (c.Campaign.Id == id) return &c;
    return nullptr;
}

std::int64_t TfrmArchive::SelectedSiteId() const {
    return RowId(LView_Sites);
}

std::int64_t TfrmArchive::SelectedCampaignId() const {
    return RowId(LView_Campaigns);
}

void TfrmArchive::Refresh(std::int64_t siteId, std::int64_t campaignId) {
    if (!siteId) siteId = SelectedSiteId();
    if (!campaignId) campaignId = SelectedCampaignId();
    sites_.clear();
    TArchive* archive = ArchiveAccess().Get(this);
    Lbl_Archive->setText(archive ? Q(archive->Description()) : QStringLiteral("档案未打开"));
    user_ = {"", TArchiveRole::Reader};
    if (archive)
        ArchiveAccess().Call(this, [&](TArchive& a) {
            user_ = a.User();
            sites_ = a.Sites();
        });
    Lbl_User->setText(archive ? QStringLiteral("用户：%1（%2）")
                                    .arg(Q(user_.Name), QString::fromUtf8(RoleText(user_.Role)))
                              : QString());
    Lbl_User->setAccessibleName(Lbl_User->text());
    filling_ = true;
    LView_Sites->setRowCount(int(sites_.size()));
    for (int row = 0; row < int(sites_.size()); ++row) {
        SetTableRow(LView_Sites, row, SiteTableCells(sites_[row]));
        LView_Sites->item(row, 0)->setData(Qt::UserRole, qlonglong(sites_[row].Id));
    }
    FitColumns(LView_Sites);
    ShowSiteColumns();
    SelectRowWithId(LView_Sites, siteId);
    filling_ = false;
    ShowSite();
    filling_ = true;
    SelectRowWithId(LView_Campaigns, campaignId);
    filling_ = false;
    ShowCampaign();
}

// The sites' columns in view: their side of the splitter grows to them, up
// to half the window.
void TfrmArchive::ShowSiteColumns() {
    auto* split = findChild<QSplitter*>(QStringLiteral("Split_SitesCampaigns"));
    QList<int> sizes = split->sizes();
    const QWidget* side = split->widget(0);
    const int need = WidthForAllColumns(LView_Sites) + side->width() - LView_Sites->width();
    const int total = sizes[0] + sizes[1];
    if (sizes[0] >= need || total <= 0) return;
    sizes[0] = std::min(need, total / 2);
    sizes[1] = total - sizes[0];
    split->setSizes(sizes);
}

void TfrmArchive::ShowSite() {
    campaigns_.clear();
    const TSite* site = Site();
    if (site) ArchiveAccess().Call(this, [&](TArchive& a) { campaigns_ = a.Campaigns(site->Id); });
    const std::vector<std::vector<std::string>> cells = CampaignTableRows(campaigns_);
    filling_ = true;
    LView_Campaigns->setRowCount(int(campaigns_.size()));
    std::vector<TTrendPoint> trend;
    for (int row = 0; row < int(campaigns_.size()); ++row) {
        const TCampaignSummary& c = campaigns_[row];
        SetTableRow(LView_Campaigns, row, cells[row]);
        LView_Campaigns->item(row, 0)->setData(Qt::UserRole, qlonglong(c.Campaign.Id));
        // A corrected value does not stand: its correction's does.
        if (c.CorrectedBy) continue;
        trend.push_back({QDate::fromString(Q(c.Campaign.Date), QStringLiteral("yyyy-MM-dd")),
                         c.Value.TwoPoint ? std::optional(c.Value.TwoPoint->Value) : std::nullopt,
                         c.Campaign.Limit});
    }
    FitColumns(LView_Campaigns);
    if (!campaigns_.empty()) LView_Campaigns->selectRow(int(campaigns_.size()) - 1);
    filling_ = false;
    PBox_Trend->SetData(std::move(trend), site ? Q(site->Name) + QStringLiteral(" 工频值历次变化")
                                               : QStringLiteral("工频值历次变化"));
    ShowCampaign();
}

void TfrmArchive::ShowCampaign() {
    records_.clear();
    const TCampaignSummary* c = Campaign();
    if (c) ArchiveAccess().Call(this, [&](TArchive& a) { records_ = a.Records(c->Campaign.Id); });
    LView_CampRecords->setRowCount(int(records_.size()));
    for (int row = 0; row < int(records_.size()); ++row)
        SetTableRow(LView_CampRecords, row,
                    AnalysisRecordCells(records_[row].Number, records_[row].Values,
                                        c->Campaign.PowerFrequency));
    FitColumns(LView_CampRecords);
    for (QPushButton* b : {BBtn_Pdf, BBtn_Odt, BBtn_Print}) b->setEnabled(c);
    FollowRole();
}

// Greys what the user's role may not do, or what the selection does not
// allow, with the reason as the tooltip; the server decides all the same.
void TfrmArchive::FollowRole() {
    const TSite* site = Site();
    const TCampaignSummary* c = Campaign();
    const bool reviewed = c && !c->Campaign.ReviewedAt.empty();
    bool siteReviewed = false;
    for (const TCampaignSummary& k : campaigns_) siteReviewed |= !k.Campaign.ReviewedAt.empty();
    const auto follow = [](QPushButton* b, bool selected, const QString& why) {
        b->setEnabled(selected && why.isEmpty());
        b->setToolTip(why);
    };
    QString why = MissingRightText(user_, TArchiveRole::Admin, QStringLiteral("删除场地"));
    if (why.isEmpty() && siteReviewed)
        why = QStringLiteral("这个场地有已审核的测试，不能删除：已审核的测试只能更正。");
    follow(BBtn_DeleteSite, site, why);
    why = MissingRightText(user_, TArchiveRole::Admin, QStringLiteral("删除测试"));
    if (why.isEmpty() && reviewed) why = QStringLiteral("已审核的测试不能删除，只能更正。");
    follow(BBtn_DeleteCampaign, c, why);
    why = MissingRightText(user_, TArchiveRole::Reviewer, QStringLiteral("审核"));
    if (why.isEmpty() && reviewed)
        why = QStringLiteral("这次测试已由 %1 于 %2 审核。")
                  .arg(Q(c->Campaign.Reviewer), Q(c->Campaign.ReviewedAt));
    follow(BBtn_Review, c, why);
    why = MissingRightText(user_, TArchiveRole::Tester, QStringLiteral("更正"));
    if (why.isEmpty() && !reviewed)
        why = QStringLiteral("只有已审核的测试需要更正：没审核的测试可以直接修改。");
    follow(BBtn_Correct, c, why);
    follow(BBtn_ImportFile, true,
           MissingRightText(user_, TArchiveRole::Tester, QStringLiteral("导入文件")));
    follow(BBtn_Changes, site, {});

    QStringList state;
    if (c) {
        const auto dateOf = [&](std::int64_t id) {
            for (const TCampaignSummary& k : campaigns_)
                if (k.Campaign.Id == id) return Q(k.Campaign.Date);
            return QStringLiteral("另一次");
        };
        state << (reviewed ? QStringLiteral("已由 %1 于 %2 审核，只读。")
                                 .arg(Q(c->Campaign.Reviewer), Q(c->Campaign.ReviewedAt))
                           : QStringLiteral("未审核。"));
        if (c->Campaign.Corrects)
            state << QStringLiteral("本次测试更正%1的测试，以本次的值为准。")
                         .arg(dateOf(c->Campaign.Corrects));
        if (c->CorrectedBy)
            state << QStringLiteral("已被%1的测试更正：以更正后的值为准。")
                         .arg(dateOf(c->CorrectedBy));
    }
    Lbl_CampaignState->setText(state.join(QLatin1Char(' ')));
    Lbl_CampaignState->setAccessibleName(Lbl_CampaignState->text());
}

void TfrmArchive::BBtn_ReviewClick() {
    const TCampaignSummary* c = Campaign();
    if (!c) return;
    if (!Platform().Confirm(
            this,
            QStringLiteral("确定审核%1的测试吗？审核后，它和它的%2条记录不能再改动，"
                           "也不能删除。")
                .arg(Q(c->Campaign.Date))
                .arg(c->Records),
            QStringLiteral("提示")))
        return;
    const std::int64_t id = c->Campaign.Id;
    ArchiveAccess().Call(this, [&](TArchive& a) { a.Review(id); });
    Refresh();
}

void TfrmArchive::BBtn_CorrectClick() {
    const TCampaignSummary* c = Campaign();
    if (!c) return;
    TCampaign fix = c->Campaign;
    fix.Id = 0;
    fix.Uuid.clear();
    fix.Corrects = c->Campaign.Id;
    std::int64_t id = 0;
    if (!ArchiveAccess().Call(this, [&](TArchive& a) { id = a.SaveCampaign(fix); })) return;
    Refresh(fix.SiteId, id);
    Platform().MessageBox(this,
                          QStringLiteral("已新建更正%1的测试：请用“导入文件”存入更正的记录。"
                                         "原测试和它的记录保持原样。")
                              .arg(Q(fix.Date)),
                          QStringLiteral("提示"), TMessageIcon::Information);
}

void TfrmArchive::BBtn_RecycleBinClick() {
    auto* bin = new TfrmRecycleBin(this, user_);
    bin->setAttribute(Qt::WA_DeleteOnClose);
    connect(bin, &QDialog::finished, this, [this] { Refresh(); });
    bin->show();
}

void TfrmArchive::BBtn_ChangesClick() {
    const TSite* site = Site();
    if (!site) return;
    auto* log = new TfrmChangeLog(this, *site, campaigns_);
    log->setAttribute(Qt::WA_DeleteOnClose);
    log->show();
}

void TfrmArchive::BBtn_ImportFileClick() {
    const QString path = Platform().OpenFileName(this, ImportDialog);
    if (path.isEmpty()) return;
    ImportDialog.FileName = path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ReportFileFault(this, QStringLiteral("文件无法读取：") + file.errorString(), path);
        return;
    }
    const QByteArray bytes = file.readAll();
    const TResultFileImport read = ReadResultFile(std::string_view(bytes.data(), bytes.size()));
    if (read.Refusal) {
        ReportFileFault(this,
                        QStringLiteral("文件不能导入档案，其中的记录均未存入：\n") +
                            Q(ImportNoteText(*read.Refusal)),
                        path);
        return;
    }
    std::vector<TStoreRecord> records;
    for (const TImportedRecord& r : read.Records)
        records.push_back({r.Number.value_or(0), r.Values});
    QString source = QStringLiteral("文件 ") + QFileInfo(path).fileName();
    if (!read.Skipped.empty())
        source += QStringLiteral("（另有%1个结果没有数值，未列出）").arg(read.Skipped.size());
    ShowArchiveStore(this, std::move(records), source, SelectedSiteId(), SelectedCampaignId());
}

void TfrmArchive::BBtn_ExportCsvClick() {
    const TSite* site = Site();
    if (!site) return;
    ExportCsv(this, CsvDialog, Q(site->Name) + QStringLiteral(" 历次测试.csv"),
              SiteCsvLines(*site, campaigns_));
}

std::optional<TCampaignReport> TfrmArchive::SelectedReport() const {
    const TSite* site = Site();
    const TCampaignSummary* c = Campaign();
    if (!site || !c) return std::nullopt;
    return CampaignReportOf(*site, c->Campaign, records_, {}, campaigns_);
}

void TfrmArchive::BBtn_PdfClick() {
    if (const auto report = SelectedReport()) SaveReportPdf(this, *report, PdfDialog);
}

void TfrmArchive::BBtn_OdtClick() {
    if (const auto report = SelectedReport()) SaveReportOdt(this, *report, OdtDialog);
}

void TfrmArchive::BBtn_PrintClick() {
    if (const auto report = SelectedReport()) PrintReport(this, *report);
}

void TfrmArchive::BBtn_DeleteSiteClick() {
    const TSite* site = Site();
    if (!site) return;
    if (!Platform().Confirm(
            this,
            QStringLiteral("确定删除场地“%1”及其全部测试和记录吗？它们将移到回收站，"
                           "“管理”可以恢复。")
                .arg(Q(site->Name)),
            QStringLiteral("提示")))
        return;
    const std::int64_t id = site->Id;
    ArchiveAccess().Call(this, [&](TArchive& a) { a.DeleteSite(id); });
    Refresh();
}

void TfrmArchive::BBtn_DeleteCampaignClick() {
    const TCampaignSummary* c = Campaign();
    if (!c) return;
    if (!Platform().Confirm(
            this,
            QStringLiteral("确定删除%1的测试及其%2条记录吗？它们将移到回收站，“管理”可以恢复。")
                .arg(Q(c->Campaign.Date))
                .arg(c->Records),
            QStringLiteral("提示")))
        return;
    const std::int64_t id = c->Campaign.Id;
    ArchiveAccess().Call(this, [&](TArchive& a) { a.DeleteCampaign(id); });
    Refresh();
}

void TfrmArchive::BBtn_RetestDueClick() {
    if (!RetestDue) RetestDue = new TfrmRetestDue(this);
    else RetestDue->Refresh();
    RetestDue->show();
    RetestDue->raise();
    RetestDue->activateWindow();
}

void TfrmArchive::BBtn_SettingsClick() {
    if (ShowArchiveSettings(this)) Refresh();
}

void ShowArchive(QWidget* owner) {
    TfrmArchive* archive = OpenWindow<TfrmArchive>();
    if (!archive) {
        archive = new TfrmArchive(owner);
        if (owner) {
            const QRect screen = owner->screen()->availableGeometry();
            archive->resize(archive->size().boundedTo(screen.size() * 0.9));
            archive->move(owner->frameGeometry().center() -
                          QPoint(archive->width() / 2, archive->height() / 2));
        }
    }
    archive->Refresh();
    archive->LView_Sites->setFocus();  // the keyboard starts where the reading does
    archive->show();
    // Once the window manager has given the window its size.
    QTimer::singleShot(0, archive, [archive] { archive->ShowSiteColumns(); });
    archive->raise();
    archive->activateWindow();
}

TArchiveSelection ArchiveSelection() {
    const TfrmArchive* archive = OpenWindow<TfrmArchive>();
    if (!archive) return {};
    return {archive->SelectedSiteId(), archive->SelectedCampaignId()};
}
