#include "app/analysis/FreqAnalysisfrm.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include "analysis/FreqAnalysisText.h"
#include "analysis/FreqPlot.h"
#include "app/analysis/AnalysisReportfrm.h"
#include "app/archive/ArchiveWindows.h"
#include "app/kit/CsvExport.h"
#include "app/kit/ExportFiles.h"
#include "app/kit/Messages.h"
#include "app/kit/NoteLabel.h"
#include "app/kit/TableView.h"
#include "app/kit/WindowRole.h"
#include "qtext/QText.h"
#include "report/SongFont.h"
#include "results/ResultFile.h"

QPointer<TfrmFreqAnalysis> frmFreqAnalysis;

namespace {

template <class T>
T* Named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QGroupBox* Group(QWidget* parent, const char* name, const QString& title) {
    auto* box = Named(new QGroupBox(title, parent), name);
    box->setLayout(new QVBoxLayout);
    return box;
}

QTableWidget* Table(QGroupBox* box, const char* name, const std::vector<std::string>& headers) {
    QTableWidget* t = TextTable(box, name, headers, box->title());
    box->layout()->addWidget(t);
    return t;
}

QLabel* NamedLabel(QWidget* parent, const char* name, const QString& text = {}) {
    auto* l = Named(new QLabel(text, parent), name);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption) {
    auto* b = Named(new QPushButton(caption, parent), name);
    b->setMinimumSize(129, 25);
    return b;
}

}  // namespace

TfrmFreqAnalysis::TfrmFreqAnalysis(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("frmFreqAnalysis"));
    AnnounceAsWindow(this);
    setWindowTitle(QStringLiteral("频率分析"));
    setFont(SongFont(14));
    resize(1160, 900);

    auto* layout = new QVBoxLayout(this);
    Lbl_Count = NamedLabel(this, "Lbl_Count");
    layout->addWidget(Lbl_Count);

    auto* rows = Named(new QSplitter(Qt::Vertical, this), "Split_Records");
    GBox_Records =
        Group(rows, "GBox_Records", QStringLiteral("测试记录（取消勾选不属于本次测试的记录）"));
    LView_Records = Table(GBox_Records, "LView_Records", AnalysisRecordHeaders());
    auto* lower = Named(new QSplitter(Qt::Horizontal, rows), "Split_MeansPlot");
    auto* left = Named(new QWidget(lower), "Panel_Means");
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    GBox_Means = Group(left, "GBox_Means",
                       QStringLiteral("各频率平均值（R、X取平均，|Z|、Φ由平均后的R、X求得）"));
    LView_Means = Table(GBox_Means, "LView_Means", AnalysisMeanHeaders());
    leftLayout->addWidget(GBox_Means, 1);

    BuildValueGroup(left);
    leftLayout->addWidget(GBox_Value);

    GBox_Plot = Group(lower, "GBox_Plot", QStringLiteral("R、X、|Z| 与频率"));
    PBox_Plot = Named(new TFreqPlot(GBox_Plot), "PBox_Plot");
    AnnounceAsPicture(PBox_Plot);
    GBox_Plot->layout()->addWidget(PBox_Plot);
    lower->setStretchFactor(0, 1);
    lower->setStretchFactor(1, 1);
    rows->setStretchFactor(0, 1);
    rows->setStretchFactor(1, 1);
    layout->addWidget(rows, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    BBtn_SaveCsv = Button(this, "BBtn_SaveCsv", QStringLiteral("导出表格"));
    BBtn_SavePng = Button(this, "BBtn_SavePng", QStringLiteral("导出图片"));
    BBtn_Store = Button(this, "BBtn_Store", QStringLiteral("存入档案"));
    BBtn_Report = Button(this, "BBtn_Report", QStringLiteral("测试报告"));
    BBtn_Close = Button(this, "BBtn_Close", QStringLiteral("关闭"));
    for (QPushButton* b : {BBtn_SaveCsv, BBtn_SavePng, BBtn_Store, BBtn_Report, BBtn_Close})
        buttons->addWidget(b);
    layout->addLayout(buttons);

    // Appended to like the result files; a picture is replaced, after asking.
    SaveCsvDialog = CsvExportRequest();
    SavePngDialog.Filter = QStringLiteral("*.png(图片)|*.png");
    SavePngDialog.DefaultExt = QStringLiteral("png");
    SavePngDialog.OverwritePrompt = true;

    connect(LView_Records, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (!filling_ && item->column() == RecordNumberColumn) Recompute();
    });
    connect(CBox_F0, &QComboBox::currentIndexChanged, this, [this] { Recompute(); });
    connect(SEdt_Tolerance, &QDoubleSpinBox::valueChanged, this, [this] { Recompute(); });
    connect(BBtn_SaveCsv, &QPushButton::clicked, this, &TfrmFreqAnalysis::BBtn_SaveCsvClick);
    connect(BBtn_SavePng, &QPushButton::clicked, this, &TfrmFreqAnalysis::BBtn_SavePngClick);
    connect(BBtn_Store, &QPushButton::clicked, this, &TfrmFreqAnalysis::BBtn_StoreClick);
    connect(BBtn_Report, &QPushButton::clicked, this, &TfrmFreqAnalysis::BBtn_ReportClick);
    connect(BBtn_Close, &QPushButton::clicked, this, &QWidget::close);
}

// "工频值": the power frequency and tolerance chosen, the value and how it was found.
void TfrmFreqAnalysis::BuildValueGroup(QWidget* parent) {
    GBox_Value = Group(parent, "GBox_Value", QStringLiteral("工频值"));
    auto* settings = new QHBoxLayout;
    Lbl_F0 = NamedLabel(GBox_Value, "Lbl_F0", QStringLiteral("工频"));
    CBox_F0 = Named(new QComboBox(GBox_Value), "CBox_F0");
    CBox_F0->addItems({QStringLiteral("50Hz"), QStringLiteral("60Hz")});
    Lbl_F0->setBuddy(CBox_F0);
    Lbl_Tolerance = NamedLabel(GBox_Value, "Lbl_Tolerance", QStringLiteral("|Z|离散度容差"));
    SEdt_Tolerance = Named(new QDoubleSpinBox(GBox_Value), "SEdt_Tolerance");
    SEdt_Tolerance->setRange(0.1, 100);
    SEdt_Tolerance->setDecimals(1);
    SEdt_Tolerance->setSingleStep(0.5);
    SEdt_Tolerance->setSuffix(QStringLiteral("%"));
    SEdt_Tolerance->setValue(DefaultTolerance);
    Lbl_Tolerance->setBuddy(SEdt_Tolerance);
    for (QWidget* w :
         std::initializer_list<QWidget*>{Lbl_F0, CBox_F0, Lbl_Tolerance, SEdt_Tolerance})
        settings->addWidget(w);
    settings->addStretch();
    auto* valueLayout = static_cast<QVBoxLayout*>(GBox_Value->layout());
    valueLayout->addLayout(settings);
    Lbl_Method = NamedLabel(GBox_Value, "Lbl_Method");
    Lbl_TwoPoint = NamedLabel(GBox_Value, "Lbl_TwoPoint");
    Lbl_TwoPoint->setFont(SongFont(18));
    Lbl_LineFit = NamedLabel(GBox_Value, "Lbl_LineFit");
    Lbl_LineFit->setWordWrap(true);
    Lbl_Note = NamedLabel(GBox_Value, "Lbl_Note");
    SetNoteText(Lbl_Note, QStringLiteral("工频点的记录只列出，不参与工频值计算；"
                                         "|Z|离散度 = (最大 - 最小) / 平均，超出容差时在说明中标出。"));
    for (QLabel* l : {Lbl_Method, Lbl_TwoPoint, Lbl_LineFit, Lbl_Note}) valueLayout->addWidget(l);
}

int TfrmFreqAnalysis::PowerFrequency() const {
    return CBox_F0->currentIndex() == 1 ? 60 : 50;
}

std::vector<bool> TfrmFreqAnalysis::Checked() const {
    std::vector<bool> checked;
    for (int row = 0; row < LView_Records->rowCount(); ++row)
        checked.push_back(LView_Records->item(row, RecordNumberColumn)->checkState() ==
                          Qt::Checked);
    return checked;
}

void TfrmFreqAnalysis::SetRecords(std::vector<TRecordValues> records) {
    records_ = std::move(records);
    FillRecords();
    Recompute();
}

void TfrmFreqAnalysis::FillRecords() {
    filling_ = true;
    LView_Records->setRowCount(0);
    LView_Records->setRowCount(int(records_.size()));
    for (int row = 0; row < int(records_.size()); ++row) {
        SetTableRow(LView_Records, row,
                    AnalysisRecordCells(row + 1, records_[row], PowerFrequency()), true);
    }
    FitColumns(LView_Records);
    filling_ = false;
}

void TfrmFreqAnalysis::Recompute() {
    const std::vector<bool> checked = Checked();
    analysis_ = AnalyseFrequencies(records_, checked, PowerFrequency(), SEdt_Tolerance->value());

    // The notes follow f0; unchecked records are greyed.
    filling_ = true;
    for (int row = 0; row < LView_Records->rowCount(); ++row) {
        QTableWidgetItem* noteItem = LView_Records->item(row, RecordNoteColumn);
        noteItem->setText(Q(AnalysisRecordNote(records_[row], PowerFrequency())));
        noteItem->setToolTip(noteItem->text());
        for (int c = 0; c <= RecordNoteColumn; ++c)
            LView_Records->item(row, c)->setForeground(checked[row] ? palette().text()
                                                                    : QBrush(Qt::gray));
    }
    filling_ = false;

    LView_Means->setRowCount(int(analysis_.Means.size()));
    for (int row = 0; row < int(analysis_.Means.size()); ++row) {
        SetTableRow(LView_Means, row, AnalysisMeanCells(analysis_.Means[row], analysis_));
        QFont font = LView_Means->font();
        font.setBold(true);
        if (analysis_.Means[row].OverTolerance)
            for (int c = MeanSpreadColumn; c <= MeanNoteColumn; ++c)
                LView_Means->item(row, c)->setFont(font);
    }
    FitColumns(LView_Means);

    const TAnalysisResultTexts texts = AnalysisResultTexts(analysis_, records_.size());
    Lbl_Count->setText(Q(texts.Count));
    Lbl_Method->setText(Q(texts.Method));
    Lbl_TwoPoint->setText(Q(texts.TwoPoint));
    Lbl_LineFit->setText(Q(texts.LineFit));

    TFreqPlotData plot = FreqPlotDataOf(records_, checked, analysis_);
    PBox_Plot->SetData(std::move(plot.Points), analysis_, plot.Title);
}

void TfrmFreqAnalysis::BBtn_SaveCsvClick() {
    ExportCsv(this, SaveCsvDialog, ExportName(QStringLiteral("csv")),
              AnalysisCsvLines(records_, Checked(), analysis_, SEdt_Tolerance->value()));
}

void TfrmFreqAnalysis::BBtn_SavePngClick() {
    ProposeExportFile(SavePngDialog, ExportName(QStringLiteral("png")));
    const QString path = Platform().SaveFileName(this, SavePngDialog);
    if (path.isEmpty()) return;
    if (!PBox_Plot->Picture(QSize(1200, 800)).save(path, "PNG"))
        ReportFileFault(this, QStringLiteral("图片保存失败！"), path);
    else
        ExportWritten(this, QStringLiteral("图片"), path);
}

// "频率分析 2024-05-20.csv": the records carry no site, the day names the work.
QString TfrmFreqAnalysis::ExportName(const QString& extension) const {
    return QStringLiteral("频率分析 %1.%2")
        .arg(Platform().Now().toString(QStringLiteral("yyyy-MM-dd")), extension);
}

void TfrmFreqAnalysis::BBtn_StoreClick() {
    if (!ArchiveAccess().Get(this)) return;
    const std::vector<bool> checked = Checked();
    std::vector<TStoreRecord> records;
    for (std::size_t k = 0; k < records_.size(); ++k)
        records.push_back({int(k) + 1, records_[k], checked[k]});
    ShowArchiveStore(this, std::move(records), QStringLiteral("频率分析中的记录"),
                     ArchiveSelection().SiteId);
}

void TfrmFreqAnalysis::BBtn_ReportClick() {
    ShowAnalysisReport(this, records_, Checked(), SEdt_Tolerance->value(), PowerFrequency());
}

void ShowFreqAnalysis(QWidget* owner, std::vector<TRecordValues> records) {
    if (!frmFreqAnalysis) {
        frmFreqAnalysis = new TfrmFreqAnalysis(owner);
        if (owner) {
            const QRect screen = owner->screen()->availableGeometry();
            frmFreqAnalysis->resize(frmFreqAnalysis->size().boundedTo(screen.size() * 0.9));
            frmFreqAnalysis->move(
                owner->frameGeometry().center() -
                QPoint(frmFreqAnalysis->width() / 2, frmFreqAnalysis->height() / 2));
        }
    }
    frmFreqAnalysis->SetRecords(std::move(records));
    frmFreqAnalysis->show();
    frmFreqAnalysis->raise();
    frmFreqAnalysis->activateWindow();
}
