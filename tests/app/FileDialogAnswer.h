#pragma once
// Answers the program's real file dialog (Qt's own widgets under the offscreen
// platform) the way a user would, once it is up: optionally picks a file type
// from its type list with the keyboard, types a name and accepts. What the
// dialog offered is recorded.

#include <QAbstractItemView>
#include <QApplication>
#include <QItemSelectionModel>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

struct TFileDialogSeen {
    QString Title;
    QStringList NameFilters, Offered;
    QString OfferedFilter;  // the type chosen when the dialog came up
    bool ConfirmsOverwrite = true;
};

// typeSteps: how many entries down the type list the user goes (0: none).
inline void AnswerFileDialog(const QString& name, TFileDialogSeen* seen = nullptr,
                             int typeSteps = 0, int attempts = 100) {
    QTimer::singleShot(50, [=] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            if (attempts > 0) AnswerFileDialog(name, seen, typeSteps, attempts - 1);
            return;
        }
        if (seen) {
            seen->Title = dialog->windowTitle();
            seen->NameFilters = dialog->nameFilters();
            seen->Offered = dialog->selectedFiles();
            seen->OfferedFilter = dialog->selectedNameFilter();
            seen->ConfirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        }
        if (auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
            for (int k = 0; k < typeSteps; ++k) QTest::keyClick(types, Qt::Key_Down);
        // Typing a new name takes the name offered out of the list, whether
        // or not the list has shown it yet: accepting then uses the name typed.
        for (auto* view : dialog->findChildren<QAbstractItemView*>())
            if (view->selectionModel()) view->selectionModel()->clearSelection();
        if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            edit->setText(name);
        QMetaObject::invokeMethod(dialog, "accept");
    });
}
