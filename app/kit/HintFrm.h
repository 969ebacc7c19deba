#pragma once
// The busy notice: a borderless window that stays on top of the main window
// without blocking it and shows one line such as "正在读取数据，请稍候！".
// One notice window for the whole run, created on first use.

#include <QPointer>
#include <QString>
#include <QWidget>

class QLabel;
class TPanel;

class TfrmHint : public QWidget {
  public:
    explicit TfrmHint(QWidget* owner);
    TPanel* Panel1;
    QLabel* Lbl_Hint;
};

// The notice window, or null before the first notice.
extern QPointer<TfrmHint> frmHint;

// Creates the notice on first use (owned by `over`, the main window), sets its
// text and shows it centred over `over` without activating it. Showing it
// while visible only replaces the text.
void ShowHintForm(const QString& text, QWidget* over);
// Hides the notice; nothing when it was never created.
void HideHintForm();
