#include "app/WindowRole.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace {

const char* const kWindowProperty = "kr3090Window";

QAccessibleInterface* WindowFactory(const QString&, QObject* object) {
    if (!object || !object->isWidgetType() || !object->property(kWindowProperty).toBool())
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
}

}  // namespace

void AnnounceAsWindow(QWidget* window) {
    static const bool installed = [] {
        QAccessible::installFactory(WindowFactory);
        return true;
    }();
    (void)installed;
    window->setProperty(kWindowProperty, true);
}
