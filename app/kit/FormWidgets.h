#pragma once
// How the archive's smaller windows make their widgets: each named for
// tests and scripts, and for accessibility tools; buttons of one size in a row.

#include <QBoxLayout>
#include <QPushButton>
#include <QString>

template <class W>
W* Named(W* widget, const char* name, const QString& accessible) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setAccessibleName(accessible);
    return widget;
}

inline QPushButton* RowButton(QWidget* parent, QBoxLayout* row, const char* name,
                              const QString& caption) {
    auto* b = Named(new QPushButton(caption, parent), name, caption);
    b->setMinimumSize(100, 25);
    row->addWidget(b);
    return b;
}
