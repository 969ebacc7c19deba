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
