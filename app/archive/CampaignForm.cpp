#include "app/archive/CampaignForm.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

#include "app/kit/Platform.h"
#include "campaignreport/RetestDue.h"
#include "qtext/QText.h"

namespace {

std::string Text(const QLineEdit* edit) {
    return edit->text().trimmed().toStdString();
}

template <class T>
T* Named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLineEdit* Field(QFormLayout* form, QWidget* parent, const char* name, const QString& label) {
    auto* edit = Named(new QLineEdit(parent), name);
    form->addRow(label, edit);  // the label becomes the field's buddy: its accessible name
    return edit;
}

// A number field of the layout: empty is none; anything else must read as a number.
std::optional<double> Number(const QLineEdit* edit, const QString& name, bool& ok,
                             QString& problem) {
    const QString text = edit->text().trimmed();
    if (text.isEmpty()) return std::nullopt;
    bool read = false;
    const double v = text.toDouble(&read);
    if (read && std::isfinite(v)) return v;
    if (ok) problem = QStringLiteral("%1应为数值，或不填。").arg(name);
    ok = false;
    return std::nullopt;
}

QString NumberText(const std::optional<double>& v) {
    return v ? QString::number(*v, 'g', 12) : QString();
}

const QString NewSite = QStringLiteral("（新建场地）");
const QString NewCampaign = QStringLiteral("（新建测试）");

}  // namespace

QString CampaignCaption(const TCampaign& c) {
    return Q(c.Date) + (c.Testers.empty() ? QString() : QStringLiteral("  ") + Q(c.Testers));
}

TCampaignForm::TCampaignForm(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("CampaignForm"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* layout = new QHBoxLayout;
    outer->addLayout(layout);

    GBox_Site = Named(new QGroupBox(QStringLiteral("场地"), this), "GBox_Site");
    auto* site = new QFormLayout(GBox_Site);
    CBox_Site = Named(new QComboBox(GBox_Site), "CBox_Site");
    site->addRow(QStringLiteral("选择场地"), CBox_Site);
    Edt_SiteName = Field(site, GBox_Site, "Edt_SiteName", QStringLiteral("场地名称"));
    Edt_VoltageLevel = Field(site, GBox_Site, "Edt_VoltageLevel", QStringLiteral("电压等级"));
    Edt_GridSize = Field(site, GBox_Site, "Edt_GridSize", QStringLiteral("地网尺寸或对角线"));
    Edt_Location = Field(site, GBox_Site, "Edt_Location", QStringLiteral("位置说明"));
    SpBox_RetestYears = Named(new QSpinBox(GBox_Site), "SpBox_RetestYears");
    SpBox_RetestYears->setAccessibleName(QStringLiteral("复测周期"));
    SpBox_RetestYears->setRange(1, 30);
    SpBox_RetestYears->setSuffix(QStringLiteral(" 年"));
    site->addRow(QStringLiteral("复测周期"), SpBox_RetestYears);
    // A real name ("东郊变 \"老站\" 110kV") is read whole, not scrolled.
    Edt_SiteName->setMinimumWidth(
        Edt_SiteName->fontMetrics().horizontalAdvance(QString(16, QChar(0x6D4B))) + 12);
    layout->addWidget(GBox_Site, 1);

    GBox_Campaign = Named(new QGroupBox(QStringLiteral("本次测试"), this), "GBox_Campaign");
    auto* campaign = new QFormLayout(GBox_Campaign);
    CBox_Campaign = Named(new QComboBox(GBox_Campaign), "CBox_Campaign");
    campaign->addRow(QStringLiteral("选择测试"), CBox_Campaign);
    DEdt_Date = Named(new QDateEdit(Platform().Now().date(), GBox_Campaign), "DEdt_Date");
    DEdt_Date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    DEdt_Date->setCalendarPopup(true);
    campaign->addRow(QStringLiteral("测试日期"), DEdt_Date);
    Edt_Testers = Field(campaign, GBox_Campaign, "Edt_Testers", QStringLiteral("测试人员"));
    Edt_Weather = Field(campaign, GBox_Campaign, "Edt_Weather", QStringLiteral("天气"));
    Edt_Soil = Field(campaign, GBox_Campaign, "Edt_Soil", QStringLiteral("土壤状况"));
    Edt_LeadLayout = Field(campaign, GBox_Campaign, "Edt_LeadLayout", QStringLiteral("布线方式"));
    Edt_LeadLengths = Field(campaign, GBox_Campaign, "Edt_LeadLengths", QStringLiteral("引线长度"));
    Edt_Serial = Field(campaign, GBox_Campaign, "Edt_Serial", QStringLiteral("仪器编号"));
    Edt_Limit = Field(campaign, GBox_Campaign, "Edt_Limit", QStringLiteral("设定限值(Ω)"));
    Edt_Limit->setPlaceholderText(QStringLiteral("可不填"));
    CBox_F0 = Named(new QComboBox(GBox_Campaign), "CBox_F0");
    CBox_F0->addItems({QStringLiteral("50Hz"), QStringLiteral("60Hz")});
    campaign->addRow(QStringLiteral("工频"), CBox_F0);
    Edt_Remarks = Field(campaign, GBox_Campaign, "Edt_Remarks", QStringLiteral("备注"));
    layout->addWidget(GBox_Campaign, 1);
    BuildLayoutGroup();
    outer->addWidget(GBox_Layout);

    connect(CBox_Site, &QComboBox::currentIndexChanged, this, [this] { SiteChosen(); });
    connect(CBox_Campaign, &QComboBox::currentIndexChanged, this, [this] { CampaignChosen(); });
    SetSites({});
}

// "引线布置": the numbers of the hemispherical-electrode model, two to a row.
void TCampaignForm::BuildLayoutGroup() {
    GBox_Layout = Named(new QGroupBox(QStringLiteral("引线布置"), this), "GBox_Layout");
    auto* grid = new QGridLayout(GBox_Layout);
    int cell = 0;
    const auto add = [&](QWidget* field, const QString& caption) {
        auto* label = new QLabel(caption, GBox_Layout);
        label->setBuddy(field);  // the caption becomes the field's accessible name
        grid->addWidget(label, cell / 2, (cell % 2) * 2);
        grid->addWidget(field, cell / 2, (cell % 2) * 2 + 1);
        ++cell;
    };
    const auto edit = [&](const char* name, const QString& caption) {
        auto* e = Named(new QLineEdit(GBox_Layout), name);
        add(e, caption);
        connect(e, &QLineEdit::textChanged, this, [this] { LayoutChanged(); });
        return e;
    };
    CBox_Method = Named(new QComboBox(GBox_Layout), "CBox_Method");
    for (const std::string& name : LayoutMethodNames()) CBox_Method->addItem(Q(name));
    add(CBox_Method, QStringLiteral("布线方法"));
    CBox_SoilKind = Named(new QComboBox(GBox_Layout), "CBox_SoilKind");
    for (const std::string& name : SoilKindNames()) CBox_SoilKind->addItem(Q(name));
    add(CBox_SoilKind, QStringLiteral("土壤"));
    Edt_Diagonal = edit("Edt_Diagonal", QStringLiteral("地网对角线 D(m)"));
    Edt_Diagonal->setPlaceholderText(QStringLiteral("或填长、宽"));
    Edt_GridLength = edit("Edt_GridLength", QStringLiteral("地网长(m)"));
    Edt_GridWidth = edit("Edt_GridWidth", QStringLiteral("地网宽(m)"));
    Edt_CurrentDistance = edit("Edt_CurrentDistance", QStringLiteral("电流极距离 d_CG(m)"));
    Edt_ProbeDistance = edit("Edt_ProbeDistance", QStringLiteral("电压极距离 d_PG(m)"));
    Edt_Angle = edit("Edt_Angle", QStringLiteral("夹角 θ(°)"));
    Edt_Angle->setPlaceholderText(QStringLiteral("直线法不填为 0"));
    Lbl_Factor = Named(new QLabel(GBox_Layout), "Lbl_Factor");
    Lbl_Warnings = Named(new QLabel(GBox_Layout), "Lbl_Warnings");
    for (QLabel* l : {Lbl_Factor, Lbl_Warnings}) {
        l->setWordWrap(true);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(l, grid->rowCount(), 0, 1, 4);
    }
    for (QComboBox* box : {CBox_Method, CBox_SoilKind})
        connect(box, &QComboBox::currentIndexChanged, this, [this] { LayoutChanged(); });
}

std::optional<TLeadLayout> TCampaignForm::Layout(QString& problem) const {
    TLeadLayout l;
    l.Method = TLayoutMethod(std::max(CBox_Method->currentIndex(), 0));
    l.Soil = TSoilKind(std::max(CBox_SoilKind->currentIndex(), 0));
    bool ok = true;
    l.Diagonal = Number(Edt_Diagonal, QStringLiteral("地网对角线 D（单位m）"), ok, problem);
    l.GridLength = Number(Edt_GridLength, QStringLiteral("地网长（单位m）"), ok, problem);
    l.GridWidth = Number(Edt_GridWidth, QStringLiteral("地网宽（单位m）"), ok, problem);
    l.CurrentDistance =
        Number(Edt_CurrentDistance, QStringLiteral("电流极距离（单位m）"), ok, problem);
    l.ProbeDistance = Number(Edt_ProbeDistance, QStringLiteral("电压极距离（单位m）"), ok, problem);
    l.Angle = Number(Edt_Angle, QStringLiteral("夹角（单位°）"), ok, problem);
    if (!ok) return std::nullopt;
    return l;
}

void TCampaignForm::SetTestCurrent(std::optional<double> current, std::optional<double> measured) {
    testCurrent_ = current;
    measured_ = measured;
    LayoutChanged();
}

void TCampaignForm::ShowLayout(const TLeadLayout& l) {
    CBox_Method->setCurrentIndex(int(l.Method));
    CBox_SoilKind->setCurrentIndex(int(l.Soil));
    Edt_Diagonal->setText(NumberText(l.Diagonal));
    Edt_GridLength->setText(NumberText(l.GridLength));
    Edt_GridWidth->setText(NumberText(l.GridWidth));
    Edt_CurrentDistance->setText(NumberText(l.CurrentDistance));
    Edt_ProbeDistance->setText(NumberText(l.ProbeDistance));
    Edt_Angle->setText(NumberText(l.Angle));
    LayoutChanged();
}

// What the layout gives as the operator types: the factor or its reason, the
// rules it breaks; a field that is no number says so instead.
void TCampaignForm::LayoutChanged() {
    QString problem;
    const std::optional<TLeadLayout> l = Layout(problem);
    if (!l) {
        Lbl_Factor->setText(problem);
        Lbl_Warnings->clear();
        return;
    }
    // The measured value first; the corrected one beside it, never instead.
    const TLayoutFactor factor = LayoutFactor(*l);
    const std::string corrected = CorrectedText(measured_, factor);
    Lbl_Factor->setText(QStringLiteral("修正系数 Z/Z'：") + Q(FactorText(factor)) +
                        (corrected.empty() ? QString()
                                           : QStringLiteral("；修正后 Z0：") + Q(corrected)));
    QStringList lines;
    for (const TLayoutWarning& w : LayoutWarnings(*l, testCurrent_)) lines << Q(WarningLine(w));
    if (ExtraWarnings)
        for (const TLayoutWarning& w : ExtraWarnings(*l)) lines << Q(WarningLine(w));
    Lbl_Warnings->setText(lines.join('\n'));
}

void TCampaignForm::SetSites(std::vector<TSite> sites, std::int64_t siteId) {
    sites_ = std::move(sites);
    const QSignalBlocker block(CBox_Site);
    CBox_Site->clear();
    CBox_Site->addItem(NewSite);
    int chosen = 0;
    for (std::size_t k = 0; k < sites_.size(); ++k) {
        CBox_Site->addItem(Q(sites_[k].Name));
        if (sites_[k].Id == siteId) chosen = int(k) + 1;
    }
    CBox_Site->setCurrentIndex(chosen);
    SiteChosen();
}

void TCampaignForm::SiteChosen() {
    const int k = CBox_Site->currentIndex() - 1;
    const bool fresh = k < 0 || k >= int(sites_.size());
    const TSite site = fresh ? TSite{} : sites_[k];
    Edt_SiteName->setText(Q(site.Name));
    Edt_VoltageLevel->setText(Q(site.VoltageLevel));
    Edt_GridSize->setText(Q(site.GridSize));
    Edt_Location->setText(Q(site.Location));
    for (QLineEdit* e : {Edt_SiteName, Edt_VoltageLevel, Edt_GridSize, Edt_Location})
        e->setReadOnly(!fresh);
    SpBox_RetestYears->setValue(RetestYears(site));
    SpBox_RetestYears->setReadOnly(!fresh);

    campaigns_ = fresh || !CampaignsOf ? std::vector<TCampaignSummary>{} : CampaignsOf(site.Id);
    const QSignalBlocker block(CBox_Campaign);
    CBox_Campaign->clear();
    CBox_Campaign->addItem(NewCampaign);
    for (const TCampaignSummary& c : campaigns_)
        CBox_Campaign->addItem(CampaignCaption(c.Campaign));
    CBox_Campaign->setCurrentIndex(0);
    CampaignChosen();
}

void TCampaignForm::SelectCampaign(std::int64_t campaignId) {
    for (std::size_t k = 0; k < campaigns_.size(); ++k)
        if (campaigns_[k].Campaign.Id == campaignId) CBox_Campaign->setCurrentIndex(int(k) + 1);
}

void TCampaignForm::CampaignChosen() {
    const int k = CBox_Campaign->currentIndex() - 1;
    const bool fresh = k < 0 || k >= int(campaigns_.size());
    const TCampaign c = fresh ? TCampaign{} : campaigns_[k].Campaign;
    const QDate date = QDate::fromString(Q(c.Date), QStringLiteral("yyyy-MM-dd"));
    DEdt_Date->setDate(fresh || !date.isValid() ? Platform().Now().date() : date);
    Edt_Testers->setText(Q(c.Testers));
    Edt_Weather->setText(Q(c.Weather));
    Edt_Soil->setText(Q(c.Soil));
    Edt_LeadLayout->setText(Q(c.LeadLayout));
    Edt_LeadLengths->setText(Q(c.LeadLengths));
    Edt_Serial->setText(Q(c.InstrumentSerial));
    Edt_Limit->setText(c.Limit ? QString::number(*c.Limit, 'g', 12) : QString());
    CBox_F0->setCurrentIndex(c.PowerFrequency == 60 ? 1 : 0);
    Edt_Remarks->setText(Q(c.Remarks));
    ShowLayout(c.Layout);
    DEdt_Date->setReadOnly(!fresh);
    CBox_F0->setEnabled(fresh);
    CBox_Method->setEnabled(fresh);
    CBox_SoilKind->setEnabled(fresh);
    for (QLineEdit* e : {Edt_Testers, Edt_Weather, Edt_Soil, Edt_LeadLayout, Edt_LeadLengths,
                         Edt_Serial, Edt_Limit, Edt_Remarks, Edt_Diagonal, Edt_GridLength,
                         Edt_GridWidth, Edt_CurrentDistance, Edt_ProbeDistance, Edt_Angle})
        e->setReadOnly(!fresh);
}

std::optional<TSite> TCampaignForm::Site(QString& problem) const {
    const int k = CBox_Site->currentIndex() - 1;
    if (k >= 0 && k < int(sites_.size())) return sites_[k];
    TSite site;
    site.Name = Text(Edt_SiteName);
    site.VoltageLevel = Text(Edt_VoltageLevel);
    site.GridSize = Text(Edt_GridSize);
    site.Location = Text(Edt_Location);
    if (SpBox_RetestYears->value() != UsualRetestYears) site.RetestYears = SpBox_RetestYears->value();
    if (site.Name.empty()) {
        problem = QStringLiteral("请填写场地名称！");
        return std::nullopt;
    }
    return site;
}

std::optional<TCampaign> TCampaignForm::Campaign(QString& problem) const {
    const int k = CBox_Campaign->currentIndex() - 1;
    if (k >= 0 && k < int(campaigns_.size())) return campaigns_[k].Campaign;
    TCampaign c;
    c.Date = DEdt_Date->date().toString(QStringLiteral("yyyy-MM-dd")).toStdString();
    c.Testers = Text(Edt_Testers);
    c.Weather = Text(Edt_Weather);
    c.Soil = Text(Edt_Soil);
    c.LeadLayout = Text(Edt_LeadLayout);
    c.LeadLengths = Text(Edt_LeadLengths);
    c.InstrumentSerial = Text(Edt_Serial);
    c.Remarks = Text(Edt_Remarks);
    c.PowerFrequency = CBox_F0->currentIndex() == 1 ? 60 : 50;
    const QString limit = Edt_Limit->text().trimmed();
    if (!limit.isEmpty()) {
        bool ok = false;
        const double ohms = limit.toDouble(&ok);
        if (!ok || !std::isfinite(ohms) || ohms <= 0) {
            problem = QStringLiteral("设定限值应为大于0的数值（单位Ω），或不填。");
            return std::nullopt;
        }
        c.Limit = ohms;
    }
    const std::optional<TLeadLayout> layout = Layout(problem);
    if (!layout) return std::nullopt;
    c.Layout = *layout;
    return c;
}
