#include "app/archive/ArchiveBinfrm.h"

#include <QHBoxLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <map>

#include "app/archive/ArchiveAccess.h"
#include "app/kit/FormWidgets.h"
#include "app/kit/Platform.h"
#include "app/kit/TableView.h"
#include "app/kit/WindowRole.h"
#include "archive/ArchiveTeam.h"
#include "qtext/QText.h"
#include "report/SongFont.h"

namespace {

// The change record's field names (ArchiveSql.cpp) as the forms name them.
const std::map<QString, QString>& FieldNames() {
    static const std::map<QString, QString> names{
        {"name", "场地名称"},         {"voltage_level", "电压等级"},
        {"grid_size", "地网尺寸"},    {"location", "场地位置"},
        {"site_id", "场地"},          {"test_date", "测试日期"},
        {"testers", "测试人员"},      {"weather", "天气"},
        {"soil", "土壤状况"},         {"lead_layout", "布线方式"},
        {"lead_lengths", "引线长度"}, {"instrument_serial", "仪器编号"},
        {"remarks", "备注"},          {"limit_ohm", "设定限值"},
        {"power_frequency", "工频"},  {"site", "场地"}};
    return names;
}

QString FieldName(const QString& key) {
    const auto at = FieldNames().find(key);
    return at == FieldNames().end() ? key : at->second;
}

}  // namespace

std::string ChangeDetailText(const std::string& json) {
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
    QStringList parts;
    const QJsonObject before = o.value("before").toObject(), after = o.value("after").toObject();
    if (!after.isEmpty()) {
        for (const QString& key : after.keys())
            parts << QStringLiteral("%1：“%2”→“%3”")
                         .arg(FieldName(key), before.value(key).toString(),
                              after.value(key).toString());
    } else {
        for (const QString& key : before.keys())
            parts << QStringLiteral("%1：%2").arg(FieldName(key), before.value(key).toString());
    }
    if (o.contains("already"))
        parts << QStringLiteral("已有 %1 条").arg(o.value("already").toInt());
    if (o.contains("corrects"))
        parts << QStringLiteral("更正测试 #%1").arg(o.value("corrects").toInteger());
    return parts.join(QStringLiteral("；")).toStdString();
}

QString MissingRightText(const TArchiveUser& user, TArchiveRole needed, const QString& action) {
    if (user.Role >= needed) return {};
    return QStringLiteral("“%1”需要“%2”的权限；用户 %3 的角色是“%4”。")
        .arg(action, QString::fromUtf8(RoleText(needed)), Q(user.Name),
             QString::fromUtf8(RoleText(user.Role)));
}

TfrmRecycleBin::TfrmRecycleBin(QWidget* owner, const TArchiveUser& user)
    : QDialog(owner), user_(user) {
    setObjectName(QStringLiteral("frmRecycleBin"));
    AnnounceAsWindow(this);
    setWindowTitle(QStringLiteral("回收站"));
    setFont(SongFont(14));
    resize(760, 420);
    auto* layout = new QVBoxLayout(this);
    LView_Bin = TextTable(this, "LView_Bin", {"场地", "测试日期", "记录数", "删除人", "删除时间"},
                          QStringLiteral("回收站"));
    layout->addWidget(LView_Bin, 1);
    auto* row = new QHBoxLayout;
    BBtn_Restore = RowButton(this, row, "BBtn_Restore", QStringLiteral("恢复"));
    BBtn_Empty = RowButton(this, row, "BBtn_Empty", QStringLiteral("清空回收站"));
    row->addStretch();
    BBtn_Close = RowButton(this, row, "BBtn_Close", QStringLiteral("关闭"));
    layout->addLayout(row);
    connect(BBtn_Restore, &QPushButton::clicked, this, &TfrmRecycleBin::BBtn_RestoreClick);
    connect(BBtn_Empty, &QPushButton::clicked, this, &TfrmRecycleBin::BBtn_EmptyClick);
    connect(BBtn_Close, &QPushButton::clicked, this, &QDialog::close);
    connect(LView_Bin, &QTableWidget::itemSelectionChanged, this, [this] {
        BBtn_Restore->setEnabled(user_.Role == TArchiveRole::Admin && LView_Bin->currentRow() >= 0);
    });
    Refresh();
}

void TfrmRecycleBin::Refresh() {
    bin_.clear();
    ArchiveAccess().Call(this, [&](TArchive& a) { bin_ = a.RecycleBin(); });
    LView_Bin->setRowCount(int(bin_.size()));
    for (int k = 0; k < int(bin_.size()); ++k) {
        const TBinEntry& e = bin_[k];
        SetTableRow(LView_Bin, k,
                    {e.SiteName, e.CampaignId ? e.Date : "（整个场地）",
                     e.CampaignId ? std::to_string(e.Records) : "", e.DeletedBy, e.DeletedAt});
    }
    FitColumns(LView_Bin);
    const QString why = MissingRightText(user_, TArchiveRole::Admin, QStringLiteral("恢复"));
    const QString whyEmpty =
        MissingRightText(user_, TArchiveRole::Admin, QStringLiteral("清空回收站"));
    BBtn_Restore->setEnabled(why.isEmpty() && LView_Bin->currentRow() >= 0);
    BBtn_Restore->setToolTip(why);
    BBtn_Empty->setEnabled(whyEmpty.isEmpty() && !bin_.empty());
    BBtn_Empty->setToolTip(whyEmpty);
}

void TfrmRecycleBin::BBtn_RestoreClick() {
    const int row = LView_Bin->currentRow();
    if (row < 0 || row >= int(bin_.size())) return;
    const TBinEntry entry = bin_[row];
    ArchiveAccess().Call(this, [&](TArchive& a) { a.Restore(entry); });
    Refresh();
    emit ArchiveAccess().Changed(entry.SiteId, entry.CampaignId);
}

void TfrmRecycleBin::BBtn_EmptyClick() {
    if (bin_.empty() ||
        !Platform().Confirm(
            this,
            QStringLiteral("确定清空回收站吗？其中的%1项将永久删除，无法恢复。").arg(bin_.size()),
            QStringLiteral("提示")))
        return;
    ArchiveAccess().Call(this, [&](TArchive& a) { a.EmptyRecycleBin(); });
    Refresh();
}

TfrmChangeLog::TfrmChangeLog(QWidget* owner, const TSite& site,
                             const std::vector<TCampaignSummary>& campaigns)
    : QDialog(owner) {
    setObjectName(QStringLiteral("frmChangeLog"));
    AnnounceAsWindow(this);
    setWindowTitle(Q(site.Name) + QStringLiteral(" 变更记录"));
    setFont(SongFont(14));
    resize(1000, 480);
    auto* layout = new QVBoxLayout(this);
    LView_Changes = TextTable(this, "LView_Changes",
                              {"时间", "用户", "计算机", "操作", "测试", "记录数", "内容"},
                              QStringLiteral("变更记录"));
    layout->addWidget(LView_Changes, 1);
    auto* row = new QHBoxLayout;
    row->addStretch();
    BBtn_Close = RowButton(this, row, "BBtn_Close", QStringLiteral("关闭"));
    layout->addLayout(row);
    connect(BBtn_Close, &QPushButton::clicked, this, &QDialog::close);

    std::vector<TChange> changes;
    ArchiveAccess().Call(this, [&](TArchive& a) { changes = a.Changes(site.Id); });
    std::map<std::int64_t, std::string> dates;
    for (const TCampaignSummary& c : campaigns) dates[c.Campaign.Id] = c.Campaign.Date;
    LView_Changes->setRowCount(int(changes.size()));
    for (int k = 0; k < int(changes.size()); ++k) {
        const TChange& c = changes[k];
        const auto date = dates.find(c.CampaignId);
        const std::string campaign = !c.CampaignId         ? ""
                                     : date != dates.end() ? date->second
                                                           : "#" + std::to_string(c.CampaignId);
        SetTableRow(LView_Changes, k,
                    {c.At, c.Who, c.Host, c.Action, campaign,
                     c.Records ? std::to_string(*c.Records) : "", ChangeDetailText(c.Detail)});
    }
    FitColumns(LView_Changes);
}
