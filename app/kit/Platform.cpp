#include "app/kit/Platform.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>

#include "app/kit/ShellOpen.h"

namespace {

TQtPlatform realPlatform;
TPlatform* current = nullptr;

QMessageBox::Icon ToQt(TMessageIcon icon) {
    switch (icon) {
        case TMessageIcon::Information:
            return QMessageBox::Information;
        case TMessageIcon::Warning:
            return QMessageBox::Warning;
        case TMessageIcon::Question:
            return QMessageBox::Question;
        case TMessageIcon::Critical:
            return QMessageBox::Critical;
        case TMessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

// "desc|pattern|desc|pattern" into Qt's "desc (pattern);;..." form.
QString QtFilter(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        out << QStringLiteral("%1 (%2)").arg(parts[i], parts[i + 1]);
    return out.join(QStringLiteral(";;"));
}

// "*.csv(Excel表格) (*.csv)" -> "csv": the extension of a filter's first pattern.
QString FilterSuffix(const QString& qtFilter) {
    const int open = qtFilter.lastIndexOf(u'(');
    const QString patterns = qtFilter.mid(open + 1).chopped(qtFilter.endsWith(u')') ? 1 : 0);
    const QString first = patterns.section(u' ', 0, 0);
    return first.startsWith(QStringLiteral("*.")) ? first.mid(2) : QString();
}

QFileDialog::Options DialogOptions(const TFileDialogRequest& r) {
    QFileDialog::Options options;
    if (!r.OverwritePrompt) options |= QFileDialog::DontConfirmOverwrite;
    return options;
}

}  // namespace

TPlatform& Platform() {
    return current ? *current : realPlatform;
}
void SetPlatform(TPlatform* p) {
    current = p;
}

void TQtPlatform::MessageBox(QWidget* owner, const QString& text, const QString& caption,
                             TMessageIcon icon) {
    QMessageBox box(ToQt(icon), caption, text, QMessageBox::Ok, owner);
    box.exec();
}

bool TQtPlatform::Confirm(QWidget* owner, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Ok | QMessageBox::Cancel,
                    owner);
    return box.exec() == QMessageBox::Ok;
}

QString TQtPlatform::SaveFileName(QWidget* owner, const TFileDialogRequest& r) {
    QFileDialog dialog(owner, r.Title, QString(), QtFilter(r.Filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOptions(DialogOptions(r));
    dialog.setDefaultSuffix(r.DefaultExt);
    if (!r.DefaultExt.isEmpty()) {
        // A name typed without extension takes the one of the chosen file
        // type, as the Windows dialog does by itself.
        const auto follow = [&dialog](const QString& filter) {
            const QString suffix = FilterSuffix(filter);
            if (!suffix.isEmpty()) dialog.setDefaultSuffix(suffix);
        };
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, follow);
        // The file offered opens with its own type chosen: the last one
        // chosen when several types share its extension.
        const QString offered = QFileInfo(r.FileName).suffix();
        const QStringList filters = dialog.nameFilters();
        const auto fits = [&](int k) {
            return k >= 0 && k < filters.size() && !offered.isEmpty() &&
                   !FilterSuffix(filters[k]).compare(offered, Qt::CaseInsensitive);
        };
        int chosen = fits(r.ChosenFilter) ? r.ChosenFilter : -1;
        for (int k = 0; k < filters.size() && chosen < 0; ++k)
            if (fits(k)) chosen = k;
        if (chosen >= 0) {
            dialog.selectNameFilter(filters[chosen]);
            follow(filters[chosen]);
        }
    }
    if (!r.FileName.isEmpty()) dialog.selectFile(r.FileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    r.ChosenFilter = int(dialog.nameFilters().indexOf(dialog.selectedNameFilter()));
    return dialog.selectedFiles().first();
}

QString TQtPlatform::OpenFileName(QWidget* owner, const TFileDialogRequest& r) {
    QFileDialog dialog(owner, r.Title, QString(), QtFilter(r.Filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (!r.FileName.isEmpty()) dialog.selectFile(r.FileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

void TQtPlatform::ShellOpen(QWidget* owner, const QString& path) {
    // Through Platform(): a test that keeps the real shell still sees the box.
    if (!ShellOpenFile(owner, path))
        Platform().MessageBox(owner, NoOpenerText(path), QStringLiteral("提示"),
                              TMessageIcon::Warning);
}

QDateTime TQtPlatform::Now() {
    return QDateTime::currentDateTime();
}

void TQtPlatform::ShowError(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::Critical, QString(), text, QMessageBox::Ok, owner);
    box.exec();
}

QString TPlatform::Password(QWidget*, const QString&) {
    return {};
}

QString TQtPlatform::Password(QWidget* owner, const QString& prompt) {
    return QInputDialog::getText(owner, QStringLiteral("提示"), prompt, QLineEdit::Password);
}
