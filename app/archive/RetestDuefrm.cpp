#include "app/archive/RetestDuefrm.h"

#include <QDate>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/archive/ArchiveAccess.h"
#include "app/kit/FormWidgets.h"
#include "app/kit/CsvExport.h"
#include "app/kit/TableView.h"
#include "qtext/QText.h"

TfrmRetestDue::TfrmRetestDue(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("frmRetestDue"));
    setWindowTitle(QStringLiteral("到期复测"));
    resize(720, 420);
    auto* layout = new QVBoxLayout(this);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("已逾期及未来"), this));
    SpBox_Months = Named(new QSpinBox(this), "SpBox_Months", QStringLiteral("到期月数"));
    SpBox_Months->setRange(0, 120);
    SpBox_Months->setValue(12);
    SpBox_Months->setSuffix(QStringLiteral(" 个月"));
    top->addWidget(SpBox_Months);
    top->addWidget(new QLabel(QStringLiteral("内到期的场地"), this));
    top->addStretch(1);
    Lbl_Count = Named(new QLabel(this), "Lbl_Count", QStringLiteral("到期场地数"));
    top->addWidget(Lbl_Count);
    layout->addLayout(top);

    LView_Due = TextTable(this, "LView_Due", RetestTableHeaders(), QStringLiteral("到期复测"));
    layout->addWidget(LView_Due, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel(QStringLiteral("所选场地的复测周期"), this));
    SpBox_Years = Named(new QSpinBox(this), "SpBox_Years", QStringLiteral("复测周期"));
    SpBox_Years->setRange(1, 30);
    SpBox_Years->setSuffix(QStringLiteral(" 年"));
    bottom->addWidget(SpBox_Years);
    BBtn_SaveYears = RowButton(this, bottom, "BBtn_SaveYears", QStringLiteral("修改周期"));
    bottom->addStretch(1);
    BBtn_ExportCsv = RowButton(this, bottom, "BBtn_ExportCsv", QStringLiteral("导出表格"));
    BBtn_Close = RowButton(this, bottom, "BBtn_Close", QStringLiteral("关闭"));
    layout->addLayout(bottom);

    CsvDialog = CsvExportRequest();
    connect(SpBox_Months, &QSpinBox::valueChanged, this, [this] { Refresh(); });
    connect(LView_Due, &QTableWidget::itemSelectionChanged, this, [this] {
        const TRetestDue* d = Selected();
        SpBox_Years->setEnabled(d);
        BBtn_SaveYears->setEnabled(d);
        if (d) SpBox_Years->setValue(RetestYears(d->Site));
    });
    connect(BBtn_SaveYears, &QPushButton::clicked, this, &TfrmRetestDue::BBtn_SaveYearsClick);
    connect(BBtn_ExportCsv, &QPushButton::clicked, this, &TfrmRetestDue::BBtn_ExportCsvClick);
    connect(BBtn_Close, &QPushButton::clicked, this, &QWidget::close);
    Refresh();
}

const TRetestDue* TfrmRetestDue::Selected() const {
    const int row = LView_Due->currentRow();
    return row >= 0 && row < int(due_.size()) && LView_Due->item(row, 0)->isSelected()
               ? &due_[row]
               : nullptr;
}

void TfrmRetestDue::Refresh() {
    std::vector<TSite> sites;
    due_.clear();
    if (ArchiveAccess().Call(this, [&](TArchive& a) { sites = a.Sites(); }))
        due_ = RetestDue(sites,
                         Platform().Now().date().toString(QStringLiteral("yyyy-MM-dd")).toStdString(),
                         SpBox_Months->value());
    LView_Due->setRowCount(int(due_.size()));
    for (int row = 0; row < int(due_.size()); ++row) SetTableRow(LView_Due, row, RetestTableCells(due_[row]));
    FitColumns(LView_Due);
    Lbl_Count->setText(QStringLiteral("共 %1 个场地").arg(due_.size()));
    LView_Due->clearSelection();
    SpBox_Years->setEnabled(false);
    BBtn_SaveYears->setEnabled(false);
    BBtn_ExportCsv->setEnabled(!due_.empty());
}

void TfrmRetestDue::BBtn_SaveYearsClick() {
    const TRetestDue* d = Selected();
    if (!d) return;
    TSite site = d->Site;
    const int years = SpBox_Years->value();
    site.RetestYears = years == UsualRetestYears ? std::nullopt : std::optional<int>(years);
    if (ArchiveAccess().Call(this, [&](TArchive& a) { a.SaveSite(site); })) {
        Refresh();
        emit ArchiveAccess().Changed(site.Id, 0);
    }
}

void TfrmRetestDue::BBtn_ExportCsvClick() {
    ExportCsv(this, CsvDialog, QStringLiteral("到期复测.csv"), RetestCsvLines(due_));
}
