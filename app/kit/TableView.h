#pragma once
// The read-only tables of the analysis and archive windows: one row a record
// or a campaign, cells as texts (each also its tooltip, for a cell narrower
// than its text), the last column left-aligned and taking what width is left.

#include <QTableWidget>
#include <string>
#include <vector>

QTableWidget* TextTable(QWidget* parent, const char* name, const std::vector<std::string>& headers,
                        const QString& accessibleName);
// Fills a row; the first cell carries a check box when checkable.
void SetTableRow(QTableWidget* table, int row, const std::vector<std::string>& cells,
                 bool checkable = false, bool checked = true);

// Each column as wide as its texts and the last one taking what is left
// (Qt's own fitting leaves a strip right of it).
void FitColumns(QTableWidget* table);
// The width that shows every column without a scroll bar across.
int WidthForAllColumns(const QTableWidget* table);
