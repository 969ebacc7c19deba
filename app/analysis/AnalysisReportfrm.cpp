#include "app/analysis/AnalysisReportfrm.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "analysis/FreqAnalysis.h"
#include "analysis/LeadLayout.h"
#include "app/archive/ArchiveWindows.h"
#include "app/kit/WindowRole.h"
#include "report/SongFont.h"

QPointer<TfrmAnalysisReport> frmAnalysisReport;

TfrmAnalysisReport::TfrmAnalysisReport(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("frmAnalysisReport"));
    AnnounceAsWindow(this);
    setWindowTitle(QStringLiteral("测试报告"));
    setWindowModality(Qt::WindowModal);
    setFont(SongFont(14));
    auto* layout = new QVBoxLayout(this);
    Form = new TCampaignForm(this);
    Form->CampaignsOf = [this](std::int64_t siteId) {
        std::vector<TCampaignSummary> campaigns;
        if (ArchiveAccess().IsOpen())
            ArchiveAccess().Call(this, [&](TArchive& a) { campaigns = a.Campaigns(siteId); });
        return campaigns;
    };
    layout->addWidget(Form);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    const auto button = [&](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setMinimumSize(100, 25);
        buttons->addWidget(b);
        return b;
    };
    BBtn_Pdf = button("BBtn_Pdf", QStringLiteral("导出PDF"));
    BBtn_Odt = button("BBtn_Odt", QStringLiteral("导出文档"));
    BBtn_Print = button("BBtn_Print", QStringLiteral("打印"));
    BBtn_Close = button("BBtn_Close", QStringLiteral("关闭"));
    layout->addLayout(buttons);
    PdfDialog = ReportPdfRequest();
    OdtDialog = ReportOdtRequest();

    connect(BBtn_Pdf, &QPushButton::clicked, this, [this] {
        if (const auto r = Report()) SaveReportPdf(this, *r, PdfDialog);
    });
    connect(BBtn_Odt, &QPushButton::clicked, this, [this] {
        if (const auto r = Report()) SaveReportOdt(this, *r, OdtDialog);
    });
    connect(BBtn_Print, &QPushButton::clicked, this, [this] {
        if (const auto r = Report()) PrintReport(this, *r);
    });
    connect(BBtn_Close, &QPushButton::clicked, this, &QWidget::close);
    connect(Form->CBox_F0, &QComboBox::currentIndexChanged, this, [this] { MeasurementChanged(); });
}

void TfrmAnalysisReport::SetRecords(std::vector<TRecordValues> records, std::vector<bool> checked,
                                    double tolerance, int powerFrequency) {
    records_ = std::move(records);
    checked_ = std::move(checked);
    tolerance_ = tolerance;
    std::vector<TSite> sites;
    if (ArchiveAccess().Get(this))
        ArchiveAccess().Call(this, [&](TArchive& a) { sites = a.Sites(); });
    Form->SetSites(std::move(sites));
    Form->CBox_F0->setCurrentIndex(powerFrequency == 60 ? 1 : 0);
    MeasurementChanged();
}

// The layout's rules and correction over the records as the window checked them.
void TfrmAnalysisReport::MeasurementChanged() {
    const int f0 = Form->CBox_F0->currentIndex() == 1 ? 60 : 50;
    const TFreqAnalysis a = AnalyseFrequencies(records_, checked_, f0, tolerance_);
    Form->SetTestCurrent(SmallestTestCurrent(records_, checked_),
                         a.TwoPoint ? std::optional(a.TwoPoint->Value.Z) : std::nullopt);
}

std::optional<TCampaignReport> TfrmAnalysisReport::Report() {
    QString problem;
    const std::optional<TSite> site = Form->Site(problem);
    std::optional<TCampaign> campaign = site ? Form->Campaign(problem) : std::nullopt;
    if (!site || !campaign) {
        Platform().MessageBox(this, problem, QStringLiteral("提示"), TMessageIcon::Information);
        return std::nullopt;
    }
    std::vector<TCampaignSummary> history;
    if (site->Id && ArchiveAccess().IsOpen())
        ArchiveAccess().Call(this, [&](TArchive& a) { history = a.Campaigns(site->Id); });
    std::vector<TArchivedRecord> records;
    for (std::size_t k = 0; k < records_.size(); ++k)
        records.push_back({0, campaign->Id, int(k) + 1, records_[k]});
    return CampaignReportOf(*site, *campaign, std::move(records), checked_, history, tolerance_);
}

void ShowAnalysisReport(QWidget* owner, std::vector<TRecordValues> records,
                        std::vector<bool> checked, double tolerance, int powerFrequency) {
    if (!frmAnalysisReport) frmAnalysisReport = new TfrmAnalysisReport(owner);
    frmAnalysisReport->SetRecords(std::move(records), std::move(checked), tolerance,
                                  powerFrequency);
    frmAnalysisReport->show();
    frmAnalysisReport->raise();
    frmAnalysisReport->activateWindow();
}
