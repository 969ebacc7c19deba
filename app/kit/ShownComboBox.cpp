#include "app/kit/ShownComboBox.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QStyleOptionComboBox>

namespace {

// What Qt's own combo box interface reports, with the shown text as the value
// (on Linux also the name, as Qt does for every combo box there). A reader
// and UI automation then read the instrument's setting that the box shows.
class TShownComboBoxAccessible : public QAccessibleWidget {
  public:
    explicit TShownComboBoxAccessible(TShownComboBox* box)
        : QAccessibleWidget(box, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        QString s;
        switch (t) {
            case QAccessible::Name:
#ifndef Q_OS_UNIX
                s = QAccessibleWidget::text(t);
                break;
#else
                [[fallthrough]];
#endif
            case QAccessible::Value:
                s = Box()->ShownText();
                break;
            default:
                break;
        }
        return s.isEmpty() ? QAccessibleWidget::text(t) : s;
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.expanded = Box()->view()->isVisible();
        return s;
    }

    // The drop-down list, as Qt's interface has it.
    int childCount() const override {
        return 1;
    }
    QAccessibleInterface* child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(Box()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && child->object() == Box()->view() ? 0 : -1;
    }
    QAccessibleInterface* childAt(int, int) const override {
        return nullptr;
    }

    QStringList actionNames() const override {
        return {showMenuAction(), pressAction()};
    }
    void doAction(const QString& action) override {
        if (action != showMenuAction() && action != pressAction()) return;
        if (Box()->view()->isVisible())
            Box()->hidePopup();
        else
            Box()->showPopup();
    }

  private:
    TShownComboBox* Box() const {
        return static_cast<TShownComboBox*>(widget());
    }
};

QAccessibleInterface* ShownComboBoxFactory(const QString& className, QObject* object) {
    if (className != QLatin1String("TShownComboBox") || !object || !object->isWidgetType())
        return nullptr;
    return new TShownComboBoxAccessible(static_cast<TShownComboBox*>(object));
}

}  // namespace

TShownComboBox::TShownComboBox(QWidget* parent) : QComboBox(parent) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(ShownComboBoxFactory);
        return true;
    }();
    (void)factoryInstalled;
    // A new index shows its item again, and Qt tells accessibility tools so.
    connect(this, &QComboBox::currentIndexChanged, this, [this] {
        overridden_ = false;
        update();
    });
    // Choosing the item already selected changes no index, so Qt says nothing:
    // the box goes back from the shown text to the item, and says so itself.
    connect(this, &QComboBox::activated, this, [this] {
        if (!overridden_) return;
        overridden_ = false;
        update();
        AnnounceShownText(currentText());
    });
}

void TShownComboBox::SetShownText(const QString& text) {
    const bool changed = ShownText() != text;
    shown_ = text;
    overridden_ = true;
    update();
    if (changed) AnnounceShownText(text);
}

QString TShownComboBox::ShownText() const {
    return overridden_ ? shown_ : currentText();
}

void TShownComboBox::initStyleOption(QStyleOptionComboBox* option) const {
    QComboBox::initStyleOption(option);
    if (overridden_) option->currentText = shown_;
}

void TShownComboBox::AnnounceShownText(const QString& text) {
    QAccessibleValueChangeEvent event(this, text);
    QAccessible::updateAccessibility(&event);
}
