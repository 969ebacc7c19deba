#include "app/kit/HintFrm.h"

#include <QLabel>

#include "app/kit/Panels.h"
#include "report/SongFont.h"

QPointer<TfrmHint> frmHint;

TfrmHint::TfrmHint(QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("frmHint"));
    setWindowTitle(QStringLiteral("提示信息窗体"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(437, 304);
    Panel1 = new TPanel(this, "Panel1", TAlign::Client, 0, TPanel::LoweredBorder);
    Lbl_Hint = new QLabel(QStringLiteral("正在打印，请稍候"), Panel1);
    Lbl_Hint->setObjectName(QStringLiteral("Lbl_Hint"));
    Lbl_Hint->setFont(SongFont(32));
    Lbl_Hint->setAlignment(Qt::AlignCenter);
    SetAlign(Lbl_Hint, TAlign::Client);
    AlignTree(this);
}

void ShowHintForm(const QString& text, QWidget* over) {
    if (!frmHint) frmHint = new TfrmHint(over);
    frmHint->Lbl_Hint->setText(text);
    if (frmHint->isVisible()) return;
    if (QWidget* anchor = frmHint->parentWidget()) {
        const QRect area = anchor->frameGeometry();
        frmHint->move(area.center() - QPoint(frmHint->width() / 2, frmHint->height() / 2));
    }
    frmHint->show();
}

void HideHintForm() {
    if (frmHint) frmHint->hide();
}
