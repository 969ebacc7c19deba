#include "app/archive/ArchiveStorefrm.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QUuid>
#include <QVBoxLayout>
#include <cmath>

#include "analysis/FreqAnalysisText.h"
#include "analysis/LeadLayout.h"
#include "app/archive/ArchiveAccess.h"
#include "app/archive/CampaignForm.h"
#include "app/kit/OpenWindow.h"
#include "app/kit/Platform.h"
#include "app/kit/TableView.h"
#include "app/kit/WindowRole.h"
#include "qtext/QText.h"
#include "report/SongFont.h"

TfrmArchiveStore::TfrmArchiveStore(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("frmArchiveStore"));
    AnnounceAsWindow(this);
    setWindowTitle(QStringLiteral("存入档案"));
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(SongFont(14));
    resize(1000, 760);

    auto* layout = new QVBoxLayout(this);
    Lbl_Source = new QLabel(this);
    Lbl_Source->setObjectName(QStringLiteral("Lbl_Source"));
    layout->addWidget(Lbl_Source);
    Form = new TCampaignForm(this);
    Form->CampaignsOf = [this](std::int64_t siteId) {
        std::vector<TCampaignSummary> campaigns;
        ArchiveAccess().Call(this, [&](TArchive& a) { campaigns = a.Campaigns(siteId); });
        return campaigns;
    };
    layout->addWidget(Form);

    std::vector<std::string> headers = AnalysisRecordHeaders();
    headers.push_back("电压极距离(m)");
    LView_Records = TextTable(this, "LView_Records", headers,
                              QStringLiteral("存入的记录（取消勾选不存入的记录）"));
    // Only the probe's distance is typed into the table.
    LView_Records->setEditTriggers(QAbstractItemView::DoubleClicked |
                                   QAbstractItemView::EditKeyPressed |
                                   QAbstractItemView::AnyKeyPressed);
    Form->ExtraWarnings = [this](const TLeadLayout& layout) { return PlateauWarnings(layout); };
    layout->addWidget(LView_Records, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    BBtn_Store = new QPushButton(QStringLiteral("存入"), this);
    BBtn_Store->setObjectName(QStringLiteral("BBtn_Store"));
    BBtn_Store->setDefault(true);
    BBtn_Cancel = new QPushButton(QStringLiteral("取消"), this);
    BBtn_Cancel->setObjectName(QStringLiteral("BBtn_Cancel"));
    for (QPushButton* b : {BBtn_Store, BBtn_Cancel}) {
        b->setMinimumSize(129, 25);
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);
    // The records at the chosen power frequency are marked as such.
    connect(Form->CBox_F0, &QComboBox::currentIndexChanged, this, [this] { FillRecords(); });
    connect(LView_Records, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (item->column() == RecordNumberColumn || item->column() == ProbeColumn())
            CurrentChanged();
    });
    connect(BBtn_Store, &QPushButton::clicked, this, &TfrmArchiveStore::BBtn_StoreClick);
    connect(BBtn_Cancel, &QPushButton::clicked, this, &QWidget::close);
}

void TfrmArchiveStore::SetRecords(std::vector<TStoreRecord> records, const QString& source) {
    records_ = std::move(records);
    siteUuid_ = QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
    campaignUuid_ = QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
    Lbl_Source->setText(QStringLiteral("%1，共%2条").arg(source).arg(records_.size()));
    LView_Records->setRowCount(0);
    FillRecords();
}

void TfrmArchiveStore::FillRecords() {
    const int f0 = Form->CBox_F0->currentIndex() == 1 ? 60 : 50;
    // Refilled rows keep the operator's check marks.
    const bool refill = LView_Records->rowCount() == int(records_.size());
    LView_Records->setRowCount(int(records_.size()));
    for (int row = 0; row < int(records_.size()); ++row) {
        const TStoreRecord& r = records_[row];
        const QTableWidgetItem* old = refill ? LView_Records->item(row, 0) : nullptr;
        const QTableWidgetItem* oldProbe = refill ? LView_Records->item(row, ProbeColumn()) : nullptr;
        std::vector<std::string> cells = AnalysisRecordCells(r.Number, r.Values, f0);
        cells.push_back(oldProbe ? oldProbe->text().toStdString() : std::string());
        SetTableRow(LView_Records, row, cells, true,
                    old ? old->checkState() == Qt::Checked : r.Checked);
        QTableWidgetItem* probe = LView_Records->item(row, ProbeColumn());
        probe->setFlags(probe->flags() | Qt::ItemIsEditable);
        probe->setToolTip(QStringLiteral("电压极移动测量平台时填写；空着即为本次测试的电压极距离"));
    }
    FitColumns(LView_Records);
    CurrentChanged();
}

int TfrmArchiveStore::ProbeColumn() const {
    return LView_Records->columnCount() - 1;
}

// A row's probe distance: none for an empty cell, false for text that is no
// distance.
bool TfrmArchiveStore::ProbeDistanceOf(int row, std::optional<double>& distance) const {
    const QTableWidgetItem* cell = LView_Records->item(row, ProbeColumn());
    const QString text = cell ? cell->text().trimmed() : QString();
    distance.reset();
    if (text.isEmpty()) return true;
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !std::isfinite(v) || v <= 0) return false;
    distance = v;
    return true;
}

// Where the probe was moved between records, whether the values agree.
std::vector<TLayoutWarning> TfrmArchiveStore::PlateauWarnings(const TLeadLayout& layout) const {
    std::vector<TRecordValues> values;
    std::vector<std::optional<double>> probes;
    std::vector<bool> checked;
    bool moved = false;
    for (int row = 0; row < LView_Records->rowCount() && row < int(records_.size()); ++row) {
        const QTableWidgetItem* box = LView_Records->item(row, RecordNumberColumn);
        std::optional<double> at;
        ProbeDistanceOf(row, at);
        values.push_back(records_[row].Values);
        probes.push_back(at);
        checked.push_back(box && box->checkState() == Qt::Checked);
        moved = moved || (checked.back() && at);
    }
    if (!moved) return {};
    const int f0 = Form->CBox_F0->currentIndex() == 1 ? 60 : 50;
    return PlateauCheck(ProbePositionValues(values, probes, checked, layout.ProbeDistance, f0),
                        layout.CurrentDistance.value_or(0))
        .Warnings;
}

// The current rule follows the records that will be stored.
void TfrmArchiveStore::CurrentChanged() {
    std::vector<TRecordValues> values;
    std::vector<bool> checked;
    for (int row = 0; row < LView_Records->rowCount() && row < int(records_.size()); ++row) {
        // Rows being filled have no check box yet.
        const QTableWidgetItem* box = LView_Records->item(row, RecordNumberColumn);
        values.push_back(records_[row].Values);
        checked.push_back(box && box->checkState() == Qt::Checked);
    }
    const int f0 = Form->CBox_F0->currentIndex() == 1 ? 60 : 50;
    const TFreqAnalysis a = AnalyseFrequencies(values, checked, f0, DefaultTolerance);
    Form->SetTestCurrent(SmallestTestCurrent(values, checked),
                         a.TwoPoint ? std::optional(a.TwoPoint->Value.Z) : std::nullopt);
}

void TfrmArchiveStore::LoadArchive(std::int64_t siteId, std::int64_t campaignId) {
    std::vector<TSite> sites;
    ArchiveAccess().Call(this, [&](TArchive& a) { sites = a.Sites(); });
    const bool fresh = sites.empty();
    Form->SetSites(std::move(sites), siteId);
    if (campaignId) Form->SelectCampaign(campaignId);
    (fresh ? static_cast<QWidget*>(Form->Edt_SiteName) : Form->CBox_Site)->setFocus();
}

void TfrmArchiveStore::BBtn_StoreClick() {
    std::vector<TArchivedRecord> chosen;
    QString problem;
    for (int row = 0; row < int(records_.size()); ++row) {
        if (LView_Records->item(row, RecordNumberColumn)->checkState() != Qt::Checked) continue;
        std::optional<double> at;
        if (!ProbeDistanceOf(row, at) && problem.isEmpty())
            problem = QStringLiteral("第%1条记录的电压极距离“%2”不是大于0的数，请改正或清空！")
                          .arg(records_[row].Number)
                          .arg(LView_Records->item(row, ProbeColumn())->text());
        chosen.push_back({0, 0, records_[row].Number, records_[row].Values, at});
    }
    std::optional<TSite> site = problem.isEmpty() ? Form->Site(problem) : std::nullopt;
    std::optional<TCampaign> campaign = site ? Form->Campaign(problem) : std::nullopt;
    if (!problem.isEmpty() || chosen.empty()) {
        Platform().MessageBox(this,
                              chosen.empty() ? QStringLiteral("没有勾选要存入的记录！") : problem,
                              QStringLiteral("提示"), TMessageIcon::Information);
        return;
    }
    // One call: when it fails nothing of it is kept, the form and the
    // records stay as they are, and "存入" can be pressed again.
    campaign->SiteId = site->Id;
    if (!site->Id) site->Uuid = siteUuid_;
    if (!campaign->Id) campaign->Uuid = campaignUuid_;
    TStoreResult result;
    if (!ArchiveAccess().Call(this,
                              [&](TArchive& a) { result = a.Store(*site, *campaign, chosen); }))
        return;
    emit ArchiveAccess().Changed(result.SiteId, result.CampaignId);
    Platform().MessageBox(this,
                          QStringLiteral("已存入档案“%1 %2”：新增%3条记录，%4条已在档案中。")
                              .arg(Q(site->Name), Q(campaign->Date))
                              .arg(result.Records.Stored)
                              .arg(result.Records.Already),
                          QStringLiteral("提示"), TMessageIcon::Information);
    close();
}

void ShowArchiveStore(QWidget* owner, std::vector<TStoreRecord> records, const QString& source,
                      std::int64_t siteId, std::int64_t campaignId) {
    TfrmArchiveStore* store = OpenWindow<TfrmArchiveStore>();
    if (!store) store = new TfrmArchiveStore(owner);
    store->SetRecords(std::move(records), source);
    store->LoadArchive(siteId, campaignId);
    store->show();
    store->raise();
    store->activateWindow();
}
