#pragma once
// What the campaign report says, in order, apart from how it is put on paper:
// the pages (ReportPages.h) and the editable document (ReportOdt.h) both lay
// out these blocks, so the two carry the same texts. Texts are UTF-8; the
// records and the means are the analysis window's own cell texts.

#include <string>
#include <utility>
#include <vector>

#include "campaignreport/CampaignReport.h"

enum class TBlockKind {
    Heading,     // a numbered section
    Fields,      // label：value pairs
    Text,        // a paragraph; '\n' starts a new line
    Table,       // a header row and rows; breaks across pages with the header repeated
    Plot,        // R, X and |Z| against frequency
    Plateau,     // the value at each probe position (Positions, CurrentDistance)
    Signatures,  // a line to sign on for each label
};

struct TReportTable {
    std::vector<std::string> Headers;
    std::vector<std::vector<std::string>> Rows;
    std::vector<bool> Greyed;  // rows printed grey (records not checked)
    int WrapColumn = -1;       // the column that takes what width is left and wraps (notes)
};

struct TReportBlock {
    TBlockKind Kind = TBlockKind::Text;
    std::string Text;
    std::vector<std::pair<std::string, std::string>> Fields;
    bool FieldsSideBySide = true;  // two pairs a line where they fit
    TReportTable Table;
    std::vector<std::string> Signers;
    // For each signer, the name and the time written on its line; empty
    // ones are left to sign by hand.
    std::vector<std::pair<std::string, std::string>> Signed;
    std::vector<TProbePosition> Positions;  // a plateau's
    double CurrentDistance = 0;             // d_CG, m; 0 when not known
};

struct TReportContent {
    std::string Title;
    std::string Footer;  // site and date, beside the page number on every page
    std::vector<TReportBlock> Blocks;
};

TReportContent CampaignReportContent(const TCampaignReport& report);

// The page number line of the footer: "第 1 页 共 3 页".
std::string PageNumberText(int page, int pages);
