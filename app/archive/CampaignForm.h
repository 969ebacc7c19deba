#pragma once
// The site and the conditions of a test, as the operator picks or types them:
// used where records go into the archive ("存入档案") and where a report is
// made of records not yet archived. Picking an existing site or campaign shows
// its fields as they are kept; "（新建场地）" and "（新建测试）" take new ones.
// The lead layout's numbers are checked as they are typed: the factor (or why
// there is none) and each rule the layout breaks show below them, and never
// stop the campaign from being stored.

#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "archive/Archive.h"

class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QGridLayout;

class TCampaignForm : public QWidget {
  public:
    explicit TCampaignForm(QWidget* parent);

    // The archive's sites (none without an archive); selects siteId when given.
    void SetSites(std::vector<TSite> sites, std::int64_t siteId = 0);
    // Gives a site's campaigns when another site is chosen (empty for none).
    std::function<std::vector<TCampaignSummary>(std::int64_t siteId)> CampaignsOf;
    void SelectCampaign(std::int64_t campaignId);

    // The chosen site, or a new one from the fields (Id 0); none with the
    // reason in problem when the fields do not make one.
    std::optional<TSite> Site(QString& problem) const;
    // The chosen campaign, or a new one from the fields (Id 0, SiteId 0).
    std::optional<TCampaign> Campaign(QString& problem) const;
    // The lead layout from its fields; none with the reason in problem when a
    // field holds something that is not a number.
    std::optional<TLeadLayout> Layout(QString& problem) const;
    // The smallest current of the records to be stored, for the current rule.
    // What the records give: the test current for its rule, and the measured
    // Z0, corrected beside the factor.
    void SetTestCurrent(std::optional<double> current, std::optional<double> measured = {});
    // Rules the form's layout breaks with what only the caller knows (the
    // probe moved between records); shown with the layout's own warnings.
    std::function<std::vector<TLayoutWarning>(const TLeadLayout&)> ExtraWarnings;

    QGroupBox* GBox_Site;
    QComboBox* CBox_Site;
    QLineEdit* Edt_SiteName;
    QLineEdit* Edt_VoltageLevel;
    QLineEdit* Edt_GridSize;
    QSpinBox* SpBox_RetestYears;  // years to the next test; read-only for a stored site
    QLineEdit* Edt_Location;
    QGroupBox* GBox_Campaign;
    QComboBox* CBox_Campaign;
    QDateEdit* DEdt_Date;
    QLineEdit* Edt_Testers;
    QLineEdit* Edt_Weather;
    QLineEdit* Edt_Soil;
    QLineEdit* Edt_LeadLayout;
    QLineEdit* Edt_LeadLengths;
    QLineEdit* Edt_Serial;
    QLineEdit* Edt_Limit;
    QComboBox* CBox_F0;
    QLineEdit* Edt_Remarks;
    QGroupBox* GBox_Layout;
    QComboBox* CBox_Method;
    QLineEdit* Edt_Diagonal;
    QLineEdit* Edt_GridLength;
    QLineEdit* Edt_GridWidth;
    QLineEdit* Edt_CurrentDistance;
    QLineEdit* Edt_ProbeDistance;
    QLineEdit* Edt_Angle;
    QComboBox* CBox_SoilKind;
    QLabel* Lbl_Factor;    // "修正系数 Z/Z'：1.017" or why there is none
    QLabel* Lbl_Warnings;  // one line a broken rule

  private:
    void BuildLayoutGroup();
    void SiteChosen();
    void CampaignChosen();
    void ShowLayout(const TLeadLayout& layout);
    void LayoutChanged();

    std::optional<double> testCurrent_;
    std::optional<double> measured_;

    std::vector<TSite> sites_;
    std::vector<TCampaignSummary> campaigns_;
};

// "2025-03-04  张三、李四" for a campaign in a list.
QString CampaignCaption(const TCampaign& campaign);
