#include "app/kit/TableView.h"

#include <QHeaderView>

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
