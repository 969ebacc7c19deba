#include "app/kit/Panels.h"

#include <QVariant>

namespace {
const char* const alignProperty = "kr3090Align";
const char* const sizeProperty = "kr3090AlignSize";

TAlign AlignOf(const QWidget* w) {
    const QVariant v = w->property(alignProperty);
    return v.isValid() ? static_cast<TAlign>(v.toInt()) : TAlign::None;
}
}  // namespace

void SetAlign(QWidget* w, TAlign align, int size) {
    w->setProperty(alignProperty, static_cast<int>(align));
    w->setProperty(sizeProperty, size);
}

void AlignTree(QWidget* parent) {
    QRect rest = parent->contentsRect();
    const QList<QWidget*> children = parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    auto place = [&](TAlign pass) {
        for (QWidget* w : children) {
            if (w->isWindow() || AlignOf(w) != pass) continue;
            const int size = w->property(sizeProperty).toInt();
            switch (pass) {
                case TAlign::Top:
                    w->setGeometry(rest.left(), rest.top(), rest.width(), size);
                    rest.setTop(rest.top() + size);
                    break;
                case TAlign::Bottom:
                    w->setGeometry(rest.left(), rest.bottom() + 1 - size, rest.width(), size);
                    rest.setBottom(rest.bottom() - size);
                    break;
                case TAlign::Left:
                    w->setGeometry(rest.left(), rest.top(), size, rest.height());
                    rest.setLeft(rest.left() + size);
                    break;
                case TAlign::Right:
                    w->setGeometry(rest.right() + 1 - size, rest.top(), size, rest.height());
                    rest.setRight(rest.right() - size);
                    break;
                case TAlign::Client:
                    w->setGeometry(rest);
                    break;
                case TAlign::None:
                    break;
            }
        }
    };
    place(TAlign::Top);
    place(TAlign::Bottom);
    place(TAlign::Left);
    place(TAlign::Right);
    place(TAlign::Client);
    for (QWidget* w : children)
        if (!w->isWindow()) AlignTree(w);
}

TPanel::TPanel(QWidget* parent, const char* name, TAlign align, int size, TBorder border)
    : QFrame(parent) {
    setObjectName(QString::fromLatin1(name));
    SetAlign(this, align, size);
    switch (border) {
        case NoBorder:
            setFrameStyle(QFrame::NoFrame);
            break;
        case SingleBorder:
            setFrameStyle(QFrame::Box | QFrame::Plain);
            break;
        case LoweredBorder:
            setFrameStyle(QFrame::Panel | QFrame::Sunken);
            break;
    }
}

void TPanel::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    AlignTree(this);
}
