#include "app/kit/TableView.h"

#include <QHeaderView>
#include <QScrollBar>
#include <algorithm>

QTableWidget* TextTable(QWidget* parent, const char* name, const std::vector<std::string>& headers,
                        const QString& accessibleName) {
    auto* t = new QTableWidget(0, int(headers.size()), parent);
    t->setObjectName(QString::fromLatin1(name));
    QStringList labels;
    for (const std::string& h : headers) labels << QString::fromStdString(h);
    t->setHorizontalHeaderLabels(labels);
    t->setAccessibleName(accessibleName);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setStretchLastSection(true);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setWordWrap(false);
    t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 6);
    return t;
}

void SetTableRow(QTableWidget* table, int row, const std::vector<std::string>& cells,
                 bool checkable, bool checked) {
    const int last = int(cells.size()) - 1;
    for (int c = 0; c <= last; ++c) {
        auto* item = new QTableWidgetItem(QString::fromStdString(cells[c]));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setToolTip(item->text());
        item->setTextAlignment(c == last ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter);
        if (c == 0 && checkable) {
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
        }
        table->setItem(row, c, item);
    }
}

void FitColumns(QTableWidget* table) {
    table->resizeColumnsToContents();
    // Fitting sized the last column too; stretching it anew fills the view.
    table->horizontalHeader()->setStretchLastSection(false);
    table->horizontalHeader()->setStretchLastSection(true);
}

int WidthForAllColumns(const QTableWidget* table) {
    const QHeaderView* header = table->horizontalHeader();
    int width = 2 * table->frameWidth() + table->verticalScrollBar()->sizeHint().width();
    for (int c = 0; c < table->columnCount(); ++c) {
        int column = std::max(header->sectionSizeHint(c),
                              static_cast<const QAbstractItemView*>(table)->sizeHintForColumn(c));
        // The stretched last column keeps at least the default width.
        if (c == table->columnCount() - 1) column = std::max(column, header->defaultSectionSize());
        width += column;
    }
    return width;
}
